#include "platform/process.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/text.h"

struct ChildProcess {
  HANDLE process = nullptr;
  HANDLE pipe = nullptr;  // read end, not inheritable
};

const char* ToolFileName() { return "pic32prog.exe"; }

bool ToolHasOwnConsole() { return true; }

namespace {

// One argument as CommandLineToArgvW reads it back: quoted when it holds a
// blank, a tab or a quote (or is empty, or `force`), with 2n backslashes
// before a closing quote and 2n+1 before a literal one.
std::wstring QuoteArgument(const std::wstring& arg, bool force) {
  if (!force && !arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

// "pic32prog.exe" in quotes, then the arguments. The last argument of a
// target run is a path and is quoted even when it needs no quotes, so the
// command line reads as the log's parameter line does.
std::wstring CommandLineOf(const ChildOptions& options, bool quoteLastPath) {
  std::wstring line = QuoteArgument(Utf8ToWide(options.file), true);
  for (size_t i = 0; i < options.args.size(); ++i) {
    const bool force = quoteLastPath && i + 1 == options.args.size();
    line += L" " + QuoteArgument(Utf8ToWide(options.args[i]), force);
  }
  return line;
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ' ||
                              message.back() == L'.'))
    message.pop_back();
  return WideToUtf8(message);
}

}  // namespace

ChildProcess* StartChild(const ChildOptions& options, std::string& error) {
  SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
    error = SystemMessage(GetLastError());
    return nullptr;
  }
  // The program keeps a read end that the tool does not inherit.
  HANDLE ownRead = nullptr;
  DuplicateHandle(GetCurrentProcess(), readEnd, GetCurrentProcess(), &ownRead, 0, FALSE, DUPLICATE_SAME_ACCESS);
  CloseHandle(readEnd);

  // Only the pipe, and standard input where there is an inheritable one,
  // reach the tool.
  HANDLE inherit[2] = {writeEnd, nullptr};
  DWORD inheritCount = 1;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD flags = 0;
  if (input && input != INVALID_HANDLE_VALUE && GetHandleInformation(input, &flags) && (flags & HANDLE_FLAG_INHERIT))
    inherit[inheritCount++] = input;
  else
    input = nullptr;

  SIZE_T attributeSize = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
  std::string attributeBuffer(attributeSize, '\0');
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.data());
  const bool haveList = InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize) &&
                        UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherit,
                                                  inheritCount * sizeof(HANDLE), nullptr, nullptr);

  STARTUPINFOEXW si{};
  si.StartupInfo.cb = sizeof si;
  si.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  si.StartupInfo.wShowWindow = SW_HIDE;
  si.StartupInfo.hStdInput = input;
  si.StartupInfo.hStdOutput = writeEnd;
  si.StartupInfo.hStdError = writeEnd;
  if (haveList) si.lpAttributeList = attributes;

  std::wstring commandLine = CommandLineOf(options, true);
  const std::wstring workDir = Utf8ToWide(options.workDir);
  PROCESS_INFORMATION pi{};
  const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                                      haveList ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr,
                                      workDir.empty() ? nullptr : workDir.c_str(), &si.StartupInfo, &pi);
  const DWORD startError = GetLastError();
  if (haveList) DeleteProcThreadAttributeList(attributes);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(ownRead);
    error = SystemMessage(startError);
    return nullptr;
  }
  CloseHandle(pi.hThread);
  auto* child = new ChildProcess;
  child->process = pi.hProcess;
  child->pipe = ownRead;
  return child;
}

size_t ChildBytesWaiting(ChildProcess* child) {
  if (!child || !child->pipe) return 0;
  DWORD available = 0;
  if (!PeekNamedPipe(child->pipe, nullptr, 0, nullptr, &available, nullptr)) return 0;
  return available;
}

bool ChildIsRunning(ChildProcess* child) {
  if (!child) return false;
  if (WaitForSingleObject(child->process, 0) == WAIT_TIMEOUT) return true;
  return ChildBytesWaiting(child) > 0;
}

size_t ChildRead(ChildProcess* child, char* buffer, size_t count) {
  if (!child || !child->pipe) return 0;
  size_t done = 0;
  while (done < count) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(count - done);
    if (!ReadFile(child->pipe, buffer + done, want, &got, nullptr)) break;  // broken pipe: what came
    if (got == 0) break;
    done += got;
  }
  return done;
}

void ChildAwait(ChildProcess* child, int timeoutMs) {
  // An anonymous pipe can't be waited on; the process handle can. Output
  // that arrives meanwhile is taken at most `timeoutMs` later.
  if (child) WaitForSingleObject(child->process, static_cast<DWORD>(timeoutMs));
}

int32_t ChildExitCode(ChildProcess* child) {
  if (!child) return -1;
  DWORD code = 0;
  GetExitCodeProcess(child->process, &code);
  return static_cast<int32_t>(code);
}

void ChildClose(ChildProcess* child) {
  if (!child) return;
  if (child->process) CloseHandle(child->process);
  if (child->pipe) CloseHandle(child->pipe);
  delete child;
}

int32_t RunChildInOwnConsole(const ChildOptions& options, bool& started, std::string& error) {
  std::wstring commandLine = CommandLineOf(options, false);
  const std::wstring workDir = Utf8ToWide(options.workDir);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  HANDLE process = nullptr;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                     workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    process = pi.hProcess;
  } else {
    // Once more through the shell, which finds and starts programs its own way.
    const DWORD firstError = GetLastError();
    std::wstring parameters;
    for (size_t i = 0; i < options.args.size(); ++i) {
      if (i) parameters += L" ";
      parameters += QuoteArgument(Utf8ToWide(options.args[i]), false);
    }
    const std::wstring file = Utf8ToWide(options.file);
    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    sei.lpFile = file.c_str();
    sei.lpParameters = parameters.c_str();
    sei.lpDirectory = workDir.empty() ? nullptr : workDir.c_str();
    sei.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&sei) && sei.hProcess) {
      process = sei.hProcess;
    } else {
      started = false;
      error = SystemMessage(firstError);
      return -1;
    }
  }
  started = true;
  WaitForSingleObject(process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  return static_cast<int32_t>(code);
}
