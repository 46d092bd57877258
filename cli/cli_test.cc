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
      {"--resolve", "dns", "x.log"},
      {"--resolve=", "x.log"},
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
  EXPECT_EQ(env_.shell.opened,
            std::vector<std::string>{Base() + "out/index.html"});
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
