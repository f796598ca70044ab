#include "engine/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine_fixture.h"
#include "platform/profile_ini.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Lines;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using SettingsTest = EngineTest;

const char kHeading[] = "Trawlex settings are not correct (or not yet set), please check the settings:\r\n\r\n";

TEST_F(SettingsTest, MissingFileGivesDefaults) {
  LoadSettings();
  const TIniRec& r = IniRec;
  EXPECT_FALSE(r.Debug);
  EXPECT_EQ(r.DirToMonitor, "");
  EXPECT_FALSE(r.MonitorSubDirs);
  EXPECT_EQ(r.MessageExtention, ".msg");
  EXPECT_EQ(r.MaxMessageSize, 100);
  EXPECT_EQ(r.SpamAction, saMark);
  EXPECT_FALSE(r.DoSpamDelPoints);
  EXPECT_EQ(r.SpamDelPoints, 10);
  EXPECT_EQ(r.MoveDir, trawlex::TempDir);
  EXPECT_TRUE(r.DoLogging);
  EXPECT_EQ(r.LogFile, ProgramDir + "trawlex.log");
  EXPECT_EQ(r.MaxRecentLogItems, 100);
  EXPECT_EQ(r.ExePath, "/usr/bin/spamassassin");
  EXPECT_EQ(r.ConfigDir, "/usr/share/spamassassin");
  EXPECT_EQ(r.UserPrefs, ProgramDir + "user_prefs.txt");
  EXPECT_EQ(r.Options, "-L");
  EXPECT_EQ(r.FormTop, 0);
  EXPECT_EQ(r.FormLeft, 0);
  EXPECT_FALSE(testing_support::Exists(IniFilePath()));  // loading creates nothing
}

TEST_F(SettingsTest, ReadsBooleansIntegersAndTextByTheFileRules) {
  WriteFile(IniFilePath(),
            "[Settings]\n"
            "Debug=2\n"
            "MonitorSubDirs=yes\n"
            "DoLogging=yes\n"
            "DoSpamDelPoints=-1\n"
            "MaxMessageSize=0x1F\n"
            "SpamAction=four\n"
            "SpamDelPoints= 12 \n"
            "MessageExtention=\n"
            "MoveDir=\"/var/spam dir/\"\n"
            "[SPAMASSASSIN]\n"
            "options=-L --cf='x'\n"
            "[form]\n"
            "FormTop=-20\n"
            "FormLeft=0x10\n");
  LoadSettings();
  const TIniRec& r = IniRec;
  EXPECT_TRUE(r.Debug);
  EXPECT_FALSE(r.MonitorSubDirs);  // not an integer: default
  EXPECT_TRUE(r.DoLogging);        // not an integer: default
  EXPECT_TRUE(r.DoSpamDelPoints);
  EXPECT_EQ(r.MaxMessageSize, 31);
  EXPECT_EQ(r.SpamAction, saMark);
  EXPECT_EQ(r.SpamDelPoints, 12);
  EXPECT_EQ(r.MessageExtention, "");  // present but empty is not the default
  EXPECT_EQ(r.MoveDir, "/var/spam dir/");
  EXPECT_EQ(r.Options, "-L --cf='x'");
  EXPECT_EQ(r.FormTop, -20);
  EXPECT_EQ(r.FormLeft, 16);
}

TEST_F(SettingsTest, SaveWritesKeysInOrderAndRoundTrips) {
  WriteFile(IniFilePath(), "[custom]\nmine=kept\n[form]\nFormTop=7\n");
  LoadSettings();
  IniRec.DirToMonitor = "/spool dir/";
  IniRec.SpamAction = saMove;
  IniRec.FormTop = 99;  // only SaveWindowPosition writes the form section
  SaveSettings();
  std::vector<std::string> want = {"[custom]", "mine=kept", "[form]", "FormTop=7", "", "[settings]",
                                   "Debug=0", "DirToMonitor=/spool dir/", "MonitorSubDirs=0",
                                   "MessageExtention=.msg", "MaxMessageSize=100", "SpamAction=4",
                                   "DoSpamDelPoints=0", "SpamDelPoints=10", "MoveDir=" + trawlex::TempDir,
                                   "DoLogging=1", "LogFile=" + ProgramDir + "trawlex.log",
                                   "MaxRecentLogItems=100", "", "[spamassassin]",
                                   "ExePath=" + IniRec.ExePath, "ConfigDir=/usr/share/spamassassin",
                                   "UserPrefs=" + ProgramDir + "user_prefs.txt", "Options=-L"};
  EXPECT_EQ(Lines(ReadFile(IniFilePath())), want);

  IniRec.FormLeft = -3;
  SaveWindowPosition();
  TIniRec saved = IniRec;
  IniRec = TIniRec{};
  LoadSettings();
  EXPECT_EQ(IniRec.FormTop, 99);
  EXPECT_EQ(IniRec.FormLeft, -3);
  EXPECT_EQ(IniRec.DirToMonitor, saved.DirToMonitor);
  EXPECT_EQ(IniRec.SpamAction, saMove);
}

TEST_F(SettingsTest, SaveToReadOnlyFileRaisesTheWriteError) {
  WriteFile(IniFilePath(), "");
  chmod(IniFilePath().c_str(), 0444);
  try {
    SaveSettings();
    FAIL() << "saved into a read-only file";
  } catch (const platform::ProfileWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + IniFilePath());
  }
  EXPECT_THROW(SaveWindowPosition(), platform::ProfileWriteError);
}

TEST_F(SettingsTest, EveryFailingCheckIsListedInOrderInOneDialog) {
  IniRec.SpamAction = saMove;  // makes the move directory count
  IniRec.DirToMonitor = dir / "missing";
  IniRec.MessageExtention = "msg";
  IniRec.MoveDir = dir / "missing";
  IniRec.LogFile = "trawlex.log";
  IniRec.ExePath = dir / "missing";
  IniRec.ConfigDir = dir / "missing";
  IniRec.UserPrefs = dir / "missing";
  EXPECT_FALSE(ValidateSettings());
  ASSERT_EQ(display.messages.size(), 1u);
  EXPECT_EQ(display.messages[0], std::string(kHeading) +
                                     "- Directory to monitor\r\n"
                                     "- Message extension\r\n"
                                     "- Message move directory\r\n"
                                     "- Log file location\r\n"
                                     "- SpamAssassin executable location\r\n"
                                     "- SpamAssassin config directory\r\n"
                                     "- SpamAssassin user preference file\r\n");
}

TEST_F(SettingsTest, EachCheckOnItsOwn) {
  struct Case {
    const char* name;
    void (*change)(TIniRec&, const std::string& dir);
    const char* line;  // nullptr: passes
  } cases[] = {
      {"extension without dot", [](TIniRec& r, const std::string&) { r.MessageExtention = "msg"; },
       "- Message extension"},
      {"bare dot", [](TIniRec& r, const std::string&) { r.MessageExtention = "."; }, nullptr},
      {"wildcard", [](TIniRec& r, const std::string&) { r.MessageExtention = "*.eml"; }, nullptr},
      {"dot in folder only", [](TIniRec& r, const std::string&) { r.MessageExtention = "a.b/msg"; },
       "- Message extension"},
      {"move dir unused", [](TIniRec& r, const std::string& d) { r.MoveDir = d + "missing"; }, nullptr},
      {"move dir used",
       [](TIniRec& r, const std::string& d) {
         r.MoveDir = d + "missing";
         r.SpamAction = saMove;
       },
       "- Message move directory"},
      {"bare log name without logging",
       [](TIniRec& r, const std::string&) {
         r.LogFile = "x.log";
         r.DoLogging = false;
       },
       "- Log file location"},
      {"log in missing folder", [](TIniRec& r, const std::string& d) { r.LogFile = d + "no/such/x.log"; }, nullptr},
      {"executable is a folder", [](TIniRec& r, const std::string& d) { r.ExePath = d; },
       "- SpamAssassin executable location"},
      {"config is a file", [](TIniRec& r, const std::string&) { r.ConfigDir = r.UserPrefs; },
       "- SpamAssassin config directory"},
  };
  TIniRec good = IniRec;
  ASSERT_EQ(SettingsProblems(), "");
  for (const Case& c : cases) {
    IniRec = good;
    c.change(IniRec, dir.path());
    EXPECT_EQ(SettingsProblems(), c.line ? std::string(kHeading) + c.line + "\r\n" : "") << c.name;
  }
  IniRec = good;
  EXPECT_TRUE(ValidateSettings());
  EXPECT_TRUE(display.messages.empty());
}

TEST_F(SettingsTest, FirstStartWithoutIniFailsOnTheMonitoredDirectory) {
  IniRec = TIniRec{};
  LoadSettings();
  EXPECT_FALSE(ValidateSettings());
  ASSERT_EQ(display.messages.size(), 1u);
  EXPECT_EQ(display.messages[0].rfind(std::string(kHeading) + "- Directory to monitor\r\n", 0), 0u);
}

}  // namespace
