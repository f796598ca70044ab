// Shared set-up for engine tests: a program folder, a spool folder and a private
// temporary folder per test, default settings, and a display that records what the
// engine shows.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <vector>

#include "engine/activity_log.h"
#include "engine/analysis.h"
#include "engine/display.h"
#include "engine/settings.h"
#include "engine/spamassassin_run.h"
#include "tests/support/temp_dir.h"

namespace testing_support {

class RecordingDisplay : public trawlex::Display {
 public:
  void ShowIndicator(trawlex::Indicator i) override { indicators.push_back(i); }
  void ShowMonitorCaption(const std::string& text) override { caption = text; }
  void ShowStatusLine(const std::string& text) override { status_lines.push_back(text); }
  void ShowLastResult(const std::string& text) override { last_results.push_back(text); }
  void ShowQueue(const std::deque<trawlex::QueueEntry>& queue) override { this->queue = queue; }
  void ShowStatistics(const trawlex::Statistics& s) override { statistics.push_back(s); }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowRecentActivity(const std::deque<trawlex::ActivityEntry>& list) override { activity = list; }
  std::vector<trawlex::Indicator> indicators;
  std::string caption;
  std::vector<std::string> status_lines, last_results, messages;
  std::deque<trawlex::QueueEntry> queue;
  std::vector<trawlex::Statistics> statistics;
  std::deque<trawlex::ActivityEntry> activity;
};

inline const char kSpamHeaders[] =
    "X-Spam-Flag: YES\n"
    "X-Spam-Status: Yes, score=5.0 required=5.0 tests=FAKE\n";
inline const char kHamHeaders[] = "X-Spam-Status: No, score=0.1 required=5.0 tests=none\n";

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    using namespace trawlex;
    ProgramDir = dir.path();
    spool = dir / "spool/";
    mkdir(spool.c_str(), 0755);
    trawlex::TempDir = dir / "tmp/";
    mkdir(trawlex::TempDir.c_str(), 0700);
    IniRec = TIniRec{};
    LoadSettings();
    IniRec.DirToMonitor = spool;
    WriteFile(IniRec.UserPrefs, "");
    DebugLogging = false;
    DebugLogFile = ProgramDir + "debug.log";
    MessageCopyPath.clear();
    ResultPath.clear();
    MessageChecksum = 0;
    SpamAssassinExitCode = -1;
    SetDisplay(&display);
    ClearRecentActivity();
    UseClassifier(kSpamHeaders);
  }

  void TearDown() override {
    trawlex::SetDisplay(nullptr);
    trawlex::SetEventHook(nullptr);
  }

  // Installs a stand-in for SpamAssassin that writes headers, then the message.
  void UseClassifier(const std::string& headers, const std::string& extra = "") {
    std::string exe = dir / "classifier";
    WriteFile(exe, "#!/bin/sh\ncat \"$0.headers\"\n" + extra + "cat\n");
    chmod(exe.c_str(), 0755);
    WriteFile(exe + ".headers", headers);
    trawlex::IniRec.ExePath = exe;
  }

  std::string Message(const std::string& name, const std::string& content = "Subject: hi\n\nbody\n") {
    std::string path = spool + name;
    WriteFile(path, content);
    return path;
  }

  // One message through the scan and, when it ran, the analysis.
  std::string Scan(const std::string& path) {
    std::string result = trawlex::RunSpamAssassin(path);
    return result == trawlex::kScanOk ? trawlex::AnalyseResult(path) : result;
  }

  TempDir dir;
  std::string spool;
  RecordingDisplay display;
};

}  // namespace testing_support
