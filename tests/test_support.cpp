#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <windows.h>

#include "platform/text.h"
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "platform/paths.h"

#ifdef _WIN32

TempFolder::TempFolder() {
  wchar_t base[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    const std::wstring candidate = std::wstring(base) + L"korvane-test-" + std::to_wstring(GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      path = WideToUtf8(candidate) + "\\";
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
  }
}

namespace {
void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(h, &found));
    FindClose(h);
  }
  RemoveDirectoryW(folder.c_str());
}
}  // namespace

TempFolder::~TempFolder() { RemoveTree(Utf8ToWide(path.substr(0, path.size() - 1))); }

void InstallFakeTool(const std::string& folder) {
  const std::wstring target = Utf8ToWide(folder + "pic32prog.exe");
  DeleteFileW(target.c_str());
  if (!CopyFileW(Utf8ToWide(KORVANE_FAKE_TOOL).c_str(), target.c_str(), FALSE)) std::abort();
}

#else

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

void InstallFakeTool(const std::string& folder) {
  const std::string target = folder + "pic32prog";
  unlink(target.c_str());
  if (symlink(KORVANE_FAKE_TOOL, target.c_str()) != 0) std::abort();
}

#endif

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

#ifndef _WIN32
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
#endif

LogFixture::LogFixture() {
  OutputLog.lines.clear();
  AttachLogView(&view);
}

LogFixture::~LogFixture() {
  AttachLogView(nullptr);
  OutputLog.lines.clear();
}

std::vector<std::string> LogFixture::lines() const { return OutputLog.lines.Copy(); }

// ---- serial ports -------------------------------------------------------

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <termios.h>

#include "platform/clock.h"

extern char** environ;

PtyPair::PtyPair() {
  master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::abort();
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  slave = ptsname(master);
  const int s = open(slave.c_str(), O_RDWR | O_NOCTTY);
  termios t{};
  tcgetattr(s, &t);
  cfmakeraw(&t);
  tcsetattr(s, TCSANOW, &t);
  close(s);
}

PtyPair::~PtyPair() {
  if (master >= 0) close(master);
}

void PtyPair::Send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
    if (n > 0) done += static_cast<size_t>(n);
    else if (n < 0 && errno == EAGAIN) SleepMs(1);
    else break;
  }
}

std::string PtyPair::Drain(int settleMs) {
  std::string out;
  char buf[4096];
  for (;;) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, settleMs) <= 0 || !(p.revents & POLLIN)) break;
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

void PtyPair::Hangup() {
  if (master >= 0) close(master);
  master = -1;
}

Simulator::Simulator(const std::vector<std::string>& options) {
  port = dir.File("port");
  logPath = dir.File("sim.log");
  std::vector<std::string> args = {KORVANE_SIM, "--link", port, "--log", logPath};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (posix_spawn(&pid, KORVANE_SIM, &actions, nullptr, argv.data(), environ) != 0) std::abort();
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 500; ++i) {
    struct stat st{};
    if (lstat(port.c_str(), &st) == 0 && FileExists(logPath)) return;
    SleepMs(5);
  }
  std::abort();
}

Simulator::~Simulator() { Stop(); }

void Simulator::Stop() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  pid = -1;
}

namespace {
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    if (c == 'r') out += '\r';
    else if (c == 'n') out += '\n';
    else if (c == 'x' && i + 2 < s.size() + 1) {
      out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else out += c;
  }
  return out;
}
}  // namespace

std::vector<SimEvent> Simulator::Events() const {
  std::vector<SimEvent> events;
  std::istringstream in(ReadFile(logPath));
  std::string line;
  while (std::getline(in, line)) {
    SimEvent e;
    const size_t a = line.find(' ');
    if (a == std::string::npos) continue;
    e.t = std::strtod(line.substr(0, a).c_str(), nullptr);
    const size_t b = line.find(' ', a + 1);
    e.kind = line.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    std::string rest = b == std::string::npos ? "" : line.substr(b + 1);
    if (e.kind == "rx") {
      const size_t c = rest.find(' ');
      e.baud = std::atoi(rest.substr(0, c).c_str());
      rest = c == std::string::npos ? "" : rest.substr(c + 1);
    }
    e.data = (e.kind == "rx" || e.kind == "tx" || e.kind == "lost" || e.kind == "saved") ? Unescape(rest) : rest;
    events.push_back(e);
  }
  return events;
}

std::string Simulator::Received() const {
  std::string all;
  for (const SimEvent& e : Events())
    if (e.kind == "rx") all += e.data;
  return all;
}

int Simulator::Speed(int initial) const {
  int speed = initial;
  for (const SimEvent& e : Events())
    if (e.kind == "speed") speed = std::atoi(e.data.c_str());
  return speed;
}
#endif  // !_WIN32

namespace {
BoxRecorder* g_boxes = nullptr;
BoxAnswer RecordBox(const std::string& caption, const std::string& text, BoxButtons buttons) {
  g_boxes->shown.push_back(caption + ": " + text);
  return buttons == BoxButtons::Ok ? BoxAnswer::Ok : g_boxes->answer;
}
}  // namespace

BoxRecorder::BoxRecorder() {
  g_boxes = this;
  MessageBoxBackend = RecordBox;
}

BoxRecorder::~BoxRecorder() {
  MessageBoxBackend = nullptr;
  g_boxes = nullptr;
}

#ifndef _WIN32
std::vector<Burst> Bursts(const std::vector<SimEvent>& events, double gapMs) {
  std::vector<Burst> bursts;
  double last = -1e9;
  for (const SimEvent& e : events) {
    if (e.kind != "rx") continue;
    if (bursts.empty() || (e.t - last) * 1000 > gapMs || e.baud != bursts.back().baud) {
      bursts.push_back({e.t, e.baud, e.data});
    } else {
      bursts.back().bytes += e.data;
    }
    last = e.t;
  }
  return bursts;
}
#endif

std::string Visible(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  return out;
}

#include <regex>

#ifndef _WIN32
CommandResult RunKorvane(const TempFolder& dir, const std::string& args, const std::string& env) {
  return RunCommand("cd " + ShellQuote(dir.path) + " && env PATH=" + ShellQuote(dir.path) + ":\"$PATH\" " + env + " " +
                    KORVANE_BINARY + " --settings " + ShellQuote(dir.File("Korvane.inf")) + " " + args);
}
#endif

void WriteSettings(const TempFolder& dir, const std::vector<std::pair<std::string, std::string>>& keys) {
  std::string text;
  for (const char* group : {"micromite", "Arduino", "General"}) {
    text += std::string("[") + group + "]\r\n";
    for (const auto& [g, line] : keys)
      if (g == group) text += line + "\r\n";
  }
  WriteFile(dir.File("Korvane.inf"), text);
}

std::string WithoutSeconds(const std::string& out) {
  static const std::regex seconds("Programming completed in [0-9]+\\.[0-9]{3} seconds");
  return std::regex_replace(out, seconds, "Programming completed in S seconds");
}
