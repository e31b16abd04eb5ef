#include "platform/paths.h"

#include <windows.h>

#include <vector>

#include "platform/text.h"

std::string ExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) return WideToUtf8(std::wstring(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

char PathSeparator() { return '\\'; }

namespace {
DWORD AttributesOf(const std::string& path) { return GetFileAttributesW(Utf8ToWide(path).c_str()); }
}  // namespace

bool FileExists(const std::string& path) { return AttributesOf(path) != INVALID_FILE_ATTRIBUTES; }

bool IsDirectory(const std::string& path) {
  const DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExecutableFile(const std::string& path) {
  const DWORD a = AttributesOf(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderWritable(const std::string& folder) {
  const std::string probe = (folder.empty() ? std::string(".\\") : folder) + "korvane-probe.tmp";
  HANDLE h = CreateFileW(Utf8ToWide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty() || IsDirectory(folder)) return true;
  std::string parent = folder;
  while (!parent.empty() && (parent.back() == '\\' || parent.back() == '/')) parent.pop_back();
  const size_t cut = parent.find_last_of("\\/");
  if (cut != std::string::npos && cut > 0 && !MakeFolders(parent.substr(0, cut + 1))) return false;
  return CreateDirectoryW(Utf8ToWide(folder).c_str(), nullptr) || IsDirectory(folder);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  out.clear();
  HANDLE h = CreateFileW(Utf8ToWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(h, chunk, sizeof chunk, &got, nullptr)) {
      CloseHandle(h);
      out.clear();
      return false;
    }
    if (got == 0) break;
    out.append(chunk, got);
  }
  CloseHandle(h);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& content) {
  const std::wstring target = Utf8ToWide(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  // A write-protected file, or a folder in its place, is left as it is.
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)))
    return false;
  const std::wstring temp = target + L".tmp";
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
            written == content.size() && FlushFileBuffers(h);
  CloseHandle(h);
  if (ok) ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temp.c_str());
  return ok;
}

std::string UserConfigFolder() { return ""; }

std::string CurrentFolder() {
  const DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring buffer(n, L'\0');
  const DWORD got = GetCurrentDirectoryW(n, buffer.data());
  buffer.resize(got);
  std::string folder = WideToUtf8(buffer);
  if (folder.empty() || (folder.back() != '\\' && folder.back() != '/')) folder += '\\';
  return folder;
}
