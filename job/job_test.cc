#include "job/job.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/testing/fake_platform.h"
#include "work/file_names.h"

namespace tovex {
namespace {

// A common-log line for a page request.
std::string Line(const std::string& host, int day, const char* month, int year,
                 int hour, const std::string& path = "/index.html") {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "%s - - [%02d/%s/%d:%02d:10:00 +0900] \"GET %s HTTP/1.0\" 200 "
                "100\n",
                host.c_str(), day, month, year, hour, path.c_str());
  return buf;
}

class RecordingObserver : public JobObserver {
 public:
  explicit RecordingObserver(const std::atomic<bool>* running = nullptr)
      : running_(running) {}
  void OnStatus(std::string_view text) override {
    texts.emplace_back(text);
    if (running_ != nullptr && !running_->load()) flag_was_clear = true;
  }
  std::vector<std::string> texts;
  bool flag_was_clear = false;

 private:
  const std::atomic<bool>* running_;
};

class JobTest : public ::testing::Test {
 protected:
  JobTest() { env_.clock = FakeClock({100, 105}); }

  std::string Base() const { return env_.dir.path(); }

  void WriteLog(const std::string& content) {
    WriteFileOrDie(Base() + "access.log", content);
  }

  Status Run(int level, RecordingObserver* observer = nullptr,
             std::atomic<bool>* running = nullptr, bool open_index = true) {
    RunRequest request;
    request.inputs = {Base() + "access.log"};
    request.run_level = RunLevelOf(level);
    request.open_index = open_index;
    return RunAnalysis(env_.context(), request, observer, running, &outcome_);
  }

  std::vector<std::string> Files(const std::string& dir) {
    std::vector<std::string> names;
    for (const DirEntry& e : env_.fs.List(Base() + dir, "*")) {
      names.push_back(e.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  FakeEnvironment env_;
  JobOutcome outcome_;
};

const std::string kThreeMonths = Line("a.example.com", 5, "Jan", 2001, 9) +
                                 Line("b.example.com", 6, "Jan", 2001, 10) +
                                 Line("a.example.com", 1, "Feb", 2001, 11) +
                                 Line("c.example.net", 3, "Mar", 2001, 12);

TEST_F(JobTest, StatusTextsOfAThreeMonthLog) {
  struct Case {
    int level;
    std::vector<std::string> texts;
  } cases[] = {
      {0,
       {"Running!!", "Processing!! - 2001-1", "Processing!! - 2001-2",
        "Processing!! - 2001-3", "Making!! - Index.html file",
        "Finished!! - taken      5 sec"}},
      {1,
       {"Running!!", "Making!! - 2001-1 temp file",
        "Making!! - 2001-2 temp file", "Making!! - 2001-3 temp file",
        "Making!! - 2001-3 temp file", "Making!! - 2001-1.html file",
        "Making!! - 2001-2.html file", "Making!! - 2001-3.html file",
        "Making!! - Index.html file", "Finished!! - taken      5 sec"}},
      {2,
       {"Running!!", "Making!! - 2001-1 temp file",
        "Making!! - 2001-1-5.html file", "Making!! - 2001-1-6.html file",
        "Making!! - 2001-1.html file", "Making!! - 2001-2 temp file",
        "Making!! - 2001-2-1.html file", "Making!! - 2001-2.html file",
        "Making!! - 2001-3 temp file", "Making!! - 2001-3-3.html file",
        "Making!! - 2001-3.html file", "Making!! - Index.html file",
        "Finished!! - taken      5 sec"}},
  };
  for (const Case& c : cases) {
    env_.clock = FakeClock({100, 105});
    WriteLog(kThreeMonths);
    RecordingObserver observer;
    ASSERT_TRUE(Run(c.level, &observer).ok());
    EXPECT_EQ(observer.texts, c.texts) << "run level " << c.level;
  }
}

TEST_F(JobTest, PagesAndCleanWorkDirectoryAtEachLevel) {
  struct Case {
    int level;
    std::vector<std::string> pages;
  } cases[] = {
      {0, {"index.html"}},
      {1, {"2001-1.html", "2001-2.html", "2001-3.html", "index.html"}},
      {2,
       {"2001-1-5.html", "2001-1-6.html", "2001-1.html", "2001-2-1.html",
        "2001-2.html", "2001-3-3.html", "2001-3.html", "index.html"}},
  };
  for (const Case& c : cases) {
    WriteLog(kThreeMonths);
    for (const DirEntry& e : env_.fs.List(Base() + "htmldir", "*")) {
      env_.fs.Delete(Base() + "htmldir/" + e.name);
    }
    ASSERT_TRUE(Run(c.level).ok());
    EXPECT_EQ(Files("htmldir"), c.pages) << "run level " << c.level;
    EXPECT_EQ(Files("workdir"), std::vector<std::string>{}) << c.level;
    EXPECT_EQ(outcome_.lines_counted, 4);
    EXPECT_EQ(outcome_.run_level, RunLevelOf(c.level));
  }
}

TEST_F(JobTest, EpilogueBeepsOpensIndexAndReportsMissingBrowser) {
  WriteLog(kThreeMonths);
  env_.shell = FakeShell(false);
  ASSERT_TRUE(Run(0).ok());
  EXPECT_EQ(env_.beeper.beeps,
            (std::vector<std::pair<int, int>>{{16365, 500}}));
  EXPECT_EQ(env_.shell.opened,
            std::vector<std::string>{Base() + "htmldir/index.html"});
  EXPECT_EQ(
      env_.messages.warnings,
      std::vector<std::string>{"Webブラウザ－がインストールされていません!!"});
  EXPECT_EQ(outcome_.index_path, Base() + "htmldir/index.html");

  env_.shell = FakeShell(true);
  env_.messages.warnings.clear();
  ASSERT_TRUE(Run(0).ok());
  EXPECT_TRUE(env_.messages.warnings.empty());

  env_.shell.opened.clear();
  ASSERT_TRUE(Run(0, nullptr, nullptr, /*open_index=*/false).ok());
  EXPECT_TRUE(env_.shell.opened.empty());
}

TEST_F(JobTest, RunningFlagIsSetThroughoutAndClearedAtTheEnd) {
  WriteLog(kThreeMonths);
  std::atomic<bool> running{true};
  RecordingObserver observer(&running);
  ASSERT_TRUE(Run(2, &observer, &running).ok());
  EXPECT_FALSE(running.load());
  // The first text comes before the flag is set by the job itself; the
  // front end sets it earlier, as here.
  EXPECT_FALSE(observer.flag_was_clear);

  // A failed job clears it too.
  running = true;
  env_.fs.Delete(Base() + "access.log");
  EXPECT_FALSE(Run(2, nullptr, &running).ok());
  EXPECT_FALSE(running.load());
}

TEST_F(JobTest, FilesThatCannotBeOpenedFailWithTheirPath) {
  // Missing log.
  Status st = Run(0);
  EXPECT_EQ(st.code(), Status::Code::kCannotOpen);
  EXPECT_EQ(st.path(), Base() + "access.log");

  WriteLog(kThreeMonths);
  struct Case {
    const char* fails;  // a file that cannot be opened
    int level;
    std::string path;
  } cases[] = {
      // Every kind of page passes its failure up, the index page last.
      {"index.html", 0, Base() + "htmldir/index.html"},
      {"index.html", 1, Base() + "htmldir/index.html"},
      {"index.html", 2, Base() + "htmldir/index.html"},
      {"2001-2.html", 1, Base() + "htmldir/2001-2.html"},
      {"2001-1-6.html", 2, Base() + "htmldir/2001-1-6.html"},
      // The months' names, kept for the whole log's page in the run's own
      // work folder.
      {"2.mon", 1, Base() + "workdir/tovex-run-"},
  };
  for (const Case& c : cases) {
    env_.fs.fail_open = c.fails;
    st = Run(c.level);
    EXPECT_EQ(st.code(), Status::Code::kCannotOpen) << c.level;
    EXPECT_EQ(st.path().substr(0, c.path.size()), c.path) << c.level;
    EXPECT_EQ(Files("workdir"), std::vector<std::string>{}) << c.level;
  }
}

// A refused log leaves the old pages alone.
TEST_F(JobTest, RefusedLogLeavesTheOldPages) {
  WriteLog("not a log at all\n");
  env_.fs.MakeDirectory(Base() + "htmldir", nullptr);
  env_.fs.MakeDirectory(Base() + "htmldir/keep.html", nullptr);
  WriteFileOrDie(Base() + "htmldir/old.html", "x");
  WriteFileOrDie(Base() + "htmldir/notes.txt", "x");
  RecordingObserver observer;
  Status st = Run(2, &observer);
  EXPECT_EQ(st.code(), Status::Code::kNotAccessLog);
  EXPECT_EQ(st.ExitCode(), 3);
  EXPECT_EQ(Files("htmldir"),
            (std::vector<std::string>{"keep.html", "notes.txt", "old.html"}));
  EXPECT_TRUE(observer.texts.empty());
}

TEST_F(JobTest, MissingShiftJisConverterSaysSo) {
  class NoConverter : public Encoder {
    bool ToShiftJis(std::string_view, std::string*) override { return false; }
  } none;
  WriteLog(kThreeMonths);
  Context ctx = env_.context();
  ctx.platform.encoder = &none;
  RunRequest request;
  request.inputs = {Base() + "access.log"};
  Status st = RunAnalysis(ctx, request, nullptr, nullptr, nullptr);
  EXPECT_EQ(st.code(), Status::Code::kNoConverter);
  EXPECT_EQ(st.Message().find("ファイル"), std::string::npos);
  EXPECT_EQ(Files("htmldir"), std::vector<std::string>{});
}

TEST_F(JobTest, LogWithoutCountedLinesEndsCleanly) {
  WriteLog(
      "h - - [01/Jan/2001:00:00:00 +0000] \"GET /a.gif HTTP/1.0\" 200 1\n");
  for (int level = 0; level <= 2; ++level) {
    RecordingObserver observer;
    ASSERT_TRUE(Run(level, &observer).ok()) << level;
    EXPECT_EQ(Files("htmldir"), std::vector<std::string>{"index.html"});
    EXPECT_TRUE(Files("workdir").empty());
    EXPECT_EQ(observer.texts.front(), "Running!!");
    EXPECT_EQ(observer.texts[observer.texts.size() - 2],
              "Making!! - Index.html file");
    EXPECT_EQ(outcome_.lines_counted, 0);
  }
}

TEST_F(JobTest, MonthsBeyondTheTableAreLeftOutAndReported) {
  std::string log;
  // 241 distinct months, one line each, then one more line of the first
  // month and two of the last.
  for (int i = 0; i < 241; ++i) {
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    log += Line("h", 1, kMonths[i % 12], 1990 + i / 12, 0);
  }
  log += Line("h", 2, "Jan", 1990, 0);
  log += Line("h", 2, "Jan", 2010, 0);
  WriteLog(log);
  ASSERT_TRUE(Run(0).ok());
  EXPECT_EQ(outcome_.lines_counted, 241);
  EXPECT_EQ(outcome_.lines_left_out, 2);
  ASSERT_EQ(env_.messages.warnings.size(), 1u);
  EXPECT_NE(env_.messages.warnings[0].find("2 行"), std::string::npos);
  EXPECT_TRUE(Files("workdir").empty());
}

}  // namespace
}  // namespace tovex
