// The log view in the main window: the OutputLog's view on the toolkit's
// text control, rebuilt only from the first line that changed.
#pragma once
#include <vector>

#include "ui/output_log.h"

class WindowLogView : public LogView {
 public:
  explicit WindowLogView(int control) : control_(control) {}
  void Clear() override;
  void DropLinesFrom(size_t index) override;
  void AddLine(const std::string& text) override;
  size_t LineCount() override;
  void ShowEnd() override;
  void Focus() override;
  void WorkOffEvents() override;

 private:
  int control_;
  std::vector<size_t> lineStarts_;  // offset of each log line in the view's text
  // Whether each line was joined to the one before by a break of its own: a
  // line that ends in a lone "\r" takes the joining "\n" as part of that
  // break ("\r\n" is one line break), so none is inserted after it.
  std::vector<char> ownBreak_;
  bool lastEndsInCr_ = false;
};
