// Trawlex's settings record, its INI file trawlex.ini beside the program, and the
// check that decides whether the monitor may start.
#pragma once

#include <cstdint>
#include <string>

namespace trawlex {

enum SpamActionValue : int32_t { saMark = 1, saDelete = 2, saIgnore = 3, saMove = 4 };

struct TIniRec {
  bool Debug = false;
  std::string DirToMonitor;
  bool MonitorSubDirs = false;
  std::string MessageExtention;
  int32_t MaxMessageSize = 0;
  int32_t SpamAction = 0;
  bool DoSpamDelPoints = false;
  int32_t SpamDelPoints = 0;
  std::string MoveDir;
  bool DoLogging = false;
  std::string LogFile;
  int32_t MaxRecentLogItems = 0;
  int32_t ProcessedCount = 0;
  int32_t SkippedCount = 0;
  int32_t SpamCount = 0;
  int32_t NonSpamCount = 0;
  int32_t IgnoredCount = 0;
  std::string ExePath;
  std::string ConfigDir;
  std::string UserPrefs;
  std::string Options;
  int32_t FormTop = 0;
  int32_t FormLeft = 0;
};

extern TIniRec IniRec;
// Folder of the program and the private temporary folder, both ending in "/"; set
// once at start-up before LoadSettings.
extern std::string ProgramDir;
extern std::string TempDir;

std::string IniFilePath();  // ProgramDir + "trawlex.ini"

// Reads every setting from the INI file, each falling back to its default.
void LoadSettings();
// Writes the "settings" and "spamassassin" keys; throws platform::ProfileWriteError
// ("Unable to write to <file>") at the first key that cannot be written.
void SaveSettings();
// Writes FormTop and FormLeft; throws like SaveSettings.
void SaveWindowPosition();

// The text of the settings dialog for the checks that fail now, or empty text when
// all seven pass.
std::string SettingsProblems();
// Runs the checks; on failure shows the settings dialog and returns false.
bool ValidateSettings();

}  // namespace trawlex
