#include "engine/activity_log.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <regex>

#include "engine_fixture.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Exists;
using testing_support::Lines;
using testing_support::ReadFile;

namespace {

using ActivityLogTest = EngineTest;

ActivityEntry Entry(const std::string& name, bool spam = false) {
  return {"d", "/spool/" + name, "5.0", spam ? "Spam message ignored." : "Non spam message.", "f", "t", "s", spam};
}

std::vector<std::string> Names(const std::deque<ActivityEntry>& list) {
  std::vector<std::string> names;
  for (const ActivityEntry& e : list) names.push_back(e.Message.substr(7));
  return names;
}

TEST_F(ActivityLogTest, LogFileLineHasSevenTabSeparatedFields) {
  ActivityEntry full{"12/11/26 10:00:00", "/spool/a.msg", "5.0", "Message marked as spam.", "A <a@x>", "B <b@x>",
                     "Hello", true};
  EXPECT_EQ(LogLine(full),
            "12/11/26 10:00:00\t/spool/a.msg\t5.0\tMessage marked as spam.\tA <a@x>\tB <b@x>\tHello\r\n");
  EXPECT_EQ(LogLine(ActivityEntry{"d", "m", "", "", "", "", "", false}), "d\tm\t\t\t\t\t\r\n");

  LogActivity(full);
  LogActivity(Entry("b.msg"));
  EXPECT_EQ(ReadFile(IniRec.LogFile), LogLine(full) + LogLine(Entry("b.msg")));
}

TEST_F(ActivityLogTest, TimeStampDropsTheTimeOnlyInTheFirstSecondAfterMidnight) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::setlocale(LC_TIME, "C");
  std::tm tm{};
  tm.tm_year = 126, tm.tm_mon = 11, tm.tm_mday = 11;
  std::time_t midnight = timegm(&tm);
  EXPECT_EQ(TimeStamp(midnight), "12/11/26");
  EXPECT_EQ(TimeStamp(midnight + 1), "12/11/26 00:00:01");
  EXPECT_EQ(TimeStamp(midnight + 13 * 3600 + 5 * 60 + 9), "12/11/26 13:05:09");
  unsetenv("TZ");
  tzset();
}

TEST_F(ActivityLogTest, RecentListKeepsNewestFirstAndTrimsOnInsert) {
  IniRec.MaxRecentLogItems = 3;
  for (const char* n : {"1", "2", "3", "4", "5"}) LogActivity(Entry(n, n[0] == '4'));
  EXPECT_EQ(Names(RecentActivity()), (std::vector<std::string>{"5", "4", "3"}));
  EXPECT_TRUE(RecentActivity()[1].IsSpam);  // the flag the window colours red
  EXPECT_EQ(Names(display.activity), Names(RecentActivity()));

  ClearRecentActivity();
  IniRec.MaxRecentLogItems = 100;
  for (int i = 0; i < 100; ++i) LogActivity(Entry(std::to_string(i)));
  IniRec.MaxRecentLogItems = 10;
  EXPECT_EQ(RecentActivity().size(), 100u);  // a lowered limit waits for the next entry
  LogActivity(Entry("new"));
  ASSERT_EQ(RecentActivity().size(), 10u);
  EXPECT_EQ(Names(RecentActivity()).front(), "new");
  EXPECT_EQ(Names(RecentActivity()).back(), "91");

  IniRec.MaxRecentLogItems = 0;
  LogActivity(Entry("none"));
  EXPECT_TRUE(RecentActivity().empty());
}

TEST_F(ActivityLogTest, LogFileProblemsAreSilentAndTheListStillFills) {
  IniRec.DoLogging = false;
  LogActivity(Entry("a"));
  EXPECT_FALSE(Exists(IniRec.LogFile));
  IniRec.DoLogging = true;
  IniRec.LogFile = dir / "no/such/folder/trawlex.log";
  LogActivity(Entry("b"));
  EXPECT_FALSE(Exists(IniRec.LogFile));
  EXPECT_EQ(Names(RecentActivity()), (std::vector<std::string>{"b", "a"}));
}

TEST_F(ActivityLogTest, DebugLinesOnlyWhenDebugWasSetAtStart) {
  IniRec.Debug = false;
  FixDebugSwitch();
  WriteDebugLine(" Place in queue: x");
  EXPECT_FALSE(Exists(ProgramDir + "debug.log"));

  IniRec.Debug = true;
  FixDebugSwitch();
  EXPECT_EQ(DebugLogFile, ProgramDir + "debug.log");
  std::setlocale(LC_TIME, "C");
  WriteDebugLine(" << Start monitor >>");
  WriteDebugLine(" Place in queue: /spool/a.msg");
  std::string log = ReadFile(DebugLogFile);
  std::regex line(R"(\d\d/\d\d/\d\d( \d\d:\d\d:\d\d)? (<< Start monitor >>|Place in queue: /spool/a\.msg)\r)");
  auto lines = Lines(log);
  ASSERT_EQ(lines.size(), 2u);
  for (const std::string& l : lines) EXPECT_TRUE(std::regex_match(l, line)) << l;
  EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
}

}  // namespace
