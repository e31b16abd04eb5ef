// The log on standard output, for the windowless batch mode: every line is
// printed once it is final (a later line exists, or the log is cleared or
// finished), in log order and exactly as its text.
#pragma once
#include <cstdio>
#include <deque>
#include <string>

#include "ui/output_log.h"

class ConsoleLogView : public LogView {
 public:
  explicit ConsoleLogView(std::FILE* out) : out_(out) {}
  void Clear() override;
  void DropLinesFrom(size_t index) override;
  void AddLine(const std::string& text) override;
  size_t LineCount() override { return base_ + held_.size(); }
  void ShowEnd() override { std::fflush(out_); }
  void Focus() override {}
  void WorkOffEvents() override {}
  // Prints what is still held: the log is finished.
  void Finish();

 private:
  void Print(const std::string& line);
  std::FILE* out_;
  size_t base_ = 0;               // log index of held_.front()
  std::deque<std::string> held_;  // lines not printed yet; only the last can still change
};

// Prints the rest of the log when the program ends.
void FinishConsoleLog(ConsoleLogView& view);
