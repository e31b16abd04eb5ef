#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/console_log_view.h"
#include "ui/output_log.h"

namespace {

struct Step {
  enum Op { Append, Replace, Refresh, Clear } op;
  const char* text;
};

// The view's text after each refresh is the log's lines joined by line
// breaks, whatever mix of appends and replacements came before.
TEST(OutputLog, TheViewShowsTheLinesAfterARefreshOnly) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    const char* view;
    size_t lineCount;
  };
  const Case cases[] = {
      {"empty log", {{Step::Refresh, ""}}, "", 0},
      {"one empty line", {{Step::Append, ""}, {Step::Refresh, ""}}, "", 1},
      {"empty then Success!", {{Step::Append, ""}, {Step::Append, "Success!"}, {Step::Refresh, ""}}, "\nSuccess!", 2},
      {"Success! then empty", {{Step::Append, "Success!"}, {Step::Append, ""}, {Step::Refresh, ""}}, "Success!\n", 2},
      {"appends without a refresh", {{Step::Append, "a"}, {Step::Append, "b"}, {Step::Append, "c"}}, "", 0},
      {"three appends, one refresh",
       {{Step::Append, "a"}, {Step::Append, "b"}, {Step::Append, "c"}, {Step::Refresh, ""}}, "a\nb\nc", 3},
      {"replace the last line",
       {{Step::Append, "x"}, {Step::Append, ""}, {Step::Replace, "Success!"}, {Step::Refresh, ""}}, "x\nSuccess!", 2},
      {"replace after a refresh",
       {{Step::Append, "x"}, {Step::Append, "1"}, {Step::Refresh, ""}, {Step::Replace, "12"}, {Step::Append, "y"},
        {Step::Refresh, ""}},
       "x\n12\ny", 3},
      {"a reply with line breaks", {{Step::Append, "RUN\r\n> "}, {Step::Append, "z"}, {Step::Refresh, ""}},
       "RUN\r\n> \nz", 3},
      {"replace on an empty log", {{Step::Replace, "ghost"}, {Step::Refresh, ""}}, "", 0},
      {"clear empties the view at once", {{Step::Append, "a"}, {Step::Refresh, ""}, {Step::Clear, ""}}, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogFixture log;
    for (const Step& s : c.steps) {
      switch (s.op) {
        case Step::Append: AppendLogLine(s.text); break;
        case Step::Replace: ReplaceLastLogLine(s.text); break;
        case Step::Refresh: RefreshLog(); break;
        case Step::Clear: ClearLog(); break;
      }
    }
    EXPECT_EQ(log.view.text, c.view);
    EXPECT_EQ(log.view.LineCount(), c.lineCount);
  }
}

TEST(OutputLog, ARefreshRebuildsOnlyWhatChanged) {
  LogFixture log;
  for (int i = 0; i < 1000; ++i) AppendLogLine("line " + std::to_string(i));
  RefreshLog();
  EXPECT_EQ(OutputLog.firstStale, 1000u);
  ReplaceLastLogLine("changed");
  EXPECT_EQ(OutputLog.firstStale, 999u);
  AppendLogLine("new");
  RefreshLog();
  EXPECT_EQ(log.view.text.substr(log.view.text.size() - 11), "changed\nnew");
  EXPECT_EQ(log.view.lineStarts.size(), 1001u);
}

// The batch mode prints each line once it can no longer change.
TEST(ConsoleLogView, PrintsEveryFinalLineOnceInOrder) {
  std::FILE* out = std::tmpfile();
  ConsoleLogView view(out);
  OutputLog.lines.clear();
  AttachLogView(&view);
  AppendLogLine("first");
  AppendLogLine("");
  RefreshLog();
  ReplaceLastLogLine("progress 1");
  RefreshLog();
  ReplaceLastLogLine("progress 2\r\nwith a break");
  AppendLogLine("after");
  ClearLog();  // "after" is final now
  AppendLogLine("second run");
  FinishConsoleLog(view);
  AttachLogView(nullptr);
  OutputLog.lines.clear();

  std::rewind(out);
  std::string printed;
  char buf[256];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) printed.append(buf, n);
  std::fclose(out);
  EXPECT_EQ(printed, "first\nprogress 2\r\nwith a break\nafter\nsecond run\n");
}

}  // namespace
