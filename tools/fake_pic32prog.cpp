// A stand-in for the programming tool, for tests and demonstrations.
//
// It appends what it was given to the file named by FAKE_PIC32PROG_RECORD
// (one line "arg: <argument>" per argument, then "cwd: <folder>"), then plays
// the script in the file named by FAKE_PIC32PROG_SCRIPT, or, without one, a
// successful run that looks like the real tool's. Script lines:
//
//   out TEXT        write TEXT to standard output (escapes: \n \r \b \t \0 \\ \xNN)
//   err TEXT        write TEXT to standard error
//   outeach TEXT    write TEXT to standard output one byte at a time
//   repeat N TEXT   write TEXT to standard output N times, in large writes
//   numbered N TEXT write N lines to standard output, in large writes: line i
//                   is i in nine digits (leading zeros), a blank, then TEXT
//   sleep MS        pause
//   closeout        close standard output and error, and go on
//   linger MS       leave a process behind that holds standard output for MS
//                   milliseconds after this one ends (POSIX)
//   fds             append "fd: N -> target" for every open descriptor to the record
//   crash           die by SIGSEGV (Windows: end with status 0xC0000005)
//   exit CODE       end with CODE (-1 gives 255, as exit(-1) does)
//
// Without an "exit" line it ends with 0.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define write _write
static void PauseMs(long ms) { Sleep(static_cast<DWORD>(ms)); }
#else
#include <dirent.h>
#include <unistd.h>
static void PauseMs(long ms) { usleep(static_cast<useconds_t>(ms) * 1000); }
#endif

namespace {

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 >= s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    switch (c) {
      case 'n': out += '\n'; break;
      case 'r': out += '\r'; break;
      case 'b': out += '\b'; break;
      case 't': out += '\t'; break;
      case '0': out += '\0'; break;
      case 'x':
        if (i + 2 < s.size()) {
          out += static_cast<char>(std::strtol(s.substr(i + 1, 2).c_str(), nullptr, 16));
          i += 2;
        }
        break;
      default: out += c; break;
    }
  }
  return out;
}

void WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const auto n = write(fd, bytes.data() + done, static_cast<unsigned>(bytes.size() - done));
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

std::string g_record;

void Record(const std::string& line) {
  if (g_record.empty()) return;
  std::ofstream out(g_record, std::ios::app | std::ios::binary);
  out << line << "\n";
}

void RecordDescriptors() {
#ifndef _WIN32
  DIR* dir = opendir("/proc/self/fd");
  if (!dir) return;
  const int own = dirfd(dir);
  std::vector<std::string> lines;
  while (dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const int fd = std::atoi(e->d_name);
    if (fd == own) continue;
    char target[512] = {0};
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    lines.push_back("fd: " + std::to_string(fd) + " -> " + (n > 0 ? std::string(target, static_cast<size_t>(n)) : "?"));
  }
  closedir(dir);
  for (const std::string& l : lines) Record(l);
#endif
}

// The real tool's successful run, with n-step progress bars.
std::vector<std::string> DefaultScript(const std::string& port) {
  const int n = 20, m = 3;
  auto bar = [](int count, int hashes, const std::string& tail) {
    std::vector<std::string> s;
    s.push_back("out " + std::string(static_cast<size_t>(count), '.'));
    std::string back;
    for (int i = 0; i < count; ++i) back += "\\b";
    s.push_back("out " + back);
    for (int i = 0; i < hashes; ++i) {
      s.push_back("sleep 5");
      s.push_back("out #");
    }
    s.push_back("out " + tail);
    return s;
  };
  std::vector<std::string> s = {
      "out Programmer for Microchip PIC32 microcontrollers, Version 2.0.220\\n",
      "out     Copyright: (C) 2011-2015 ...\\n",
      "out \\n",
      "sleep 50",
      "out       Adapter: .",
      "sleep 20",
      "out \\b OK1 OK2 - ascii ICSP v1E\\n",
      "out     Processor: MX170F256B\\n",
      "out  Flash memory: 256 kbytes\\n",
      "out   Boot memory: 3 kbytes\\n",
      "out          Data: 245760 bytes\\n",
      "out         Erase: (20mS) done\\n",
      "out    Loading PE: 1 2 3 4 (LDR) 5 6 7a (PE) 7b 8 v0301\\n",
      "out Program flash: ",
  };
  for (auto& l : bar(n, n, "# done\\n")) s.push_back(l);
  s.push_back("out  Program boot: ");
  for (auto& l : bar(m, m - 1, "# done      \\n")) s.push_back(l);
  s.push_back("out  Verify flash: ");
  for (auto& l : bar(n, n, " done\\n")) s.push_back(l);
  s.push_back("out   Verify boot: ");
  for (auto& l : bar(m, m, " done       \\n")) s.push_back(l);
  s.push_back("out  Program rate: 2345 bytes per second\\n");
  s.push_back("out \\n");
  s.push_back("out total TDI/TMS pairs sent = 123456 pairs\\n");
  s.push_back("out elapsed programming time = 0m 01s\\n");
  (void)port;
  s.push_back("exit 0");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // The bytes of a script go out as written: no "\n" to "\r\n".
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
#endif
  if (const char* r = std::getenv("FAKE_PIC32PROG_RECORD")) g_record = r;
  std::string port;
  for (int i = 1; i < argc; ++i) {
    Record(std::string("arg: ") + argv[i]);
    if (std::strncmp(argv[i], "ascii:", 6) == 0) port = argv[i] + 6;
  }
  char cwd[4096] = {0};
#ifdef _WIN32
  GetCurrentDirectoryA(sizeof cwd, cwd);
#else
  if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
#endif
  Record(std::string("cwd: ") + cwd);

  std::vector<std::string> script;
  if (const char* path = std::getenv("FAKE_PIC32PROG_SCRIPT")) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      script.push_back(line);
    }
  } else {
    script = DefaultScript(port);
  }

  for (const std::string& line : script) {
    const size_t sp = line.find(' ');
    const std::string verb = line.substr(0, sp);
    const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
    if (verb == "out") {
      WriteAll(1, Unescape(rest));
    } else if (verb == "err") {
      WriteAll(2, Unescape(rest));
    } else if (verb == "outeach") {
      for (char c : Unescape(rest)) WriteAll(1, std::string(1, c));
    } else if (verb == "repeat") {
      const size_t sp2 = rest.find(' ');
      long long count = std::atoll(rest.substr(0, sp2).c_str());
      const std::string text = sp2 == std::string::npos ? "" : Unescape(rest.substr(sp2 + 1));
      if (text.empty()) continue;
      std::string block;
      while (block.size() < 65536 && count > 0) {
        block += text;
        --count;
      }
      const long long perBlock = static_cast<long long>(block.size() / text.size());
      WriteAll(1, block);
      while (count >= perBlock) {
        WriteAll(1, block);
        count -= perBlock;
      }
      for (; count > 0; --count) WriteAll(1, text);
    } else if (verb == "numbered") {
      const size_t sp2 = rest.find(' ');
      const long long count = std::atoll(rest.substr(0, sp2).c_str());
      const std::string text = sp2 == std::string::npos ? "" : Unescape(rest.substr(sp2 + 1));
      std::string block;
      char number[32];
      for (long long i = 0; i < count; ++i) {
        std::snprintf(number, sizeof number, "%09lld ", i);
        block += number;
        block += text;
        if (block.size() >= 65536) {
          WriteAll(1, block);
          block.clear();
        }
      }
      WriteAll(1, block);
    } else if (verb == "sleep") {
      PauseMs(std::atol(rest.c_str()));
    } else if (verb == "closeout") {
#ifndef _WIN32
      close(1);
      close(2);
#endif
    } else if (verb == "linger") {
#ifndef _WIN32
      if (fork() == 0) {
        PauseMs(std::atol(rest.c_str()));
        _exit(0);
      }
#endif
    } else if (verb == "fds") {
      RecordDescriptors();
    } else if (verb == "crash") {
#ifdef _WIN32
      // Ends with the status an access violation leaves, without a crash
      // dialog that would wait for someone to close it.
      TerminateProcess(GetCurrentProcess(), 0xC0000005);
#else
      std::signal(SIGSEGV, SIG_DFL);
      std::raise(SIGSEGV);
#endif
    } else if (verb == "exit") {
      return std::atoi(rest.c_str());
    }
  }
  return 0;
}
