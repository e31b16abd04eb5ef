// The toolkit layer on plain Win32: user32 windows and common controls, a
// rich-edit control for the log, MessageBoxW and GetOpenFileNameW.
//
// Text is UTF-8 everywhere in the program; it becomes UTF-16 only at the
// calls here.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <richedit.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "platform/clock.h"
#include "platform/text.h"
#include "ui/gui/toolkit.h"

void (*TkDialogShownHook)() = nullptr;
std::string TkDialogAnswerPath;

namespace {

constexpr wchar_t kWindowClass[] = L"KorvaneWindow";
constexpr DWORD kWindowStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kWindowExStyle = 0;
constexpr UINT_PTR kHookTimer = 0x4B56;

enum class Kind { Button, Label, GroupBox, Option, List, Spin, Log };

struct Control {
  HWND hwnd = nullptr;    // the control; a spin field's edit
  HWND arrows = nullptr;  // a spin field's up-down control
  int window = -1;
  Kind kind = Kind::Label;
  int low = 0, high = 0;
  RECT place{};  // where the program put it (a spin field: edit and arrows together)
};

// What the program wrote into a log view, kept beside the control so that
// byte offsets (UTF-8, "\n" breaks) map to the control's character positions.
struct LogText {
  std::string text;
  std::string pending;      // the end of `text`, not yet handed to the control
  bool userEdited = false;  // the control's text differs from `text`
  bool resync = false;      // `text` must be read back from the control
};

struct ToolkitRecord {
  bool displayOpen = false;
  HINSTANCE instance = nullptr;
  std::map<int, HWND> windows;
  std::map<int, Control> controls;
  std::map<int, LogText> logs;
  std::map<int, Kind> lastAdded;  // per window: the kind of the control added last
  std::deque<TkEvent> queue;
  int programEdit = 0;  // > 0 while the program itself changes a log view
  int destroying = 0;   // > 0 while windows are being destroyed: no events
  // Rich edit: "RichEdit20W" breaks paragraphs with one "\r", the old
  // "RichEdit" with "\r\n".
  const wchar_t* logClass = nullptr;
  size_t breakWidth = 1;
  HFONT uiFont = nullptr;
  HFONT logFont = nullptr;
  std::string logFontName;
  // The dialog that is up.
  bool dialogUp = false;
  bool dialogAnswered = false;  // TkAnswerDialog was called for the dialog that is up
  bool fileDialogUp = false;
  size_t fileNameCapacity = 0;  // characters of the file dialog's name buffer
  std::wstring boxCaptionWide;
  std::string boxCaption, boxText;
  TkFileDialogState fileDialog;
};

ToolkitRecord Tk;

void Push(TkEventKind kind, int window, int control) {
  if (Tk.destroying) return;
  TkEvent e;
  e.kind = kind;
  e.window = window;
  e.control = control;
  Tk.queue.push_back(e);
}

int WindowIdOf(HWND hwnd) {
  for (auto& [id, h] : Tk.windows)
    if (h == hwnd) return id;
  return -1;
}

HWND FindWindowHandle(int window) {
  auto it = Tk.windows.find(window);
  return it == Tk.windows.end() ? nullptr : it->second;
}

Control* FindControl(int control) {
  auto it = Tk.controls.find(control);
  return it == Tk.controls.end() ? nullptr : &it->second;
}

int ControlIdOfHandle(HWND hwnd) {
  for (auto& [id, c] : Tk.controls)
    if (c.hwnd == hwnd || (c.arrows && c.arrows == hwnd)) return id;
  return -1;
}

// Lone "\r" and lone "\n" become "\r\n", for controls that break lines there.
std::wstring WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return Utf8ToWide(out);
}

// "\r\n", "\r" and "\n" each become one "\n"; NUL characters go.
std::string SingleBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (c != '\0') {
      out += c;
    }
  }
  return out;
}

std::wstring WindowText(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(std::max(0, got)));
  return text;
}

// ---- Log view positions ---------------------------------------------------------

// Characters of the control for `bytes` of the program's text: UTF-16 units,
// with each "\n" counting as the control's paragraph break.
LONG ControlLength(const char* bytes, size_t n) {
  LONG units = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\n')
      units += static_cast<LONG>(Tk.breakWidth);
    else if ((c & 0xC0) != 0x80)
      units += c >= 0xF0 ? 2 : 1;  // four-byte sequences are surrogate pairs
  }
  return units;
}

// The byte offset in `text` of the control's character position `pos`.
size_t ByteOffset(const std::string& text, LONG pos) {
  LONG units = 0;
  size_t i = 0;
  while (i < text.size() && units < pos) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t len = 1;
    if (c >= 0xF0) len = 4;
    else if (c >= 0xE0) len = 3;
    else if (c >= 0xC0) len = 2;
    units += c == '\n' ? static_cast<LONG>(Tk.breakWidth) : (c >= 0xF0 ? 2 : 1);
    i = std::min(text.size(), i + len);
  }
  return i;
}

struct ProgramEdit {
  ProgramEdit() { ++Tk.programEdit; }
  ~ProgramEdit() { --Tk.programEdit; }
};

Control* LogControl(int control) {
  Control* c = FindControl(control);
  return c && c->kind == Kind::Log ? c : nullptr;
}

// The log's text as the control holds it, in the program's terms.
std::string ReadLogControl(HWND hwnd) {
  GETTEXTLENGTHEX gl{GTL_NUMCHARS | GTL_PRECISE, 1200};
  const LRESULT n = SendMessageW(hwnd, EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&gl), 0);
  std::wstring text;
  if (n >= 0) {
    text.assign(static_cast<size_t>(n) + 1, L'\0');
    GETTEXTEX gt{};
    gt.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    gt.flags = GT_DEFAULT;
    gt.codepage = 1200;
    const LRESULT got = SendMessageW(hwnd, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&gt),
                                     reinterpret_cast<LPARAM>(text.data()));
    if (got > 0 || n == 0) {
      text.resize(static_cast<size_t>(got));
    } else {
      text = WindowText(hwnd);  // the old rich edit has no EM_GETTEXTEX
    }
  }
  return SingleBreaks(WideToUtf8(text));
}

LogText& LogOf(int control, Control* c) {
  LogText& log = Tk.logs[control];
  if (log.resync) {
    log.text = ReadLogControl(c->hwnd);
    log.resync = false;
  }
  return log;
}

// Appends go to the control in one piece, when it is next looked at or the
// window system runs: a rich edit lays its text out anew for every insertion.
void FlushLog(Control* c, LogText& log) {
  if (log.pending.empty()) return;
  std::string native;
  native.reserve(log.pending.size() + log.pending.size() / 16);
  for (char ch : log.pending) {
    if (ch == '\n')
      native += Tk.breakWidth == 1 ? "\r" : "\r\n";
    else
      native += ch;
  }
  log.pending.clear();
  ProgramEdit edit;
  CHARRANGE end{-1, -1};
  SendMessageW(c->hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&end));
  SendMessageW(c->hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Utf8ToWide(native).c_str()));
}

void FlushAllLogs() {
  for (auto& [id, log] : Tk.logs) {
    if (log.pending.empty()) continue;
    auto it = Tk.controls.find(id);
    if (it != Tk.controls.end()) FlushLog(&it->second, log);
  }
}

// The log of a control with everything appended already in the control.
LogText& FlushedLog(int control, Control* c) {
  LogText& log = LogOf(control, c);
  FlushLog(c, log);
  return log;
}

// ---- Modal boxes ----------------------------------------------------------------

// Every other visible and enabled window of the program goes disabled, and
// stay-on-top windows lose that, while a box or the file dialog is up.
struct ModalScope {
  std::vector<HWND> disabled;
  std::vector<HWND> wereTopmost;
  HWND owner = nullptr;
  bool ownerWasDisabled = false;
  explicit ModalScope(HWND owner_) : owner(owner_) {
    ownerWasDisabled = owner && !IsWindowEnabled(owner);
    EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
    for (HWND h : wereTopmost) SetWindowPos(h, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    for (HWND h : disabled) EnableWindow(h, FALSE);
    Tk.dialogUp = true;
    Tk.dialogAnswered = false;
  }
  ~ModalScope() {
    for (HWND h : disabled)
      if (IsWindow(h)) EnableWindow(h, TRUE);
    // The box enables its owner when it closes, even one that was disabled.
    if (ownerWasDisabled && IsWindow(owner)) EnableWindow(owner, FALSE);
    for (HWND h : wereTopmost)
      if (IsWindow(h)) SetWindowPos(h, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Tk.dialogUp = false;
  }
  static BOOL CALLBACK Collect(HWND h, LPARAM data) {
    auto* self = reinterpret_cast<ModalScope*>(data);
    if (!IsWindowVisible(h)) return TRUE;
    if (GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_TOPMOST) self->wereTopmost.push_back(h);
    // The owner is disabled by the box itself.
    if (h != self->owner && IsWindowEnabled(h)) self->disabled.push_back(h);
    return TRUE;
  }
};

// The program's foreground window, or none when another program has the
// foreground.
HWND BoxOwner() {
  HWND fg = GetForegroundWindow();
  if (!fg) return nullptr;
  DWORD pid = 0;
  GetWindowThreadProcessId(fg, &pid);
  return pid == GetCurrentProcessId() ? fg : nullptr;
}

void CALLBACK HookTimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (TkDialogShownHook) TkDialogShownHook();
}

UINT_PTR ArmHook() { return TkDialogShownHook ? SetTimer(nullptr, 0, 50, HookTimerProc) : 0; }

// The box or dialog that is up: the thread's visible dialog window.
BOOL CALLBACK FindDialog(HWND h, LPARAM data) {
  wchar_t cls[32] = {};
  GetClassNameW(h, cls, 32);
  if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(h)) {
    *reinterpret_cast<HWND*>(data) = h;
    return FALSE;
  }
  return TRUE;
}

HWND CurrentDialog() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&found));
  return found;
}

// ---- Window procedure -----------------------------------------------------------

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  const int windowId = WindowIdOf(window);
  HWND from = reinterpret_cast<HWND>(lParam);
  if (windowId < 0 || !from) return;
  const int id = ControlIdOfHandle(from);
  Control* c = FindControl(id);
  if (!c) return;
  const UINT code = HIWORD(wParam);
  switch (c->kind) {
    case Kind::Button:
      if (code == BN_CLICKED) Push(TkEventKind::Click, windowId, id);
      break;
    case Kind::Option:
      if (code == BN_CLICKED) Push(TkEventKind::Select, windowId, id);
      break;
    case Kind::List:
      if ((code == LBN_SELCHANGE || code == LBN_DBLCLK) && SendMessageW(from, LB_GETCURSEL, 0, 0) != LB_ERR)
        Push(TkEventKind::Select, windowId, id);
      break;
    case Kind::Log:
      if (code == EN_CHANGE && Tk.programEdit == 0) {
        LogText& log = Tk.logs[id];
        log.userEdited = true;
        log.resync = true;
      }
      break;
    default:
      break;
  }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_COMMAND:
      OnCommand(hwnd, wParam, lParam);
      return 0;
    case WM_CLOSE: {
      // A request only: the program decides when the window goes.
      const int id = WindowIdOf(hwnd);
      if (id >= 0) Push(TkEventKind::Close, id, -1);
      return 0;
    }
    case WM_SIZE: {
      const int id = WindowIdOf(hwnd);
      if (id >= 0) Push(TkEventKind::Size, id, -1);
      break;
    }
    case WM_CTLCOLORSTATIC: {
      // Labels and group boxes on the window's own face colour.
      HDC dc = reinterpret_cast<HDC>(wParam);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Tab and Shift+Tab through the controls of windows without a log view; the
// log view keeps its keys for itself.
bool DialogNavigation(MSG& msg) {
  HWND root = GetAncestor(msg.hwnd, GA_ROOT);
  if (!root) return false;
  const int id = WindowIdOf(root);
  if (id < 0) {
    // A box or dialog of the system: its keys (Enter, Tab) as its own loop
    // would handle them, when messages are served from inside it.
    wchar_t cls[16] = {};
    GetClassNameW(root, cls, 16);
    return wcscmp(cls, L"#32770") == 0 && IsDialogMessageW(root, &msg) != 0;
  }
  for (auto& [cid, c] : Tk.controls)
    if (c.window == id && c.kind == Kind::Log) return false;
  return IsDialogMessageW(root, &msg) != 0;
}

// Dispatches what the window system has pending. True when something was.
bool DispatchPending() {
  FlushAllLogs();
  bool any = false;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    any = true;
    if (msg.message == WM_QUIT) continue;
    if (DialogNavigation(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return any;
}

bool PopEvent(TkEvent& event) {
  if (Tk.queue.empty()) return false;
  event = Tk.queue.front();
  Tk.queue.pop_front();
  return true;
}

HWND AddChild(int window, int control, const wchar_t* cls, const std::wstring& text, DWORD style, DWORD exStyle,
              int x, int y, int width, int height, Kind kind) {
  HWND parent = FindWindowHandle(window);
  if (!parent) return nullptr;
  if (Control* old = FindControl(control)) {
    if (old->arrows) DestroyWindow(old->arrows);
    if (old->hwnd) DestroyWindow(old->hwnd);
    Tk.controls.erase(control);
    Tk.logs.erase(control);
  }
  HWND h = CreateWindowExW(exStyle, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, std::max(0, width),
                           std::max(0, height), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(control)),
                           Tk.instance, nullptr);
  if (!h) return nullptr;
  SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(Tk.uiFont), FALSE);
  Control c;
  c.hwnd = h;
  c.window = window;
  c.kind = kind;
  c.place = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
  Tk.controls[control] = c;
  Tk.lastAdded[window] = kind;
  return h;
}

// Whether the control added last to `window` is an option button: option
// buttons in a row form one group.
bool FollowsOption(int window) {
  auto it = Tk.lastAdded.find(window);
  return it != Tk.lastAdded.end() && it->second == Kind::Option;
}

void MakeLogFont() {
  if (Tk.logFont) return;
  HDC dc = GetDC(nullptr);
  const int height = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
  Tk.logFont = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Courier New");
  wchar_t face[LF_FACESIZE] = {};
  HGDIOBJ old = SelectObject(dc, Tk.logFont);
  GetTextFaceW(dc, LF_FACESIZE, face);
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  Tk.logFontName = WideToUtf8(face) + " " + std::to_string(tm.tmHeight) + "px";
}

RECT OuterRect(int width, int height) {
  RECT r{0, 0, std::max(1, width), std::max(1, height)};
  AdjustWindowRectEx(&r, kWindowStyle, FALSE, kWindowExStyle);
  return r;
}

}  // namespace

// ---- Display ----------------------------------------------------------------------

bool TkOpenDisplay(std::string& error) {
  if (Tk.displayOpen) return true;
  Tk.instance = GetModuleHandleW(nullptr);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  if (LoadLibraryW(L"riched20.dll")) {
    Tk.logClass = RICHEDIT_CLASSW;  // "RichEdit20W"
    Tk.breakWidth = 1;
  } else if (LoadLibraryW(L"riched32.dll")) {
    Tk.logClass = L"RichEdit";
    Tk.breakWidth = 2;
  } else {
    Tk.logClass = L"EDIT";
    Tk.breakWidth = 2;
  }
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = Tk.instance;
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    error = "can't register the window class";
    return false;
  }
  NONCLIENTMETRICSW ncm{};
  ncm.cbSize = sizeof ncm;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0))
    Tk.uiFont = CreateFontIndirectW(&ncm.lfMessageFont);
  if (!Tk.uiFont) Tk.uiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  Tk.displayOpen = true;
  return true;
}

// ---- Windows ----------------------------------------------------------------------

bool TkOpenWindow(int window, int x, int y, int width, int height, const std::string& title, TkWindowStyle) {
  if (!Tk.displayOpen) return false;
  TkDestroyWindow(window);
  // The position is the outer frame's, the size the client area's.
  const RECT r = OuterRect(width, height);
  HWND h = CreateWindowExW(kWindowExStyle, kWindowClass, Utf8ToWide(title).c_str(), kWindowStyle, x, y,
                           r.right - r.left, r.bottom - r.top, nullptr, nullptr, Tk.instance, nullptr);
  if (!h) return false;
  Tk.windows[window] = h;
  ShowWindow(h, SW_SHOWNORMAL);
  UpdateWindow(h);
  SetForegroundWindow(h);
  DispatchPending();
  // The sizes reported while the window came up are not the user's.
  Tk.queue.clear();
  return true;
}

bool TkWindowExists(int window) { return FindWindowHandle(window) != nullptr; }

void TkDestroyWindow(int window) {
  HWND h = FindWindowHandle(window);
  if (!h) return;
  ++Tk.destroying;
  for (auto it = Tk.controls.begin(); it != Tk.controls.end();) {
    if (it->second.window == window) {
      Tk.logs.erase(it->first);
      it = Tk.controls.erase(it);
    } else {
      ++it;
    }
  }
  Tk.windows.erase(window);
  Tk.lastAdded.erase(window);
  DestroyWindow(h);
  --Tk.destroying;
  for (auto it = Tk.queue.begin(); it != Tk.queue.end();) {
    if (it->window == window)
      it = Tk.queue.erase(it);
    else
      ++it;
  }
}

void TkCloseAllWindows() {
  std::vector<int> ids;
  for (auto& [id, h] : Tk.windows) ids.push_back(id);
  for (int id : ids) TkDestroyWindow(id);
  ++Tk.destroying;
  DispatchPending();
  --Tk.destroying;
  Tk.queue.clear();
}

bool TkWindowInnerSize(int window, int& width, int& height) {
  HWND h = FindWindowHandle(window);
  if (!h) return false;
  if (IsIconic(h)) {
    // A minimised window has no client area; its size is the one it
    // returns to.
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(h, &wp);
    const RECT frame = OuterRect(1, 1);
    width = (wp.rcNormalPosition.right - wp.rcNormalPosition.left) - (frame.right - frame.left - 1);
    height = (wp.rcNormalPosition.bottom - wp.rcNormalPosition.top) - (frame.bottom - frame.top - 1);
    return true;
  }
  RECT r{};
  GetClientRect(h, &r);
  width = r.right - r.left;
  height = r.bottom - r.top;
  return true;
}

bool TkWindowOuterPosition(int window, int& x, int& y) {
  HWND h = FindWindowHandle(window);
  if (!h) return false;
  RECT r{};
  if (IsIconic(h)) {
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(h, &wp);
    r = wp.rcNormalPosition;
  } else {
    GetWindowRect(h, &r);
  }
  x = r.left;
  y = r.top;
  return true;
}

void TkResizeWindow(int window, int width, int height) {
  HWND h = FindWindowHandle(window);
  if (!h) return;
  const RECT r = OuterRect(width, height);
  SetWindowPos(h, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  DispatchPending();
}

bool TkWindowEnabled(int window) {
  HWND h = FindWindowHandle(window);
  return h && IsWindowEnabled(h);
}

void TkEnableWindow(int window, bool enabled) {
  HWND h = FindWindowHandle(window);
  if (h) EnableWindow(h, enabled ? TRUE : FALSE);
}

// ---- Controls -------------------------------------------------------------------------

void TkAddButton(int window, int control, int x, int y, int width, int height, const std::string& text) {
  AddChild(window, control, L"BUTTON", Utf8ToWide(text), BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, x, y, width,
           height, Kind::Button);
}

void TkAddLabel(int window, int control, int x, int y, int width, int height, const std::string& text,
                TkAlign align) {
  const DWORD style = (align == TkAlign::Right ? SS_RIGHT : SS_LEFT) | SS_NOPREFIX | WS_GROUP;
  AddChild(window, control, L"STATIC", Utf8ToWide(text), style, 0, x, y, width, height, Kind::Label);
}

void TkAddGroupBox(int window, int control, int x, int y, int width, int height, const std::string& text) {
  AddChild(window, control, L"BUTTON", Utf8ToWide(text), BS_GROUPBOX | WS_GROUP, 0, x, y, width, height,
           Kind::GroupBox);
}

void TkAddOptionButton(int window, int control, int x, int y, int width, int height, const std::string& text) {
  // The first of a row of option buttons starts their group.
  const DWORD group = FollowsOption(window) ? 0 : WS_GROUP;
  AddChild(window, control, L"BUTTON", Utf8ToWide(text), BS_AUTORADIOBUTTON | WS_TABSTOP | group, 0, x, y, width,
           height, Kind::Option);
}

void TkAddListBox(int window, int control, int x, int y, int width, int height) {
  AddChild(window, control, L"LISTBOX", L"", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP | WS_GROUP,
           WS_EX_CLIENTEDGE, x, y, width, height, Kind::List);
}

void TkAddSpinField(int window, int control, int x, int y, int width, int height, int low, int high) {
  HWND edit = AddChild(window, control, L"EDIT", L"", ES_RIGHT | ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP,
                       WS_EX_CLIENTEDGE, x, y, width, height, Kind::Spin);
  if (!edit) return;
  // The arrows take their room from the field's right edge.
  HWND arrows = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                    UDS_NOTHOUSANDS,
                                0, 0, 0, 0, FindWindowHandle(window), nullptr, Tk.instance, nullptr);
  Control* c = FindControl(control);
  c->arrows = arrows;
  c->low = low;
  c->high = high;
  if (arrows) {
    SendMessageW(arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(arrows, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
  }
  TkSetSpinValue(control, low);
}

void TkAddLogView(int window, int control, int x, int y, int width, int height) {
  const DWORD style = ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_WANTRETURN | ES_NOHIDESEL | WS_VSCROLL |
                      WS_HSCROLL | WS_TABSTOP;
  HWND h = AddChild(window, control, Tk.logClass, L"", style, WS_EX_CLIENTEDGE, x, y, width, height, Kind::Log);
  if (!h) return;
  SendMessageW(h, EM_LIMITTEXT, static_cast<WPARAM>(-1), 0);
  SendMessageW(h, EM_EXLIMITTEXT, 0, 0x7FFFFFFF);
  SendMessageW(h, EM_SETTARGETDEVICE, 0, 1);  // no wrapping
  SendMessageW(h, EM_SETUNDOLIMIT, 0, 0);     // the log is rewritten, not edited
  SendMessageW(h, EM_SETEVENTMASK, 0, ENM_CHANGE);
  Tk.logs[control] = LogText();
}

bool TkControlExists(int control) { return FindControl(control) != nullptr; }

void TkSetText(int control, const std::string& text) {
  Control* c = FindControl(control);
  if (!c) return;
  switch (c->kind) {
    case Kind::Log:
      TkLogTruncate(control, 0);
      TkLogAppend(control, text);
      break;
    case Kind::Spin:
      TkSetSpinValue(control, std::atoi(text.c_str()));
      break;
    case Kind::List:
      break;
    default:
      SetWindowTextW(c->hwnd, Utf8ToWide(text).c_str());
      break;
  }
}

std::string TkGetText(int control) {
  Control* c = FindControl(control);
  if (!c) return "";
  switch (c->kind) {
    case Kind::Log:
      FlushedLog(control, c);
      return ReadLogControl(c->hwnd);
    case Kind::List: {
      const LRESULT i = SendMessageW(c->hwnd, LB_GETCURSEL, 0, 0);
      if (i == LB_ERR) return "";
      const LRESULT n = SendMessageW(c->hwnd, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
      if (n == LB_ERR) return "";
      std::wstring item(static_cast<size_t>(n) + 1, L'\0');
      const LRESULT got =
          SendMessageW(c->hwnd, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item.data()));
      item.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
      return WideToUtf8(item);
    }
    case Kind::Spin:
      return std::to_string(TkGetSpinValue(control));
    default:
      return WideToUtf8(WindowText(c->hwnd));
  }
}

void TkMoveControl(int control, int x, int y, int width, int height) {
  Control* c = FindControl(control);
  if (!c) return;
  MoveWindow(c->hwnd, x, y, std::max(0, width), std::max(0, height), TRUE);
  if (c->arrows) SendMessageW(c->arrows, UDM_SETBUDDY, reinterpret_cast<WPARAM>(c->hwnd), 0);
  c->place = RECT{x, y, x + std::max(0, width), y + std::max(0, height)};
}

bool TkControlRect(int control, int& x, int& y, int& width, int& height) {
  Control* c = FindControl(control);
  if (!c) return false;
  RECT r{};
  if (c->arrows) {
    // The arrows sit on the field's right border: the pair fills the place.
    r = c->place;
  } else {
    GetWindowRect(c->hwnd, &r);
    MapWindowPoints(nullptr, GetParent(c->hwnd), reinterpret_cast<POINT*>(&r), 2);
  }
  x = r.left;
  y = r.top;
  width = r.right - r.left;
  height = r.bottom - r.top;
  return true;
}

void TkFocusControl(int control) {
  Control* c = FindControl(control);
  if (c) SetFocus(c->hwnd);
}

int TkFocusedControl() {
  HWND f = GetFocus();
  if (!f) return -1;
  return ControlIdOfHandle(f);
}

void TkSetFont(int control, TkFont) {
  Control* c = FindControl(control);
  if (!c) return;
  MakeLogFont();
  SendMessageW(c->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Tk.logFont), TRUE);
}

std::string TkLogFontName() {
  MakeLogFont();
  return Tk.logFontName;
}

void TkListAdd(int control, const std::string& item) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return;
  SendMessageW(c->hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Utf8ToWide(item).c_str()));
}

int TkListCount(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return 0;
  const LRESULT n = SendMessageW(c->hwnd, LB_GETCOUNT, 0, 0);
  return n == LB_ERR ? 0 : static_cast<int>(n);
}

int TkListSelection(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return -1;
  const LRESULT i = SendMessageW(c->hwnd, LB_GETCURSEL, 0, 0);
  return i == LB_ERR ? -1 : static_cast<int>(i);
}

void TkSetChecked(int control, bool checked) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Option) return;
  if (checked) {
    // One of the group: the others are cleared.
    for (auto& [id, o] : Tk.controls)
      if (o.kind == Kind::Option && o.window == c->window && id != control)
        SendMessageW(o.hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
  }
  SendMessageW(c->hwnd, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TkIsChecked(int control) {
  Control* c = FindControl(control);
  return c && c->kind == Kind::Option && SendMessageW(c->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TkSetSpinValue(int control, int value) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Spin) return;
  value = std::clamp(value, c->low, c->high);
  if (c->arrows) SendMessageW(c->arrows, UDM_SETPOS32, 0, static_cast<LPARAM>(value));
  SetWindowTextW(c->hwnd, std::to_wstring(value).c_str());
}

int TkGetSpinValue(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Spin) return 0;
  // What the user typed counts; text that is no number gives the arrows'
  // last value.
  const std::string typed = WideToUtf8(WindowText(c->hwnd));
  const char* t = typed.c_str();
  char* end = nullptr;
  const long long v = std::strtoll(t, &end, 10);
  int value = c->low;
  if (end != t) {
    value = static_cast<int>(std::clamp<long long>(v, c->low, c->high));
  } else if (c->arrows) {
    BOOL failed = FALSE;
    value = static_cast<int>(SendMessageW(c->arrows, UDM_GETPOS32, 0, reinterpret_cast<LPARAM>(&failed)));
    if (failed) value = c->low;
  }
  value = std::clamp(value, c->low, c->high);
  TkSetSpinValue(control, value);
  return value;
}

// ---- Log view text --------------------------------------------------------------------

size_t TkLogLength(int control) {
  Control* c = LogControl(control);
  return c ? LogOf(control, c).text.size() : 0;
}

void TkLogTruncate(int control, size_t length) {
  Control* c = LogControl(control);
  if (!c) return;
  LogText& log = LogOf(control, c);
  if (length >= log.text.size() && length != 0) return;
  ProgramEdit edit;
  if (length == 0) {
    SetWindowTextW(c->hwnd, L"");
    log.text.clear();
    log.pending.clear();
    return;
  }
  // Cut what was not handed over yet first; the control only when needed.
  const size_t handed = log.text.size() - log.pending.size();
  if (length >= handed) {
    log.pending.resize(length - handed);
    log.text.resize(length);
    return;
  }
  log.pending.clear();
  log.text.resize(handed);
  const LONG from = ControlLength(log.text.data(), length);
  CHARRANGE cr{from, -1};
  SendMessageW(c->hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
  SendMessageW(c->hwnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
  log.text.resize(length);
}

size_t TkLogAppend(int control, const std::string& text) {
  Control* c = LogControl(control);
  if (!c || text.empty()) return 0;
  LogText& log = LogOf(control, c);
  const std::string added = SingleBreaks(text);
  log.text += added;
  log.pending += added;
  return added.size();
}

void TkLogShowEnd(int control) {
  Control* c = LogControl(control);
  if (!c) return;
  LogText& log = FlushedLog(control, c);
  const LONG end = ControlLength(log.text.data(), log.text.size());
  CHARRANGE cr{end, end};
  SendMessageW(c->hwnd, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&cr));
  SendMessageW(c->hwnd, EM_SCROLLCARET, 0, 0);
}

size_t TkLogLineCount(int control) {
  Control* c = LogControl(control);
  if (!c) return 0;
  FlushedLog(control, c);
  const LRESULT n = SendMessageW(c->hwnd, EM_GETLINECOUNT, 0, 0);
  return n < 1 ? 1 : static_cast<size_t>(n);
}

bool TkLogTakeUserEdit(int control) {
  Control* c = LogControl(control);
  if (!c) return false;
  LogText& log = LogOf(control, c);
  const bool was = log.userEdited;
  log.userEdited = false;
  return was;
}

void TkLogSelection(int control, size_t& start, size_t& end, size_t& caret) {
  start = end = caret = 0;
  Control* c = LogControl(control);
  if (!c) return;
  LogText& log = FlushedLog(control, c);
  CHARRANGE cr{0, 0};
  SendMessageW(c->hwnd, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&cr));
  start = ByteOffset(log.text, cr.cpMin);
  end = ByteOffset(log.text, cr.cpMax);
  caret = end;
}

bool TkLogEndVisible(int control) {
  Control* c = LogControl(control);
  if (!c) return false;
  LogText& log = FlushedLog(control, c);
  const LONG endPos = ControlLength(log.text.data(), log.text.size());
  POINTL p{0, 0};
  SendMessageW(c->hwnd, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&p), endPos);
  RECT r{};
  SendMessageW(c->hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
  return p.y >= r.top && p.y < r.bottom;
}

// ---- Events -----------------------------------------------------------------------------

bool TkWaitEvent(int ms, TkEvent& event) {
  const int64_t until = MonotonicMs() + std::max(0, ms);
  for (;;) {
    if (PopEvent(event)) return true;
    DispatchPending();
    if (PopEvent(event)) return true;
    const int64_t left = until - MonotonicMs();
    if (left <= 0) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

bool TkTakeEvent(TkEvent& event) {
  if (PopEvent(event)) return true;
  DispatchPending();
  return PopEvent(event);
}

void TkWorkOffEvents() {
  if (Tk.displayOpen) {
    // What dispatching produces (a repaint after a resize) goes in the same call.
    DispatchPending();
    DispatchPending();
  }
  Tk.queue.clear();
}

namespace {
bool UsableControl(Control* c) {
  if (!c || !IsWindowEnabled(c->hwnd)) return false;
  HWND parent = GetParent(c->hwnd);
  return parent && IsWindowEnabled(parent);
}
}  // namespace

void TkClickControl(int control) {
  Control* c = FindControl(control);
  if (!UsableControl(c)) return;
  if (c->kind == Kind::Option) TkSetChecked(control, true);
  if (c->kind == Kind::Button || c->kind == Kind::Option)
    SendMessageW(GetParent(c->hwnd), WM_COMMAND, MAKEWPARAM(control, BN_CLICKED), reinterpret_cast<LPARAM>(c->hwnd));
}

void TkSelectListItem(int control, int index) {
  Control* c = FindControl(control);
  if (!UsableControl(c) || c->kind != Kind::List) return;
  if (index < 0 || index >= TkListCount(control)) return;
  SendMessageW(c->hwnd, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(GetParent(c->hwnd), WM_COMMAND, MAKEWPARAM(control, LBN_SELCHANGE), reinterpret_cast<LPARAM>(c->hwnd));
}

void TkRequestClose(int window) {
  HWND h = FindWindowHandle(window);
  if (!h || !IsWindowEnabled(h)) return;
  SendMessageW(h, WM_CLOSE, 0, 0);
}

// ---- Dialogs ----------------------------------------------------------------------------

TkBoxAnswer TkMessageBox(const std::string& caption, const std::string& text, TkBoxButtons buttons) {
  if (!Tk.displayOpen) {
    std::string error;
    TkOpenDisplay(error);
  }
  HWND owner = BoxOwner();
  ModalScope modal(owner);
  Tk.boxCaption = caption;
  Tk.boxText = text;
  const UINT type = (buttons == TkBoxButtons::Ok ? MB_OK : MB_YESNO) | MB_DEFBUTTON1;
  const UINT_PTR timer = ArmHook();
  const int pressed = MessageBoxW(owner, WithCrLf(text).c_str(), Utf8ToWide(caption).c_str(), type);
  if (timer) KillTimer(nullptr, timer);
  Tk.boxCaption.clear();
  Tk.boxText.clear();
  if (buttons == TkBoxButtons::Ok) return TkBoxAnswer::Ok;
  return pressed == IDYES ? TkBoxAnswer::Yes : TkBoxAnswer::No;
}

bool TkOpenFileDialog(const std::string& title, const std::vector<TkFileFilter>& filters, int selectedFilter,
                      const std::string& initialFolder, const std::string& initialName,
                      const TkOpenFileOptions& options, std::string& chosen) {
  chosen.clear();
  if (!Tk.displayOpen) return false;
  // "Description\0pattern\0...\0\0".
  std::wstring filter;
  for (const TkFileFilter& f : filters) {
    filter += Utf8ToWide(f.description);
    filter += L'\0';
    filter += Utf8ToWide(f.pattern);
    filter += L'\0';
  }
  filter += L'\0';
  const size_t capacity = std::max<size_t>(options.maxPathLength + 1, 2);
  std::wstring buffer(capacity, L'\0');
  const std::wstring name = Utf8ToWide(initialName);
  if (name.size() < capacity) std::copy(name.begin(), name.end(), buffer.begin());
  const std::wstring folder = Utf8ToWide(initialFolder);
  const std::wstring wideTitle = Utf8ToWide(title);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = BoxOwner();
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(selectedFilter + 1);
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(capacity);
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = wideTitle.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;
  if (options.pathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
  if (options.fileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
  if (options.keepCurrentFolder) ofn.Flags |= OFN_NOCHANGEDIR;

  ModalScope modal(ofn.hwndOwner);
  Tk.fileDialogUp = true;
  Tk.fileNameCapacity = capacity;
  Tk.fileDialog.title = title;
  Tk.fileDialog.folder = initialFolder;
  Tk.fileDialog.name = initialName;
  Tk.fileDialog.filter =
      selectedFilter >= 0 && selectedFilter < static_cast<int>(filters.size()) ? filters[selectedFilter].description : "";
  const UINT_PTR timer = ArmHook();
  const BOOL ok = GetOpenFileNameW(&ofn);
  if (timer) KillTimer(nullptr, timer);
  Tk.fileDialogUp = false;
  Tk.fileDialog = TkFileDialogState();
  if (!ok) return false;
  chosen = WideToUtf8(buffer.c_str());
  return !chosen.empty();
}

void TkAnswerDialog(TkBoxAnswer answer) {
  if (!Tk.dialogUp || Tk.dialogAnswered) return;
  HWND dialog = CurrentDialog();
  if (!dialog) return;
  Tk.dialogAnswered = true;
  if (Tk.fileDialogUp) {
    if (answer == TkBoxAnswer::No) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    // A path the dialog would refuse (its folder missing) or could not hold
    // ends it the way a cancel does, so that no warning waits for a user.
    const std::wstring path = Utf8ToWide(TkDialogAnswerPath);
    const size_t cut = TkDialogAnswerPath.find_last_of("\\/");
    const std::string folder = cut == std::string::npos ? "." : TkDialogAnswerPath.substr(0, cut + 1);
    const DWORD attributes = GetFileAttributesW(Utf8ToWide(folder).c_str());
    if (path.size() >= Tk.fileNameCapacity || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    // The file-name field of the dialog (combo box 0x47C, or edit 0x480 in
    // the older layout) takes the path; then OK.
    if (!SetDlgItemTextW(dialog, 0x47C, path.c_str())) SetDlgItemTextW(dialog, 0x480, path.c_str());
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    return;
  }
  const WPARAM id = answer == TkBoxAnswer::Yes ? IDYES : answer == TkBoxAnswer::No ? IDNO : IDOK;
  PostMessageW(dialog, WM_COMMAND, id, 0);
}

bool TkDialogPending() {
  if (!Tk.dialogUp || Tk.dialogAnswered) return false;
  // Input that is already queued (a key press) may answer it.
  DispatchPending();
  return CurrentDialog() != nullptr;
}

TkFileDialogState TkCurrentFileDialog() { return Tk.fileDialog; }
std::string TkCurrentBoxText() { return Tk.boxText; }
std::string TkCurrentBoxCaption() { return Tk.boxCaption; }

// ---- Screenshots --------------------------------------------------------------------------

bool TkSaveScreenshot(int window, const std::string& path) {
  FlushAllLogs();
  HWND h = window == kTkDialogWindow ? CurrentDialog() : FindWindowHandle(window);
  if (!h) return false;
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT r{};
  GetClientRect(h, &r);
  const int w = r.right, ht = r.bottom;
  if (w <= 0 || ht <= 0) return false;
  HDC dc = GetDC(h);
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP bmp = CreateCompatibleBitmap(dc, w, ht);
  HGDIOBJ old = SelectObject(mem, bmp);
  BitBlt(mem, 0, 0, w, ht, dc, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -ht;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<unsigned char> pixels(static_cast<size_t>(w) * ht * 4);
  const int rows = GetDIBits(mem, bmp, 0, static_cast<UINT>(ht), pixels.data(), &bi, DIB_RGB_COLORS);
  DeleteObject(bmp);
  DeleteDC(mem);
  ReleaseDC(h, dc);
  if (rows != ht) return false;
  std::FILE* f = _wfopen(Utf8ToWide(path).c_str(), L"wb");
  if (!f) return false;
  std::fprintf(f, "P6\n%d %d\n255\n", w, ht);
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * ht * 3);
  for (size_t i = 0, n = static_cast<size_t>(w) * ht; i < n; ++i) {
    rgb[i * 3] = pixels[i * 4 + 2];
    rgb[i * 3 + 1] = pixels[i * 4 + 1];
    rgb[i * 3 + 2] = pixels[i * 4];
  }
  const bool ok = std::fwrite(rgb.data(), 1, rgb.size(), f) == rgb.size();
  std::fclose(f);
  return ok;
}
