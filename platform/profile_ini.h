// Profile-string INI access with the Windows rules: section and key names match
// without case, blanks around names and values are dropped, one pair of matching
// quotes around a value is dropped, the first match wins and a value read is cut to
// 2047 characters. A write replaces the key's line in place (or adds it at the end
// of its section, or adds the section at the end of the file), leaves every other
// line as it was, and replaces the file atomically.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace platform {

inline constexpr std::size_t kMaxProfileValue = 2047;

// Raised when a key cannot be written; what() is "Unable to write to <file>".
class ProfileWriteError : public std::runtime_error {
 public:
  explicit ProfileWriteError(const std::string& file)
      : std::runtime_error("Unable to write to " + file) {}
};

// The value of key in section of file, or nullopt when the file, the section or the
// key is missing. A key present with an empty value gives an empty string.
std::optional<std::string> ReadProfileString(const std::string& file, const std::string& section,
                                             const std::string& key);

// Writes key=value into section of file; throws ProfileWriteError on failure. A file
// without write permission bits counts as read-only, also for root.
void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);

// A profile value as a signed 32-bit integer: decimal with an optional sign, or
// hexadecimal after 0x/0X (more than two characters, up to eight significant hex
// digits, taken as the 32-bit pattern). Anything else, or a decimal out of range, gives nullopt.
std::optional<int32_t> ProfileInteger(const std::string& text);

}  // namespace platform
