// The PAD file reader and the version comparison.
#pragma once

#include <string>

namespace verilo {

class TForm1;

// The trimmed text between the first StartTag and the first EndTag after it; empty
// when either is missing. Without CaseSensitive only ASCII letters are folded.
std::string ExtractBetween(const std::string& Text, const std::string& StartTag,
                           const std::string& EndTag, bool CaseSensitive);

// The part of S after the last Ch; all of S when Ch does not occur.
std::string TextAfterLast(const std::string& S, char Ch);

// Cuts the next version token off the front of S; true when it is not empty.
bool NextVersionToken(std::string& S, std::string& Token);

// True when Pad is a newer version than Installed.
bool IsNewerVersion(std::string Installed, std::string Pad);

// The file's version from its version resource, "major.minor.release[.build]";
// "0.0.0" without one. Sets IniRec.VersionDisplay when the build number is not 0.
std::string GetFileVersionText(const std::string& FileName);

// The whole content of a file; throws platform::IoError when it cannot be read.
std::string ReadFileText(const std::string& FileName);

// The release date in the locale's short date format, or empty unless the three
// texts are whole numbers that form a valid Gregorian date (years 1 to 9999).
std::string ReleaseDateText(const std::string& Year, const std::string& Month, const std::string& Day);

// Text with its leading and trailing characters of codes 0 to 32 removed.
std::string TrimControls(const std::string& Text);

// Text made safe to put into link-label mark-up: "<", ">", "&" become entities.
std::string EscapeMarkup(const std::string& Text);

// Reads the PAD values out of IniRec.PadContent into IniRec and shows them in the
// window; true when PadVersion and DownloadUrl are both present.
bool ReadPadInfo(TForm1& Form);

}  // namespace verilo
