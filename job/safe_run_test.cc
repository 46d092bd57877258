// What a run must never do to the folders it works in: lose the previous
// report, leave work files behind, write through a link, share its folders
// with another run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job/job.h"
#include "platform/testing/fake_platform.h"

namespace tovex {
namespace {

std::string Line(int day, const char* month, const char* host = "a.com") {
  return std::string(host) + " - - [" + std::to_string(day) + "/" + month +
         "/2001:10:10:00 +0900] \"GET /index.html HTTP/1.0\" 200 100\n";
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

class SafeRunTest : public ::testing::Test {
 protected:
  std::string Base() const { return env_.dir.path(); }

  Status Run(const std::string& log, JobObserver* observer = nullptr,
             const std::atomic<int>* stop = nullptr) {
    WriteFileOrDie(Base() + "access.log", log);
    RunRequest request;
    request.inputs = {Base() + "access.log"};
    request.run_level = RunLevel::kDay;
    request.open_index = false;
    request.cancel = stop;
    return RunAnalysis(env_.context(), request, observer, nullptr, nullptr);
  }

  // Every entry of a folder (hidden ones too) with its bytes.
  std::map<std::string, std::string> Snapshot(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const DirEntry& e : env_.fs.List(Base() + dir, "*")) {
      files[e.name] =
          e.is_directory ? "<dir>" : ReadFileOrEmpty(Base() + dir + e.name);
    }
    return files;
  }

  FakeEnvironment env_;
};

// A run that fails or stops at any moment leaves the output folder exactly
// as it was and no work file behind.
TEST_F(SafeRunTest, FailuresLeaveTheOldReport) {
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
  ASSERT_TRUE(Run(kOldLog, &all).ok());
  for (size_t k = 0; k + 1 < texts.size(); ++k) {
    std::atomic<int> stop{0};
    size_t seen = 0;
    Watcher stopper([&](std::string_view) {
      if (seen++ == k) stop = 2;
    });
    const Status st = Run(kNewLog, &stopper, &stop);
    EXPECT_EQ(st.code(), Status::Code::kCancelled) << texts[k];
    EXPECT_EQ(st.ExitCode(), 130);
    EXPECT_EQ(Snapshot("htmldir/"), old_report) << texts[k];
    EXPECT_EQ(Snapshot("workdir/").size(), 0u) << texts[k];
  }
}

// The new report replaces only the pages a report can have.
TEST_F(SafeRunTest, OnlyReportPagesAreReplacedOrRemoved) {
  env_.fs.MakeDirectory(Base() + "htmldir", nullptr);
  for (const char* name : {"2000-1.html", "2000-1-31.html", "2000-2-30.html",
                           "2000-01.html", "about.html", "index.htm"}) {
    WriteFileOrDie(Base() + "htmldir/" + name, "x");
  }
  env_.fs.MakeDirectory(Base() + "htmldir/2000-3.html", nullptr);
  ASSERT_TRUE(Run(kNewLog).ok());
  std::vector<std::string> names;
  for (const auto& [name, bytes] : Snapshot("htmldir/")) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{
                       "2000-01.html", "2000-2-30.html", "2000-3.html",
                       "2001-1-6.html", "2001-1.html", "2001-2-2.html",
                       "2001-2.html", "2001-3-3.html", "2001-3.html",
                       "about.html", "index.htm", "index.html"}));
}

// Links planted before or during a run are replaced or left alone, never
// written through.
TEST_F(SafeRunTest, PlantedLinksAreNeverFollowed) {
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
  ASSERT_TRUE(Run(kNewLog, &during).ok());
  EXPECT_EQ(ReadFileOrEmpty(target), "precious");
  for (const char* page : {"index.html", "2001-1.html", "2001-1-6.html"}) {
    EXPECT_EQ(env_.fs.KindOf(Base() + "htmldir/" + page), PathKind::kRegular)
        << page;
  }
}

// A second run on the same folders fails at once; the first is unharmed.
TEST_F(SafeRunTest, OneRunAtATime) {
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
  std::thread thread([&] { first = Run(kNewLog, &held); });
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
TEST_F(SafeRunTest, DirectorySettings) {
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
