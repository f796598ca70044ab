#include "engine/spamassassin_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "engine_fixture.h"
#include "platform/paths.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Exists;
using testing_support::Lines;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using SpamAssassinRunTest = EngineTest;

TEST_F(SpamAssassinRunTest, ScansACopyIntoTheResultFile) {
  std::string msg = Message("a.msg", "Subject: hi\n\nbody\n");
  IniRec.Debug = true;
  FixDebugSwitch();
  EXPECT_EQ(RunSpamAssassin(msg), "ok");
  EXPECT_EQ(MessageCopyPath, trawlex::TempDir + "a.msg");
  EXPECT_EQ(ResultPath, trawlex::TempDir + "sa.tmp");
  EXPECT_EQ(MessageChecksum, FileCrc32(msg));
  EXPECT_EQ(ReadFile(MessageCopyPath), "Subject: hi\n\nbody\n");
  EXPECT_EQ(ReadFile(ResultPath), std::string(testing_support::kSpamHeaders) + "Subject: hi\n\nbody\n");
  EXPECT_EQ(ReadFile(msg), "Subject: hi\n\nbody\n");  // the message itself is not changed
  EXPECT_EQ(SpamAssassinExitCode, 0);
  auto lines = Lines(ReadFile(DebugLogFile));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(" SpamAssassin input message: " + msg + "\r"), std::string::npos);
  EXPECT_NE(lines[1].find(" SpamAssassin result: ok\r"), std::string::npos);
}

TEST_F(SpamAssassinRunTest, CommandQuotesEveryPath) {
  IniRec.ExePath = "/opt/spam assassin/bin/sa";
  IniRec.ConfigDir = "/etc/it's";
  IniRec.UserPrefs = "/p";
  EXPECT_EQ(SpamAssassinCommand(), "'/opt/spam assassin/bin/sa' -L -c '/etc/it'\\''s' -p '/p'");
  IniRec.Options = "";
  EXPECT_EQ(SpamAssassinCommand(), "'/opt/spam assassin/bin/sa'  -c '/etc/it'\\''s' -p '/p'");
}

TEST_F(SpamAssassinRunTest, SizeLimitIsExclusive) {
  struct Case {
    int32_t max_kb;
    std::size_t bytes;
    const char* result;
  } cases[] = {
      {1, 1024, "Message ignored due file size"},
      {1, 1023, "ok"},
      {2, 2047, "ok"},
      {0, 0, "Message ignored due file size"},
      {2097152, 10, "ok"},  // a limit whose byte count exceeds 32 bits
  };
  int ignored = 0;
  for (const Case& c : cases) {
    IniRec.MaxMessageSize = c.max_kb;
    std::string msg = Message("m.msg", std::string(c.bytes, 'x'));
    EXPECT_EQ(RunSpamAssassin(msg), c.result) << c.max_kb << " KB, " << c.bytes << " bytes";
    if (std::string(c.result) != "ok") ++ignored;
  }
  EXPECT_EQ(IniRec.IgnoredCount, ignored);
}

TEST_F(SpamAssassinRunTest, MissingMessageIsSkipped) {
  EXPECT_EQ(RunSpamAssassin(spool + "gone.msg"), "No SpamAssassin input file found.");
  EXPECT_EQ(IniRec.SkippedCount, 1);
  EXPECT_FALSE(Exists(trawlex::TempDir + "sa.tmp"));
}

TEST_F(SpamAssassinRunTest, HostileFileNameIsScannedAndRunsNothing) {
  // Commands in the name would run in the current folder: the test's own.
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  std::string msg = Message("a b\"c'd$(touch pwned)`touch pwned2`\ne.msg", "Subject: odd\n\nbody\n");
  IniRec.SpamAction = saMark;
  EXPECT_EQ(Scan(msg), "Message marked as spam.");
  EXPECT_EQ(ReadFile(msg), std::string(testing_support::kSpamHeaders) + "Subject: odd\n\nbody\n");
  EXPECT_FALSE(Exists(dir / "pwned"));
  EXPECT_FALSE(Exists(dir / "pwned2"));
  EXPECT_FALSE(Exists(msg + ".sa"));
}

TEST_F(SpamAssassinRunTest, PlantedLinksAreReplacedOrRefused) {
  std::string victim = dir / "victim";
  WriteFile(victim, "precious");
  std::string msg = Message("a.msg");
  // A link where the result file goes is replaced, not written through.
  ASSERT_EQ(symlink(victim.c_str(), (trawlex::TempDir + "sa.tmp").c_str()), 0);
  ASSERT_EQ(symlink(victim.c_str(), (trawlex::TempDir + "a.msg").c_str()), 0);
  EXPECT_EQ(RunSpamAssassin(msg), "ok");
  EXPECT_EQ(ReadFile(victim), "precious");
  struct stat st;
  ASSERT_EQ(lstat(ResultPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  // A link in place of the temporary folder itself is refused.
  std::string real = dir / "elsewhere/";
  mkdir(real.c_str(), 0700);
  std::filesystem::remove_all(dir / "tmp");
  ASSERT_EQ(symlink(real.c_str(), (dir / "tmp").c_str()), 0);
  EXPECT_THROW(RunSpamAssassin(msg), platform::UnsafeFolderError);
  EXPECT_FALSE(Exists(real + "sa.tmp"));
}

TEST_F(SpamAssassinRunTest, MissingOrFailingClassifierGivesNoVerdict) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    int exit_code;
  } cases[] = {
      {"missing executable", [&] { IniRec.ExePath = dir / "no/spamassassin"; }, 127},
      {"usage error", [&] { UseClassifier("", "echo 'Unknown option: a' >&2; exit 64\n"); }, 64},
      {"writes nothing", [&] { UseClassifier("", "cat >/dev/null; exit 0\n"); }, 0},
      {"crashes", [&] { UseClassifier("", "kill -SEGV $$\n"); }, 139},
  };
  for (const Case& c : cases) {
    c.setup();
    IniRec.SkippedCount = IniRec.NonSpamCount = IniRec.SpamCount = 0;
    std::string msg = Message("a.msg", "Subject: x\n\nbody\n");
    std::string want = "Scan failed: SpamAssassin gave no verdict (exit code " + std::to_string(c.exit_code) +
                       "); message left unchanged.";
    EXPECT_EQ(Scan(msg), want) << c.name;
    EXPECT_EQ(ReadFile(msg), "Subject: x\n\nbody\n") << c.name;
    EXPECT_EQ(IniRec.SkippedCount, 1) << c.name;
    EXPECT_EQ(IniRec.NonSpamCount + IniRec.SpamCount, 0) << c.name;
    ASSERT_FALSE(RecentActivity().empty());
    EXPECT_EQ(RecentActivity().front().Action, want);
  }
}

TEST_F(SpamAssassinRunTest, WaitsForAFileThatIsStillBeingWritten) {
  std::string msg = Message("busy.msg", "Subject: partial\n");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t writer = fork();
  if (writer == 0) {
    int fd = open(msg.c_str(), O_WRONLY | O_APPEND);
    (void)!write(ready[1], "x", 1);
    usleep(700 * 1000);
    (void)!write(fd, "\nbody\n", 6);
    close(fd);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  int served = 0;
  SetEventHook([&] { ++served; });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunSpamAssassin(msg), "ok");
  auto waited = std::chrono::steady_clock::now() - start;
  waitpid(writer, nullptr, 0);
  EXPECT_GE(waited, std::chrono::milliseconds(600));
  EXPECT_GT(served, 5);  // events kept flowing while waiting
  // The scan saw the finished file.
  EXPECT_EQ(ReadFile(MessageCopyPath), "Subject: partial\n\nbody\n");
}

TEST_F(SpamAssassinRunTest, MissingInterpreterIsRaised) {
  setenv("COMSPEC", (dir / "no/cmd.exe").c_str(), 1);
  try {
    RunSpamAssassin(Message("a.msg"));
    FAIL() << "ran without an interpreter";
  } catch (const EngineError& e) {
    EXPECT_STREQ(e.what(), "Unable to find application cmd.exe");
  }
  unsetenv("COMSPEC");
}

TEST_F(SpamAssassinRunTest, FailedCopyStopsBeforeTheScan) {
  std::string msg = Message("a.msg");
  // A folder in the way of the copy's name makes the copy fail.
  mkdir((trawlex::TempDir + "a.msg").c_str(), 0700);
  WriteFile(trawlex::TempDir + "a.msg/x", "");
  IniRec.Debug = true;
  FixDebugSwitch();
  EXPECT_EQ(RunSpamAssassin(msg), "Copy of the original message failed");
  EXPECT_TRUE(Exists(msg));
  EXPECT_FALSE(Exists(ResultPath));
  std::string log = ReadFile(DebugLogFile);
  EXPECT_EQ(log.find(" SpamAssassin result: "), std::string::npos);
  EXPECT_EQ(IniRec.SkippedCount + IniRec.IgnoredCount, 0);
}

}  // namespace
