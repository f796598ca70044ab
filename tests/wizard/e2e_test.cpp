// The real verilo program, started on the offscreen platform against a loopback
// HTTP server: silent mode's exit status, and the window it shows for an update.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/files.h"
#include "tests/wizard/loopback_server.h"
#include "tests/wizard/wizard_fixture.h"

extern char** environ;

namespace {

using verilo_test::HttpResponse;
using verilo_test::MakePad;
using verilo_test::PadSpec;

class VeriloProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = verilo_test::MakeTestFolder("e2e");
    exe = dir + "verilo";
    // A copy of its own, so that an INI file can lie beside it.
    ASSERT_TRUE(platform::CopyFileReplacing(VERILO_BINARY, exe));
    ASSERT_EQ(chmod(exe.c_str(), 0755), 0);
    mkdir((dir + "tmp").c_str(), 0700);
  }

  pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& extra_env = {}) {
    std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "TMPDIR=" + dir + "tmp",
                                    "VERILO_PROBE_BASE=" + server.Url("")};
    for (char** e = environ; *e; ++e) {
      std::string kv = *e;
      if (kv.rfind("QT_QPA_PLATFORM=", 0) && kv.rfind("TMPDIR=", 0) && kv.rfind("VERILO_", 0)) env.push_back(kv);
    }
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    std::vector<std::string> argv = {exe};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(a.data());
    for (auto& e : env) cenv.push_back(e.data());
    cargv.push_back(nullptr);
    cenv.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, cargv.data(), cenv.data()), 0);
    return pid;
  }

  // The exit status of the program (-1 when it had to be killed after 120 s).
  int Run(const std::vector<std::string>& args) {
    pid_t pid = Spawn(args);
    for (int i = 0; i < 12000; ++i) {
      int status;
      if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }

  std::vector<std::string> Args(bool silent = true) {
    std::vector<std::string> a = {"-a:MyApp", "-v:1.0", "-p:" + server.Url("/pad.xml")};
    if (silent) a.push_back("-s");
    return a;
  }

  verilo_test::LoopbackServer server;
  std::string dir, exe;
};

TEST_F(VeriloProgram, SilentModeReportsTheOutcomeThroughItsExitStatus) {
  PadSpec current{.version = "1.0", .download = "http://127.0.0.1:1/u.exe"};
  PadSpec lacking{.version = "", .download = "http://127.0.0.1:1/u.exe"};
  struct Case {
    const char* name;
    std::optional<std::string> pad;  // served at /pad.xml
    bool robots;                     // /robots.txt answers
    int status;
  } cases[] = {
      {"not connected", std::nullopt, false, 254},
      {"PAD file missing", std::nullopt, true, 253},
      {"PAD file lacks essential information", MakePad(lacking), true, 252},
      {"up to date", MakePad(current), true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.pad) server.Set("/pad.xml", {200, *c.pad});
    else server.Remove("/pad.xml");
    if (c.robots) server.Set("/robots.txt", {200, "User-agent: *\n"});
    else server.Remove("/robots.txt");
    EXPECT_EQ(Run(Args()), c.status);
  }
}

TEST_F(VeriloProgram, IncompleteConfigurationEndsQuietly) {
  // Only -s: no built-in defaults, nothing to check, nothing fetched.
  EXPECT_EQ(Run({"-s"}), 0);
  EXPECT_EQ(Run({"-a:MyApp", "-p:" + server.Url("/pad.xml")}), 0);  // no version
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(VeriloProgram, ReadsTheIniFileBesideIt) {
  server.Set("/pad.xml", {200, MakePad({.version = "1.0", .download = "http://127.0.0.1:1/u.exe"})});
  verilo_test::WriteText(dir + "verilo.ini", "[Verilo]\nAppName=MyApp\nVersion=1.0\nPadFile=" +
                                                 server.Url("/pad.xml") + "\nSilent=1\n");
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(server.Count("/pad.xml"), 1);
  // "-f:" naming a file with an older version, after -v:, decides; the outcome is the same.
  EXPECT_EQ(Run({"-v:0.1", "-f:verilo.ini"}), 0);
  EXPECT_EQ(server.Count("/pad.xml"), 2);
}

TEST_F(VeriloProgram, NewerVersionInSilentModeShowsTheWindowAndWaits) {
  server.Set("/pad.xml", {200, MakePad({.version = "2.0", .download = "http://127.0.0.1:1/u.exe"})});
  std::string report = dir + "shown.txt";
  pid_t pid = Spawn(Args(), {"VERILO_SHOWN_FILE=" + report});
  bool shown = false, exited = false;
  for (int i = 0; i < 12000 && !shown && !exited; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    shown = platform::FileExists(report);
    exited = waitpid(pid, nullptr, WNOHANG) == pid;
  }
  ASSERT_TRUE(shown);
  EXPECT_EQ(platform::ReadWholeFile(report),
            "Verilo Update Wizard\nCheck the latest version of: MyApp\n1.0\nComparing versions\n"
            "A new version of MyApp is available!\nTo download the latest version, click Next.\n");
  // It waits for the user: still running.
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// Started with neither INI nor arguments, the wizard checks itself, with the version
// its own file carries; in normal mode nothing is fetched before Next.
TEST_F(VeriloProgram, WithoutConfigurationItChecksItsOwnVersion) {
  std::string report = dir + "shown.txt";
  pid_t pid = Spawn({}, {"VERILO_SHOWN_FILE=" + report});
  bool shown = false;
  for (int i = 0; i < 12000 && !shown; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    shown = platform::FileExists(report);
  }
  ASSERT_TRUE(shown);
  EXPECT_EQ(platform::ReadWholeFile(report),
            "Verilo Update Wizard\nCheck the latest version of: Verilo\n" VERILO_VERSION "\n\n\n"
            "To continue, click Next.\n");
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0);
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
