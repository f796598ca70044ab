// TDirMonitor: watches one directory (optionally with its subdirectories) through inotify
// and reports each change as a call of OnChange on the thread that owns the monitor (the
// main thread, which runs a Qt event loop). A worker thread waits on the kernel and hands
// each batch of reports over, blocking until every handler has returned.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace trawlex {

// A set of up to eight enumeration members, one bit each.
template <typename E>
struct EnumSet {
  uint8_t bits = 0;

  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<E> members) {
    for (E m : members) bits |= Bit(m);
  }
  constexpr bool Contains(E m) const { return (bits & Bit(m)) != 0; }
  constexpr void Include(E m) { bits |= Bit(m); }
  constexpr void Exclude(E m) { bits &= uint8_t(~Bit(m)); }
  friend constexpr bool operator==(EnumSet, EnumSet) = default;

 private:
  static constexpr uint8_t Bit(E m) { return uint8_t(1u << unsigned(m)); }
};

// Kinds of change to watch for.
enum TFil {
  nfFILE_NAME,
  nfDIR_NAME,
  nfATTRIBUTES,
  nfSIZE,
  nfLAST_WRITE,
  nfLAST_ACCESS,
  nfCREATION,
  nfSECURITY,
};
using TFilter = EnumSet<TFil>;

// Kind of a reported change.
enum TAction {
  faADDED,
  faREMOVED,
  faMODIFIED,
  faRENAMED_OLD_NAME,
  faRENAMED_NEW_NAME,
};
using TActionFilter = EnumSet<TAction>;

class TDirMonitor;
using TEventChange =
    std::function<void(TDirMonitor* sender, TAction action, const std::string& file_name)>;

// Raised by activation when Directory cannot be opened.
class EInvalidOperation : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TDirMonitor : public QObject {
 public:
  explicit TDirMonitor(QObject* owner = nullptr);
  // Ends the worker (also while it waits for the main thread) before the monitor goes.
  ~TDirMonitor() override;

  // Read at activation; changes take effect at the next activation. With WatchSubtree
  // every folder below Directory gets a watch, also folders made later.
  std::string Directory = "/";
  bool WatchSubtree = false;
  TFilter FilterNotification = {nfFILE_NAME};
  // Read at each report.
  TActionFilter FilterAction = {faADDED, faREMOVED, faMODIFIED, faRENAMED_OLD_NAME,
                                faRENAMED_NEW_NAME};
  // Called once per change that passes FilterAction, in the order the kernel recorded
  // them; file_name is relative to Directory, subdirectories separated by "/".
  TEventChange OnChange;
  // Called when the kernel's queue overflowed and changes went unreported, so that the
  // user can rescan. Nothing happens without a handler.
  std::function<void(TDirMonitor* sender)> OnOverflow;
  // Receives the text of an exception escaping a handler, and of a subdirectory that
  // could not be watched. Without a handler the text goes to stderr and syslog.
  std::function<void(const std::string& text)> OnError;

  bool Active() const { return active_; }
  // Activates or deactivates; call on the owning thread. Activation throws
  // EInvalidOperation("No se ha encontrado el directorio") when Directory cannot be
  // opened, std::runtime_error("Error en \"CreateIoCompletionPort\"") when no inotify
  // instance can be made, and std::runtime_error("Error en \"ReadDirectoryChanges\"")
  // when Directory cannot be watched; Active then stays false. Deactivation discards
  // every report of the watch that has not been delivered yet.
  void SetActive(bool active);

  // Computes NotifyFilter from FilterNotification (nfFILE_NAME 0x1, nfDIR_NAME 0x2,
  // nfATTRIBUTES 0x4, nfSIZE 0x8, nfLAST_WRITE 0x10, nfLAST_ACCESS 0x20,
  // nfCREATION 0x40, nfSECURITY 0x100); done by every activation.
  void UpdateNotifyFilter();
  uint32_t NotifyFilter() const { return notify_filter_; }

  // Defined in the .cpp: one report of a batch, and one activation with its worker.
  struct Report;
  struct Session;

 private:
  void Activate();
  void Deactivate();
  void Deliver(const std::shared_ptr<Session>& session, const std::vector<Report>& batch);
  // Walks one batch on the main thread and calls the handlers; false when a handler
  // deactivated or destroyed the monitor, which ends the walk.
  bool ProcessNotifications(const std::shared_ptr<Session>& session,
                            const std::vector<Report>& batch);
  void ReportError(const std::string& text);

  bool active_ = false;
  uint32_t notify_filter_ = 0;
  std::shared_ptr<Session> session_;  // the current watch and its worker
  std::shared_ptr<bool> alive_;       // false once the destructor has run
};

}  // namespace trawlex
