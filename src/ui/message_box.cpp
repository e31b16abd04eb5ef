#include "ui/message_box.h"

#include <cstdio>

BoxAnswer (*MessageBoxBackend)(const std::string&, const std::string&, BoxButtons) = nullptr;
bool BatchAnswerYes = true;

BoxAnswer ShowMessageBox(const std::string& caption, const std::string& text, BoxButtons buttons) {
  if (MessageBoxBackend) return MessageBoxBackend(caption, text, buttons);
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
  if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
  return BatchAnswerYes ? BoxAnswer::Yes : BoxAnswer::No;
}
