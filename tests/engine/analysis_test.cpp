#include "engine/analysis.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine_fixture.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

using AnalysisTest = EngineTest;

TEST(TextBetween, FindsTheTextBetweenTheFirstMarkers) {
  struct Case {
    const char* text;
    const char* start;
    const char* end;
    bool case_sensitive;
    const char* want;
  } cases[] = {
      {"Yes, hits=12.5 required=5", "hits=", " ", false, "12.5"},
      {"Yes, HITS=7 x", "hits=", " ", false, "7"},
      {"Yes, HITS=7 x", "hits=", " ", true, ""},
      {"Yes, hits=12.5", "hits=", " ", false, ""},  // no end marker
      {"no marker here", "hits=", " ", false, ""},
      {"a=1 a=2 ", "a=", " ", false, "1"},
      {"<x>in</X>", "<X>", "</x>", false, "in"},
      {"ab", "a", "b", false, ""},
      {"", "a", "b", false, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TextBetween(c.text, c.start, c.end, c.case_sensitive), c.want) << c.text << " / " << c.start;
}

TEST_F(AnalysisTest, ReadsOnlyTheHeaderBlockByItsRules) {
  struct Case {
    const char* name;
    const char* output;
    bool spam;
    const char* points;
    const char* from;
    const char* subject;
  } cases[] = {
      {"spamassassin 4", "X-Spam-Flag: YES\nX-Spam-Status: Yes, score=6.2 required=5.0\nFrom: A <a@x>\n\n", true,
       "6.2", "A <a@x>", ""},
      {"old hits marker", "X-Spam-Status: Yes, hits=12.5 required=5.0\nX-Spam-Flag: YES\n\n", true, "12.5", "", ""},
      {"hits in capitals", "X-Spam-Status: Yes, HITS=3 x\n\n", false, "3", "", ""},
      {"value ends the line", "X-Spam-Status: Yes, score=9.0\n\n", false, "", "", ""},
      {"flag in lower case", "x-spam-flag: yes\nX-Spam-Status: No, score=1 x\n\n", false, "1", "", ""},
      {"flag with trailing blank", "X-Spam-Flag: YES \nX-Spam-Status: No, score=1 x\n\n", false, "1", "", ""},
      {"crlf lines", "X-Spam-Flag: YES\r\nX-Spam-Status: Yes, score=2 x\r\nSubject: Hi\r\n\r\nFrom: body\r\n", true,
       "2", "", "Hi"},
      {"body not read", "X-Spam-Status: No, score=0 x\nSubject: s\n\nFrom: in body\nX-Spam-Flag: YES\n", false, "0",
       "", "s"},
      {"later header replaces", "From: one\nFrom: two\nX-Spam-Status: No, score=0 x\n\n", false, "0", "two", ""},
      {"folded header keeps its first line", "Subject: first\n second\nX-Spam-Status: No, score=1 x\n", false, "1",
       "", "first"},
      {"short header lines", "From:\nSubject:x\nX-Spam-Status: No, score=1 x\n\n", false, "1", "", ""},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "out", c.output);
    ReadVerdict(dir / "out");
    EXPECT_EQ(IsSpam, c.spam) << c.name;
    EXPECT_EQ(Points, c.points) << c.name;
    EXPECT_EQ(From, c.from) << c.name;
    EXPECT_EQ(Subject, c.subject) << c.name;
    EXPECT_TRUE(HasVerdict) << c.name;
  }
  WriteFile(dir / "out", "To: Bob <b@x>\n\n");
  ReadVerdict(dir / "out");
  EXPECT_EQ(To, "Bob <b@x>");
  EXPECT_FALSE(HasVerdict);
}

TEST_F(AnalysisTest, MarkOrDeleteByThePointsThreshold) {
  struct Case {
    const char* status;
    bool del_points;
    const char* result;
  } cases[] = {
      {"score=10 x", true, "Spam message deleted."},
      {"score=10.0 x", true, "Spam message deleted."},
      {"score=1e1 x", true, "Spam message deleted."},
      {"score=9.9 x", true, "Message marked as spam."},
      {"score=12 x", false, "Message marked as spam."},
      {"score=x", true, "Message marked as spam."},  // empty points
      {"score=ten x", true, "Message marked as spam."},
      {"score=10,0 x", true, "Message marked as spam."},
  };
  IniRec.SpamAction = saMark;
  IniRec.SpamDelPoints = 10;
  for (const Case& c : cases) {
    IniRec.DoSpamDelPoints = c.del_points;
    UseClassifier(std::string("X-Spam-Flag: YES\nX-Spam-Status: Yes, ") + c.status + "\n");
    std::string msg = Message("a.msg");
    EXPECT_EQ(Scan(msg), c.result) << c.status;
    if (std::string(c.result) == "Spam message deleted.")
      EXPECT_FALSE(Exists(msg)) << c.status;
    else
      EXPECT_EQ(ReadFile(msg), ReadFile(ResultPath)) << c.status;
  }
}

TEST_F(AnalysisTest, MarkLeavesAChangedOrVanishedMessageAlone) {
  IniRec.SpamAction = saMark;
  std::string msg = Message("a.msg");
  ASSERT_EQ(RunSpamAssassin(msg), "ok");
  WriteFile(msg, "rewritten by the mail server");
  EXPECT_EQ(AnalyseResult(msg), "Mark action: Original message not found.");
  EXPECT_EQ(ReadFile(msg), "rewritten by the mail server");

  ASSERT_EQ(RunSpamAssassin(msg), "ok");
  std::remove(msg.c_str());
  EXPECT_EQ(AnalyseResult(msg), "Mark action: Error deleting original message file!");
  EXPECT_FALSE(Exists(msg));
  EXPECT_FALSE(Exists(msg + ".sa"));

  IniRec.DoSpamDelPoints = true;
  IniRec.SpamDelPoints = 5;
  ASSERT_EQ(RunSpamAssassin(Message("a.msg")), "ok");
  WriteFile(msg, "changed");
  EXPECT_EQ(AnalyseResult(msg), "Mark action: Error deleting message file!");
  EXPECT_EQ(ReadFile(msg), "changed");
  EXPECT_EQ(IniRec.SpamCount, 3);  // verdicts are counted whatever the action did
}

TEST_F(AnalysisTest, FailedMarkCopyKeepsTheMessage) {
  IniRec.SpamAction = saMark;
  std::string msg = Message("a.msg", "original mail");
  ASSERT_EQ(RunSpamAssassin(msg), "ok");
  mkdir((msg + ".sa").c_str(), 0755);  // a folder in the way of the marked copy
  WriteFile(msg + ".sa/x", "");
  EXPECT_EQ(AnalyseResult(msg), "Copy of the original message failed");
  EXPECT_EQ(ReadFile(msg), "original mail");
}

TEST_F(AnalysisTest, DeleteIgnoreAndUnknownActions) {
  std::string msg = Message("a.msg");
  IniRec.SpamAction = saDelete;
  ASSERT_EQ(RunSpamAssassin(msg), "ok");
  WriteFile(msg, "changed during the scan");
  EXPECT_EQ(AnalyseResult(msg), "Spam message deleted.");
  EXPECT_FALSE(Exists(msg));
  EXPECT_EQ(AnalyseResult(msg), "Delete action: Error deleting message file!");

  IniRec.SpamAction = saIgnore;
  msg = Message("b.msg", "kept");
  EXPECT_EQ(Scan(msg), "Spam message ignored.");
  EXPECT_EQ(ReadFile(msg), "kept");
  EXPECT_TRUE(RecentActivity().front().IsSpam);

  IniRec.SpamAction = 7;
  EXPECT_EQ(Scan(msg), "");
  EXPECT_EQ(ReadFile(msg), "kept");
  EXPECT_EQ(IniRec.SpamCount, 4);
}

TEST_F(AnalysisTest, MoveStoresNumberedCopiesAndDeletesOnlyAfterwards) {
  IniRec.SpamAction = saMove;
  IniRec.MoveDir = dir / "spam";  // no trailing slash
  mkdir(IniRec.MoveDir.c_str(), 0755);
  std::string a = Message("a.msg", "first"), b = Message("b.msg", "second");
  EXPECT_EQ(Scan(a), "Spam message moved to " + dir / "spam/spam_0.msg.");
  EXPECT_EQ(Scan(b), "Spam message moved to " + dir / "spam/spam_1.msg.");
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(b));
  EXPECT_EQ(ReadFile(dir / "spam/spam_0.msg"), std::string(testing_support::kSpamHeaders) + "first");
  EXPECT_EQ(ReadFile(dir / "spam/spam_1.msg"), std::string(testing_support::kSpamHeaders) + "second");

  std::string c = Message("c.msg", "third");
  ASSERT_EQ(RunSpamAssassin(c), "ok");
  WriteFile(c, "rewritten");
  EXPECT_EQ(AnalyseResult(c), "Spam message copied to " + dir / "spam/spam_2.msg" +
                                  "; the original changed during the scan and was kept.");
  EXPECT_EQ(ReadFile(c), "rewritten");

  IniRec.MoveDir = dir / "missing";  // the copy cannot be made: the mail stays
  std::string d = Message("d.msg", "fourth");
  EXPECT_EQ(Scan(d), "Move of the original message failed");
  EXPECT_EQ(ReadFile(d), "fourth");
}

TEST_F(AnalysisTest, UniqueFileNameTakesTheFirstFreeNumber) {
  std::string d = dir / "u/";
  mkdir(d.c_str(), 0755);
  WriteFile(d + "spam_0.eml", "taken");
  WriteFile(d + "spam_2.eml", "taken");
  EXPECT_EQ(UniqueFileName(d, "spam", ".eml"), d + "spam_1.eml");
  EXPECT_EQ(ReadFile(d + "spam_1.eml"), "");
  EXPECT_EQ(UniqueFileName(dir / "u", "spam", ".eml"), d + "spam_3.eml");
  EXPECT_EQ(UniqueFileName(dir / "missing", "spam", ".eml"), "");
}

TEST_F(AnalysisTest, MissingOutputIsSkippedWithoutAnEntry) {
  std::string msg = Message("a.msg");
  ResultPath = trawlex::TempDir + "sa.tmp";
  EXPECT_EQ(AnalyseResult(msg), "No SpamAssassin output file found.");
  EXPECT_EQ(IniRec.SkippedCount, 1);
  EXPECT_TRUE(RecentActivity().empty());
}

TEST_F(AnalysisTest, NonSpamIsRecordedAndLeftAlone) {
  UseClassifier("From: Ann <a@x>\nTo: Bob <b@x>\nSubject: Lunch\nX-Spam-Status: No, score=0.3 required=5.0\n");
  std::string msg = Message("a.msg", "plain");
  EXPECT_EQ(Scan(msg), "Non spam message.");
  EXPECT_EQ(ReadFile(msg), "plain");
  EXPECT_EQ(IniRec.NonSpamCount, 1);
  const ActivityEntry& e = RecentActivity().front();
  EXPECT_EQ(e.Message, msg);
  EXPECT_EQ(e.Points, "0.3");
  EXPECT_EQ(e.From, "Ann <a@x>");
  EXPECT_EQ(e.To, "Bob <b@x>");
  EXPECT_EQ(e.Subject, "Lunch");
  EXPECT_FALSE(e.IsSpam);
}

}  // namespace
