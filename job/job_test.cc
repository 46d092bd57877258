// Runs of the whole job on a temporary folder: what it says, what it leaves
// behind, and what it must never do to the folders it works in (lose the
// previous report, leave work files, write through a link, share its folders
// with another run).

#include "job/job.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

// A common-log line for a page request.
std::string Line(int day, const char* month, const char* host = "a.com",
                 int year = 2001, int hour = 10) {
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "%s - - [%02d/%s/%d:%02d:10:00 +0900] \"GET /index.html "
                "HTTP/1.0\" 200 100\n",
                host, day, month, year, hour);
  return buf;
}

const std::string kOldLog = Line(5, "Jan") + Line(1, "Feb");
const std::string kNewLog =
    Line(6, "Jan", "b.com") + Line(2, "Feb") + Line(3, "Mar");

// Calls `on_text` with each status text.
class Watcher : public JobObserver {
 public:
  explicit Watcher(std::function<void(std::string_view)> on_text)
      : on_text_(std::move(on_text)) {}
  void OnStatus(std::string_view text) override { on_text_(text); }

 private:
  std::function<void(std::string_view)> on_text_;
};

class JobTest : public ::testing::Test {
 protected:
  JobTest() { env_.clock = FakeClock({100, 105}); }

  std::string Base() const { return env_.dir.path(); }

  Status Run(const std::string& log, RunLevel level = RunLevel::kDay,
             JobObserver* observer = nullptr,
             const std::atomic<int>* stop = nullptr, bool open_index = false,
             std::atomic<bool>* running = nullptr) {
    WriteFileOrDie(Base() + "access.log", log);
    RunRequest request;
    request.inputs = {Base() + "access.log"};
    request.run_level = level;
    request.open_index = open_index;
    request.cancel = stop;
    return RunAnalysis(env_.context(), request, observer, running, &outcome_);
  }

  // Every entry of a folder (hidden ones too) with its bytes.
  std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const DirEntry& e : ListFolder(Base() + dir)) {
      if (e.name == ".tovex-lock") continue;  // stays, as a run's lock
      files[e.name] =
          e.is_directory ? "<dir>" : ReadFileOrEmpty(Base() + dir + e.name);
    }
    return files;
  }

  std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : Snapshot(dir)) names.push_back(name);
    return names;
  }

  FakeEnvironment env_;
  JobOutcome outcome_;
};

TEST_F(JobTest, StatusTextsOfAThreeMonthLog) {
  struct Case {
    RunLevel level;
    std::vector<std::string> texts;
  } cases[] = {
      {RunLevel::kYear,
       {"Running!!", "Processing!! - 2001-1", "Processing!! - 2001-2",
        "Processing!! - 2001-3", "Making!! - Index.html file",
        "Finished!! - taken      5 sec"}},
      {RunLevel::kMonth,
       {"Running!!", "Making!! - 2001-1 temp file",
        "Making!! - 2001-2 temp file", "Making!! - 2001-3 temp file",
        "Making!! - 2001-3 temp file", "Making!! - 2001-1.html file",
        "Making!! - 2001-2.html file", "Making!! - 2001-3.html file",
        "Making!! - Index.html file", "Finished!! - taken      5 sec"}},
      {RunLevel::kDay,
       {"Running!!", "Making!! - 2001-1 temp file",
        "Making!! - 2001-1-6.html file", "Making!! - 2001-1.html file",
        "Making!! - 2001-2 temp file", "Making!! - 2001-2-2.html file",
        "Making!! - 2001-2.html file", "Making!! - 2001-3 temp file",
        "Making!! - 2001-3-3.html file", "Making!! - 2001-3.html file",
        "Making!! - Index.html file", "Finished!! - taken      5 sec"}},
  };
  for (const Case& c : cases) {
    env_.clock = FakeClock({100, 105});
    std::vector<std::string> texts;
    Watcher all([&](std::string_view t) { texts.emplace_back(t); });
    ASSERT_TRUE(Run(kNewLog, c.level, &all).ok());
    EXPECT_EQ(texts, c.texts) << static_cast<int>(c.level);
  }
}

TEST_F(JobTest, EpilogueBeepsOpensIndexAndReportsMissingBrowser) {
  const std::string index = Base() + "htmldir/index.html";
  env_.shell = FakeShell(false);
  ASSERT_TRUE(Run(kNewLog, RunLevel::kYear, nullptr, nullptr, true).ok());
  EXPECT_EQ(env_.beeper.beeps,
            (std::vector<std::pair<int, int>>{{16365, 500}}));
  EXPECT_EQ(env_.shell.opened, std::vector<std::string>{index});
  EXPECT_EQ(
      env_.messages.warnings,
      std::vector<std::string>{"Webブラウザ－がインストールされていません!!"});
  EXPECT_EQ(outcome_.index_path, index);

  env_.shell = FakeShell(true);
  env_.messages.warnings.clear();
  ASSERT_TRUE(Run(kNewLog, RunLevel::kYear, nullptr, nullptr, true).ok());
  EXPECT_TRUE(env_.messages.warnings.empty());

  env_.shell.opened.clear();
  ASSERT_TRUE(Run(kNewLog, RunLevel::kYear).ok());
  EXPECT_TRUE(env_.shell.opened.empty());

  // Without a desktop there is nothing to open the page on.
  env_.shell.display = false;
  ASSERT_TRUE(Run(kNewLog, RunLevel::kYear, nullptr, nullptr, true).ok());
  EXPECT_TRUE(env_.shell.opened.empty());
  EXPECT_EQ(env_.messages.warnings.back(),
            "画面がないため Webブラウザ－で開けません!!");
}

TEST_F(JobTest, RunningFlagIsSetThroughoutAndClearedAtTheEnd) {
  // The front end sets the flag before the job starts.
  std::atomic<bool> running{true};
  bool flag_was_clear = false;
  Watcher check([&](std::string_view) { flag_was_clear |= !running; });
  ASSERT_TRUE(
      Run(kNewLog, RunLevel::kDay, &check, nullptr, false, &running).ok());
  EXPECT_FALSE(running.load());
  EXPECT_FALSE(flag_was_clear);

  // A failed job clears it too.
  running = true;
  EXPECT_FALSE(
      Run("not a log\n", RunLevel::kDay, nullptr, nullptr, false, &running)
          .ok());
  EXPECT_FALSE(running.load());
}

TEST_F(JobTest, MissingShiftJisConverterSaysSo) {
  class NoConverter : public Encoder {
    bool ToShiftJis(std::string_view, std::string*) override { return false; }
  } none;
  WriteFileOrDie(Base() + "access.log", kNewLog);
  Context ctx = env_.context();
  ctx.platform.encoder = &none;
  RunRequest request;
  request.inputs = {Base() + "access.log"};
  Status st = RunAnalysis(ctx, request, nullptr, nullptr, nullptr);
  EXPECT_EQ(st.code(), Status::Code::kNoConverter);
  EXPECT_EQ(st.Message().find("ファイル"), std::string::npos);
  EXPECT_TRUE(Snapshot("htmldir/").empty());
}

TEST_F(JobTest, LogWithoutCountedLinesEndsCleanly) {
  const std::string log =
      "h - - [01/Jan/2001:00:00:00 +0000] \"GET /a.gif HTTP/1.0\" 200 1\n";
  for (RunLevel level : {RunLevel::kYear, RunLevel::kMonth, RunLevel::kDay}) {
    std::vector<std::string> texts;
    Watcher all([&](std::string_view t) { texts.emplace_back(t); });
    ASSERT_TRUE(Run(log, level, &all).ok());
    EXPECT_EQ(Names("htmldir/"), std::vector<std::string>{"index.html"});
    EXPECT_TRUE(Snapshot("workdir/").empty());
    EXPECT_EQ(texts.front(), "Running!!");
    EXPECT_EQ(texts[texts.size() - 2], "Making!! - Index.html file");
    EXPECT_EQ(outcome_.lines_counted, 0);
  }
}

TEST_F(JobTest, MonthsBeyondTheTableAreLeftOutAndReported) {
  static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  // 241 distinct months, one line each, then one more line of the first
  // month and one of the last.
  std::string log;
  for (int i = 0; i < 241; ++i) {
    log += Line(1, kMonths[i % 12], "h", 1990 + i / 12);
  }
  log += Line(2, "Jan", "h", 1990) + Line(2, "Jan", "h", 2010);
  ASSERT_TRUE(Run(log, RunLevel::kYear).ok());
  EXPECT_EQ(outcome_.lines_counted, 241);
  EXPECT_EQ(outcome_.lines_left_out, 2);
  ASSERT_EQ(env_.messages.warnings.size(), 1u);
  EXPECT_NE(env_.messages.warnings[0].find("2 行"), std::string::npos);
  EXPECT_TRUE(Snapshot("workdir/").empty());
}

// A run that fails or stops at any moment leaves the output folder exactly
// as it was and no work file behind.
TEST_F(JobTest, FailuresLeaveTheOldReport) {
  ASSERT_TRUE(Run(kOldLog).ok());
  WriteFileOrDie(Base() + "htmldir/about.html", "the site's own page");
  const auto old_report = Snapshot("htmldir/");
  struct Case {
    const char* what;
    std::string fail_open, fail_read, fail_write;
    std::string log;
    Status::Code code;
  } cases[] = {
      {"read error in the log", "", "access.log", "", kNewLog,
       Status::Code::kCannotRead},
      {"page that cannot be created", "2001-2.html", "", "", kNewLog,
       Status::Code::kCannotOpen},
      {"disk full on the index page", "", "", "index.html", kNewLog,
       Status::Code::kCannotWrite},
      {"work file that cannot be created", "3.mon", "", "", kNewLog,
       Status::Code::kCannotOpen},
      {"refused log", "", "", "", "not a log\n", Status::Code::kNotAccessLog},
  };
  for (const Case& c : cases) {
    env_.fs.fail_open = c.fail_open;
    env_.fs.fail_read = c.fail_read;
    env_.fs.fail_write = c.fail_write;
    env_.fs.fail_after = 50;
    EXPECT_EQ(Run(c.log).code(), c.code) << c.what;
    EXPECT_EQ(Snapshot("htmldir/"), old_report) << c.what;
    EXPECT_EQ(Snapshot("workdir/").size(), 0u) << c.what;
  }
  env_.fs.fail_open = env_.fs.fail_read = env_.fs.fail_write = "";

  // A stop at each step of the run, up to the pages going in place.
  std::vector<std::string> texts;
  Watcher all([&](std::string_view t) { texts.emplace_back(t); });
  ASSERT_TRUE(Run(kOldLog, RunLevel::kDay, &all).ok());
  for (size_t k = 0; k + 1 < texts.size(); ++k) {
    std::atomic<int> stop{0};
    size_t seen = 0;
    Watcher stopper([&](std::string_view) {
      if (seen++ == k) stop = 2;
    });
    const Status st = Run(kNewLog, RunLevel::kDay, &stopper, &stop);
    EXPECT_EQ(st.code(), Status::Code::kCancelled) << texts[k];
    EXPECT_EQ(st.ExitCode(), 130);
    EXPECT_EQ(Snapshot("htmldir/"), old_report) << texts[k];
    EXPECT_EQ(Snapshot("workdir/").size(), 0u) << texts[k];
  }
}

// A publish that cannot end (a page that cannot be put in place) fails the
// run and leaves its committed report, which the next run puts in place
// before it does anything else: the report is whole again, whatever that
// run then does. What would stop a publish half-way (a folder where a page
// goes) stops it before the commit, leaving the old report whole.
TEST_F(JobTest, PublishThatFailsHalfWayIsCompletedByTheNextRun) {
  ASSERT_TRUE(Run(kOldLog).ok());
  const auto old_report = Snapshot("htmldir/");
  ASSERT_TRUE(Run(kNewLog).ok());
  const auto new_report = Snapshot("htmldir/");
  ASSERT_TRUE(Run(kOldLog).ok());

  env_.fs.MakeDirectory(Base() + "htmldir/2001-3.html", nullptr);
  EXPECT_EQ(Run(kNewLog).code(), Status::Code::kCannotWrite);
  ::rmdir((Base() + "htmldir/2001-3.html").c_str());
  EXPECT_TRUE(Snapshot("htmldir/") == old_report);

  env_.fs.fail_rename = "2001-2.html";
  EXPECT_EQ(Run(kNewLog).code(), Status::Code::kCannotWrite);
  env_.fs.fail_rename = "";
  EXPECT_FALSE(Snapshot("htmldir/") == old_report);
  // Stopped at once, the next run still completes the report first.
  std::atomic<int> stop{2};
  EXPECT_EQ(Run(kNewLog, RunLevel::kDay, nullptr, &stop).code(),
            Status::Code::kCancelled);
  EXPECT_TRUE(Snapshot("htmldir/") == new_report);
}

// A history that cannot take the run's lines takes its pages back: the
// report and the history stay as they were, and the next run adds the
// same lines.
TEST_F(JobTest, HistoryThatCannotBeWrittenLeavesTheOldReport) {
  auto run = [&](const std::string& log) {
    WriteFileOrDie(Base() + "access.log", log);
    RunRequest request;
    request.inputs = {Base() + "access.log"};
    request.history_dir = Base() + "hist";
    request.open_index = false;
    return RunAnalysis(env_.context(), request, nullptr, nullptr, &outcome_);
  };
  ASSERT_TRUE(run(kOldLog).ok());
  const auto old_report = Snapshot("htmldir/");
  const auto old_history = Snapshot("hist/");
  env_.fs.fail_rename = "state.new";
  EXPECT_EQ(run(kOldLog + kNewLog).code(), Status::Code::kCannotWrite);
  env_.fs.fail_rename = "";
  EXPECT_TRUE(Snapshot("htmldir/") == old_report);
  EXPECT_TRUE(Snapshot("hist/") == old_history);
  ASSERT_TRUE(run(kOldLog + kNewLog).ok());
  const auto updated = Snapshot("htmldir/");
  ASSERT_TRUE(Run(kOldLog + kNewLog).ok());
  EXPECT_TRUE(Snapshot("htmldir/") == updated);
}

// A log that is a file the run would replace or delete (a report page, a
// file in a leftover folder) is refused before anything changes; so is the
// root of the file system as a folder.
TEST_F(JobTest, InputsAndFoldersThatCannotBeUsed) {
  ASSERT_TRUE(Run(kNewLog).ok());
  WriteFileOrDie(Base() + "htmldir/2000-9.html", kOldLog);  // a log, so named
  const auto report = Snapshot("htmldir/");
  RunRequest request;
  for (const char* other : {"", "access.log"}) {
    request.inputs = {Base() + "htmldir/2000-9.html"};
    if (*other != '\0') request.inputs.push_back(Base() + other);
    const Status st =
        RunAnalysis(env_.context(), request, nullptr, nullptr, nullptr);
    EXPECT_EQ(st.code(), Status::Code::kInputInFolder) << other;
    EXPECT_EQ(st.ExitCode(), 2);
    EXPECT_TRUE(Snapshot("htmldir/") == report) << other;
  }
  env_.fs.MakeDirectory(Base() + "workdir/tovex-run-left", nullptr);
  WriteFileOrDie(Base() + "workdir/tovex-run-left/kept.log", kNewLog);
  request.inputs = {Base() + "workdir/tovex-run-left/kept.log"};
  EXPECT_EQ(
      RunAnalysis(env_.context(), request, nullptr, nullptr, nullptr).code(),
      Status::Code::kInputInFolder);
  EXPECT_EQ(ReadFileOrEmpty(Base() + "workdir/tovex-run-left/kept.log"),
            kNewLog);
  for (const char* root : {"/", "\\", "/tmp/.."}) {
    WriteFileOrDie(Base() + "quorvane.ini", std::string("HTMLDIR=") + root);
    EXPECT_EQ(Run(kNewLog).code(), Status::Code::kBadSetting) << root;
  }
}

// The new report replaces only the pages a report can have.
TEST_F(JobTest, OnlyReportPagesAreReplacedOrRemoved) {
  env_.fs.MakeDirectory(Base() + "htmldir", nullptr);
  for (const char* name : {"2000-1.html", "2000-1-31.html", "2000-2-30.html",
                           "2000-01.html", "about.html", "index.htm"}) {
    WriteFileOrDie(Base() + "htmldir/" + name, "x");
  }
  env_.fs.MakeDirectory(Base() + "htmldir/2000-3.html", nullptr);
  ASSERT_TRUE(Run(kNewLog).ok());
  EXPECT_EQ(
      Names("htmldir/"),
      (std::vector<std::string>{"2000-01.html", "2000-2-30.html", "2000-3.html",
                                "2001-1-6.html", "2001-1.html", "2001-2-2.html",
                                "2001-2.html", "2001-3-3.html", "2001-3.html",
                                "about.html", "index.htm", "index.html"}));
}

// Links planted before or during a run are replaced or left alone, never
// written through.
TEST_F(JobTest, PlantedLinksAreNeverFollowed) {
  TempDir outside;
  const std::string target = outside.path() + "precious";
  WriteFileOrDie(target, "precious");
  env_.fs.MakeDirectory(Base() + "htmldir", nullptr);
  env_.fs.MakeDirectory(Base() + "workdir", nullptr);
  auto plant = [&](const std::string& link) {
    ASSERT_EQ(::symlink(target.c_str(), (Base() + link).c_str()), 0) << link;
  };
  plant("htmldir/index.html");
  plant("workdir/1.run");
  plant("workdir/tovex-run-planted");
  Watcher during([&](std::string_view text) {
    if (text == "Making!! - 2001-1 temp file") {
      plant("htmldir/2001-1.html");
      plant("htmldir/2001-1-6.html");
    }
  });
  ASSERT_TRUE(Run(kNewLog, RunLevel::kDay, &during).ok());
  EXPECT_EQ(ReadFileOrEmpty(target), "precious");
  for (const char* page : {"index.html", "2001-1.html", "2001-1-6.html"}) {
    EXPECT_EQ(env_.fs.KindOf(Base() + "htmldir/" + page), PathKind::kRegular)
        << page;
  }
}

// A second run on the same folders fails at once; the first is unharmed.
TEST_F(JobTest, OneRunAtATime) {
  ASSERT_TRUE(Run(kNewLog).ok());
  const auto alone = Snapshot("htmldir/");
  std::mutex mu;
  std::condition_variable cv;
  bool first_running = false, second_done = false;
  Watcher held([&](std::string_view text) {
    if (text != "Running!!") return;
    std::unique_lock<std::mutex> lock(mu);
    first_running = true;
    cv.notify_all();
    cv.wait(lock, [&] { return second_done; });
  });
  Status first;
  std::thread thread([&] { first = Run(kNewLog, RunLevel::kDay, &held); });
  {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait(lock, [&] { return first_running; });
  }
  RunRequest request;
  request.inputs = {Base() + "access.log"};
  const Status second =
      RunAnalysis(env_.context(), request, nullptr, nullptr, nullptr);
  {
    std::lock_guard<std::mutex> lock(mu);
    second_done = true;
  }
  cv.notify_all();
  thread.join();
  EXPECT_EQ(second.code(), Status::Code::kBusy);
  EXPECT_EQ(second.ExitCode(), 4);
  EXPECT_EQ(second.path(), Base() + "workdir/");
  EXPECT_TRUE(first.ok());
  EXPECT_EQ(Snapshot("htmldir/"), alone);
}

// Directory settings without a trailing separator, absolute, missing, or
// one folder for both, all work.
TEST_F(JobTest, DirectorySettings) {
  TempDir elsewhere;
  struct Case {
    std::string work_dir, html_dir, index;
  } cases[] = {
      {"workdir\\", "stats", Base() + "stats/index.html"},
      {elsewhere.path() + "a/b", "deep/er/", Base() + "deep/er/index.html"},
      {"both", "both", Base() + "both/index.html"},
  };
  for (const Case& c : cases) {
    WriteFileOrDie(Base() + "quorvane.ini",
                   "WORKDIR=" + c.work_dir + "\nHTMLDIR=" + c.html_dir + "\n");
    EXPECT_TRUE(Run(kNewLog).ok()) << c.html_dir;
    EXPECT_EQ(env_.fs.KindOf(c.index), PathKind::kRegular) << c.html_dir;
  }
}

}  // namespace
}  // namespace tovex
