#include "platform/process.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/temp_dir.h"

using namespace platform;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

TEST(Process, ShellQuotingKeepsHostileTextInert) {
  TempDir dir;
  const std::string hostile[] = {
      "plain", "with blanks", "it's", "\"double\"", "$(touch " + dir.path() + "pwned)",
      "`touch " + dir.path() + "pwned`", "new\nline", "back\\slash", "semi;colon&amp|pipe", "",
  };
  for (const std::string& text : hostile) {
    std::string out = dir / "out";
    int rc = RunAndWait({"/bin/sh", "-c", "printf %s " + ShellQuote(text) + " > " + ShellQuote(out)}, nullptr);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(out), text);
  }
  EXPECT_FALSE(Exists(dir / "pwned"));
}

TEST(Process, ExitStatusAndEventsWhileWaiting) {
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 0"}, nullptr), 0);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "exit 64"}, nullptr), 64);
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "kill -9 $$"}, nullptr), 128 + 9);
  int served = 0;
  EXPECT_EQ(RunAndWait({"/bin/sh", "-c", "sleep 0.3"}, [&] { ++served; }), 0);
  EXPECT_GT(served, 3);  // the caller's events were served while the child ran
  try {
    RunAndWait({"/nonexistent/program"}, nullptr);
    FAIL() << "started a missing program";
  } catch (const SystemError& e) {
    EXPECT_EQ(e.code(), ENOENT);
    EXPECT_EQ(std::string(e.what()).rfind("System Error.  Code: 2.\r\n", 0), 0u) << e.what();
  }
}

TEST(Process, InterpreterComesFromComspec) {
  unsetenv("COMSPEC");
  EXPECT_EQ(CommandInterpreter(), "/bin/sh");
  setenv("COMSPEC", "/bin/dash", 1);
  EXPECT_EQ(CommandInterpreter(), "/bin/dash");
  unsetenv("COMSPEC");
}

}  // namespace
