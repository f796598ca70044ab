#include "engine/analysis.h"

#include <cctype>
#include <cerrno>
#include <fstream>
#include <cstdlib>

#include "engine/activity_log.h"
#include "engine/settings.h"
#include "engine/spamassassin_run.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace trawlex {

bool IsSpam = false;
std::string Points;
std::string From;
std::string To;
std::string Subject;
bool HasVerdict = false;

namespace {

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// The line from its position `from` (1-based) on.
std::string FromChar(const std::string& line, std::size_t from) {
  return line.size() >= from ? line.substr(from - 1) : std::string();
}

// Points as a number: optional leading blanks, sign, digits with "." and an
// exponent, nothing else; held in single precision. False when it is not one.
bool ParsePoints(const std::string& text, float* value) {
  std::size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  std::string s = text.substr(i);
  std::size_t p = 0;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
  std::size_t digits = 0;
  while (p < s.size() && std::isdigit((unsigned char)s[p])) ++p, ++digits;
  if (p < s.size() && s[p] == '.') {
    ++p;
    while (p < s.size() && std::isdigit((unsigned char)s[p])) ++p, ++digits;
  }
  if (digits == 0) return false;
  if (p < s.size() && (s[p] == 'e' || s[p] == 'E')) {
    ++p;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) ++p;
    std::size_t exp = 0;
    while (p < s.size() && std::isdigit((unsigned char)s[p])) ++p, ++exp;
    if (exp == 0) return false;
  }
  if (p != s.size()) return false;
  *value = std::strtof(s.c_str(), nullptr);
  return true;
}

void ClearVerdict() {
  IsSpam = HasVerdict = false;
  Points = From = To = Subject = std::string();
}

// The message still is the file that was scanned.
bool Unchanged(const std::string& path) {
  return platform::FileExists(path) && FileCrc32(path) == MessageChecksum;
}

std::string MarkAction(const std::string& path) {
  float points;
  if (ParsePoints(Points, &points) && IniRec.DoSpamDelPoints && points >= float(IniRec.SpamDelPoints))
    return Unchanged(path) && platform::RemoveFile(path) ? kSpamDeleted : kMarkDeleteError;
  if (!platform::FileExists(path)) return kMarkOriginalError;
  if (!Unchanged(path)) return kMarkChanged;
  // The marked copy is complete under the second name before it replaces the
  // message in one rename, so the mail is never lost and never half written.
  std::string marked = path + ".sa";
  if (!ShellCopyFile(ResultPath, marked)) return kCopyFailed;
  return platform::RenameReplacing(marked, path) ? kMarked : kMarkRenameError;
}

std::string DeleteAction(const std::string& path) {
  return platform::RemoveFile(path) ? kSpamDeleted : kDeleteError;
}

std::string MoveAction(const std::string& path) {
  // The message is deleted only once its marked copy is safely in MoveDir.
  std::string target = UniqueFileName(IniRec.MoveDir, "spam", IniRec.MessageExtention);
  if (target.empty() || !ShellCopyFile(ResultPath, target)) return kMoveFailed;
  if (!platform::FileExists(path)) return "Spam message moved to " + target + ".";
  if (!Unchanged(path))
    return "Spam message copied to " + target + "; the original changed during the scan and was kept.";
  if (!platform::RemoveFile(path)) return kMoveDeleteError;
  return "Spam message moved to " + target + ".";
}

std::string SpamAction(const std::string& path) {
  switch (IniRec.SpamAction) {
    case saMark: return MarkAction(path);
    case saDelete: return DeleteAction(path);
    case saIgnore: return kIgnored;
    case saMove: return MoveAction(path);
    default: return std::string();
  }
}

}  // namespace

std::string TextBetween(const std::string& text, const std::string& start, const std::string& end,
                        bool case_sensitive) {
  std::string s = case_sensitive ? text : Lower(text);
  std::size_t a = s.find(case_sensitive ? start : Lower(start));
  if (a == std::string::npos) return std::string();
  a += start.size();
  std::size_t b = s.find(case_sensitive ? end : Lower(end), a);
  if (b == std::string::npos) return std::string();
  return text.substr(a, b - a);
}

std::string UniqueFileName(const std::string& dir, const std::string& prefix, const std::string& extension) {
  std::string folder = platform::IncludeTrailingSlash(dir);
  for (long n = 0;; ++n) {
    std::string name = folder + prefix + "_" + std::to_string(n) + extension;
    if (platform::FileExists(name)) continue;
    if (platform::CreateNewFile(name)) return name;
    if (platform::FileExists(name)) continue;  // taken by someone else meanwhile
    return std::string();
  }
}

std::string NoVerdictText(int exit_code) {
  return "Scan failed: SpamAssassin gave no verdict (exit code " + std::to_string(exit_code) +
         "); message left unchanged.";
}

void ReadVerdict(const std::string& result_path) {
  ClearVerdict();
  // Only the header block is read: up to the first empty line or the end.
  std::ifstream in(result_path, std::ios::binary);
  if (!in) throw platform::MakeIoError("cannot open", result_path, errno);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line == "X-Spam-Flag: YES") IsSpam = true;
    if (StartsWith(line, "X-Spam-Status:")) {
      HasVerdict = true;
      // SpamAssassin 3 and later write "score=" where older versions wrote "hits=".
      Points = TextBetween(line, "hits=", " ", false);
      if (Lower(line).find("hits=") == std::string::npos) Points = TextBetween(line, "score=", " ", false);
    }
    if (StartsWith(line, "From:")) From = FromChar(line, 7);
    if (StartsWith(line, "To:")) To = FromChar(line, 5);
    if (StartsWith(line, "Subject:")) Subject = FromChar(line, 10);
    if (line.empty()) break;
  }
}

std::string AnalyseResult(const std::string& path) {
  WriteDebugLine(" Analysis message: " + path);
  std::string result;
  ClearVerdict();
  if (!platform::FileExists(ResultPath)) {
    result = kNoOutputFile;
    ++IniRec.SkippedCount;
  } else {
    ReadVerdict(ResultPath);
    if (!HasVerdict) {
      result = NoVerdictText(SpamAssassinExitCode);
      ++IniRec.SkippedCount;
    } else {
      result = IsSpam ? SpamAction(path) : std::string(kNonSpam);
      ++(IsSpam ? IniRec.SpamCount : IniRec.NonSpamCount);
    }
    LogActivity({TimeStamp(), path, Points, result, From, To, Subject, IsSpam});
  }
  WriteDebugLine(" Analysis result: " + result);
  return result;
}

}  // namespace trawlex
