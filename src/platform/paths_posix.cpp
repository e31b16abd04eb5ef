#include "platform/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

std::string ExecutablePath() {
#if defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string raw(size, '\0');
  if (_NSGetExecutablePath(raw.data(), &size) != 0) return "";
  raw.resize(raw.find('\0'));
  char resolved[PATH_MAX];
  return realpath(raw.c_str(), resolved) ? std::string(resolved) : raw;
#else
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
#endif
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

char PathSeparator() { return '/'; }

bool FileExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool FolderWritable(const std::string& folder) {
  const std::string f = folder.empty() ? std::string(".") : folder;
  return IsDirectory(f) && access(f.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  if (IsDirectory(folder)) return true;
  std::string parent = folder;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  const size_t cut = parent.find_last_of('/');
  if (cut != std::string::npos && cut > 0 && !MakeFolders(parent.substr(0, cut))) return false;
  return mkdir(folder.c_str(), 0777) == 0 || IsDirectory(folder);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  // Only a regular file is read: a named pipe would hold the program until
  // someone writes to it, and a device such as /dev/zero never ends. The
  // open itself must not wait for a pipe's writer either.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st{};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  char chunk[65536];
  for (;;) {
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      out.clear();
      return false;
    }
    if (n == 0) break;
    out.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return true;
}

namespace {

bool WriteAll(int fd, const std::string& content) {
  size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

void SyncFolder(const std::string& folder) {
  const int dfd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    close(dfd);
  }
}

// A folder that takes no new file, around a file that may be written: the
// file is rewritten where it is, since keeping the old settings would lose
// every change for good.
bool RewriteInPlace(const std::string& path, const std::string& content) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content) && ftruncate(fd, static_cast<off_t>(content.size())) == 0 && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace

namespace {
// A symbolic link keeps pointing where it did: the file it names is the one
// replaced.
std::string FileBehind(const std::string& requested) {
  char resolved[PATH_MAX];
  struct stat lst{};
  if (lstat(requested.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) return requested;
  if (realpath(requested.c_str(), resolved)) return resolved;
  // A link to a file not made yet: the file is made where the link points,
  // when that folder is there.
  std::vector<char> target(PATH_MAX);
  const ssize_t n = readlink(requested.c_str(), target.data(), target.size() - 1);
  if (n <= 0) return requested;
  std::string named(target.data(), static_cast<size_t>(n));
  if (named[0] != '/') named = FolderOf(requested) + named;
  const std::string folder = FolderOf(named);
  return IsDirectory(folder.empty() ? "." : folder) ? named : requested;
}
}  // namespace

void RemoveLeftoverTemporary(const std::string& requested) {
  const std::string temp = FileBehind(requested) + ".tmp";
  struct stat st{};
  if (lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(temp.c_str());
}

bool ReplaceFileAtomically(const std::string& requested, const std::string& content) {
  const std::string path = FileBehind(requested);

  // A write-protected file, or a folder in its place, is left as it is.
  struct stat st{};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode) || access(path.c_str(), W_OK) != 0) return false;
  }
  const std::string folder = FolderOf(path);
  const std::string temp = path + ".tmp";

  int fd = -1;
  bool named = false;
#if defined(O_TMPFILE)
  // An unnamed file first: if the program dies while writing, nothing is left
  // behind in the folder.
  fd = open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
#endif
  if (fd < 0) {
    unlink(temp.c_str());
    fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno == EACCES && RewriteInPlace(path, content);
    named = true;
  }
  if (fd >= 0 && stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);

  bool ok = WriteAll(fd, content) && fsync(fd) == 0;
  if (ok && !named) {
    // Give the finished file its temporary name and rename it over the old
    // one at once: the name lives only between these two calls.
    const std::string procPath = "/proc/self/fd/" + std::to_string(fd);
    unlink(temp.c_str());
    ok = linkat(AT_FDCWD, procPath.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
    named = ok;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
    if (close(fd) != 0) ok = false;
  } else {
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(temp.c_str(), path.c_str()) == 0;
  }
  if (!ok) {
    if (named) unlink(temp.c_str());
    return false;
  }
  SyncFolder(folder);
  return true;
}

std::string UserConfigFolder() {
  const char* xdg = getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = getenv("HOME");
    if (!home || !home[0]) return "";
    base = std::string(home) + "/.config";
  }
  if (base.back() != '/') base += '/';
  return base + "korvane/";
}

std::string CurrentFolder() {
  std::vector<char> buffer(PATH_MAX);
  if (!getcwd(buffer.data(), buffer.size())) return "";
  std::string cwd(buffer.data());
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return cwd;
}
