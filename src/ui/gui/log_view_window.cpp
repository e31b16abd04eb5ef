#include "ui/gui/log_view_window.h"

#include "ui/gui/toolkit.h"

void WindowLogView::Clear() {
  TkLogTruncate(control_, 0);
  lineStarts_.clear();
  TkLogTakeUserEdit(control_);
}

void WindowLogView::DropLinesFrom(size_t index) {
  if (TkLogTakeUserEdit(control_)) {
    // The user typed into the view: what it shows can't be trusted, so the
    // lines that are still current are written anew.
    Clear();
    const size_t keep = std::min(index, OutputLog.lines.size());
    for (size_t i = 0; i < keep; ++i) AddLine(std::string(OutputLog.lines[i]));
    return;
  }
  if (index >= lineStarts_.size()) return;
  // The line break before the first dropped line goes with it.
  size_t cut = lineStarts_[index];
  if (index > 0) --cut;
  TkLogTruncate(control_, cut);
  lineStarts_.resize(index);
}

void WindowLogView::AddLine(const std::string& text) {
  if (lineStarts_.empty()) {
    lineStarts_.push_back(TkLogLength(control_));
    TkLogAppend(control_, text);
    return;
  }
  const size_t start = TkLogLength(control_) + 1;
  std::string withBreak;
  withBreak.reserve(text.size() + 1);
  withBreak += '\n';
  withBreak += text;
  TkLogAppend(control_, withBreak);
  lineStarts_.push_back(start);
}

size_t WindowLogView::LineCount() { return lineStarts_.empty() ? 0 : TkLogLineCount(control_); }

void WindowLogView::ShowEnd() { TkLogShowEnd(control_); }

void WindowLogView::Focus() { TkFocusControl(control_); }

void WindowLogView::WorkOffEvents() { TkWorkOffEvents(); }
