#include "engine/settings.h"

#include "engine/display.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile_ini.h"

namespace trawlex {

TIniRec IniRec;
std::string ProgramDir;
std::string TempDir;

namespace {

const char kSettings[] = "settings";
const char kSpamAssassin[] = "spamassassin";
const char kForm[] = "form";

std::string ReadText(const char* section, const char* key, const std::string& fallback) {
  return platform::ReadProfileString(IniFilePath(), section, key).value_or(fallback);
}

int32_t ReadInt(const char* section, const char* key, int32_t fallback) {
  auto text = platform::ReadProfileString(IniFilePath(), section, key);
  if (!text) return fallback;
  return platform::ProfileInteger(*text).value_or(fallback);
}

bool ReadBool(const char* section, const char* key, bool fallback) {
  return ReadInt(section, key, fallback ? 1 : 0) != 0;
}

void WriteText(const char* section, const char* key, const std::string& value) {
  platform::WriteProfileString(IniFilePath(), section, key, value);
}
void WriteInt(const char* section, const char* key, int32_t value) {
  WriteText(section, key, std::to_string(value));
}
void WriteBool(const char* section, const char* key, bool value) { WriteText(section, key, value ? "1" : "0"); }

// The extension of name: from its last dot after the last "/" on, or empty text.
std::string ExtensionOf(const std::string& name) {
  std::string file = platform::ExtractFileName(name);
  std::size_t dot = file.rfind('.');
  return dot == std::string::npos ? std::string() : file.substr(dot);
}

}  // namespace

std::string IniFilePath() { return ProgramDir + "trawlex.ini"; }

void LoadSettings() {
  TIniRec& r = IniRec;
  r.Debug = ReadBool(kSettings, "Debug", false);
  r.DirToMonitor = ReadText(kSettings, "DirToMonitor", "");
  r.MonitorSubDirs = ReadBool(kSettings, "MonitorSubDirs", false);
  r.MessageExtention = ReadText(kSettings, "MessageExtention", ".msg");
  r.MaxMessageSize = ReadInt(kSettings, "MaxMessageSize", 100);
  r.SpamAction = ReadInt(kSettings, "SpamAction", saMark);
  r.DoSpamDelPoints = ReadBool(kSettings, "DoSpamDelPoints", false);
  r.SpamDelPoints = ReadInt(kSettings, "SpamDelPoints", 10);
  r.MoveDir = ReadText(kSettings, "MoveDir", TempDir);
  r.DoLogging = ReadBool(kSettings, "DoLogging", true);
  r.LogFile = ReadText(kSettings, "LogFile", ProgramDir + "trawlex.log");
  r.MaxRecentLogItems = ReadInt(kSettings, "MaxRecentLogItems", 100);
  r.ExePath = ReadText(kSpamAssassin, "ExePath", "/usr/bin/spamassassin");
  r.ConfigDir = ReadText(kSpamAssassin, "ConfigDir", "/usr/share/spamassassin");
  r.UserPrefs = ReadText(kSpamAssassin, "UserPrefs", ProgramDir + "user_prefs.txt");
  r.Options = ReadText(kSpamAssassin, "Options", "-L");
  r.FormTop = ReadInt(kForm, "FormTop", 0);
  r.FormLeft = ReadInt(kForm, "FormLeft", 0);
}

void SaveSettings() {
  const TIniRec& r = IniRec;
  WriteBool(kSettings, "Debug", r.Debug);
  WriteText(kSettings, "DirToMonitor", r.DirToMonitor);
  WriteBool(kSettings, "MonitorSubDirs", r.MonitorSubDirs);
  WriteText(kSettings, "MessageExtention", r.MessageExtention);
  WriteInt(kSettings, "MaxMessageSize", r.MaxMessageSize);
  WriteInt(kSettings, "SpamAction", r.SpamAction);
  WriteBool(kSettings, "DoSpamDelPoints", r.DoSpamDelPoints);
  WriteInt(kSettings, "SpamDelPoints", r.SpamDelPoints);
  WriteText(kSettings, "MoveDir", r.MoveDir);
  WriteBool(kSettings, "DoLogging", r.DoLogging);
  WriteText(kSettings, "LogFile", r.LogFile);
  WriteInt(kSettings, "MaxRecentLogItems", r.MaxRecentLogItems);
  WriteText(kSpamAssassin, "ExePath", r.ExePath);
  WriteText(kSpamAssassin, "ConfigDir", r.ConfigDir);
  WriteText(kSpamAssassin, "UserPrefs", r.UserPrefs);
  WriteText(kSpamAssassin, "Options", r.Options);
}

void SaveWindowPosition() {
  WriteInt(kForm, "FormTop", IniRec.FormTop);
  WriteInt(kForm, "FormLeft", IniRec.FormLeft);
}

std::string SettingsProblems() {
  const TIniRec& r = IniRec;
  std::string lines;
  auto check = [&](bool ok, const char* line) {
    if (!ok) lines += std::string(line) + "\r\n";
  };
  check(platform::DirectoryExists(r.DirToMonitor), "- Directory to monitor");
  check(!ExtensionOf(r.MessageExtention).empty(), "- Message extension");
  if (r.SpamAction == saMove) check(platform::DirectoryExists(r.MoveDir), "- Message move directory");
  check(!platform::ExtractFilePath(r.LogFile).empty(), "- Log file location");
  check(platform::FileExists(r.ExePath), "- SpamAssassin executable location");
  check(platform::DirectoryExists(r.ConfigDir), "- SpamAssassin config directory");
  check(platform::FileExists(r.UserPrefs), "- SpamAssassin user preference file");
  if (lines.empty()) return lines;
  return "Trawlex settings are not correct (or not yet set), please check the settings:\r\n\r\n" + lines;
}

bool ValidateSettings() {
  std::string problems = SettingsProblems();
  if (problems.empty()) return true;
  CurrentDisplay().ShowMessage(problems);
  return false;
}

}  // namespace trawlex
