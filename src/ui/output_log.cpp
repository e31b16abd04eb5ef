#include "ui/output_log.h"

#include <algorithm>
#include <cstring>

#include "platform/memory.h"

OutputLogRecord OutputLog;

namespace {
constexpr size_t kFirstBlock = 64 * 1024;
constexpr size_t kLargestBlock = 8 * 1024 * 1024;
constexpr size_t kOsBlock = 1024 * 1024;  // from this size on, straight from the OS
}  // namespace

const char* LogLines::Keep(std::string_view text) {
  if (text.empty()) return "";
  if (blocks_.empty() || blocks_.back().size - blocks_.back().used < text.size()) {
    size_t size = blocks_.empty() ? kFirstBlock : std::min(blocks_.back().size * 2, kLargestBlock);
    size = std::max(size, text.size());
    char* data = size >= kOsBlock ? static_cast<char*>(AllocateBlock(size)) : new char[size];
    if (!data) {  // out of address space: keep the line on the ordinary heap
      data = new char[text.size()];
      size = text.size();
    }
    blocks_.push_back({data, size, 0});
  }
  Block& b = blocks_.back();
  char* at = b.data + b.used;
  std::memcpy(at, text.data(), text.size());
  b.used += text.size();
  return at;
}

void LogLines::push_back(std::string_view text) {
  if (hasLast_) {
    frozen_.push_back({Keep(last_), last_.size()});
    // A huge last line leaves a huge buffer behind; don't keep it.
    if (last_.capacity() > kFirstBlock) std::string().swap(last_);
  }
  last_.assign(text.data(), text.size());
  hasLast_ = true;
}

void LogLines::clear() {
  for (const Block& b : blocks_) {
    if (b.size >= kOsBlock)
      FreeBlock(b.data, b.size);
    else
      delete[] b.data;
  }
  blocks_.clear();
  frozen_.clear();
  std::string().swap(last_);
  hasLast_ = false;
}

std::vector<std::string> LogLines::Copy() const {
  std::vector<std::string> out;
  out.reserve(size());
  for (size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i]);
  return out;
}

void AttachLogView(LogView* view) {
  OutputLog.view = view;
  OutputLog.firstStale = 0;
  if (view) view->Clear();
}

void AppendLogLine(const std::string& text) { OutputLog.lines.push_back(text); }

void ReplaceLastLogLine(const std::string& text) {
  if (OutputLog.lines.empty()) return;
  OutputLog.lines.last() = text;
  OutputLog.firstStale = std::min(OutputLog.firstStale, OutputLog.lines.size() - 1);
}

void SyncLogView() {
  LogView* view = OutputLog.view;
  const size_t n = OutputLog.lines.size();
  if (!view) {
    OutputLog.firstStale = n;
    return;
  }
  const size_t from = std::min(OutputLog.firstStale, n);
  view->DropLinesFrom(from);
  for (size_t i = from; i < n; ++i) view->AddLine(std::string(OutputLog.lines[i]));
  OutputLog.firstStale = n;
}

void RefreshLog() {
  SyncLogView();
  if (LogView* view = OutputLog.view) {
    view->ShowEnd();
    view->WorkOffEvents();
  }
}

void ClearLog() {
  // The view first learns the last text of every line, so that a view that
  // passes lines on (the console) never loses one.
  SyncLogView();
  if (OutputLog.view) OutputLog.view->Clear();
  OutputLog.lines.clear();
  OutputLog.firstStale = 0;
  RefreshLog();
}

void FocusLog() {
  if (OutputLog.view) OutputLog.view->Focus();
}

// ---- RecordingLogView -----------------------------------------------------

void RecordingLogView::Clear() {
  text.clear();
  lineStarts.clear();
}

void RecordingLogView::DropLinesFrom(size_t index) {
  if (index >= lineStarts.size()) return;
  // The line break before the first dropped line goes with it.
  size_t cut = lineStarts[index];
  if (index > 0) --cut;
  text.resize(cut);
  lineStarts.resize(index);
}

void RecordingLogView::AddLine(const std::string& line) {
  if (!lineStarts.empty()) text += '\n';
  lineStarts.push_back(text.size());
  text += line;
}

size_t RecordingLogView::LineCount() {
  if (lineStarts.empty()) return 0;
  // A "\r\n" pair ends one line of the view, as does a lone "\r" or "\n".
  size_t count = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      ++count;
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      ++count;
    }
  }
  return count;
}

void ReplaceLastLogLineTail(size_t keep, const char* tail, size_t length) {
  if (OutputLog.lines.empty()) return;
  std::string& last = OutputLog.lines.last();
  if (keep < last.size()) last.resize(keep);
  last.append(tail, length);
  OutputLog.firstStale = std::min(OutputLog.firstStale, OutputLog.lines.size() - 1);
}
