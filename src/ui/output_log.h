// The output log: the lines the user reads in the log view.
#pragma once
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// What the log needs of the control that shows it. The view holds the log's
// lines joined by line breaks (none after the last). It may be told to drop
// only the lines from some index on, so that a refresh rebuilds only what
// changed; a view that can't do better may clear and rebuild.
class LogView {
 public:
  virtual ~LogView() = default;
  virtual void Clear() = 0;
  // Removes the log lines from `index` on (0: everything).
  virtual void DropLinesFrom(size_t index) = 0;
  virtual void AddLine(const std::string& text) = 0;
  virtual size_t LineCount() = 0;
  // Caret after the last character, nothing selected, last line visible.
  virtual void ShowEnd() = 0;
  virtual void Focus() = 0;
  // Dispatches every pending window event; program-level events that come
  // out of it (clicks, selections, close and size requests) are dropped.
  virtual void WorkOffEvents() = 0;
};

// The log's lines. Every line but the last is packed into large blocks, so a
// tool that prints megabytes costs little more memory than its text; the
// last line, the only one that can still change, is a string of its own.
class LogLines {
 public:
  LogLines() = default;
  ~LogLines() { clear(); }
  LogLines(const LogLines&) = delete;
  LogLines& operator=(const LogLines&) = delete;

  size_t size() const { return frozen_.size() + (hasLast_ ? 1 : 0); }
  bool empty() const { return !hasLast_; }
  std::string_view operator[](size_t i) const {
    return i < frozen_.size() ? std::string_view(frozen_[i].data, frozen_[i].length) : std::string_view(last_);
  }
  // The last line, to change in place (only when not empty).
  std::string& last() { return last_; }
  void push_back(std::string_view text);
  void clear();
  // A copy of every line, for tests and diagnostics.
  std::vector<std::string> Copy() const;

 private:
  struct Ref {
    const char* data;
    size_t length;
  };
  struct Block {
    char* data;
    size_t size;
    size_t used;
  };
  const char* Keep(std::string_view text);
  std::deque<Ref> frozen_;
  std::vector<Block> blocks_;
  std::string last_;
  bool hasLast_ = false;
};

struct OutputLogRecord {
  LogLines lines;
  // Lines from this index on differ from what the view shows.
  size_t firstStale = 0;
  LogView* view = nullptr;
};

extern OutputLogRecord OutputLog;

// Connects the view (nullptr: none). The next refresh rebuilds it whole.
void AttachLogView(LogView* view);

void AppendLogLine(const std::string& text);
void ReplaceLastLogLine(const std::string& text);  // harmless on an empty log
void ClearLog();
void RefreshLog();
// Gives the log view the keyboard focus.
void FocusLog();
// Brings the view up to date without showing the end or serving events.
void SyncLogView();

// A view that only records, as the log looks before a window exists and in
// tests: its text follows the same rules as the window's view.
class RecordingLogView : public LogView {
 public:
  std::string text;
  std::vector<size_t> lineStarts;  // offset in `text` of each log line
  int refreshes = 0;               // ShowEnd calls
  int focusCount = 0;
  void Clear() override;
  void DropLinesFrom(size_t index) override;
  void AddLine(const std::string& line) override;
  size_t LineCount() override;
  void ShowEnd() override { ++refreshes; }
  void Focus() override { ++focusCount; }
  void WorkOffEvents() override {}
};

// Keeps the first `keep` bytes of the last line and appends `tail`: the same
// as ReplaceLastLogLine with that text, without copying the kept part.
void ReplaceLastLogLineTail(size_t keep, const char* tail, size_t length);
