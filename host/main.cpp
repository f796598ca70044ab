// trawlex without a window: loads trawlex.ini beside the program, starts the monitor
// and filters the spool directory until SIGTERM or SIGINT.
#include <QCoreApplication>
#include <QSocketNotifier>

#include <clocale>
#include <exception>

#include "engine/activity_log.h"
#include "engine/display.h"
#include "engine/queue.h"
#include "engine/settings.h"
#include "host/monitor_host.h"
#include "platform/paths.h"
#include "platform/termination_signals.h"

namespace {

constexpr int kExitBadSettings = 2;
constexpr int kExitStartFailed = 3;

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  QCoreApplication app(argc, argv);
  using namespace trawlex;
  try {
    ProgramDir = platform::ExecutableDir();
    TempDir = platform::PrivateTempDir("trawlex");
  } catch (const std::exception& e) {
    CurrentDisplay().ShowMessage(e.what());
    return kExitStartFailed;
  }
  LoadSettings();
  FixDebugSwitch();
  SetEventHook([] { QCoreApplication::processEvents(); });

  QtMonitorHost host;
  SetMonitorHost(&host);

  int signal_fd = platform::TerminationSignalFd();
  QSocketNotifier on_signal(signal_fd, QSocketNotifier::Read);
  QObject::connect(&on_signal, &QSocketNotifier::activated, [&] {
    platform::ReadTerminationSignal(signal_fd);
    if (MonitorActive()) StopMonitor();
    // Queued, so that it also ends a loop that has not started yet.
    QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
  });

  try {
    StartMonitor();
  } catch (const std::exception& e) {
    CurrentDisplay().ShowMessage(e.what());
    return kExitStartFailed;
  }
  // The settings check already reported what is wrong, on stderr and in syslog.
  if (!MonitorActive()) return kExitBadSettings;
  int code = app.exec();
  SetMonitorHost(nullptr);
  return code;
}
