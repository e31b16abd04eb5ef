#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && base[0] ? base : "/tmp") + "/korvane-test-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) std::abort();
  path = std::string(buf.data()) + "/";
}

TempFolder::~TempFolder() {
  const std::string cmd = "chmod -R u+w " + ShellQuote(path) + " 2>/dev/null; rm -rf " + ShellQuote(path);
  if (std::system(cmd.c_str()) != 0) {
  }
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void InstallFakeTool(const std::string& folder) {
  const std::string target = folder + "pic32prog";
  unlink(target.c_str());
  if (symlink(KORVANE_FAKE_TOOL, target.c_str()) != 0) std::abort();
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

CommandResult RunCommand(const std::string& commandLine, const std::string& stdinText) {
  TempFolder io;
  WriteFile(io.File("in"), stdinText);
  const std::string full = "(" + commandLine + ") <" + ShellQuote(io.File("in")) + " >" + ShellQuote(io.File("out")) +
                           " 2>" + ShellQuote(io.File("err"));
  CommandResult r;
  const int raw = std::system(full.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(io.File("out"));
  r.err = ReadFile(io.File("err"));
  return r;
}

LogFixture::LogFixture() {
  OutputLog.lines.clear();
  AttachLogView(&view);
}

LogFixture::~LogFixture() {
  AttachLogView(nullptr);
  OutputLog.lines.clear();
}

std::vector<std::string> LogFixture::lines() const { return OutputLog.lines.Copy(); }
