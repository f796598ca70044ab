// The system's log (syslog) and the console's error stream.
#pragma once

#include <string>

namespace platform {

// Writes text to syslog at LOG_ERR, with the executable's name as ident.
void LogSystemError(const std::string& text);

// Writes text and a line feed to standard error.
void WriteStderr(const std::string& text);

}  // namespace platform
