// The real trawlex program on a spool folder: real inotify, the real SpamAssassin (or
// a trivial classifier where only speed matters), real files.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "tests/support/temp_dir.h"

extern char** environ;

using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

namespace {

const std::string kExamples = "/usr/share/doc/spamassassin/examples/";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t nl = text.find("\r\n", pos);
    if (nl == std::string::npos) break;
    lines.push_back(text.substr(pos, nl - pos));
    pos = nl + 2;
  }
  return lines;
}

bool WaitFor(const std::function<bool()>& done, int seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

class TrawlexProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    prog = root / "prog/";
    spool = root / "spool/";
    fs::create_directories(prog);
    fs::create_directories(spool);
    fs::create_directories(root / "tmp");
    fs::copy_file(TRAWLEX_BINARY, prog + "trawlex");
    WriteFile(prog + "user_prefs.txt", "");
  }
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  void WriteIni(const std::string& extra, bool debug = true) {
    WriteFile(prog + "trawlex.ini", std::string("[settings]\nDebug=") + (debug ? "1" : "0") + "\nDirToMonitor=" +
                                        spool + "\nLogFile=" + root.path() + "trawlex.log\n" + extra);
  }
  // A stand-in classifier: two headers, then the message.
  std::string TrivialClassifier(const std::string& before = "") {
    std::string exe = root / "classifier";
    WriteFile(exe, "#!/bin/sh\n" + before +
                       "printf 'X-Spam-Flag: YES\\nX-Spam-Status: Yes, score=5.0 required=5.0\\n'\nexec cat\n");
    chmod(exe.c_str(), 0755);
    return "[spamassassin]\nExePath=" + exe + "\n";
  }

  void Start() {
    fs::remove(prog + "debug.log");
    std::string tmpdir = "TMPDIR=" + root / "tmp";
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("TMPDIR=", 0) != 0) env.push_back(*e);
    env.push_back(tmpdir.data());
    env.push_back(nullptr);
    std::string exe = prog + "trawlex";
    char* argv[] = {exe.data(), nullptr};
    ASSERT_EQ(posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv, env.data()), 0);
    // Started once the watcher reports: a probe file shows up in the debug log or,
    // without debugging, the process is simply given a moment.
    ASSERT_TRUE(WaitFor([&] { return Debug().find("<< Start monitor >>") != std::string::npos; }, 20) ||
                ReadFile(prog + "trawlex.ini").find("Debug=0") != std::string::npos)
        << "trawlex did not start";
    if (Debug().empty()) std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  int Stop() {
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string Debug() { return ReadFile(prog + "debug.log"); }
  std::vector<std::string> LogLines() { return Lines(ReadFile(root / "trawlex.log")); }
  bool LogHas(std::size_t lines) { return LogLines().size() >= lines; }
  // Message path of each log line, with the number of lines it has.
  std::map<std::string, int> LoggedMessages() {
    std::map<std::string, int> count;
    for (const std::string& line : LogLines()) {
      std::size_t start = line.find('\t') + 1;
      ++count[line.substr(start, line.find('\t', start) - start)];
    }
    return count;
  }
  testing_support::TempDir root;
  std::string prog, spool;
  pid_t pid = -1;
};

TEST_F(TrawlexProgram, ArrivingMessagesAreScannedOnceAndSpamIsMarked) {
  WriteIni("SpamAction=1\n");
  Start();
  std::string spam = ReadFile(kExamples + "sample-spam.txt"), ham = ReadFile(kExamples + "sample-nonspam.txt");
  WriteFile(spool + "created.msg", spam);
  fs::create_directories(root / "outside");
  WriteFile(root / "outside/moved.msg", spam);
  fs::rename(root / "outside/moved.msg", spool + "moved.msg");
  fs::copy_file(kExamples + "sample-spam.txt", spool + "copied.msg");
  WriteFile(spool + "ham.msg", ham);
  ASSERT_TRUE(WaitFor([&] { return LogHas(4); }, 120)) << Debug();
  fs::rename(spool + "ham.msg", spool + "renamed.msg");
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // a further tick: nothing new arrives
  EXPECT_EQ(Stop(), 0);

  std::map<std::string, int> want = {
      {spool + "created.msg", 1}, {spool + "moved.msg", 1}, {spool + "copied.msg", 1}, {spool + "ham.msg", 1}};
  EXPECT_EQ(LoggedMessages(), want);
  for (const char* name : {"created.msg", "moved.msg", "copied.msg"}) {
    EXPECT_NE(ReadFile(spool + name).find("\nX-Spam-Flag: YES\n"), std::string::npos) << name;
    EXPECT_FALSE(Exists(spool + name + ".sa"));
  }
  EXPECT_EQ(ReadFile(spool + "renamed.msg"), ham);
  for (const std::string& line : LogLines()) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    for (std::size_t tab; (tab = line.find('\t', pos)) != std::string::npos; pos = tab + 1)
      fields.push_back(line.substr(pos, tab - pos));
    fields.push_back(line.substr(pos));
    ASSERT_EQ(fields.size(), 7u) << line;
    bool is_ham = fields[1] == spool + "ham.msg";
    EXPECT_EQ(fields[3], is_ham ? "Non spam message." : "Message marked as spam.") << line;
    EXPECT_EQ(fields[2], is_ham ? "0.0" : "1000.0") << line;
  }

  std::string path = spool + "created.msg";
  // The six lines of the marked message, in order, each with its value.
  std::string debug = Debug();
  std::size_t at = 0;
  for (const std::string& t :
       {std::string(" File monitor: created.msg\r\n"), " Place in queue: " + path + "\r\n", " SpamAssassin input message: " + path +
        "\r\n", std::string(" SpamAssassin result: ok\r\n"), " Analysis message: " + path + "\r\n",
        std::string(" Analysis result: Message marked as spam.\r\n")}) {
    at = debug.find(t, at);
    ASSERT_NE(at, std::string::npos) << t;
  }
  EXPECT_EQ(debug.find(" File monitor: renamed.msg"), std::string::npos);
  EXPECT_EQ(debug.find(" Place in queue: " + spool + "created.msg.sa"), std::string::npos);
  EXPECT_NE(debug.find("<< Stop monitor >>"), std::string::npos);
}

TEST_F(TrawlexProgram, SubdirectoriesAreWatchedOnlyWithMonitorSubDirs) {
  for (bool subdirs : {true, false}) {
    SCOPED_TRACE(subdirs ? "MonitorSubDirs on" : "MonitorSubDirs off");
    fs::remove_all(spool);
    fs::create_directories(spool);
    fs::remove(root / "trawlex.log");
    WriteIni(std::string("MonitorSubDirs=") + (subdirs ? "1" : "0") + "\nSpamAction=2\n");
    Start();
    fs::create_directories(spool + "sub/deeper");
    fs::copy_file(kExamples + "sample-spam.txt", spool + "sub/deeper/a.msg");
    fs::copy_file(kExamples + "sample-spam.txt", spool + "top.msg");
    ASSERT_TRUE(WaitFor([&] { return LogHas(subdirs ? 2 : 1); }, 60)) << Debug();
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(Stop(), 0);
    std::map<std::string, int> want = {{spool + "top.msg", 1}};
    if (subdirs) want[spool + "sub/deeper/a.msg"] = 1;
    EXPECT_EQ(LoggedMessages(), want);
    EXPECT_EQ(Exists(spool + "sub/deeper/a.msg"), !subdirs);
  }
}

TEST_F(TrawlexProgram, AMessageGoneBeforeItsTurnIsSkipped) {
  WriteIni("SpamAction=3\n" + TrivialClassifier("sleep 1\n"));
  Start();
  WriteFile(spool + "a.msg", "Subject: a\n\nbody\n");
  WriteFile(spool + "b.msg", "Subject: b\n\nbody\n");
  ASSERT_TRUE(WaitFor([&] { return Debug().find(" SpamAssassin input message: " + spool + "a.msg") != std::string::npos; }, 20));
  ASSERT_NE(Debug().find(" Place in queue: " + spool + "b.msg"), std::string::npos);
  fs::remove(spool + "b.msg");
  ASSERT_TRUE(WaitFor([&] { return Debug().find(" SpamAssassin result: No SpamAssassin input file found.") != std::string::npos; }, 20));
  EXPECT_EQ(Stop(), 0);
  EXPECT_EQ(LoggedMessages(), (std::map<std::string, int>{{spool + "a.msg", 1}}));
}

TEST_F(TrawlexProgram, BadSettingsEndTheProgramWithAClearMessage) {
  WriteFile(prog + "trawlex.ini", "[settings]\nDirToMonitor=" + root / "missing" + "\n");
  std::string exe = prog + "trawlex";
  std::string out = root / "stderr";
  std::string cmd = "TMPDIR=" + root / "tmp" + " " + exe + " 2> " + out;
  int status = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_NE(ReadFile(out).find("Trawlex settings are not correct (or not yet set), please check the settings:\r\n\r\n"
                               "- Directory to monitor\r\n"),
            std::string::npos);
}

// Every message exactly once, also when far more arrive than one read of the
// kernel holds, and when the kernel's own queue of reports overflows.
class TrawlexBurst : public TrawlexProgram {
 protected:
  void CreateMessages(int count, const std::string& prefix) {
    for (int i = 0; i < count; ++i) WriteFile(spool + prefix + std::to_string(i) + ".msg", "Subject: burst\n\nx\n");
  }
  void ExpectEachOnce(int count, const std::string& prefix) {
    ASSERT_TRUE(WaitFor([&] { return LogHas(count); }, 600)) << LogLines().size() << " of " << count;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(Stop(), 0);
    std::map<std::string, int> logged = LoggedMessages();
    EXPECT_EQ(logged.size(), std::size_t(count));
    for (int i = 0; i < count; ++i) EXPECT_EQ(logged[spool + prefix + std::to_string(i) + ".msg"], 1) << i;
  }
};

TEST_F(TrawlexBurst, TenThousandMessagesAtOnce) {
  WriteIni("SpamAction=3\n" + TrivialClassifier(), false);
  Start();
  CreateMessages(10000, "m");
  ExpectEachOnce(10000, "m");
}

TEST_F(TrawlexBurst, OverflowOfTheKernelQueueIsRescanned) {
  int max_queued = std::stoi(ReadFile("/proc/sys/fs/inotify/max_queued_events"));
  int count = max_queued + 2000;
  WriteIni("SpamAction=3\n" + TrivialClassifier());
  Start();
  kill(pid, SIGSTOP);  // nothing reads the reports while the files arrive
  CreateMessages(count, "o");
  kill(pid, SIGCONT);
  ExpectEachOnce(count, "o");
  EXPECT_NE(Debug().find(" File monitor: change reports were lost; rescanning " + spool), std::string::npos);
}

}  // namespace
