#include "cli/cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/testing/fake_platform.h"
#include "work/work_folder.h"

namespace tovex {
namespace {

constexpr char kPageLine[] =
    "h.example.com - - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 200 "
    "1\n";

std::string Drain(std::FILE* f) {
  std::rewind(f);
  std::string s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  return s;
}

class CliTest : public ::testing::Test {
 protected:
  bool Exists(const std::string& path) {
    return env_.fs.KindOf(path) == PathKind::kRegular;
  }
  struct Result {
    int status;
    std::string out;
    std::string err;
  };

  Result Cli(std::vector<const char*> args) {
    args.insert(args.begin(), "tovex-cli");
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Context ctx = env_.context();
    int status = RunCli(static_cast<int>(args.size()), args.data(),
                        ctx.platform, ctx.base_dir, out, err);
    Result r{status, Drain(out), Drain(err)};
    std::fclose(out);
    std::fclose(err);
    return r;
  }

  std::string Base() const { return env_.dir.path(); }
  std::string Log() const { return Base() + "access.log"; }

  FakeEnvironment env_;
};

TEST_F(CliTest, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<const char*>> cases = {
      {},
      {"--run-level"},
      {"--run-level", "3", "x.log"},
      {"--run-level=-1", "x.log"},
      {"--bogus", "x.log"},
      {"-", "x.log", "-"},
      {"-o"},
      {"--organisations", "domains", "x.log"},
      {"--organisations=", "x.log"},
      {"--resolve", "dns,dns", "x.log"},
      {"--resolve=", "x.log"},
      {"--resolve-timeout", "-1", "x.log"},
      {"--resolve-timeout=1.5", "x.log"},
      {"--dns-server", "ns.example.jp", "x.log"},
      {"--dns-server=192.0.2.1:99999", "x.log"},
      {"--dns-cache", "", "x.log"},
  };
  for (const auto& args : cases) {
    Result r = Cli(args);
    EXPECT_EQ(r.status, kExitUsage);
    EXPECT_NE(r.err.find("usage: tovex-cli"), std::string::npos);
  }
  EXPECT_EQ(Cli({"--help"}).status, kExitDone);
  EXPECT_EQ(Cli({"--version"}).out, "tovex-cli 1.0.0.1\n");
}

// The run itself is the core's; the front end passes the options on and
// turns the outcome into output and an exit status.
TEST_F(CliTest, RunPrintsIndexPathAndStatusTexts) {
  WriteFileOrDie(Log(), kPageLine);
  Result r = Cli({"--run-level", "0", Log().c_str()});
  EXPECT_EQ(r.status, kExitDone) << r.err;
  EXPECT_EQ(r.out, Base() + "htmldir/index.html\n");
  EXPECT_EQ(r.err.substr(0, 10), "Running!!\n");
  EXPECT_NE(r.err.find("Finished!! - taken"), std::string::npos);
  EXPECT_FALSE(Exists(Base() + "htmldir/2000-10-10.html"));
  EXPECT_TRUE(env_.shell.opened.empty());
  // The option does not touch the settings file, which says level 2.
  EXPECT_NE(ReadFileOrEmpty(Base() + "quorvane.ini").find("RUNLEVEL=2\n"),
            std::string::npos);
}

// Settings and output paths are the shell's, from the current directory;
// the settings file's folder is the base of the work folder; quiet runs say
// nothing; --open hands the index page to the shell.
TEST_F(CliTest, OptionsForScripts) {
  WriteFileOrDie(Log(), kPageLine);
  env_.fs.MakeDirectory(Base() + "site", nullptr);
  Result r = Cli({"-q", "-o", "out", "--settings=site/my.ini", "--open", "--",
                  Log().c_str()});
  EXPECT_EQ(r.status, kExitDone) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_TRUE(Exists(Base() + "site/my.ini"));
  EXPECT_TRUE(Exists(Base() + "out/index.html"));
  EXPECT_FALSE(Exists(Base() + "quorvane.ini"));
  // A run that names its output folder makes no default one.
  EXPECT_EQ(env_.fs.KindOf(Base() + "site/htmldir"), PathKind::kMissing);
  EXPECT_EQ(env_.fs.KindOf(Base() + "site/workdir"), PathKind::kDirectory);
  EXPECT_EQ(env_.shell.opened,
            std::vector<std::string>{Base() + "out/index.html"});
}

// Line options override the settings file's keys, lists add up, and the
// summary line says what each did; -q leaves notes out (the empty input's
// too).
TEST_F(CliTest, LineOptions) {
  const std::string empty = Base() + "empty.log", log = Log();
  WriteFileOrDie(empty, "");
  WriteFileOrDie(Log(), std::string(kPageLine) +
                            "192.0.2.1 - - [10/Oct/2000:13:55:36 -0700] "
                            "\"HEAD /a.html?x HTTP/1.0\" 404 1\n");
  WriteFileOrDie(Base() + "quorvane.ini",
                 "[SYSTEM]\nSTATUS=404\nEXCLUDEHOSTS=h.example.com\n");
  const std::string read = "Read!! - 2 lines, ";
  struct Case {
    std::vector<const char*> args;
    int status;
    std::string err;  // the last line of stderr, or a part of stderr
  } cases[] = {
      {{},
       kExitDone,
       read + "0 page requests counted, 2 lines not counted; "
              "--status left out 1; --exclude-host left out 0"},
      {{"--status", "2xx", "--status", "4xx", "--query-pages",
        "--exclude-host=10.0.0.1", "--exclude-host", "192.0.2.0/24"},
       kExitDone,
       read + "1 page requests counted, 1 lines not counted; "
              "--status left out 0; --exclude-host left out 1; "
              "--query-pages rewrote 0\n"},
      {{"--exclude-bots", "--status=2xx,4xx", "--query-pages"},
       kExitDone,
       "1 行にはユーザーエージェントがない (common 形式) ため"},
      {{"--exclude-bots", "--status=2xx,4xx", "--query-pages", "-q"},
       kExitDone,
       ""},
      {{"--status", "200,2"}, kExitUsage, "tovex-cli: --status: "},
      {{"--tz=Mars/Olympus"}, kExitUsage, "--tz: unknown time zone"},
  };
  for (const Case& c : cases) {
    std::vector<const char*> args = c.args;
    args.push_back(empty.c_str());
    args.push_back(log.c_str());
    env_.messages.warnings.clear();
    const Result r = Cli(args);
    // What the run said: on stderr, and through the Messages service.
    std::string said = r.err;
    for (const std::string& w : env_.messages.warnings) said += w + "\n";
    EXPECT_EQ(r.status, c.status) << said;
    if (c.err.empty()) {
      EXPECT_EQ(said, "");
    } else {
      EXPECT_NE(said.find(c.err), std::string::npos) << said;
    }
  }
  // Without options, neither the empty input's note nor the settings
  // file's bad value passes unsaid.
  WriteFileOrDie(Base() + "quorvane.ini", "[SYSTEM]\nQUERYPAGES=yes\n");
  const Result r = Cli({"-q", empty.c_str(), log.c_str()});
  EXPECT_EQ(r.status, kExitUsage);
  EXPECT_NE(r.err.find("QUERYPAGES=yes"), std::string::npos) << r.err;
}

// A refused log's exit status and message are the reference check's.
TEST_F(CliTest, FailureExitsWithItsStatusAndMessage) {
  Result r = Cli({Log().c_str()});
  EXPECT_EQ(r.status, kExitCannotOpen);
  EXPECT_EQ(r.err,
            Log() + " ファイルを開けません!! (No such file or directory)\n");
  EXPECT_EQ(r.out, "");
}

}  // namespace
}  // namespace tovex
