#include "ui/gui/log_view_window.h"

#include <string_view>

#include "ui/gui/toolkit.h"

namespace {

bool EndsInLoneCr(std::string_view text) { return !text.empty() && text.back() == '\r'; }

}  // namespace

void WindowLogView::Clear() {
  TkLogTruncate(control_, 0);
  lineStarts_.clear();
  ownBreak_.clear();
  lastEndsInCr_ = false;
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
  if (ownBreak_[index]) --cut;
  TkLogTruncate(control_, cut);
  lineStarts_.resize(index);
  ownBreak_.resize(index);
  lastEndsInCr_ = index > 0 && EndsInLoneCr(OutputLog.lines[index - 1]);
}

void WindowLogView::AddLine(const std::string& text) {
  const bool endsInCr = EndsInLoneCr(text);
  if (lineStarts_.empty() || lastEndsInCr_) {
    ownBreak_.push_back(0);
    lineStarts_.push_back(TkLogLength(control_));
    TkLogAppend(control_, text);
    lastEndsInCr_ = endsInCr;
    return;
  }
  lastEndsInCr_ = endsInCr;
  ownBreak_.push_back(1);
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
