#include "platform/profile_ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/files.h"

namespace platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string Trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// One line of the file, classified. Lines keep their original text for rewriting.
struct Line {
  std::string text;     // as in the file, without the '\n'
  bool is_section = false;
  bool is_key = false;
  std::string name;     // section name or key name, trimmed
  std::string value;    // key value, trimmed, quotes not yet removed
};

Line Classify(const std::string& text) {
  Line line;
  line.text = text;
  std::string t = Trim(text);
  if (t.empty() || t[0] == ';') return line;
  if (t[0] == '[') {
    std::size_t close = t.find(']');
    line.is_section = true;
    line.name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return line;
  }
  std::size_t eq = t.find('=');
  if (eq == std::string::npos) return line;
  line.is_key = true;
  line.name = Trim(t.substr(0, eq));
  line.value = Trim(t.substr(eq + 1));
  return line;
}

std::vector<Line> ReadLines(const std::string& file, bool* exists) {
  std::vector<Line> lines;
  std::ifstream in(file, std::ios::binary);
  *exists = bool(in);
  std::string text;
  while (std::getline(in, text)) lines.push_back(Classify(text));
  return lines;
}

std::string Unquote(const std::string& v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

// Index of the first line of key in section, or -1. `section_end` receives the index
// after the last non-empty line of the first matching section (or -1 without one).
int FindKey(const std::vector<Line>& lines, const std::string& section, const std::string& key,
            int* section_end) {
  bool inside = false;
  *section_end = -1;
  bool first_section_open = false;
  for (int i = 0; i < int(lines.size()); ++i) {
    const Line& l = lines[i];
    if (l.is_section) {
      inside = SameName(l.name, section);
      if (inside && *section_end < 0) {
        *section_end = i + 1;
        first_section_open = true;
      } else {
        first_section_open = false;
      }
      continue;
    }
    if (first_section_open && !Trim(l.text).empty()) *section_end = i + 1;
    if (inside && l.is_key && SameName(l.name, key)) return i;
  }
  return -1;
}

bool IsWritable(const std::string& file) {
  struct stat st;
  if (stat(file.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0) return false;
  int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace

std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key) {
  bool exists;
  std::vector<Line> lines = ReadLines(file, &exists);
  int section_end;
  int i = FindKey(lines, section, key, &section_end);
  if (i < 0) return std::nullopt;
  std::string v = Unquote(lines[i].value);
  if (v.size() > kMaxProfileValue) v.resize(kMaxProfileValue);
  return v;
}

void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value) {
  if (!IsWritable(file)) throw ProfileWriteError(file);
  bool exists;
  std::vector<Line> lines = ReadLines(file, &exists);
  int section_end;
  int i = FindKey(lines, section, key, &section_end);
  std::string entry = key + "=" + value;
  if (i >= 0) {
    bool crlf = !lines[i].text.empty() && lines[i].text.back() == '\r';
    lines[i].text = entry + (crlf ? "\r" : "");
  } else if (section_end >= 0) {
    lines.insert(lines.begin() + section_end, Classify(entry));
  } else {
    if (!lines.empty() && !Trim(lines.back().text).empty()) lines.push_back(Classify(""));
    lines.push_back(Classify("[" + section + "]"));
    lines.push_back(Classify(entry));
  }
  std::string out;
  for (const Line& l : lines) out += l.text + "\n";
  if (!ReplaceFileContent(file, out)) throw ProfileWriteError(file);
}

std::optional<int32_t> ProfileInteger(const std::string& text) {
  const char* b = text.data();
  const char* e = b + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    const char* digits = b + 2;
    while (e - digits > 1 && *digits == '0') ++digits;  // leading zeros do not count
    if (e - digits > 8) return std::nullopt;
    uint32_t u = 0;
    auto r = std::from_chars(digits, e, u, 16);
    if (r.ec != std::errc() || r.ptr != e) return std::nullopt;
    return int32_t(u);
  }
  if (b != e && *b == '+') {
    ++b;
    if (b != e && *b == '-') return std::nullopt;
  }
  int32_t v = 0;
  auto r = std::from_chars(b, e, v, 10);
  if (b == e || r.ec != std::errc() || r.ptr != e) return std::nullopt;
  return v;
}

}  // namespace platform
