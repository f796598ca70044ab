// The three records of Trawlex's work: the recent-activity list, the tab-separated
// log file and the time-stamped debug log.
#pragma once

#include <ctime>
#include <deque>
#include <string>

namespace trawlex {

struct ActivityEntry {
  std::string Date;
  std::string Message;
  std::string Points;
  std::string Action;
  std::string From;
  std::string To;
  std::string Subject;
  bool IsSpam = false;
};

// Fixed right after LoadSettings: DebugLogging from Debug, DebugLogFile beside the program.
extern bool DebugLogging;
extern std::string DebugLogFile;
void FixDebugSwitch();

// Local date and time in the locale's short date and long time format; within the
// first second after midnight only the date.
std::string TimeStamp(std::time_t when);
std::string TimeStamp();

// The recent-activity list, newest first, at most MaxRecentLogItems entries.
const std::deque<ActivityEntry>& RecentActivity();
void ClearRecentActivity();

// The log-file line of an entry: seven tab-separated fields and "\r\n".
std::string LogLine(const ActivityEntry& entry);

// Adds the entry to the recent-activity list and, with DoLogging, to LogFile.
void LogActivity(const ActivityEntry& entry);
// With DebugLogging, appends time stamp + text + "\r\n" to DebugLogFile.
void WriteDebugLine(const std::string& text);
// Appends text to path with a single write; any failure is silent.
void AppendToFile(const std::string& path, const std::string& text);

}  // namespace trawlex
