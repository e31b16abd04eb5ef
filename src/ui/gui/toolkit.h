// The toolkit layer: windows and controls addressed by the program's integer
// identifiers. The windows of the program are written once against these
// procedures; each toolkit has its own backend (toolkit_fltk.cpp, ...), and
// no toolkit or OS type appears here.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// ---- Display --------------------------------------------------------------

// Connects to the window system. False (and `error` says why) when there is
// no display to show windows on.
bool TkOpenDisplay(std::string& error);

// ---- Windows --------------------------------------------------------------

enum class TkWindowStyle {
  Sizable,  // title bar, system menu, minimise and maximise boxes, sizable frame
};

// Opens a window at the screen position (x, y) of its outer frame with a
// client area of width x height, shown normally and activated. False when it
// can't be created. An open window of the same identifier is destroyed first.
bool TkOpenWindow(int window, int x, int y, int width, int height, const std::string& title, TkWindowStyle style);
bool TkWindowExists(int window);
// Destroys one window and its controls; no event is raised.
void TkDestroyWindow(int window);
// Destroys every window.
void TkCloseAllWindows();

bool TkWindowInnerSize(int window, int& width, int& height);
bool TkWindowOuterPosition(int window, int& x, int& y);
// Gives the window a new client size, as the user's resize would.
void TkResizeWindow(int window, int width, int height);

bool TkWindowEnabled(int window);
void TkEnableWindow(int window, bool enabled);

// ---- Controls -------------------------------------------------------------

enum class TkAlign { Left, Right };

void TkAddButton(int window, int control, int x, int y, int width, int height, const std::string& text);
// Static text without mnemonic prefix: every character shows as itself.
void TkAddLabel(int window, int control, int x, int y, int width, int height, const std::string& text,
                TkAlign align);
void TkAddGroupBox(int window, int control, int x, int y, int width, int height, const std::string& text);
// Option buttons added one after another in a window form one exclusive group.
void TkAddOptionButton(int window, int control, int x, int y, int width, int height, const std::string& text);
// Single selection, items in the order added, none selected at first.
void TkAddListBox(int window, int control, int x, int y, int width, int height);
// A right-aligned number field with arrows, holding a value in [low, high].
void TkAddSpinField(int window, int control, int x, int y, int width, int height, int low, int high);
// The log view: multi-line, editable, no wrapping, both scroll bars, no limit.
void TkAddLogView(int window, int control, int x, int y, int width, int height);

bool TkControlExists(int control);
void TkSetText(int control, const std::string& text);
// A label's or button's text; a list box's selected item ("" if none); a
// spin field's value as shown; the log view's whole text.
std::string TkGetText(int control);
void TkMoveControl(int control, int x, int y, int width, int height);
bool TkControlRect(int control, int& x, int& y, int& width, int& height);
void TkFocusControl(int control);
int TkFocusedControl();  // -1 when none of ours has the focus

enum class TkFont {
  Log,  // "Courier New" 8 pt where that font exists, else the fixed font
};
void TkSetFont(int control, TkFont font);
// The name of the face the log font resolved to.
std::string TkLogFontName();

// List boxes.
void TkListAdd(int control, const std::string& item);
int TkListCount(int control);
int TkListSelection(int control);  // -1: none

// Option buttons.
void TkSetChecked(int control, bool checked);
bool TkIsChecked(int control);

// Spin fields: values outside the range are brought to its nearest end.
void TkSetSpinValue(int control, int value);
int TkGetSpinValue(int control);

// ---- Log view text ----------------------------------------------------------
// Offsets are byte offsets into the view's text. Line breaks inside the view
// are single "\n" characters: "\r\n" and a lone "\r" given to TkLogAppend
// each become one.

size_t TkLogLength(int control);
void TkLogTruncate(int control, size_t length);
// Appends text; returns the number of bytes the view's text grew by.
size_t TkLogAppend(int control, const std::string& text);
// Caret after the last character, nothing selected, the caret scrolled into view.
void TkLogShowEnd(int control);
// Lines the view shows (1 for an empty text).
size_t TkLogLineCount(int control);
// True when the user changed the text since the last call.
bool TkLogTakeUserEdit(int control);
// Selection of the view as byte offsets; equal when nothing is selected.
void TkLogSelection(int control, size_t& start, size_t& end, size_t& caret);
// True when the last line of the text is inside the visible area.
bool TkLogEndVisible(int control);

// ---- Events ---------------------------------------------------------------

enum class TkEventKind {
  Nothing,
  Click,   // push button
  Select,  // list box item chosen (mouse, keys, double-click) or option button clicked
  Close,   // window close request
  Size,    // window client size changed
};

struct TkEvent {
  TkEventKind kind = TkEventKind::Nothing;
  int window = -1;
  int control = -1;  // -1 for window events
};

// Waits at most `ms` milliseconds for the next program-level event.
bool TkWaitEvent(int ms, TkEvent& event);
// Dispatches what the window system has pending and returns the next
// program-level event, without waiting.
bool TkTakeEvent(TkEvent& event);
// Dispatches every pending window-system event and drops the program-level
// events that come out of it (and any still queued).
void TkWorkOffEvents();

// What a user's action on a control does, delivered the toolkit's own way:
// nothing when the control or its window is disabled.
void TkClickControl(int control);
void TkSelectListItem(int control, int index);
void TkRequestClose(int window);

// ---- Dialogs --------------------------------------------------------------
// Both are modal for the whole program: every other visible and enabled
// window is disabled while they are up and enabled again afterwards.

enum class TkBoxButtons { Ok, YesNo };
enum class TkBoxAnswer { Ok, Yes, No };
// The box's window identifier while it is up (for tests and screenshots).
constexpr int kTkDialogWindow = 99;

// "\r" (or "\r\n", or "\n") in `text` ends a line. The first button is the
// default one.
TkBoxAnswer TkMessageBox(const std::string& caption, const std::string& text, TkBoxButtons buttons);

struct TkFileFilter {
  std::string description;
  std::string pattern;
};
struct TkOpenFileOptions {
  bool pathMustExist = true;     // the chosen file's folder must exist
  bool fileMustExist = false;
  bool keepCurrentFolder = true; // the process's current folder is unchanged
  size_t maxPathLength = 259;    // longer paths make the dialog fail
};
// Returns false on cancel or failure; else `chosen` holds the full path.
bool TkOpenFileDialog(const std::string& title, const std::vector<TkFileFilter>& filters, int selectedFilter,
                      const std::string& initialFolder, const std::string& initialName,
                      const TkOpenFileOptions& options, std::string& chosen);

// Called (once) right after a modal box or the file dialog is up, from inside
// its wait; tests use it to look at the program and answer. nullptr: none.
extern void (*TkDialogShownHook)();
// Answers the box that is up as if the user pressed that button; for the file
// dialog Ok/Yes confirms `TkDialogAnswerPath` and No cancels.
void TkAnswerDialog(TkBoxAnswer answer);
// True while a box or the file dialog is up and not yet answered.
bool TkDialogPending();
extern std::string TkDialogAnswerPath;
// The file dialog's start, as it was opened (for tests).
struct TkFileDialogState {
  std::string title;
  std::string folder;
  std::string name;
  std::string filter;
};
TkFileDialogState TkCurrentFileDialog();
// Text shown by the box that is up.
std::string TkCurrentBoxText();
std::string TkCurrentBoxCaption();

// ---- Screenshots ----------------------------------------------------------

// Writes the client area of a window as a binary PPM image. False when it
// can't.
bool TkSaveScreenshot(int window, const std::string& path);
