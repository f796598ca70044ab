#include "platform/profile_ini.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/temp_dir.h"

using namespace platform;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const char kSample[] =
    "; comment line\n"
    "top=outside any section\n"
    "[Settings]\n"
    "  Plain  =  value with blanks  \n"
    "Quoted=\"  kept inside  \"\n"
    "Single='x'\n"
    "Mismatched=\"x'\n"
    "Empty=\n"
    "Dup=first\n"
    "dup=second\n"
    "Eq=a=b\r\n"
    "NoEquals\n"
    "\n"
    "[other]\n"
    "Plain=other section\n"
    "[ SETTINGS ]\n"
    "Late=second section\n";

TEST(ProfileIni, ReadsWithProfileStringRules) {
  TempDir dir;
  std::string ini = dir / "a.ini";
  WriteFile(ini, kSample);
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> want;
  } cases[] = {
      {"settings", "plain", "value with blanks"},
      {"Settings", "Quoted", "  kept inside  "},
      {"Settings", "Single", "x"},
      {"Settings", "Mismatched", "\"x'"},
      {"Settings", "Empty", ""},
      {"Settings", "DUP", "first"},
      {"Settings", "Eq", "a=b"},
      {"Settings", "NoEquals", std::nullopt},
      {"Settings", "Missing", std::nullopt},
      {"Settings", "top", std::nullopt},
      {"other", "Plain", "other section"},
      {"settings", "Late", "second section"},
      {"nosuch", "Plain", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ReadProfileString(ini, c.section, c.key), c.want) << c.section << "/" << c.key;
  EXPECT_EQ(ReadProfileString(dir / "missing.ini", "Settings", "Plain"), std::nullopt);
}

TEST(ProfileIni, CutsLongValuesTo2047Characters) {
  TempDir dir;
  std::string ini = dir / "a.ini";
  WriteFile(ini, "[s]\nk=\"" + std::string(3000, 'v') + "\"\n");
  EXPECT_EQ(ReadProfileString(ini, "s", "k")->size(), 2047u);
}

TEST(ProfileIni, WriteReplacesInPlaceAppendsToSectionAndKeepsOtherLines) {
  TempDir dir;
  std::string ini = dir / "a.ini";
  WriteFile(ini, "; keep me\n[A]\nx=1\r\n\n[B]\ny=2\n");
  WriteProfileString(ini, "a", "X", "10");  // in place, keeps the line's CR
  WriteProfileString(ini, "A", "z", "3");   // end of section A, before the blank line
  WriteProfileString(ini, "C", "w", "4");   // new section at the end
  EXPECT_EQ(ReadFile(ini), "; keep me\n[A]\nX=10\r\nz=3\n\n[B]\ny=2\n\n[C]\nw=4\n");
  EXPECT_EQ(ReadProfileString(ini, "A", "x"), "10");
}

TEST(ProfileIni, WriteCreatesMissingFileAndFailsLoudly) {
  TempDir dir;
  std::string ini = dir / "new.ini";
  WriteProfileString(ini, "s", "k", "v");
  EXPECT_EQ(ReadFile(ini), "[s]\nk=v\n");

  chmod(ini.c_str(), 0444);  // read-only, refused even for root
  try {
    WriteProfileString(ini, "s", "k", "changed");
    FAIL() << "write to a read-only file succeeded";
  } catch (const ProfileWriteError& e) {
    EXPECT_STREQ(e.what(), ("Unable to write to " + ini).c_str());
  }
  EXPECT_EQ(ReadProfileString(ini, "s", "k"), "v");
  EXPECT_THROW(WriteProfileString(dir / "no/such/dir.ini", "s", "k", "v"), ProfileWriteError);
}

TEST(ProfileIni, IntegersInDecimalAndHex) {
  struct Case {
    const char* text;
    std::optional<int32_t> want;
  } cases[] = {
      {"0", 0},           {"42", 42},         {"-7", -7},          {"+5", 5},
      {"0x1F", 31},       {"0X1f", 31},       {"0xFFFFFFFF", -1},  {"2147483647", 2147483647},
      {"2147483648", {}}, {"0x", {}},         {"0x123456789", {}}, {"0x00000000001", 1}, {"yes", {}},
      {"12abc", {}},      {"", {}},           {"1.5", {}},         {"+-5", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileInteger(c.text), c.want) << c.text;
}

}  // namespace
