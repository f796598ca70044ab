#include "platform/event_log.h"

#include <syslog.h>
#include <unistd.h>

#include "platform/paths.h"

namespace platform {

void LogSystemError(const std::string& text) {
  static const std::string ident = ExtractFileName(ExecutablePath());
  openlog(ident.c_str(), LOG_PID, LOG_USER);
  syslog(LOG_ERR, "%s", text.c_str());
}

void WriteStderr(const std::string& text) {
  std::string line = text + "\n";
  ssize_t n = write(STDERR_FILENO, line.data(), line.size());
  (void)n;
}

}  // namespace platform
