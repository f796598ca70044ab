// Verilo's state record, its configuration from the INI file and the command line,
// and the temporary folder.
#pragma once

#include <string>
#include <vector>

namespace verilo {

// The wizard's one state record: configuration, PAD values and the run's folders.
struct TIniRec {
  std::string IniFile;         // INI file name exactly as written after "-f:"
  std::string AppName;         // display name of the program to check
  std::string PadFile;         // address of that program's PAD file
  std::string Version;         // installed version (before resolution: maybe a file name)
  std::string Remarks;         // mark-up shown after a download; later the final page
  bool Silent = false;         // silent mode
  bool Cancelled = false;      // Cancel was pressed; stops a running download
  std::string VersionDisplay;  // e.g. "3.1.2 (build 15)"; empty for build 0 or a text version
  std::string PadVersion;      // program version from the PAD file
  std::string PadContent;      // whole text of the downloaded PAD file
  std::string InfoUrl;         // web site (information page, else company site)
  std::string DownloadUrl;     // primary download address of the update
  std::string CompanyUrl;      // company web site
  std::string SupportEmail;    // support e-mail address
  std::string TempDir;         // temporary folder, ending in "/"
  std::string FileName;        // file name of the update (last segment of DownloadUrl)
  std::string SaveDir;         // folder the user chose for the update
};

extern TIniRec IniRec;
extern int WizardStep;  // number of the next wizard step to run
extern int ExitCode;    // the process exit code; silent mode sets -2, -3 or -4

// The program's arguments, without the program name, as the shell split them.
extern std::vector<std::string> CommandLine;

// True when text begins with prefix, which is given in lower case; A-Z in text
// match their lower-case letters.
bool StartsWithNoCase(const std::string& text, const char* prefix);

// Back to the state at program start (all empty, step 0, exit code 0).
void ResetWizardState();

// Reads section "Verilo" of FileName into AppName, Version, PadFile, Remarks and
// Silent; each is overwritten, a missing key (or file) giving empty text or off.
void LoadIni(const std::string& FileName);

// The built-in PAD address of Verilo itself, on the maker's web site.
std::string OwnPadUrl();

// The configuration pass without its ending: default INI file or built-in defaults,
// the switches in order, the installed version resolved. True when AppName, Version
// and PadFile are all set.
bool ReadConfiguration();

// Step 0's configuration pass: returns when the configuration is complete, otherwise
// ends the process at once with exit code 0.
void Configure();

// The private per-user temporary folder (ending in "/"); the program's own folder
// when that cannot be made safe.
std::string GetTempFolder();

// Ends the process at once with code (shown as code & 255 in the exit status).
[[noreturn]] void EndProcess(int code);

}  // namespace verilo
