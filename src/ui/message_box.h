// Message boxes: every question and complaint of the program goes through
// here, so the windowed front end and the batch mode answer them their own way.
#pragma once
#include <string>

enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No };

// Shows a modal box; "\r" in `text` ends a line. Returns the button pressed.
BoxAnswer ShowMessageBox(const std::string& caption, const std::string& text, BoxButtons buttons);

// The front end that shows boxes. Without one, boxes go to standard error
// and Yes/No questions are answered by BatchAnswerYes.
extern BoxAnswer (*MessageBoxBackend)(const std::string& caption, const std::string& text, BoxButtons buttons);

// The answer to Yes/No questions when no window can ask them.
extern bool BatchAnswerYes;
