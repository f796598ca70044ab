// The engine against the real SpamAssassin on Debian's sample messages.
#include <gtest/gtest.h>

#include "engine_fixture.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Exists;
using testing_support::ReadFile;

namespace {

const std::string kExamples = "/usr/share/doc/spamassassin/examples/";

class RealSpamAssassinTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    LoadSettings();  // the real SpamAssassin of the defaults
    IniRec.DirToMonitor = spool;
    ASSERT_TRUE(Exists(IniRec.ExePath)) << "SpamAssassin is not installed";
    ASSERT_EQ(SettingsProblems(), "");
  }
  std::string Sample(const std::string& name, const std::string& as) {
    return Message(as, ReadFile(kExamples + name));
  }
  std::string SpamSample(const std::string& as = "spam.msg") { return Sample("sample-spam.txt", as); }
};

TEST_F(RealSpamAssassinTest, MarkReplacesTheMessageWithSpamAssassinsOutput) {
  IniRec.SpamAction = saMark;
  std::string msg = SpamSample();
  EXPECT_EQ(Scan(msg), "Message marked as spam.");
  std::string marked = ReadFile(msg);
  EXPECT_EQ(marked, ReadFile(ResultPath));
  EXPECT_NE(marked.find("\nX-Spam-Flag: YES\n"), std::string::npos);
  EXPECT_FALSE(Exists(msg + ".sa"));
  EXPECT_EQ(Points, "1000.0");
  EXPECT_EQ(Subject, "Test spam mail (GTUBE)");
  EXPECT_EQ(IniRec.SpamCount, 1);
}

TEST_F(RealSpamAssassinTest, DeleteAboveThePointsUsesSpamAssassinsScore) {
  IniRec.SpamAction = saMark;
  IniRec.DoSpamDelPoints = true;
  IniRec.SpamDelPoints = 999;
  std::string msg = SpamSample();
  EXPECT_EQ(Scan(msg), "Spam message deleted.");
  EXPECT_FALSE(Exists(msg));
}

TEST_F(RealSpamAssassinTest, DeleteAndIgnore) {
  IniRec.SpamAction = saDelete;
  std::string msg = SpamSample();
  EXPECT_EQ(Scan(msg), "Spam message deleted.");
  EXPECT_FALSE(Exists(msg));

  IniRec.SpamAction = saIgnore;
  msg = SpamSample();
  std::string original = ReadFile(msg);
  EXPECT_EQ(Scan(msg), "Spam message ignored.");
  EXPECT_EQ(ReadFile(msg), original);
}

TEST_F(RealSpamAssassinTest, MoveTwiceIntoAnEmptyFolder) {
  IniRec.SpamAction = saMove;
  IniRec.MoveDir = dir / "moved/";
  std::filesystem::create_directory(IniRec.MoveDir);
  std::string a = SpamSample("a.msg"), b = SpamSample("b.msg");
  EXPECT_EQ(Scan(a), "Spam message moved to " + IniRec.MoveDir + "spam_0.msg.");
  EXPECT_EQ(Scan(b), "Spam message moved to " + IniRec.MoveDir + "spam_1.msg.");
  EXPECT_FALSE(Exists(a));
  EXPECT_FALSE(Exists(b));
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(IniRec.MoveDir)) {
    names.push_back(e.path().filename());
    EXPECT_NE(ReadFile(e.path()).find("\nX-Spam-Flag: YES\n"), std::string::npos);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"spam_0.msg", "spam_1.msg"}));
}

TEST_F(RealSpamAssassinTest, NonSpamIsLeftAsItWas) {
  IniRec.SpamAction = saDelete;
  std::string msg = Sample("sample-nonspam.txt", "ham.msg");
  std::string original = ReadFile(msg);
  EXPECT_EQ(Scan(msg), "Non spam message.");
  EXPECT_EQ(ReadFile(msg), original);
  EXPECT_EQ(Points, "0.0");
  EXPECT_EQ(IniRec.NonSpamCount, 1);
}

}  // namespace
