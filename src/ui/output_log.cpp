#include "ui/output_log.h"

#include <algorithm>

OutputLogRecord OutputLog;

void AttachLogView(LogView* view) {
  OutputLog.view = view;
  OutputLog.firstStale = 0;
  if (view) view->Clear();
}

void AppendLogLine(const std::string& text) { OutputLog.lines.push_back(text); }

void ReplaceLastLogLine(const std::string& text) {
  if (OutputLog.lines.empty()) return;
  OutputLog.lines.back() = text;
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
  for (size_t i = from; i < n; ++i) view->AddLine(OutputLog.lines[i]);
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
  std::string& last = OutputLog.lines.back();
  if (keep < last.size()) last.resize(keep);
  last.append(tail, length);
  OutputLog.firstStale = std::min(OutputLog.firstStale, OutputLog.lines.size() - 1);
}
