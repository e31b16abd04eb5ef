#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/paths.h"

extern char** environ;

struct ChildProcess {
  pid_t pid = -1;
  int pipe = -1;  // read end; -1 when output is not captured
  bool ended = false;
  int status = 0;
};

const char* ToolFileName() { return "pic32prog"; }

bool ToolHasOwnConsole() { return false; }

namespace {

std::string ResolveProgram(const ChildOptions& options) {
  if (options.file.find('/') != std::string::npos) return options.file;
  if (!options.preferredFolder.empty()) {
    const std::string candidate = options.preferredFolder + options.file;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";  // let the PATH search of posix_spawnp find it
}

// Spawns the child. `outFd` (or -1) becomes its standard output and error.
pid_t Spawn(const ChildOptions& options, int outFd, std::string& error) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDERR_FILENO);
  }
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // Whatever a library opened without close-on-exec stays with us too.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  if (!options.workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, options.workDir.c_str());

  // The child starts with default signal handling and an empty signal mask,
  // whatever this program ignores or blocks.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(options.file.c_str()));
  for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  const std::string resolved = ResolveProgram(options);
  pid_t pid = -1;
  const int rc = resolved.empty()
                     ? posix_spawnp(&pid, options.file.c_str(), &actions, &attributes, argv.data(), environ)
                     : posix_spawn(&pid, resolved.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (rc != 0) {
    error = std::strerror(rc);
    return -1;
  }
  return pid;
}

int32_t ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

ChildProcess* StartChild(const ChildOptions& options, std::string& error) {
  int fds[2] = {-1, -1};
  if (options.captureOutput && pipe2(fds, O_CLOEXEC) != 0) {
    error = std::strerror(errno);
    return nullptr;
  }
  const pid_t pid = Spawn(options, fds[1], error);
  if (fds[1] >= 0) close(fds[1]);
  if (pid < 0) {
    if (fds[0] >= 0) close(fds[0]);
    return nullptr;
  }
  auto* child = new ChildProcess;
  child->pid = pid;
  child->pipe = fds[0];
  return child;
}

namespace {
void Reap(ChildProcess* child, bool block) {
  if (child->ended) return;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(child->pid, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == child->pid || (r < 0 && errno == ECHILD)) {
    child->ended = true;
    child->status = r == child->pid ? status : 0;
  }
}
}  // namespace

size_t ChildBytesWaiting(ChildProcess* child) {
  if (!child || child->pipe < 0) return 0;
  int n = 0;
  if (ioctl(child->pipe, FIONREAD, &n) != 0 || n < 0) return 0;
  return static_cast<size_t>(n);
}

bool ChildIsRunning(ChildProcess* child) {
  if (!child) return false;
  Reap(child, false);
  return !child->ended || ChildBytesWaiting(child) > 0;
}

size_t ChildRead(ChildProcess* child, char* buffer, size_t count) {
  if (!child || child->pipe < 0) return 0;
  size_t done = 0;
  while (done < count) {
    const ssize_t n = read(child->pipe, buffer + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // broken pipe: give back what came
    done += static_cast<size_t>(n);
  }
  return done;
}

void ChildAwait(ChildProcess* child, int timeoutMs) {
  if (!child) return;
  if (child->pipe >= 0) {
    pollfd p{child->pipe, POLLIN, 0};
    const int r = poll(&p, 1, timeoutMs);
    if (r > 0 && (p.revents & POLLIN)) return;
    if (r == 0) return;
    // The write end is closed (or the pipe failed) with nothing to read: the
    // pipe no longer tells when the process ends, so wait on the clock.
  }
  Reap(child, false);
  if (!child->ended) SleepMs(timeoutMs);
}

int32_t ChildExitCode(ChildProcess* child) {
  if (!child) return -1;
  Reap(child, true);
  return ExitCodeOf(child->status);
}

void ChildClose(ChildProcess* child) {
  if (!child) return;
  if (child->pipe >= 0) close(child->pipe);
  delete child;
}

int32_t RunChildInOwnConsole(const ChildOptions& options, bool& started, std::string& error) {
  const pid_t pid = Spawn(options, -1, error);
  started = pid >= 0;
  if (!started) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return ExitCodeOf(status);
}
