#include "wizard/config.h"

#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile_ini.h"
#include "wizard/build_config.h"
#include "wizard/pad.h"

namespace verilo {

TIniRec IniRec;
int WizardStep = 0;
int ExitCode = 0;
std::vector<std::string> CommandLine;

namespace {

// The path with the extension of its file name replaced by ext (added when none).
std::string ChangeFileExt(const std::string& path, const std::string& ext) {
  std::size_t slash = path.rfind('/');
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
  return path.substr(0, dot) + ext;
}

// name as an existing file: from the current folder, else beside the program.
// Empty when neither exists.
std::string LocateFile(const std::string& name) {
  if (name.empty()) return {};
  if (platform::FileExists(name)) return platform::ExpandFileName(name);
  if (name[0] != '/') {
    std::string beside = platform::ExecutableDir() + name;
    if (platform::FileExists(beside)) return beside;
  }
  return {};
}

}  // namespace

bool StartsWithNoCase(const std::string& text, const char* prefix) {
  std::size_t n = std::char_traits<char>::length(prefix);
  if (text.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

void ResetWizardState() {
  IniRec = TIniRec();
  WizardStep = 0;
  ExitCode = 0;
}

void LoadIni(const std::string& FileName) {
  auto text = [&](const char* key) {
    return platform::ReadProfileString(FileName, "Verilo", key).value_or(std::string());
  };
  IniRec.AppName = text("AppName");
  IniRec.Version = text("Version");
  IniRec.PadFile = text("PadFile");
  IniRec.Remarks = text("Remarks");
  auto silent = platform::ProfileInteger(text("Silent"));
  IniRec.Silent = silent && *silent != 0;
}

std::string OwnPadUrl() { return std::string(VERILO_MAKER_SITE) + "/verilo/verilo.xml"; }

bool ReadConfiguration() {
  std::string own_ini = ChangeFileExt(platform::ExecutablePath(), ".ini");
  if (platform::FileExists(own_ini)) {
    LoadIni(own_ini);
  } else if (CommandLine.empty()) {
    IniRec.AppName = "Verilo";
    IniRec.Version = platform::ExecutablePath();
    IniRec.PadFile = OwnPadUrl();
    IniRec.Remarks.clear();
  }

  for (const std::string& arg : CommandLine) {
    std::string value = arg.size() > 3 ? arg.substr(3) : std::string();
    if (StartsWithNoCase(arg, "-f:")) {
      IniRec.IniFile = value;
      std::string found = LocateFile(value);
      if (!found.empty()) LoadIni(found);
    } else if (StartsWithNoCase(arg, "-a:")) {
      IniRec.AppName = value;
    } else if (StartsWithNoCase(arg, "-v:")) {
      IniRec.Version = value;
    } else if (StartsWithNoCase(arg, "-p:")) {
      IniRec.PadFile = value;
    } else if (StartsWithNoCase(arg, "-r:")) {
      IniRec.Remarks = value;
    } else if (StartsWithNoCase(arg, "-s")) {
      IniRec.Silent = true;
    }
  }

  std::string version_file = LocateFile(IniRec.Version);
  if (!version_file.empty()) IniRec.Version = GetFileVersionText(version_file);

  return !IniRec.AppName.empty() && !IniRec.Version.empty() && !IniRec.PadFile.empty();
}

void Configure() {
  if (!ReadConfiguration()) EndProcess(0);
}

std::string GetTempFolder() {
  std::string dir;
  try {
    dir = platform::PrivateTempDir("verilo");
  } catch (const platform::UnsafeFolderError&) {
    dir = platform::ExecutableDir();
  }
  return platform::IncludeTrailingSlash(dir);
}

void EndProcess(int code) {
  std::fflush(nullptr);
  std::quick_exit(code);
}

}  // namespace verilo
