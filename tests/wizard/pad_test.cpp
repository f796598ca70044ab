#include "wizard/pad.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>

#include "platform/paths.h"
#include "tests/platform/pe_fixture.h"
#include "wizard/config.h"

namespace verilo {
namespace {

TEST(ExtractBetween, FindsTheFirstValueInAnyLetterCaseAndTrimsIt) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<Program_Version>1.2</Program_Version>", "1.2"},
      {"<program_version>1.2</PROGRAM_VERSION>", "1.2"},
      {"<PROGRAM_VERSION>1.2</program_version>", "1.2"},
      {"<Program_Version>1.2</Program_Version><Program_Version>9.9</Program_Version>", "1.2"},
      {"<Program_Version>\r\n\t  1.2 beta 3 \r\n</Program_Version>", "1.2 beta 3"},
      {"<Program_Version>1.2", ""},                                     // no end tag
      {"1.2</Program_Version>", ""},                                    // no start tag
      {"</Program_Version>x<Program_Version>1.2", ""},                  // end tag only before
      {"<Program_Version></Program_Version>", ""},
      {"<Program_Version a=\"1\">1.2</Program_Version>", ""},           // attributes do not match
      {"<Program_Version>A&amp;B <![CDATA[x]]></Program_Version>", "A&amp;B <![CDATA[x]]>"},
      {"<Program_\nVersion>1.2</Program_\nVersion>", ""},               // tag broken across lines
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ExtractBetween(c.text, "<Program_Version>", "</Program_Version>", false), c.expected);
  }
  // Only ASCII letters fold, and a case-sensitive search does not fold at all.
  EXPECT_EQ(ExtractBetween("<A>\xc4</A>", "<a>", "</a>", false), "\xc4");
  EXPECT_EQ(ExtractBetween("<\xe4>x</\xe4>", "<\xc4>", "</\xc4>", false), "");
  EXPECT_EQ(ExtractBetween("<a>x</a>", "<A>", "</A>", true), "");
}

TEST(TextAfterLast, TakesThePartAfterTheLastCharacter) {
  EXPECT_EQ(TextAfterLast("http://host/dir/setup.exe", '/'), "setup.exe");
  EXPECT_EQ(TextAfterLast("http://host/get.php?file=a/b.zip", '/'), "b.zip");
  EXPECT_EQ(TextAfterLast("http://host/get?x=1", '/'), "get?x=1");
  EXPECT_EQ(TextAfterLast("http://host/dir/", '/'), "");
  EXPECT_EQ(TextAfterLast("setup.exe", '/'), "setup.exe");
  EXPECT_EQ(TextAfterLast("", '/'), "");
}

TEST(NextVersionToken, CutsTokensAtTheEightDelimiters) {
  struct Case {
    std::string input;
    std::vector<std::string> tokens;
  } cases[] = {
      {"3.1.2.15", {"3", "1", "2", "15"}},
      {"  1.0 beta", {"1", "0", "beta"}},
      {"v1-rc+2_x", {"v1-rc+2_x"}},
      {"(1,2);3:4\"5\"", {"1", "2", "3", "4", "5"}},
      {"1..2", {"1", "2"}},
      {"1.", {"1"}},
      {"...", {}},
      {".", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    std::string s = c.input, token;
    std::vector<std::string> got;
    while (NextVersionToken(s, token)) got.push_back(token);
    EXPECT_EQ(got, c.tokens);
    EXPECT_EQ(token, "");
  }
  // The last character is never skipped as a leading delimiter: it is cut as the
  // delimiter after an empty token.
  std::string s = "1 ", token;
  EXPECT_TRUE(NextVersionToken(s, token));
  EXPECT_EQ(s, "");
}

TEST(IsNewerVersion, DecidesByTheFirstPairOfTokensThatDiffer) {
  struct Case {
    const char* installed;
    const char* pad;
    bool newer;
  } cases[] = {
      {"3.1.2.15", "3.1.2", false},  // the PAD version runs out first
      {"1.2", "1.2.1", true},
      {"1.2", "1.2.0", true},        // 0 exceeds the empty token as text
      {"1.2.0", "1.2", false},
      {"2.9", "2.10", true},         // numeric
      {"1.02", "1.2", false},
      {"1.0a", "1.0b", true},        // text
      {"9a", "10a", true},           // " 9a" < "10a"
      {"1.0a", "1.0B", false},       // capitals sort before small letters
      {"1.0", "1.0 beta", true},
      {"1.0 beta", "1.0", false},
      {"1.0", "1.0", false},
      {" 1.0\r\n", "1.0", false},    // equal once trimmed
      {"2.0", "1.9", false},
      {"1.9", "2.0", true},
      {"2.0.1", "2.1.0", true},
      {"2.1.0", "2.0.9", false},     // the first differing pair decides
      {"1.5", "2.0.beta", true},     // newer stays once set
      {"1.-1", "1.0", true},         // -1 counts as not a number: "0" > "-1" as text
      {"1.0", "1.-1", true},        // "-1" > " 0" as text
      {"1.$A", "1.11", true},        // $A is 10
      {"1.0x10", "1.15", false},     // 0x10 is 16
      {"1.x", "1.9", false},         // "x" alone is no number: "9" < "x" as text
      {"", "1.0", true},
      {"1.0", "", false},
      {"1.99999999999", "1.2", false},  // out of range: text, " 2" < "99..."
      {"1.abcdefghijklmno", "1.abcdefghijklmnz", true},
      {"1.5", "1.00000000005", false},  // leading zeros: numbers 5 and 5 are equal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.installed) + " -> " + c.pad);
    EXPECT_EQ(IsNewerVersion(c.installed, c.pad), c.newer);
  }
}

TEST(IsNewerVersion, PadsTextTokensToAtMostElevenCharacters) {
  // "b" padded stops at 11 characters; a 12-character PAD token still compares
  // from the front, letter against blank.
  EXPECT_TRUE(IsNewerVersion("1.b", "1.aaaaaaaaaaaa"));
  EXPECT_TRUE(IsNewerVersion("1.aaaaaaaaaaaa", "1.b"));  // no padding: "b" > "a"
  EXPECT_TRUE(IsNewerVersion("1.b", "1.ab"));            // "ab" > " b"
  // Control characters belong to tokens and sort below the padding blank.
  EXPECT_FALSE(IsNewerVersion("1.b", "1.\x01a"));
}

TEST(ReleaseDate, ShownOnlyForValidGregorianDates) {
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ReleaseDateText("2004", "2", "29"), "02/29/04");
  EXPECT_EQ(ReleaseDateText("2000", "2", "29"), "02/29/00");
  EXPECT_EQ(ReleaseDateText(" 2024 ", "12", "31"), "12/31/24");
  EXPECT_EQ(ReleaseDateText("0000002004", "0000000002", "+0000000029"), "02/29/04");  // leading zeros
  for (auto [y, m, d] : {std::tuple{"2004", "2", "30"}, {"1900", "2", "29"}, {"2005", "13", "1"},
                         {"2005", "0", "1"}, {"2005", "4", "31"}, {"0", "1", "1"}, {"10000", "1", "1"},
                         {"2005", "1", "0"}, {"twenty", "1", "1"}, {"2005", "1.5", "1"},
                         {"2005", "1", "99999999999999"}, {"", "1", "1"}}) {
    SCOPED_TRACE(std::string(y) + "-" + m + "-" + d);
    EXPECT_EQ(ReleaseDateText(y, m, d), "");
  }
}

TEST(GetFileVersionText, ReadsOurOwnBinaryAndPeFiles) {
  // The test program embeds version 3.1.2.15 (see tests/wizard/CMakeLists.txt).
  IniRec = TIniRec();
  EXPECT_EQ(GetFileVersionText(platform::ExecutablePath()), "3.1.2.15");
  EXPECT_EQ(IniRec.VersionDisplay, "3.1.2 (build 15)");

  std::string dir = std::string(TEST_BINARY_DIR) + "/test-output/";
  std::string exe = dir + "pad_test_" + std::to_string(getpid()) + ".exe";
  IniRec = TIniRec();
  pe_fixture::WriteFile(exe, pe_fixture::PeFile(pe_fixture::VersionBlock(3, 1, 0, 0)));
  EXPECT_EQ(GetFileVersionText(exe), "3.1.0");
  EXPECT_EQ(IniRec.VersionDisplay, "");
  pe_fixture::WriteFile(exe, pe_fixture::PeFile(pe_fixture::VersionBlock(10, 0, 65535, 12)));
  EXPECT_EQ(GetFileVersionText(exe), "10.0.65535.12");
  EXPECT_EQ(IniRec.VersionDisplay, "10.0.65535 (build 12)");

  // Without a version resource: 0.0.0, and the display text stays as it was.
  pe_fixture::WriteFile(exe, "no program here");
  EXPECT_EQ(GetFileVersionText(exe), "0.0.0");
  EXPECT_EQ(IniRec.VersionDisplay, "10.0.65535 (build 12)");
  unlink(exe.c_str());
  EXPECT_EQ(GetFileVersionText(exe), "0.0.0");
}

TEST(ReadFileText, ReadsEveryByteAndPassesErrorsOn) {
  std::string path = std::string(TEST_BINARY_DIR) + "/test-output/pad_text_" + std::to_string(getpid());
  std::string bytes("a\0b\r\n\xff", 6);
  pe_fixture::WriteFile(path, bytes);
  EXPECT_EQ(ReadFileText(path), bytes);
  unlink(path.c_str());
  EXPECT_ANY_THROW(ReadFileText(path));
}

}  // namespace
}  // namespace verilo
