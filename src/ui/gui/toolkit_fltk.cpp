// The toolkit layer on FLTK 1.3 (X11).
#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Hold_Browser.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_RGB_Image.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Spinner.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Editor.H>
#include <FL/Fl_Tooltip.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "platform/clock.h"
#include "ui/gui/toolkit.h"

void (*TkDialogShownHook)() = nullptr;
std::string TkDialogAnswerPath;

namespace {

enum class Kind { Button, Label, GroupBox, Option, List, Spin, Log };

struct Control {
  Fl_Widget* widget = nullptr;
  int window = -1;
  Kind kind = Kind::Label;
  int low = 0, high = 0;
  Fl_Box* caption = nullptr;  // a group box's caption
};

class TkWindow;

struct ToolkitRecord {
  std::map<int, TkWindow*> windows;
  std::map<int, Control> controls;
  std::deque<TkEvent> queue;
  bool displayOpen = false;
  // Log font.
  bool logFontChosen = false;
  Fl_Font logFont = FL_COURIER;
  int logFontSize = 11;
  std::string logFontName = "Courier";
  // Program edits of log views in progress: user edits are what is left.
  int programEdit = 0;
  std::map<Fl_Text_Buffer*, bool> userEdited;
  // The dialog that is up.
  bool dialogUp = false;
  bool dialogAnswered = false;
  TkBoxAnswer dialogAnswer = TkBoxAnswer::Ok;
  std::string boxCaption, boxText;
  TkFileDialogState fileDialog;
  Fl_File_Chooser* chooser = nullptr;
  std::vector<std::string> filterNames;
};

ToolkitRecord Tk;

void Push(TkEventKind kind, int window, int control) {
  TkEvent e;
  e.kind = kind;
  e.window = window;
  e.control = control;
  Tk.queue.push_back(e);
}

// A top-level window whose controls keep their places when it is resized.
class TkWindow : public Fl_Double_Window {
 public:
  int id;
  TkWindow(int id_, int x, int y, int w, int h, const char* title)
      : Fl_Double_Window(x, y, w, h, title), id(id_) {}
  void resize(int X, int Y, int W, int H) override {
    const bool sized = W != w() || H != h();
    Fl_Double_Window::resize(X, Y, W, H);
    if (sized && id != kTkDialogWindow) Push(TkEventKind::Size, id, -1);
  }
};

void WindowCallback(Fl_Widget* w, void*) {
  // Escape is not a close request.
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;
  Push(TkEventKind::Close, static_cast<TkWindow*>(w)->id, -1);
}

void ControlCallback(Fl_Widget* w, void* data) {
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
  auto it = Tk.controls.find(id);
  if (it == Tk.controls.end()) return;
  const Control& c = it->second;
  if (c.kind == Kind::Button) Push(TkEventKind::Click, c.window, id);
  if (c.kind == Kind::List) {
    if (static_cast<Fl_Browser*>(w)->value() > 0) Push(TkEventKind::Select, c.window, id);
  }
  if (c.kind == Kind::Option) {
    // A click selects the button it lands on, even when it was selected.
    static_cast<Fl_Button*>(w)->setonly();
    Push(TkEventKind::Select, c.window, id);
  }
}

// FLTK reads "@" as a symbol and "&" as a mnemonic in labels: escape both.
std::string LiteralLabel(const std::string& text) {
  std::string out;
  for (char ch : text) {
    if (ch == '@' || ch == '&') out += ch;
    out += ch;
  }
  return out;
}

std::string LineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

TkWindow* FindWindow(int window) {
  auto it = Tk.windows.find(window);
  return it == Tk.windows.end() ? nullptr : it->second;
}

Control* FindControl(int control) {
  auto it = Tk.controls.find(control);
  return it == Tk.controls.end() ? nullptr : &it->second;
}

void AddControl(int window, int control, Fl_Widget* w, Kind kind) {
  TkWindow* win = FindWindow(window);
  if (!win) {
    delete w;
    return;
  }
  if (Control* old = FindControl(control)) {
    if (old->widget) {
      if (old->widget->parent()) old->widget->parent()->remove(old->widget);
      delete old->widget;
    }
    Tk.controls.erase(control);
  }
  win->add(w);
  w->labelsize(11);
  w->callback(ControlCallback, reinterpret_cast<void*>(static_cast<intptr_t>(control)));
  Control c;
  c.widget = w;
  c.window = window;
  c.kind = kind;
  Tk.controls[control] = c;
  w->show();
  win->redraw();
}

// The X frame around a window: the offsets of the client area from the
// frame's top left corner (0 without a window manager), and the frame's
// screen position. The frame is the window's ancestor just below the root.
bool FrameGeometry(TkWindow* win, int& left, int& top, int& frameX, int& frameY) {
  left = top = 0;
  frameX = win->x();
  frameY = win->y();
  if (!win->shown() || !fl_display) return false;
  const Window client = fl_xid(win);
  Window frame = client, root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  for (;;) {
    if (!XQueryTree(fl_display, frame, &root, &parent, &children, &count)) return false;
    if (children) XFree(children);
    if (parent == root || parent == 0) break;
    frame = parent;
  }
  int cx = 0, cy = 0, fx = 0, fy = 0;
  Window dummy;
  XTranslateCoordinates(fl_display, client, root, 0, 0, &cx, &cy, &dummy);
  XWindowAttributes a;
  if (!XGetWindowAttributes(fl_display, frame, &a)) return false;
  XTranslateCoordinates(fl_display, frame, root, -a.border_width, -a.border_width, &fx, &fy, &dummy);
  left = cx - fx;
  top = cy - fy;
  frameX = fx;
  frameY = fy;
  return true;
}

// ---- Log view ---------------------------------------------------------------

void LogModified(int, int, int, int, const char*, void* arg) {
  if (Tk.programEdit == 0) Tk.userEdited[static_cast<Fl_Text_Buffer*>(arg)] = true;
}

Fl_Text_Editor* LogEditor(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Log) return nullptr;
  return static_cast<Fl_Text_Editor*>(c->widget);
}

struct ProgramEdit {
  ProgramEdit() { ++Tk.programEdit; }
  ~ProgramEdit() { --Tk.programEdit; }
};

void ChooseLogFont() {
  if (Tk.logFontChosen) return;
  Tk.logFontChosen = true;
  const int n = Fl::set_fonts(nullptr);
  for (int i = FL_FREE_FONT; i < n; ++i) {
    int attributes = 0;
    const char* name = Fl::get_font_name(static_cast<Fl_Font>(i), &attributes);
    if (name && attributes == 0 && std::strcmp(name, "Courier New") == 0) {
      Tk.logFont = static_cast<Fl_Font>(i);
      Tk.logFontName = "Courier New";
      break;
    }
  }
  // 8 points at the screen's vertical resolution.
  float hdpi = 96, vdpi = 96;
  Fl::screen_dpi(hdpi, vdpi);
  if (!(vdpi > 30 && vdpi < 600)) vdpi = 96;
  Tk.logFontSize = std::max(6, static_cast<int>(std::lround(8.0 * vdpi / 72.0)));
}

// ---- Modal dialogs ----------------------------------------------------------

struct ModalScope {
  std::vector<TkWindow*> disabled;
  ModalScope() {
    for (auto& [id, win] : Tk.windows) {
      if (id == kTkDialogWindow) continue;
      if (win->visible() && win->active()) {
        win->deactivate();
        disabled.push_back(win);
      }
    }
    Tk.dialogUp = true;
    Tk.dialogAnswered = false;
  }
  ~ModalScope() {
    for (TkWindow* win : disabled) {
      bool alive = false;
      for (auto& [id, w] : Tk.windows) alive = alive || w == win;
      if (alive) win->activate();
    }
    Tk.dialogUp = false;
  }
};

void HookTimeout(void*) {
  if (TkDialogShownHook) TkDialogShownHook();
}

void ArmHook() {
  if (TkDialogShownHook) Fl::add_timeout(0.05, HookTimeout);
}

// The window the user works in: the box is centred over it.
Fl_Window* OwnerWindow() {
  Fl_Widget* f = Fl::focus();
  if (f) {
    Fl_Window* w = f->window();
    if (!w && f->type() >= FL_WINDOW) w = static_cast<Fl_Window*>(f);
    while (w && w->window()) w = w->window();
    if (w) return w;
  }
  return Fl::first_window();
}

void BoxButtonCallback(Fl_Widget*, void* data) {
  Tk.dialogAnswer = static_cast<TkBoxAnswer>(reinterpret_cast<intptr_t>(data));
  Tk.dialogAnswered = true;
}

TkBoxAnswer BoxCancelAnswer = TkBoxAnswer::Ok;
void BoxWindowCallback(Fl_Widget*, void*) {
  // The close box and Escape: OK, or No for a question.
  Tk.dialogAnswer = BoxCancelAnswer;
  Tk.dialogAnswered = true;
}

// The windows' icon, drawn here: a chip with pins on a blue tile and a
// yellow flash bolt across it (the desktop entry's icon, small).
void SetWindowIcon() {
  constexpr int n = 32;
  static uchar pixels[n * n * 4];
  auto put = [](int x, int y, uchar r, uchar g, uchar b) {
    uchar* p = pixels + (y * n + x) * 4;
    p[0] = r, p[1] = g, p[2] = b, p[3] = 255;
  };
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const bool corner = (x < 3 || x > 28) && (y < 3 || y > 28);
      if (!corner) put(x, y, 0x1f, 0x4e, 0x79);
      const bool pinRow = (y < 8 || y > 23) && x >= 9 && x <= 22 && (x - 9) % 4 < 2;
      const bool pinColumn = (x < 8 || x > 23) && y >= 9 && y <= 22 && (y - 9) % 4 < 2;
      if ((pinRow || pinColumn) && x > 3 && x < 28 && y > 3 && y < 28) put(x, y, 0xc9, 0xd3, 0xdc);
      if (x >= 8 && x <= 23 && y >= 8 && y <= 23) put(x, y, 0x2b, 0x2b, 0x2b);
      // The bolt: two slanted bars.
      const bool upper = y >= 10 && y <= 16 && x >= 18 - (y - 10) && x <= 20 - (y - 10) + 1;
      const bool lower = y >= 15 && y <= 22 && x >= 16 - (y - 15) / 2 + 0 && x <= 18 - (y - 15) / 2 && y - 15 < 8;
      const bool bar = y >= 15 && y <= 16 && x >= 12 && x <= 19;
      if (upper || lower || bar) put(x, y, 0xff, 0xcc, 0x33);
    }
  static Fl_RGB_Image icon(pixels, n, n, 4);
  Fl_Window::default_icon(&icon);
}

}  // namespace

// ---- Display ----------------------------------------------------------------

bool TkOpenDisplay(std::string& error) {
  if (Tk.displayOpen) return true;
  const char* name = std::getenv("DISPLAY");
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    error = std::string("can't open the display \"") + (name ? name : "") +
            "\" (is DISPLAY set and the X server running?)";
    return false;
  }
  fl_open_display(d);
  Fl::scheme("gtk+");
  Fl::visual(FL_DOUBLE | FL_INDEX);
  FL_NORMAL_SIZE = 11;
  Fl_Tooltip::enable(0);
  Fl_Window::default_xclass("korvane");  // matches the desktop entry
  SetWindowIcon();
  Tk.displayOpen = true;
  return true;
}

// ---- Windows ----------------------------------------------------------------

bool TkOpenWindow(int window, int x, int y, int width, int height, const std::string& title, TkWindowStyle) {
  if (!Tk.displayOpen) return false;
  TkDestroyWindow(window);
  width = std::max(1, width);
  height = std::max(1, height);
  TkWindow* win = new TkWindow(window, x, y, width, height, nullptr);
  win->copy_label(title.c_str());
  win->end();
  win->callback(WindowCallback);
  win->size_range(1, 1);  // sizable, no minimum
  Tk.windows[window] = win;
  win->show();
  // Wait for the window to be mapped (and framed, with a window manager).
  const int64_t until = MonotonicMs() + 500;
  for (;;) {
    Fl::check();
    XWindowAttributes a;
    if (XGetWindowAttributes(fl_display, fl_xid(win), &a) && a.map_state == IsViewable) break;
    if (MonotonicMs() >= until) break;
    Fl::wait(0.01);
  }
  // The position given is the outer frame's: where a window manager put the
  // frame elsewhere, the window is moved so that its frame lies there.
  int left, top, fx, fy;
  if (FrameGeometry(win, left, top, fx, fy) && (fx != x || fy != y)) {
    win->position(win->x() + (x - fx), win->y() + (y - fy));
    const int64_t settle = MonotonicMs() + 300;
    while (MonotonicMs() < settle) {
      Fl::wait(0.01);
      if (FrameGeometry(win, left, top, fx, fy) && fx == x && fy == y) break;
    }
  }
  // The window's first size reports are ours, not the user's.
  for (auto it = Tk.queue.begin(); it != Tk.queue.end();) {
    if (it->window == window && it->kind == TkEventKind::Size)
      it = Tk.queue.erase(it);
    else
      ++it;
  }
  return true;
}

bool TkWindowExists(int window) { return FindWindow(window) != nullptr; }

void TkDestroyWindow(int window) {
  TkWindow* win = FindWindow(window);
  if (!win) return;
  for (auto it = Tk.controls.begin(); it != Tk.controls.end();) {
    if (it->second.window == window) {
      if (Fl_Text_Editor* ed = dynamic_cast<Fl_Text_Editor*>(it->second.widget)) {
        Fl_Text_Buffer* buf = ed->buffer();
        ed->buffer(nullptr);
        Tk.userEdited.erase(buf);
        delete buf;
      }
      it = Tk.controls.erase(it);
    } else {
      ++it;
    }
  }
  Tk.windows.erase(window);
  win->hide();
  Fl::delete_widget(win);
  Fl::do_widget_deletion();
  // Events of the destroyed window can't be served any more.
  for (auto it = Tk.queue.begin(); it != Tk.queue.end();) {
    if (it->window == window)
      it = Tk.queue.erase(it);
    else
      ++it;
  }
}

void TkCloseAllWindows() {
  std::vector<int> ids;
  for (auto& [id, win] : Tk.windows) ids.push_back(id);
  for (int id : ids) TkDestroyWindow(id);
  Fl::check();
  Tk.queue.clear();
}

bool TkWindowInnerSize(int window, int& width, int& height) {
  TkWindow* win = FindWindow(window);
  if (!win) return false;
  width = win->w();
  height = win->h();
  return true;
}

bool TkWindowOuterPosition(int window, int& x, int& y) {
  TkWindow* win = FindWindow(window);
  if (!win) return false;
  int left, top;
  FrameGeometry(win, left, top, x, y);
  return true;
}

void TkResizeWindow(int window, int width, int height) {
  TkWindow* win = FindWindow(window);
  if (!win) return;
  win->size(std::max(1, width), std::max(1, height));
  Fl::check();
}

bool TkWindowEnabled(int window) {
  TkWindow* win = FindWindow(window);
  return win && win->active();
}

void TkEnableWindow(int window, bool enabled) {
  TkWindow* win = FindWindow(window);
  if (!win) return;
  if (enabled)
    win->activate();
  else
    win->deactivate();
}

// ---- Controls -----------------------------------------------------------------

void TkAddButton(int window, int control, int x, int y, int width, int height, const std::string& text) {
  Fl_Button* b = new Fl_Button(x, y, width, height);
  b->copy_label(LiteralLabel(text).c_str());
  AddControl(window, control, b, Kind::Button);
}

void TkAddLabel(int window, int control, int x, int y, int width, int height, const std::string& text,
                TkAlign align) {
  Fl_Box* b = new Fl_Box(x, y, width, height);
  b->box(FL_NO_BOX);
  b->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP |
           (align == TkAlign::Right ? FL_ALIGN_RIGHT : FL_ALIGN_LEFT));
  b->copy_label(LiteralLabel(text).c_str());
  AddControl(window, control, b, Kind::Label);
  b->labelsize(11);
}

void TkAddGroupBox(int window, int control, int x, int y, int width, int height, const std::string& text) {
  // An engraved frame half a text line down, the caption over its top edge.
  Fl_Box* frame = new Fl_Box(x, y + 7, width, height - 7);
  frame->box(FL_ENGRAVED_FRAME);
  AddControl(window, control, frame, Kind::GroupBox);
  TkWindow* win = FindWindow(window);
  if (!win) return;
  Fl_Box* caption = new Fl_Box(x + 8, y, 10, 14);
  caption->box(FL_FLAT_BOX);
  caption->labelsize(11);
  caption->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_CLIP);
  win->add(caption);
  Tk.controls[control].caption = caption;
  TkSetText(control, text);
}

void TkAddOptionButton(int window, int control, int x, int y, int width, int height, const std::string& text) {
  Fl_Round_Button* b = new Fl_Round_Button(x, y, width, height);
  b->type(FL_RADIO_BUTTON);
  b->copy_label(LiteralLabel(text).c_str());
  AddControl(window, control, b, Kind::Option);
  b->when(FL_WHEN_RELEASE | FL_WHEN_NOT_CHANGED);
}

void TkAddListBox(int window, int control, int x, int y, int width, int height) {
  Fl_Hold_Browser* b = new Fl_Hold_Browser(x, y, width, height);
  b->box(FL_DOWN_BOX);
  b->textsize(11);
  b->has_scrollbar(Fl_Browser_::VERTICAL);
  b->format_char(0);  // items are plain text
  AddControl(window, control, b, Kind::List);
  b->when(FL_WHEN_CHANGED | FL_WHEN_NOT_CHANGED);
}

void TkAddSpinField(int window, int control, int x, int y, int width, int height, int low, int high) {
  Fl_Spinner* s = new Fl_Spinner(x, y, width, height);
  s->type(FL_INT_INPUT);
  s->minimum(low);
  s->maximum(high);
  s->step(1);
  s->value(low);
  s->textsize(11);
  AddControl(window, control, s, Kind::Spin);
  s->callback(static_cast<Fl_Callback*>(nullptr));  // values are read when they are needed
  s->when(FL_WHEN_NEVER);
  Control* c = FindControl(control);
  c->low = low;
  c->high = high;
}

void TkAddLogView(int window, int control, int x, int y, int width, int height) {
  Fl_Text_Editor* ed = new Fl_Text_Editor(x, y, width, height);
  Fl_Text_Buffer* buf = new Fl_Text_Buffer(0, 64 * 1024);
  buf->add_modify_callback(LogModified, buf);
  ed->buffer(buf);
  ed->box(FL_DOWN_BOX);
  ed->wrap_mode(Fl_Text_Display::WRAP_NONE, 0);
  ed->scrollbar_align(FL_ALIGN_BOTTOM_RIGHT);
  ed->cursor_style(Fl_Text_Display::NORMAL_CURSOR);
  ed->show_cursor();
  AddControl(window, control, ed, Kind::Log);
  ed->callback(static_cast<Fl_Callback*>(nullptr));
  ed->when(FL_WHEN_NEVER);
  Tk.userEdited[buf] = false;
}

bool TkControlExists(int control) { return FindControl(control) != nullptr; }

void TkSetText(int control, const std::string& text) {
  Control* c = FindControl(control);
  if (!c) return;
  switch (c->kind) {
    case Kind::Log: {
      Fl_Text_Editor* ed = static_cast<Fl_Text_Editor*>(c->widget);
      ProgramEdit edit;
      ed->buffer()->text(LineBreaks(text).c_str());
      break;
    }
    case Kind::Spin:
      TkSetSpinValue(control, std::atoi(text.c_str()));
      break;
    case Kind::List:
      break;
    case Kind::GroupBox: {
      const std::string label = LiteralLabel(" " + text + " ");
      c->caption->copy_label(label.c_str());
      fl_font(c->caption->labelfont(), c->caption->labelsize());
      const int w = std::min(c->widget->w() - 16, static_cast<int>(fl_width(label.c_str())) + 2);
      c->caption->resize(c->widget->x() + 8, c->widget->y() - 7, std::max(0, w), 14);
      if (c->widget->window()) c->widget->window()->redraw();
      break;
    }
    default:
      c->widget->copy_label(LiteralLabel(text).c_str());
      if (c->widget->window()) c->widget->window()->redraw();
      break;
  }
}

std::string TkGetText(int control) {
  Control* c = FindControl(control);
  if (!c) return "";
  switch (c->kind) {
    case Kind::Log: {
      char* t = static_cast<Fl_Text_Editor*>(c->widget)->buffer()->text();
      std::string s(t ? t : "");
      std::free(t);
      return s;
    }
    case Kind::List: {
      Fl_Browser* b = static_cast<Fl_Browser*>(c->widget);
      const char* t = b->value() > 0 ? b->text(b->value()) : nullptr;
      return t ? t : "";
    }
    case Kind::Spin:
      return std::to_string(TkGetSpinValue(control));
    default: {
      // Undo the label escapes.
      std::string out;
      const char* l = (c->caption ? c->caption : c->widget)->label();
      for (size_t i = 0; l && l[i]; ++i) {
        if ((l[i] == '@' || l[i] == '&') && l[i + 1] == l[i]) ++i;
        out += l[i];
      }
      if (c->kind == Kind::GroupBox && out.size() >= 2) out = out.substr(1, out.size() - 2);
      return out;
    }
  }
}

void TkMoveControl(int control, int x, int y, int width, int height) {
  Control* c = FindControl(control);
  if (!c) return;
  c->widget->resize(x, y, std::max(0, width), std::max(0, height));
  if (c->widget->window()) c->widget->window()->redraw();
}

bool TkControlRect(int control, int& x, int& y, int& width, int& height) {
  Control* c = FindControl(control);
  if (!c) return false;
  x = c->widget->x();
  y = c->widget->y();
  width = c->widget->w();
  height = c->widget->h();
  if (c->kind == Kind::GroupBox) {  // the frame starts below the caption's top
    y -= 7;
    height += 7;
  }
  return true;
}

void TkFocusControl(int control) {
  Control* c = FindControl(control);
  if (!c) return;
  c->widget->take_focus();
}

int TkFocusedControl() {
  Fl_Widget* f = Fl::focus();
  for (auto& [id, c] : Tk.controls) {
    if (c.widget == f) return id;
    // A spin field's focus is on its inner input.
    if (c.kind == Kind::Spin && f && f->parent() == c.widget) return id;
  }
  return -1;
}

void TkSetFont(int control, TkFont) {
  Control* c = FindControl(control);
  if (!c) return;
  ChooseLogFont();
  if (c->kind == Kind::Log) {
    Fl_Text_Editor* ed = static_cast<Fl_Text_Editor*>(c->widget);
    ed->textfont(Tk.logFont);
    ed->textsize(Tk.logFontSize);
  } else {
    c->widget->labelfont(Tk.logFont);
    c->widget->labelsize(Tk.logFontSize);
  }
  c->widget->redraw();
}

std::string TkLogFontName() {
  ChooseLogFont();
  return Tk.logFontName + " " + std::to_string(Tk.logFontSize) + "px";
}

void TkListAdd(int control, const std::string& item) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return;
  static_cast<Fl_Browser*>(c->widget)->add(item.c_str());
}

int TkListCount(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return 0;
  return static_cast<Fl_Browser*>(c->widget)->size();
}

int TkListSelection(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List) return -1;
  return static_cast<Fl_Browser*>(c->widget)->value() - 1;
}

void TkSetChecked(int control, bool checked) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Option) return;
  Fl_Button* b = static_cast<Fl_Button*>(c->widget);
  if (checked)
    b->setonly();
  else
    b->value(0);
}

bool TkIsChecked(int control) {
  Control* c = FindControl(control);
  return c && c->kind == Kind::Option && static_cast<Fl_Button*>(c->widget)->value() != 0;
}

void TkSetSpinValue(int control, int value) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Spin) return;
  value = std::clamp(value, c->low, c->high);
  static_cast<Fl_Spinner*>(c->widget)->value(value);
}

int TkGetSpinValue(int control) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::Spin) return 0;
  Fl_Spinner* s = static_cast<Fl_Spinner*>(c->widget);
  // What the user typed last counts, even before the field lost the focus.
  double v = s->value();
  if (Fl_Input* in = dynamic_cast<Fl_Input*>(s->child(0))) {
    const char* t = in->value();
    char* end = nullptr;
    const long typed = std::strtol(t, &end, 10);
    if (end != t) v = static_cast<double>(std::clamp<long>(typed, c->low, c->high));
  }
  if (!std::isfinite(v)) v = c->low;
  const int value = std::clamp(static_cast<int>(std::lround(std::clamp(v, -1e9, 1e9))), c->low, c->high);
  s->value(value);
  return value;
}

// ---- Log view text ------------------------------------------------------------

size_t TkLogLength(int control) {
  Fl_Text_Editor* ed = LogEditor(control);
  return ed ? static_cast<size_t>(ed->buffer()->length()) : 0;
}

void TkLogTruncate(int control, size_t length) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return;
  Fl_Text_Buffer* buf = ed->buffer();
  if (length >= static_cast<size_t>(buf->length())) return;
  ProgramEdit edit;
  buf->unselect();
  buf->remove(static_cast<int>(length), buf->length());
}

size_t TkLogAppend(int control, const std::string& text) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed || text.empty()) return 0;
  Fl_Text_Buffer* buf = ed->buffer();
  const int before = buf->length();
  ProgramEdit edit;
  if (text.find('\r') == std::string::npos && text.find('\0') == std::string::npos) {
    buf->insert(before, text.c_str());
  } else {
    std::string t = LineBreaks(text);
    t.erase(std::remove(t.begin(), t.end(), '\0'), t.end());
    buf->insert(before, t.c_str());
  }
  return static_cast<size_t>(buf->length() - before);
}

void TkLogShowEnd(int control) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return;
  Fl_Text_Buffer* buf = ed->buffer();
  buf->unselect();
  ed->insert_position(buf->length());
  ed->show_insert_position();
  // Scrolled to the left edge of the last line's end.
  ed->redraw();
}

size_t TkLogLineCount(int control) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return 0;
  Fl_Text_Buffer* buf = ed->buffer();
  return static_cast<size_t>(buf->count_lines(0, buf->length())) + 1;
}

bool TkLogTakeUserEdit(int control) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return false;
  bool& flag = Tk.userEdited[ed->buffer()];
  const bool was = flag;
  flag = false;
  return was;
}

void TkLogSelection(int control, size_t& start, size_t& end, size_t& caret) {
  start = end = caret = 0;
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return;
  int s = 0, e = 0;
  if (ed->buffer()->selection_position(&s, &e)) {
    start = static_cast<size_t>(s);
    end = static_cast<size_t>(e);
  } else {
    start = end = static_cast<size_t>(ed->insert_position());
  }
  caret = static_cast<size_t>(ed->insert_position());
}

bool TkLogEndVisible(int control) {
  Fl_Text_Editor* ed = LogEditor(control);
  if (!ed) return false;
  Fl::flush();
  int X = 0, Y = 0;
  return ed->position_to_xy(ed->buffer()->length(), &X, &Y) != 0;
}

// ---- Events ---------------------------------------------------------------------

bool TkWaitEvent(int ms, TkEvent& event) {
  const int64_t until = MonotonicMs() + std::max(0, ms);
  for (;;) {
    if (!Tk.queue.empty()) {
      event = Tk.queue.front();
      Tk.queue.pop_front();
      return true;
    }
    const int64_t left = until - MonotonicMs();
    if (left <= 0) break;
    Fl::wait(static_cast<double>(left) / 1000.0);
  }
  if (Tk.queue.empty()) Fl::check();
  if (Tk.queue.empty()) return false;
  event = Tk.queue.front();
  Tk.queue.pop_front();
  return true;
}

bool TkTakeEvent(TkEvent& event) {
  if (Tk.queue.empty()) Fl::check();
  if (Tk.queue.empty()) return false;
  event = Tk.queue.front();
  Tk.queue.pop_front();
  return true;
}

void TkWorkOffEvents() {
  if (Tk.displayOpen) {
    // Events that dispatching produces (a redraw after a resize, say) are
    // worked off in the same call.
    Fl::check();
    Fl::check();
  }
  Tk.queue.clear();
}

void TkClickControl(int control) {
  Control* c = FindControl(control);
  if (!c || !c->widget->active_r()) return;
  if (c->kind == Kind::Option) {
    static_cast<Fl_Button*>(c->widget)->setonly();
  }
  c->widget->do_callback();
}

void TkSelectListItem(int control, int index) {
  Control* c = FindControl(control);
  if (!c || c->kind != Kind::List || !c->widget->active_r()) return;
  Fl_Browser* b = static_cast<Fl_Browser*>(c->widget);
  if (index < 0 || index >= b->size()) return;
  b->value(index + 1);
  b->do_callback();
}

void TkRequestClose(int window) {
  TkWindow* win = FindWindow(window);
  if (!win || !win->active()) return;
  win->do_callback();
}

// ---- Dialogs --------------------------------------------------------------------

TkBoxAnswer TkMessageBox(const std::string& caption, const std::string& text, TkBoxButtons buttons) {
  if (!Tk.displayOpen) return buttons == TkBoxButtons::Ok ? TkBoxAnswer::Ok : TkBoxAnswer::No;
  ModalScope modal;
  Fl_Window* owner = OwnerWindow();
  const std::string shown = LiteralLabel(LineBreaks(text));

  fl_font(FL_HELVETICA, 11);
  int tw = 0, th = 0;
  fl_measure(shown.c_str(), tw, th, 0);
  const int bw = 80, bh = 24, gap = 10, margin = 16;
  const int nButtons = buttons == TkBoxButtons::Ok ? 1 : 2;
  const int width = std::max(tw + 2 * margin, nButtons * bw + (nButtons - 1) * gap + 2 * margin);
  const int height = margin + th + margin + bh + margin;
  int x = 0, y = 0;
  if (owner) {
    x = owner->x() + (owner->w() - width) / 2;
    y = owner->y() + (owner->h() - height) / 2;
  } else {
    x = (Fl::w() - width) / 2;
    y = (Fl::h() - height) / 2;
  }
  TkWindow* box = new TkWindow(kTkDialogWindow, std::max(0, x), std::max(0, y), width, height, nullptr);
  box->copy_label(caption.c_str());
  Fl_Box* textBox = new Fl_Box(margin, margin, width - 2 * margin, th);
  textBox->copy_label(shown.c_str());
  textBox->labelsize(11);
  textBox->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
  int bx = width - margin - nButtons * bw - (nButtons - 1) * gap;
  const int by = height - margin - bh;
  Fl_Button* first = nullptr;
  if (buttons == TkBoxButtons::Ok) {
    first = new Fl_Return_Button(bx, by, bw, bh, "OK");
    first->callback(BoxButtonCallback, reinterpret_cast<void*>(static_cast<intptr_t>(TkBoxAnswer::Ok)));
    BoxCancelAnswer = TkBoxAnswer::Ok;
  } else {
    first = new Fl_Return_Button(bx, by, bw, bh, "Yes");
    first->callback(BoxButtonCallback, reinterpret_cast<void*>(static_cast<intptr_t>(TkBoxAnswer::Yes)));
    bx += bw + gap;
    Fl_Button* no = new Fl_Button(bx, by, bw, bh, "No");
    no->callback(BoxButtonCallback, reinterpret_cast<void*>(static_cast<intptr_t>(TkBoxAnswer::No)));
    BoxCancelAnswer = TkBoxAnswer::No;
  }
  first->labelsize(11);
  box->end();
  box->callback(BoxWindowCallback);
  box->set_modal();
  Tk.windows[kTkDialogWindow] = box;
  Tk.boxCaption = caption;
  Tk.boxText = text;
  box->show();
  first->take_focus();
  ArmHook();
  while (!Tk.dialogAnswered && box->shown()) Fl::wait(0.05);
  const TkBoxAnswer answer = Tk.dialogAnswered ? Tk.dialogAnswer : BoxCancelAnswer;
  Tk.windows.erase(kTkDialogWindow);
  box->hide();
  Fl::delete_widget(box);
  Fl::do_widget_deletion();
  Tk.boxCaption.clear();
  Tk.boxText.clear();
  return answer;
}

bool TkOpenFileDialog(const std::string& title, const std::vector<TkFileFilter>& filters, int selectedFilter,
                      const std::string& initialFolder, const std::string& initialName,
                      const TkOpenFileOptions& options, std::string& chosen) {
  chosen.clear();
  if (!Tk.displayOpen) return false;
  // FLTK reads a filter as "Description (pattern)", one per tab.
  std::string filterText;
  Tk.filterNames.clear();
  for (const TkFileFilter& f : filters) Tk.filterNames.push_back(f.description);
  for (size_t i = 0; i < filters.size(); ++i) {
    if (i) filterText += '\t';
    std::string d = filters[i].description;
    if (d.find("(" + filters[i].pattern + ")") == std::string::npos) d += " (" + filters[i].pattern + ")";
    filterText += d;
  }
  char cwd[4096];
  const bool haveCwd = getcwd(cwd, sizeof cwd) != nullptr;

  ModalScope modal;
  std::string folder = initialFolder;
  std::string name = initialName;
  bool ok = false;
  for (;;) {
    const std::string startFolder = folder.empty() ? std::string(haveCwd ? cwd : ".") : folder;
    Fl_File_Chooser chooser(startFolder.c_str(), filterText.c_str(), Fl_File_Chooser::CREATE, title.c_str());
    chooser.preview(0);
    if (selectedFilter >= 0 && selectedFilter < static_cast<int>(filters.size())) chooser.filter_value(selectedFilter);
    if (!name.empty()) chooser.value((startFolder + (startFolder.back() == '/' ? "" : "/") + name).c_str());
    Tk.chooser = &chooser;
    Tk.fileDialog.title = title;
    Tk.fileDialog.folder = folder;
    Tk.fileDialog.name = name;
    Tk.fileDialog.filter = selectedFilter >= 0 && selectedFilter < static_cast<int>(filters.size())
                               ? filters[selectedFilter].description
                               : "";
    chooser.show();
    ArmHook();
    while (chooser.shown() && !Tk.dialogAnswered) Fl::wait(0.05);
    std::string result;
    const bool answeredByCall = Tk.dialogAnswered;
    if (answeredByCall) {
      chooser.hide();
      if (Tk.dialogAnswer != TkBoxAnswer::No) result = TkDialogAnswerPath;
    } else if (chooser.value() && chooser.count() > 0) {
      result = chooser.value();
    }
    Tk.chooser = nullptr;
    Tk.fileDialog = TkFileDialogState();
    if (result.empty()) break;
    if (result.size() > options.maxPathLength) break;  // does not fit: the dialog fails
    const size_t slash = result.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : result.substr(0, slash));
    struct stat st;
    const bool dirOk = stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    const bool fileOk = stat(result.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if ((options.pathMustExist && !dirOk) || (options.fileMustExist && !fileOk)) {
      if (answeredByCall) break;
      // Not acceptable: the dialog stays, as it would on other systems.
      Tk.dialogAnswered = false;
      continue;
    }
    chosen = result;
    ok = true;
    break;
  }
  if (options.keepCurrentFolder && haveCwd) {
    if (chdir(cwd) != 0) {
    }
  }
  return ok;
}

void TkAnswerDialog(TkBoxAnswer answer) {
  if (!Tk.dialogUp) return;
  Tk.dialogAnswer = answer;
  Tk.dialogAnswered = true;
}

bool TkDialogPending() { return Tk.dialogUp && !Tk.dialogAnswered; }

TkFileDialogState TkCurrentFileDialog() {
  // What the dialog itself shows, read back from it.
  TkFileDialogState state = Tk.fileDialog;
  if (Fl_File_Chooser* c = Tk.chooser) {
    state.folder = c->directory() ? c->directory() : "";
    const char* value = c->count() > 0 ? c->value() : nullptr;
    std::string name = value ? value : "";
    std::string dir = state.folder;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (name == dir || name == dir + "/") name.clear();  // an empty name field
    const size_t slash = name.rfind('/');
    state.name = slash == std::string::npos ? name : name.substr(slash + 1);
    const int f = c->filter_value();
    state.filter = f >= 0 && f < static_cast<int>(Tk.filterNames.size()) ? Tk.filterNames[f] : "";
  }
  return state;
}
std::string TkCurrentBoxText() { return Tk.boxText; }
std::string TkCurrentBoxCaption() { return Tk.boxCaption; }

// ---- Screenshots ------------------------------------------------------------------

bool TkSaveScreenshot(int window, const std::string& path) {
  TkWindow* win = FindWindow(window);
  if (!win || !win->shown()) return false;
  Fl::flush();
  win->make_current();
  const int w = win->w(), h = win->h();
  uchar* pixels = fl_read_image(nullptr, 0, 0, w, h);
  if (!pixels) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    delete[] pixels;
    return false;
  }
  std::fprintf(f, "P6\n%d %d\n255\n", w, h);
  const bool ok = std::fwrite(pixels, 3, static_cast<size_t>(w) * h, f) == static_cast<size_t>(w) * h;
  std::fclose(f);
  delete[] pixels;
  return ok;
}
