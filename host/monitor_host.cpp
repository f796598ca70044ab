#include "host/monitor_host.h"

#include <QCoreApplication>

#include "engine/display.h"

namespace trawlex {

QtMonitorHost::QtMonitorHost() {
  // The form's watcher: file names only, additions only.
  monitor_.FilterNotification = {nfFILE_NAME};
  monitor_.FilterAction = {faADDED};
  monitor_.OnChange = [](TDirMonitor*, TAction, const std::string& name) { DirMonitor1Change(name); };
  monitor_.OnOverflow = [](TDirMonitor*) { RescanMonitoredTree(); };
  monitor_.OnError = [](const std::string& text) { CurrentDisplay().ShowMessage(text); };
  timer_.setInterval(kProcessIntervalMs);
  QObject::connect(&timer_, &QTimer::timeout, [] { ProcessQueue(); });
}

void QtMonitorHost::ActivateWatcher(const std::string& directory, bool subtree) {
  monitor_.WatchSubtree = subtree;
  monitor_.Directory = directory;
  monitor_.SetActive(true);
}

void QtMonitorHost::DeactivateWatcher() { monitor_.SetActive(false); }
bool QtMonitorHost::WatcherActive() const { return monitor_.Active(); }

void QtMonitorHost::EnableTimer(bool enabled) {
  if (enabled)
    timer_.start();
  else
    timer_.stop();
}

}  // namespace trawlex
