#include "engine/activity_log.h"

#include "engine/display.h"
#include "engine/settings.h"
#include "platform/files.h"

namespace trawlex {

bool DebugLogging = false;
std::string DebugLogFile;

namespace {
std::deque<ActivityEntry> recent;
}

void FixDebugSwitch() {
  DebugLogging = IniRec.Debug;
  DebugLogFile = ProgramDir + "debug.log";
}

std::string TimeStamp(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  bool midnight = local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0;
  char buf[128];
  std::size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &local);
  return std::string(buf, n);
}

std::string TimeStamp() { return TimeStamp(std::time(nullptr)); }

const std::deque<ActivityEntry>& RecentActivity() { return recent; }

void ClearRecentActivity() {
  recent.clear();
  CurrentDisplay().ShowRecentActivity(recent);
}

std::string LogLine(const ActivityEntry& e) {
  return e.Date + "\t" + e.Message + "\t" + e.Points + "\t" + e.Action + "\t" + e.From + "\t" + e.To + "\t" +
         e.Subject + "\r\n";
}

void LogActivity(const ActivityEntry& entry) {
  recent.push_front(entry);
  std::size_t keep = IniRec.MaxRecentLogItems > 0 ? std::size_t(IniRec.MaxRecentLogItems) : 0;
  if (recent.size() > keep) recent.resize(keep);
  CurrentDisplay().ShowRecentActivity(recent);
  if (IniRec.DoLogging) AppendToFile(IniRec.LogFile, LogLine(entry));
}

void WriteDebugLine(const std::string& text) {
  if (DebugLogging) AppendToFile(DebugLogFile, TimeStamp() + text + "\r\n");
}

void AppendToFile(const std::string& path, const std::string& text) { platform::AppendWhole(path, text); }

}  // namespace trawlex
