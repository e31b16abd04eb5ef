// micromite-sim: a pseudo-terminal that behaves like a Micromite's console,
// for trying Korvane without hardware and for its tests.
//
//   micromite-sim [--link PATH] [--log FILE] [--speed BAUD] [--dead]
//                 [--unplug-after N] [--unplug-on-baudrate]
//
// It prints the path of the terminal to point Korvane's "comport" at (and
// with --link makes PATH a symbolic link to it), then serves the console until
// it gets SIGINT or SIGTERM.
//
// The console: echo of printable characters, "\b \b" for backspace, CR echoed
// as "\r\n" (an LF right after it is dropped), prompt "> " (after "\r\n" when
// the cursor is not at column 1). Ctrl-C empties the receive buffer and
// prompts "\r\n> ". OPTION BAUDRATE n takes effect at once: the echo comes
// back at the old speed, the next prompt at the new one. NEW, AUTOSAVE (lines
// until Ctrl-Z, answered "Saved N bytes"), RUN. The console listens and
// answers only while the port's speed, as the program on the other end set
// it, equals its own; other bytes are noise to it, and what it says then is
// lost.
//
//   --speed BAUD          console speed at power-up (38400)
//   --dead                a master that never answers (bytes are still logged)
//   --unplug-after N      the cable is pulled after N program lines of AUTOSAVE:
//                         the terminal closes, reads and writes on it fail
//   --unplug-on-baudrate  the same, as soon as an OPTION BAUDRATE command ends
//   --log FILE            one line per event, with the monotonic time in seconds:
//                           T open | T close          the port was opened / closed
//                           T rx BAUD BYTES           bytes received; BAUD: the port's speed
//                           T tx BYTES | T lost BYTES  bytes sent / not understood
//                           T speed BAUD              console speed changed
//                           T saved N PROGRAM         AUTOSAVE ended
//                           T unplug
//                         BYTES are escaped: \r \n \\ and \xNN for other bytes
//                         outside printable ASCII.
//
// Linux hands a pty master's termios requests to the slave side, so the
// speed Korvane sets on its end is read here on the master (tcgetattr /
// TCGETS2). A closed port shows as POLLHUP on the master.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "platform/serial_baud_posix.h"

namespace {

volatile sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

std::FILE* g_log = nullptr;

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string Escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

void Log(const std::string& event, const std::string& rest = "") {
  if (!g_log) return;
  std::fprintf(g_log, "%.6f %s%s%s\n", Now(), event.c_str(), rest.empty() ? "" : " ", rest.c_str());
  std::fflush(g_log);
}

struct Options {
  std::string link, logPath;
  int speed = 38400;
  bool dead = false;
  long unplugAfter = -1;
  bool unplugOnBaudrate = false;
};

enum class Mode { Prompt, Autosave, Running };

struct Console {
  Options options;
  int master = -1;
  bool portOpen = false;
  int speed = 38400;
  Mode mode = Mode::Prompt;
  std::string line;        // the command line being typed
  std::string program;     // the stored program
  std::string autosaved;   // lines received since AUTOSAVE
  bool afterCr = false;
  bool atColumn1 = true;
  long programLines = 0;
  bool unplugged = false;

  std::string outbox;  // what is said during one chunk goes out in one write

  void Say(const std::string& text) {
    if (text.empty()) return;
    atColumn1 = text.back() == '\n';
    if (options.dead) return;
    if (!portOpen || CurrentBaud(master) != speed) {
      Flush();
      Log("lost", Escape(text));
      return;
    }
    outbox += text;
  }

  void Flush() {
    if (outbox.empty() || master < 0) return;
    size_t done = 0;
    while (done < outbox.size()) {
      const ssize_t n = write(master, outbox.data() + done, outbox.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;  // the other end reads nothing: the rest is lost, as on a wire
      }
    }
    Log("tx", Escape(outbox.substr(0, done)));
    outbox.clear();
  }

  void Prompt() { Say(atColumn1 ? "> " : "\r\n> "); }

  void Unplug() {
    Flush();
    Log("unplug");
    close(master);
    master = -1;
    if (!options.link.empty()) unlink(options.link.c_str());
    unplugged = true;
  }

  void Execute(const std::string& command) {
    std::string upper;
    for (char c : command) upper += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    while (!upper.empty() && upper.back() == ' ') upper.pop_back();
    size_t first = upper.find_first_not_of(' ');
    upper = first == std::string::npos ? "" : upper.substr(first);
    if (upper.empty()) {
      Prompt();
    } else if (upper.rfind("OPTION BAUDRATE", 0) == 0) {
      const int baud = std::atoi(upper.c_str() + 15);
      if (options.unplugOnBaudrate) {
        Unplug();
        return;
      }
      if (baud > 0) {
        Flush();  // the echo still goes at the old speed
        speed = baud;
        Log("speed", std::to_string(baud));
      }
      Prompt();
    } else if (upper == "NEW") {
      program.clear();
      Prompt();
    } else if (upper == "AUTOSAVE") {
      mode = Mode::Autosave;
      autosaved.clear();
    } else if (upper == "RUN") {
      mode = Mode::Running;  // the programmer program now serves the tool
    } else {
      Say("Error : Unknown command\r\n");
      Prompt();
    }
  }

  void Break() {
    line.clear();
    mode = Mode::Prompt;
    Say("\r\n> ");
  }

  // One chunk as it arrived; a Ctrl-C or Ctrl-Z empties the receive buffer,
  // so the rest of the chunk is lost.
  void Take(const std::string& bytes) {
    for (size_t i = 0; i < bytes.size() && !unplugged; ++i) {
      const char c = bytes[i];
      const bool lfAfterCr = c == '\n' && afterCr;
      afterCr = c == '\r';
      if (c == '\x03') {
        Break();
        return;
      }
      if (mode == Mode::Running) continue;
      if (mode == Mode::Autosave) {
        if (c == '\x1A') {
          program = autosaved;
          mode = Mode::Prompt;
          Log("saved", std::to_string(program.size()) + " " + Escape(program));
          Say("Saved " + std::to_string(program.size()) + " bytes\r\n");
          Prompt();
          return;
        }
        if (lfAfterCr) continue;
        if (c == '\r' || c == '\n') {
          Say("\r\n");
          autosaved += "\r\n";
          ++programLines;
          if (options.unplugAfter >= 0 && programLines >= options.unplugAfter) Unplug();
          continue;
        }
        const char k = c == '\t' ? ' ' : c;
        autosaved += k;
        Say(std::string(1, k));
        continue;
      }
      // Prompt mode: typing a command line.
      if (lfAfterCr) continue;
      if (c == '\r' || c == '\n') {
        Say("\r\n");
        const std::string command = line;
        line.clear();
        Execute(command);
      } else if (c == '\b' || c == '\x7F') {
        if (!line.empty()) {
          line.pop_back();
          Say("\b \b");
        }
      } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
        const char k = c == '\t' ? ' ' : c;
        line += k;
        Say(std::string(1, k));
      }
    }
  }
};

void Usage() {
  std::fputs("usage: micromite-sim [--link PATH] [--log FILE] [--speed BAUD] [--dead]\n"
             "                     [--unplug-after N] [--unplug-on-baudrate]\n",
             stderr);
}

}  // namespace

int main(int argc, char** argv) {
  Console console;
  Options& o = console.options;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        Usage();
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--link") o.link = value();
    else if (a == "--log") o.logPath = value();
    else if (a == "--speed") o.speed = std::atoi(value().c_str());
    else if (a == "--dead") o.dead = true;
    else if (a == "--unplug-after") o.unplugAfter = std::atol(value().c_str());
    else if (a == "--unplug-on-baudrate") o.unplugOnBaudrate = true;
    else {
      Usage();
      return 2;
    }
  }
  console.speed = o.speed;
  if (!o.logPath.empty()) {
    g_log = std::fopen(o.logPath.c_str(), "w");
    if (!g_log) {
      std::perror(o.logPath.c_str());
      return 1;
    }
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    std::perror("micromite-sim: pseudo-terminal");
    return 1;
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  fcntl(master, F_SETFD, FD_CLOEXEC);
  const std::string slave = ptsname(master);
  // Raw from the start, so nothing is echoed or translated before a program
  // opens the port and sets it up.
  const int s = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s >= 0) {
    termios t{};
    if (tcgetattr(s, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(s, TCSANOW, &t);
    }
    close(s);
  }
  console.master = master;
  if (!o.link.empty()) {
    unlink(o.link.c_str());
    if (symlink(slave.c_str(), o.link.c_str()) != 0) {
      std::perror(o.link.c_str());
      return 1;
    }
  }

  struct sigaction sa{};
  sa.sa_handler = OnSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::printf("%s\n", slave.c_str());
  std::fflush(stdout);

  // Nobody has the port open yet.
  while (!g_stop && !console.unplugged) {
    pollfd p{master, POLLIN, 0};
    const int r = poll(&p, 1, console.portOpen ? 100 : 1);
    if (g_stop) break;
    if (r > 0 && (p.revents & POLLIN)) {
      char chunk[4096];
      const ssize_t n = read(master, chunk, sizeof chunk);
      if (n > 0) {
        if (!console.portOpen) {
          console.portOpen = true;
          Log("open");
        }
        const std::string bytes(chunk, static_cast<size_t>(n));
        const int portBaud = CurrentBaud(master);
        Log("rx", std::to_string(portBaud) + " " + Escape(bytes));
        if (o.dead || portBaud != console.speed) continue;  // noise at the wrong speed
        console.Take(bytes);
        console.Flush();
        continue;
      }
    }
    if (r > 0 && (p.revents & POLLHUP)) {
      if (console.portOpen) {
        console.portOpen = false;
        Log("close");
      }
      // POLLHUP stays up until the port is opened again: look every ms.
      timespec ms{0, 1000000};
      nanosleep(&ms, nullptr);
      continue;
    }
    if (r >= 0 && !(p.revents & POLLHUP) && !console.portOpen) {
      console.portOpen = true;
      Log("open");
    }
  }
  if (!console.unplugged && !o.link.empty()) unlink(o.link.c_str());
  if (g_log) std::fclose(g_log);
  return 0;
}
