// Binds the engine's processing cycle to the directory monitor and the 2000 ms
// processing timer, both living on the Qt main thread.
#pragma once

#include <QObject>
#include <QTimer>

#include "engine/queue.h"
#include "host/dir_monitor.h"

namespace trawlex {

class QtMonitorHost : public MonitorHost {
 public:
  QtMonitorHost();
  void ActivateWatcher(const std::string& directory, bool subtree) override;
  void DeactivateWatcher() override;
  bool WatcherActive() const override;
  void EnableTimer(bool enabled) override;

  TDirMonitor& Monitor() { return monitor_; }

 private:
  TDirMonitor monitor_;
  QTimer timer_;
};

}  // namespace trawlex
