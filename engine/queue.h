// The queue of message files and the timer cycle that works it off: the monitor's
// on/off state, the extension filter on the watcher's reports, the five counters and
// the spam meter.
#pragma once

#include <deque>
#include <string>

#include "engine/display.h"

namespace trawlex {

inline constexpr char kWaiting[] = "Waiting for processing";
inline constexpr char kProcessing[] = "Processing";
inline constexpr int kProcessIntervalMs = 2000;

extern std::deque<QueueEntry> MessageQueue;
extern bool CycleBusy;

// What the cycle needs from its host: the directory watcher and the processing
// timer, whose ticks call ProcessQueue.
class MonitorHost {
 public:
  virtual ~MonitorHost() = default;
  // Starts watching; raises the watcher's error when it cannot.
  virtual void ActivateWatcher(const std::string& directory, bool subtree) = 0;
  virtual void DeactivateWatcher() = 0;
  virtual bool WatcherActive() const = 0;
  virtual void EnableTimer(bool enabled) = 0;
};
void SetMonitorHost(MonitorHost* host);  // not owned; needed before StartMonitor

// Validates the settings and starts the watcher and the timer; does nothing when the
// settings fail (the settings dialog is the report). Watcher errors pass out.
void StartMonitor();
void StopMonitor();
bool MonitorActive();

// A file name reported by the watcher, relative to DirToMonitor.
void DirMonitor1Change(const std::string& file_name);
// The watcher lost reports: log it and queue every message file of the watched tree
// that is neither queued nor left as it was by an earlier cycle.
void RescanMonitoredTree();
void EnqueueMessage(const std::string& path);
// One timer tick: works off the whole queue unless a cycle is already running.
void ProcessQueue();
void RefreshStatistics();

// The message path for a reported name, or empty text when the name does not carry
// the message extension or lies in a folder of Trawlex's own.
std::string MessagePathFor(const std::string& file_name);

// SpamCount / ProcessedCount as a whole percentage, computed in extended precision
// and rounded half to even.
int SpamMeter(int spam, int processed);

}  // namespace trawlex
