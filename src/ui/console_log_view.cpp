#include "ui/console_log_view.h"

void ConsoleLogView::Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fputc('\n', out_);
}

void ConsoleLogView::Finish() {
  for (const std::string& line : held_) Print(line);
  held_.clear();
  base_ = 0;
  std::fflush(out_);
}

void ConsoleLogView::Clear() { Finish(); }

void ConsoleLogView::DropLinesFrom(size_t index) {
  if (index >= base_) {
    if (index - base_ < held_.size()) held_.resize(index - base_);
  } else {
    held_.clear();
    base_ = index;
  }
}

void ConsoleLogView::AddLine(const std::string& text) {
  held_.push_back(text);
  while (held_.size() > 1) {
    Print(held_.front());
    held_.pop_front();
    ++base_;
  }
}

void FinishConsoleLog(ConsoleLogView& view) {
  SyncLogView();
  view.Finish();
}
