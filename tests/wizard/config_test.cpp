#include "wizard/config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>

#include "platform/paths.h"
#include "tests/platform/pe_fixture.h"
#include "wizard/pad.h"

namespace verilo {
namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Unique(const std::string& stem) { return stem + "_" + std::to_string(getpid()); }

TEST(LoadIni, ReadsSectionVeriloWithTheProfileRules) {
  std::string ini = std::string(TEST_BINARY_DIR) + "/test-output/" + Unique("loadini") + ".ini";
  std::string long_value(3000, 'r');
  Write(ini,
        "[Other]\nAppName=Wrong\n"
        "[VERILO]\n"
        "  appname  =  \"  My App  \"  \n"
        "Version=1.2.3\r\n"
        "PadFile='http://127.0.0.1/pad.xml'\n"
        "Remarks=" + long_value + "\n"
        "Silent=0x10\n"
        "AppName=Second\n");
  ResetWizardState();
  LoadIni(ini);
  EXPECT_EQ(IniRec.AppName, "  My App  ");  // one pair of quotes dropped, blanks inside kept
  EXPECT_EQ(IniRec.Version, "1.2.3");
  EXPECT_EQ(IniRec.PadFile, "http://127.0.0.1/pad.xml");
  EXPECT_EQ(IniRec.Remarks, std::string(2047, 'r'));
  EXPECT_TRUE(IniRec.Silent);

  // Every field is overwritten: missing keys clear what was set before.
  struct Case {
    const char* silent_line;
    bool silent;
  } cases[] = {{"Silent=1\n", true}, {"Silent=-1\n", true}, {"Silent=0\n", false}, {"Silent=yes\n", false},
               {"Silent=0x\n", false}, {"Silent=99999999999\n", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.silent_line);
    Write(ini, std::string("[Verilo]\nAppName=Only\n") + c.silent_line);
    IniRec.Silent = !c.silent;
    IniRec.Version = IniRec.PadFile = IniRec.Remarks = "set before";
    LoadIni(ini);
    EXPECT_EQ(IniRec.AppName, "Only");
    EXPECT_EQ(IniRec.Version, "");
    EXPECT_EQ(IniRec.PadFile, "");
    EXPECT_EQ(IniRec.Remarks, "");
    EXPECT_EQ(IniRec.Silent, c.silent);
  }
  unlink(ini.c_str());
  IniRec.AppName = "kept?";
  LoadIni(ini);  // a missing file reads as if every key were missing
  EXPECT_EQ(IniRec.AppName, "");
}

// All cases that look at the default INI file beside the program run in this one
// test, one after the other, because that file is shared by the whole test program.
TEST(Configure, SwitchesDefaultsAndVersionResolution) {
  std::string own_ini = platform::ExecutablePath() + ".ini";
  std::string exe_dir = platform::ExecutableDir();
  std::string work = std::string(TEST_BINARY_DIR) + "/test-output/" + Unique("configure_cwd");
  mkdir(work.c_str(), 0700);
  ASSERT_EQ(chdir(work.c_str()), 0);

  const std::string full_ini = "[Verilo]\nAppName=IniApp\nVersion=2.0\nPadFile=http://ini/pad.xml\nRemarks=ini\n";
  Write("here.ini", full_ini);
  Write("partial.ini", "[Verilo]\nVersion=3.0\nPadFile=http://partial/pad.xml\n");
  std::string beside = Unique("beside") + ".ini";
  Write(exe_dir + beside, "[Verilo]\nAppName=BesideApp\nVersion=4.0\nPadFile=http://beside/pad.xml\n");
  pe_fixture::WriteFile("build0.exe", pe_fixture::PeFile(pe_fixture::VersionBlock(3, 1, 0, 0)));
  pe_fixture::WriteFile("build12.exe", pe_fixture::PeFile(pe_fixture::VersionBlock(3, 1, 0, 12)));
  std::string beside_exe = Unique("beside") + ".exe";
  pe_fixture::WriteFile(exe_dir + beside_exe, pe_fixture::PeFile(pe_fixture::VersionBlock(5, 6, 7, 0)));

  struct Case {
    const char* name;
    std::optional<std::string> default_ini;  // content of the INI beside the program
    std::vector<std::string> args;
    bool complete;
    std::string app, version, pad, remarks, display;
    bool silent;
  } cases[] = {
      {"no INI, no arguments: the wizard checks itself", std::nullopt, {}, true, "Verilo", "3.1.2.15",
       OwnPadUrl(), "", "3.1.2 (build 15)", false},
      {"no INI, only -s: no defaults", std::nullopt, {"-s"}, false, "", "", "", "", "", true},
      {"default INI alone", full_ini, {}, true, "IniApp", "2.0", "http://ini/pad.xml", "ini", "", false},
      {"default INI and an empty -a:", full_ini, {"-a:"}, false, "", "2.0", "http://ini/pad.xml", "ini", "", false},
      {"switches in capitals", std::nullopt, {"-A:Cap", "-V:1.0", "-P:http://p", "-R:r", "-S"}, true, "Cap",
       "1.0", "http://p", "r", "", true},
      {"-silent counts as -s", std::nullopt, {"-a:a", "-v:1", "-p:p", "-silent"}, true, "a", "1", "p", "",
       "", true},
      {"-a: after -f: wins", std::nullopt, {"-f:here.ini", "-a:Cmd"}, true, "Cmd", "2.0", "http://ini/pad.xml",
       "ini", "", false},
      {"-f: after -a: wins", std::nullopt, {"-a:Cmd", "-f:here.ini"}, true, "IniApp", "2.0",
       "http://ini/pad.xml", "ini", "", false},
      {"-f: clears fields its file lacks", std::nullopt, {"-a:Cmd", "-r:cmd", "-f:partial.ini"}, false, "", "3.0",
       "http://partial/pad.xml", "", "", false},
      {"-f: overrides the default INI", full_ini, {"-f:partial.ini", "-a:X"}, true, "X", "3.0",
       "http://partial/pad.xml", "", "", false},
      {"-f: beside the program", std::nullopt, {"-f:" + beside}, true, "BesideApp", "4.0", "http://beside/pad.xml",
       "", "", false},
      {"-f: naming no file is ignored", std::nullopt, {"-a:A", "-v:1", "-p:p", "-f:missing.ini"}, true, "A", "1",
       "p", "", "", false},
      {"values are taken unchanged", std::nullopt, {"-a: two  words ", "-v:1.0", "-p:p", "-r:<b>with blanks</b>"},
       true, " two  words ", "1.0", "p", "<b>with blanks</b>", "", false},
      {"-v: file with build 0", std::nullopt, {"-a:A", "-v:build0.exe", "-p:p"}, true, "A", "3.1.0", "p", "", "",
       false},
      {"-v: file with build 12", std::nullopt, {"-a:A", "-v:build12.exe", "-p:p"}, true, "A", "3.1.0.12", "p",
       "", "3.1.0 (build 12)", false},
      {"-v: file beside the program", std::nullopt, {"-a:A", "-v:" + beside_exe, "-p:p"}, true, "A", "5.6.7",
       "p", "", "", false},
      {"-v: text that is no file", std::nullopt, {"-a:A", "-v:1.0 beta", "-p:p"}, true, "A", "1.0 beta", "p", "",
       "", false},
      {"unknown arguments change nothing", std::nullopt, {"-x:1", "f:here.ini", "-"}, false, "", "", "", "", "",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.default_ini) Write(own_ini, *c.default_ini);
    else unlink(own_ini.c_str());
    ResetWizardState();
    CommandLine = c.args;
    EXPECT_EQ(ReadConfiguration(), c.complete);
    EXPECT_EQ(IniRec.AppName, c.app);
    EXPECT_EQ(IniRec.Version, c.version);
    EXPECT_EQ(IniRec.PadFile, c.pad);
    EXPECT_EQ(IniRec.Remarks, c.remarks);
    EXPECT_EQ(IniRec.VersionDisplay, c.display);
    EXPECT_EQ(IniRec.Silent, c.silent);
  }
  unlink(own_ini.c_str());
  unlink((exe_dir + beside).c_str());
  unlink((exe_dir + beside_exe).c_str());
  EXPECT_NE(OwnPadUrl().find("/verilo/verilo.xml"), std::string::npos);
}

TEST(GetTempFolder, IsThePrivatePerUserFolder) {
  std::string base = std::string(TEST_BINARY_DIR) + "/test-output/" + Unique("tmpdir");
  mkdir(base.c_str(), 0700);
  setenv("TMPDIR", base.c_str(), 1);
  std::string dir = GetTempFolder();
  EXPECT_EQ(dir, base + "/verilo-" + std::to_string(geteuid()) + "/");
  struct stat st;
  ASSERT_EQ(lstat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A symlink planted in its place is refused: the program's own folder is used.
  std::string other = base + "/other";
  mkdir(other.c_str(), 0700);
  rmdir(dir.substr(0, dir.size() - 1).c_str());
  ASSERT_EQ(symlink(other.c_str(), dir.substr(0, dir.size() - 1).c_str()), 0);
  EXPECT_EQ(GetTempFolder(), platform::ExecutableDir());
}

}  // namespace
}  // namespace verilo
