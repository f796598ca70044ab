#include "engine/queue.h"

#include <cmath>
#include <exception>
#include <unordered_map>

#include "engine/activity_log.h"
#include "engine/analysis.h"
#include "engine/settings.h"
#include "engine/spamassassin_run.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace trawlex {

std::deque<QueueEntry> MessageQueue;
bool CycleBusy = false;

namespace {

MonitorHost* monitor_host = nullptr;

void ShowQueue() { CurrentDisplay().ShowQueue(MessageQueue); }

// True when path lies inside folder (both resolved, so links and relative spellings
// of the same folder compare equal).
bool IsInside(const std::string& path, const std::string& folder) {
  if (folder.empty()) return false;
  std::string dir = platform::CanonicalPath(platform::ExtractFilePath(path));
  std::string base = platform::CanonicalPath(folder);
  if (dir.empty() || base.empty()) return false;
  return platform::IncludeTrailingSlash(dir).rfind(platform::IncludeTrailingSlash(base), 0) == 0;
}

// Files that Trawlex writes itself (the scan copies, the moved spam) would otherwise
// be fed back to it when those folders lie in the watched tree.
bool IsOwnFile(const std::string& path) {
  return IsInside(path, TempDir) || (IniRec.SpamAction == saMove && IsInside(path, IniRec.MoveDir));
}

// The files most recently worked off, as they were left, so that a rescan after lost
// reports does not feed them in again. Bounded: the oldest are forgotten first.
constexpr std::size_t kRememberedFiles = 65536;
std::unordered_map<std::string, platform::FileIdentity> processed_files;
std::deque<std::string> processed_order;

void RememberProcessed(const std::string& path) {
  platform::FileIdentity id;
  if (!platform::IdentifyFile(path, &id)) return;
  auto [it, added] = processed_files.insert_or_assign(path, id);
  if (!added) return;
  processed_order.push_back(path);
  if (processed_order.size() > kRememberedFiles) {
    processed_files.erase(processed_order.front());
    processed_order.pop_front();
  }
}

bool WasProcessed(const std::string& path) {
  auto it = processed_files.find(path);
  platform::FileIdentity id;
  return it != processed_files.end() && platform::IdentifyFile(path, &id) && id == it->second;
}

bool IsQueued(const std::string& path) {
  for (const QueueEntry& e : MessageQueue)
    if (e.path == path) return true;
  return false;
}

// One message through the scan and the analysis; the result text.
std::string ProcessMessage(const std::string& path) {
  std::string result = RunSpamAssassin(path);
  return result == kScanOk ? AnalyseResult(path) : result;
}

void FinishEntry(const std::string& result) {
  CurrentDisplay().ShowLastResult(result);
  RememberProcessed(MessageQueue.front().path);
  MessageQueue.pop_front();
  ShowQueue();
  ++IniRec.ProcessedCount;
  RefreshStatistics();
}

}  // namespace

void SetMonitorHost(MonitorHost* host) { monitor_host = host; }

bool MonitorActive() { return monitor_host && monitor_host->WatcherActive(); }

void StartMonitor() {
  if (!ValidateSettings()) return;
  monitor_host->ActivateWatcher(IniRec.DirToMonitor, IniRec.MonitorSubDirs);
  monitor_host->EnableTimer(true);
  Display& d = CurrentDisplay();
  d.ShowIndicator(Indicator::Green);
  d.ShowMonitorCaption("Stop monitor");
  d.ShowStatusLine("File monitor is active on: " + IniRec.DirToMonitor);
  WriteDebugLine(" << Start monitor >>");
}

void StopMonitor() {
  if (monitor_host) {
    monitor_host->DeactivateWatcher();
    monitor_host->EnableTimer(false);
  }
  Display& d = CurrentDisplay();
  d.ShowIndicator(Indicator::Red);
  d.ShowMonitorCaption("Start monitor");
  d.ShowStatusLine("File monitor is paused.");
  WriteDebugLine(" << Stop monitor >>");
}

std::string MessagePathFor(const std::string& file_name) {
  const std::string& ext = IniRec.MessageExtention;
  std::string name = platform::ExtractFileName(file_name);
  std::size_t dot = name.rfind('.');
  std::string x = dot == std::string::npos ? std::string() : name.substr(dot);
  std::string head = x.substr(0, ext.size());
  if (head != ext || head.empty()) return std::string();
  std::string stem = file_name.substr(0, file_name.size() - x.size());
  std::string path = platform::IncludeTrailingSlash(IniRec.DirToMonitor) + stem + head;
  return IsOwnFile(path) ? std::string() : path;
}

void DirMonitor1Change(const std::string& file_name) {
  WriteDebugLine(" File monitor: " + file_name);
  std::string path = MessagePathFor(file_name);
  if (!path.empty()) EnqueueMessage(path);
}

void RescanMonitoredTree() {
  WriteDebugLine(" File monitor: change reports were lost; rescanning " + IniRec.DirToMonitor);
  for (const std::string& name : platform::ListFiles(IniRec.DirToMonitor, IniRec.MonitorSubDirs)) {
    std::string path = MessagePathFor(name);
    if (!path.empty() && !IsQueued(path) && !WasProcessed(path)) EnqueueMessage(path);
  }
}

void EnqueueMessage(const std::string& path) {
  WriteDebugLine(" Place in queue: " + path);
  if (!platform::FileExists(path)) return;
  MessageQueue.push_back({path, kWaiting});
  ShowQueue();
}

void ProcessQueue() {
  if (MessageQueue.empty() || CycleBusy) return;
  CycleBusy = true;
  Display& d = CurrentDisplay();
  d.ShowIndicator(Indicator::Yellow);
  while (!MessageQueue.empty()) {
    platform::RemoveFile(MessageCopyPath);
    platform::RemoveFile(ResultPath);
    std::string path = MessageQueue.front().path;
    d.ShowStatusLine("Processing " + path);
    MessageQueue.front().status = kProcessing;
    ShowQueue();
    try {
      FinishEntry(ProcessMessage(path));
    } catch (const std::exception& e) {
      // An unexpected failure ends this cycle only: the entry is taken off and the
      // next tick goes on with the rest of the queue.
      FinishEntry(e.what());
      d.ShowMessage(e.what());
      break;
    }
    if (!MonitorActive()) break;
  }
  d.ShowStatusLine("Idle.");
  if (MonitorActive()) d.ShowIndicator(Indicator::Green);
  CycleBusy = false;
}

int SpamMeter(int spam, int processed) {
  volatile long double q = static_cast<long double>(spam) / static_cast<long double>(processed);
  volatile long double m = q * 100.0L;
  long double r = std::nearbyintl(m);
  return r < 0 ? 0 : r > 100 ? 100 : int(r);
}

void RefreshStatistics() {
  const TIniRec& r = IniRec;
  CurrentDisplay().ShowStatistics({r.ProcessedCount, r.SkippedCount, r.SpamCount, r.NonSpamCount, r.IgnoredCount,
                                   SpamMeter(r.SpamCount, r.ProcessedCount)});
}

}  // namespace trawlex
