#include "wizard/pad.h"

#include <cstdint>
#include <ctime>
#include <optional>

#include "platform/files.h"
#include "platform/version_resource.h"
#include "wizard/config.h"
#include "wizard/form1.h"

namespace verilo {
namespace {

bool IsVersionDelimiter(char c) {
  switch (c) {
    case ' ': case '"': case '(': case ')': case ',': case '.': case ':': case ';':
      return true;
    default:
      return false;
  }
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// The integer conversion of the version comparison: optional sign, then decimal
// digits, or hexadecimal after "$", "x" or "0x"; the value must fit 32 bits (a
// hexadecimal value is taken as the 32-bit pattern).
std::optional<int32_t> ToInt32(const std::string& s) {
  std::size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  int base = 10;
  if (i < s.size() && s[i] == '$') {
    base = 16, ++i;
  } else if (i < s.size() && (s[i] == 'x' || s[i] == 'X')) {
    base = 16, ++i;
  } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16, i += 2;
  }
  if (i >= s.size()) return std::nullopt;
  uint64_t v = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return std::nullopt;
    v = v * uint64_t(base) + uint64_t(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 16) {
    int32_t pattern = int32_t(uint32_t(v));
    return negative ? int32_t(0u - uint32_t(pattern)) : pattern;
  }
  if (negative) {
    if (v > 0x80000000ull) return std::nullopt;
    return int32_t(-int64_t(v));
  }
  if (v > 0x7FFFFFFFull) return std::nullopt;
  return int32_t(v);
}

// Whole-number text (optional sign, decimal digits, leading zeros allowed) as an
// integer, or nullopt; values beyond the 32-bit range count as no number.
std::optional<int> WholeNumber(const std::string& s) {
  std::string t = TrimControls(s);
  std::size_t i = !t.empty() && (t[0] == '+' || t[0] == '-') ? 1 : 0;
  bool negative = i == 1 && t[0] == '-';
  if (i == t.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return std::nullopt;
    v = v * 10 + (t[i] - '0');
    if (v > 0x80000000LL) return std::nullopt;
  }
  if (negative) v = -v;
  if (v > 0x7FFFFFFFLL) return std::nullopt;
  return int(v);
}

}  // namespace

std::string TrimControls(const std::string& Text) {
  std::size_t b = 0, e = Text.size();
  while (b < e && uint8_t(Text[b]) <= 32) ++b;
  while (e > b && uint8_t(Text[e - 1]) <= 32) --e;
  return Text.substr(b, e - b);
}

std::string EscapeMarkup(const std::string& Text) {
  std::string out;
  out.reserve(Text.size());
  for (char c : Text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string ExtractBetween(const std::string& Text, const std::string& StartTag,
                           const std::string& EndTag, bool CaseSensitive) {
  std::string text = CaseSensitive ? Text : LowerAscii(Text);
  std::string start = CaseSensitive ? StartTag : LowerAscii(StartTag);
  std::string end = CaseSensitive ? EndTag : LowerAscii(EndTag);
  std::size_t p1 = text.find(start);
  if (p1 == std::string::npos) return {};
  std::size_t rest = p1 + start.size();
  std::size_t p2 = text.find(end, rest);
  if (p2 == std::string::npos) return {};
  return TrimControls(Text.substr(rest, p2 - rest));
}

std::string TextAfterLast(const std::string& S, char Ch) {
  std::size_t at = S.rfind(Ch);
  return at == std::string::npos ? S : S.substr(at + 1);
}

bool NextVersionToken(std::string& S, std::string& Token) {
  Token.clear();
  if (!S.empty()) {
    // Leading delimiters go, but never the last character.
    std::size_t skip = 0;
    while (skip + 1 < S.size() && IsVersionDelimiter(S[skip])) ++skip;
    S.erase(0, skip);
    std::size_t len = 0;
    while (len < S.size() && !IsVersionDelimiter(S[len])) ++len;
    Token = S.substr(0, len);
    S.erase(0, std::min(S.size(), len + 1));  // the token and one delimiter after it
  }
  return !Token.empty();
}

bool IsNewerVersion(std::string Installed, std::string Pad) {
  bool newer = false;
  if (TrimControls(Pad) == TrimControls(Installed)) return false;
  std::string tp, ti;
  while (NextVersionToken(Pad, tp)) {
    NextVersionToken(Installed, ti);
    if (tp == ti) continue;
    auto np = ToInt32(tp), ni = ToInt32(ti);
    if (np && ni && *np != -1 && *ni != -1) {
      if (*np > *ni) newer = true;
      else if (*np < *ni) break;
      continue;
    }
    // Text tokens: the installed one is padded with blanks in front (to at most 11).
    while (ti.size() < tp.size()) {
      ti.insert(ti.begin(), ' ');
      if (ti.size() > 10) break;
    }
    int cmp = tp.compare(ti);  // std::char_traits<char> compares as unsigned char
    if (cmp > 0) newer = true;
    else if (cmp < 0) break;
  }
  return newer;
}

std::string GetFileVersionText(const std::string& FileName) {
  uint32_t major = 0, minor = 0, release = 0, build = 0;
  std::string block = platform::ReadVersionInfoBlock(FileName);
  if (!block.empty()) {
    if (auto info = platform::QueryFixedFileInfo(block)) {
      major = info->file_version_ms >> 16, minor = info->file_version_ms & 0xFFFF;
      release = info->file_version_ls >> 16, build = info->file_version_ls & 0xFFFF;
    }
  }
  std::string result = std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release);
  if (build != 0) {
    IniRec.VersionDisplay = result + " (build " + std::to_string(build) + ")";
    result += "." + std::to_string(build);
  }
  return result;
}

std::string ReadFileText(const std::string& FileName) { return platform::ReadWholeFile(FileName); }

std::string ReleaseDateText(const std::string& Year, const std::string& Month, const std::string& Day) {
  auto y = WholeNumber(Year), m = WholeNumber(Month), d = WholeNumber(Day);
  if (!y || !m || !d || *y < 1 || *y > 9999 || *m < 1 || *m > 12 || *d < 1) return {};
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
  int days = kDays[*m - 1] + (*m == 2 && leap ? 1 : 0);
  if (*d > days) return {};
  std::tm tm{};
  tm.tm_year = *y - 1900, tm.tm_mon = *m - 1, tm.tm_mday = *d;
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, "%x", &tm);
  return std::string(buf, n);
}

bool ReadPadInfo(TForm1& Form) {
  TIniRec& r = IniRec;
  const std::string& pad = r.PadContent;
  auto tag = [&](const std::string& name) {
    return ExtractBetween(pad, "<" + name + ">", "</" + name + ">", false);
  };
  r.PadVersion = tag("Program_Version");
  r.DownloadUrl = tag("Primary_Download_URL");
  r.InfoUrl = tag("Application_Info_URL");
  r.CompanyUrl = tag("Company_WebSite_URL");
  r.SupportEmail = tag("Support_Email");
  std::string year = tag("Program_Release_Year");
  std::string month = tag("Program_Release_Month");
  std::string day = tag("Program_Release_Day");
  if (r.InfoUrl.empty()) r.InfoUrl = r.CompanyUrl;
  r.FileName = TextAfterLast(r.DownloadUrl, '/');

  ShowValue(Form.Label22, r.FileName);
  ShowValue(Form.Label4, r.PadVersion);
  ShowValue(Form.Label13, tag("File_Size_K") + " KB");
  ShowValue(Form.Label10, tag("Program_Change_Info"));
  // The address is shown as text: a PAD value never becomes mark-up of its own.
  Form.JvLinkLabel1->SetCaption("<link>" + EscapeMarkup(r.InfoUrl) + "</link>");
  if (!year.empty() && !month.empty() && !day.empty()) {
    std::string date = ReleaseDateText(year, month, day);
    ShowValue(Form.Label7, date);
  }
  return !r.PadVersion.empty() && !r.DownloadUrl.empty();
}

}  // namespace verilo
