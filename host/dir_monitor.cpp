#include "host/dir_monitor.h"

#include <QMetaObject>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "platform/event_log.h"
#include "platform/inotify_watch.h"
#include "platform/paths.h"

namespace trawlex {

// One entry of a batch handed to the main thread.
struct TDirMonitor::Report {
  enum Kind { Change, Overflow, Error } kind = Change;
  TAction action = faADDED;
  std::string name;  // the file name; for Error the text
};

// One activation: the inotify instance, what it watches, and the worker serving it. The
// worker owns everything but the hand-off fields while it runs; the main thread touches
// the rest only before starting it and after joining it.
struct TDirMonitor::Session {
  platform::Inotify inotify;
  std::string root;  // Directory, absolute, ending in "/"
  bool subtree = false;
  unsigned events = 0;  // what every watch reports (platform::WatchEvents)
  bool report_files = false;
  bool report_dirs = false;
  // Folder of each watch relative to root: "" for root, else ending in "/".
  std::unordered_map<int, std::string> paths;
  // Names already reported by listing a newly watched folder, per watch. The watch was
  // added before the listing, so an entry made in between arrives a second time as a
  // record; these sets drop that copy. Cleared whenever the worker has read everything.
  std::unordered_map<int, std::unordered_set<std::string>> listed;
  std::thread thread;

  // The hand-off: the worker waits until the main thread has handled its batch or a
  // deactivation tells it to stop.
  std::mutex mutex;
  std::condition_variable cv;
  bool handled = false;
  bool stopping = false;
};

namespace {

using Report = TDirMonitor::Report;
using Session = TDirMonitor::Session;
using Batch = std::vector<Report>;
using Post = std::function<void(std::shared_ptr<Batch>)>;

constexpr std::size_t kMaxBatch = 65536;
// The kernel queues both records of a rename in one call; when a read ends right after
// the first, the second is at most moments away.
constexpr int kPartnerWaitMs = 20;
// How far after a MovedFrom its MovedTo is looked for (normally the next record).
constexpr std::size_t kPartnerWindow = 16;

constexpr uint32_t kNotifyBits[] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x100};

unsigned WatchEventsFor(TFilter filter, bool subtree) {
  unsigned events = 0;
  // Entry names are needed anyway to follow the subtree's folders.
  if (filter.Contains(nfFILE_NAME) || filter.Contains(nfDIR_NAME) || subtree)
    events |= platform::kWatchNames;
  if (filter.Contains(nfSIZE) || filter.Contains(nfLAST_WRITE)) events |= platform::kWatchContent;
  if (filter.Contains(nfATTRIBUTES) || filter.Contains(nfCREATION) || filter.Contains(nfSECURITY))
    events |= platform::kWatchAttributes;
  if (filter.Contains(nfLAST_ACCESS)) events |= platform::kWatchAccess;
  return events;
}

std::string ErrnoText(int err) { return std::error_code(err, std::generic_category()).message(); }

void AddChange(Batch* batch, TAction action, std::string name) {
  batch->push_back({Report::Change, action, std::move(name)});
}

void AddError(Batch* batch, std::string text) {
  batch->push_back({Report::Error, faADDED, std::move(text)});
}

// True (and forgets it) when name was already reported by listing its folder.
bool TakeListed(Session& s, int watch, const std::string& name) {
  auto it = s.listed.find(watch);
  return it != s.listed.end() && it->second.erase(name) > 0;
}

// Watches the folder dir (relative to root) and every folder below it. With
// report_contents, whatever they already hold is reported as added: entries made
// before the watch existed have no record of their own.
void WatchTree(Session& s, const std::string& dir, bool report_contents, Batch* batch) {
  std::vector<std::string> pending{dir};
  std::vector<platform::DirEntry> entries;
  while (!pending.empty()) {
    std::string folder = std::move(pending.back());
    pending.pop_back();
    int watch = s.inotify.AddWatch(s.root + folder, s.events, folder.empty());
    if (watch < 0) {
      // A folder gone again (or replaced by a file) meanwhile is no failure.
      if (errno != ENOENT && errno != ENOTDIR)
        AddError(batch, "Cannot watch " + s.root + folder + ": " + ErrnoText(errno));
      continue;
    }
    s.paths[watch] = folder;
    entries.clear();
    platform::ListDirectory(s.root + folder, &entries);
    for (const platform::DirEntry& e : entries) {
      if (report_contents) {
        s.listed[watch].insert(e.name);
        if (e.is_dir ? s.report_dirs : s.report_files) AddChange(batch, faADDED, folder + e.name);
      }
      if (e.is_dir) pending.push_back(folder + e.name + "/");
    }
  }
}

// Drops the watches of the folder dir and the folders below it (moved out of the tree).
void ForgetTree(Session& s, const std::string& dir) {
  for (auto it = s.paths.begin(); it != s.paths.end();) {
    if (it->second.starts_with(dir)) {
      s.inotify.RemoveWatch(it->first);
      s.listed.erase(it->first);
      it = s.paths.erase(it);
    } else {
      ++it;
    }
  }
}

// The folder from, with everything below it, now lives at to.
void MoveTree(Session& s, const std::string& from, const std::string& to) {
  for (auto& [watch, path] : s.paths)
    if (path.starts_with(from)) path = to + path.substr(from.size());
}

// Turns records into reports and keeps the watches of the subtree in step.
void Translate(Session& s, std::vector<platform::ChangeRecord>& records, Batch* batch) {
  using platform::ChangeKind;
  for (std::size_t i = 0; i < records.size(); ++i) {
    platform::ChangeRecord& r = records[i];
    if (r.kind == ChangeKind::Overflow) {
      batch->push_back({Report::Overflow, faADDED, {}});
      // Folders made while records were lost have no watch yet.
      if (s.subtree) WatchTree(s, "", false, batch);
      continue;
    }
    auto it = s.paths.find(r.watch);
    if (it == s.paths.end()) continue;  // a watch already dropped
    if (r.kind == ChangeKind::WatchGone) {
      s.paths.erase(it);
      s.listed.erase(r.watch);
      continue;
    }
    if (r.name.empty()) continue;  // the watched folder itself; its parent reports it
    const std::string name = it->second + r.name;
    const bool wanted = r.is_dir ? s.report_dirs : s.report_files;
    switch (r.kind) {
      case ChangeKind::Created:
      case ChangeKind::MovedTo:  // without partner: moved in from outside
        if (TakeListed(s, r.watch, r.name)) break;
        if (wanted) AddChange(batch, faADDED, name);
        if (r.is_dir && s.subtree) WatchTree(s, name + "/", true, batch);
        break;
      case ChangeKind::Deleted:
        TakeListed(s, r.watch, r.name);
        if (wanted) AddChange(batch, faREMOVED, name);
        break;
      case ChangeKind::MovedFrom: {
        TakeListed(s, r.watch, r.name);
        std::size_t end = std::min(records.size(), i + 1 + kPartnerWindow);
        std::size_t j = i + 1;
        while (j < end && !(records[j].kind == ChangeKind::MovedTo && records[j].cookie == r.cookie)) ++j;
        auto to = j < end ? s.paths.find(records[j].watch) : s.paths.end();
        if (to == s.paths.end()) {  // moved out of the tree
          if (wanted) AddChange(batch, faREMOVED, name);
          if (r.is_dir) ForgetTree(s, name + "/");
          break;
        }
        std::string new_name = to->second + records[j].name;
        TakeListed(s, records[j].watch, records[j].name);
        records[j].kind = ChangeKind::Other;  // consumed by this pair
        if (wanted) {
          AddChange(batch, faRENAMED_OLD_NAME, name);
          AddChange(batch, faRENAMED_NEW_NAME, new_name);
        }
        if (r.is_dir) MoveTree(s, name + "/", new_name + "/");
        break;
      }
      case ChangeKind::Modified:
      case ChangeKind::Attributes:
      case ChangeKind::Accessed:
        AddChange(batch, faMODIFIED, name);
        break;
      default:
        break;
    }
  }
}

// Hands batch to the main thread and waits until it has been handled; false when the
// watch is being ended.
bool HandOff(Session& s, const Post& post, std::shared_ptr<Batch> batch) {
  std::unique_lock lock(s.mutex);
  if (s.stopping) return false;
  s.handled = false;
  lock.unlock();
  post(std::move(batch));
  lock.lock();
  s.cv.wait(lock, [&] { return s.handled || s.stopping; });
  return !s.stopping;
}

void Work(Session& s, const Post& post) {
  using platform::Inotify;
  std::vector<platform::ChangeRecord> records;
  auto fail = [&](const std::string& what) {
    const int err = errno;
    auto batch = std::make_shared<Batch>();
    AddError(batch.get(), what + ": " + ErrnoText(err) + "; no further changes are reported");
    HandOff(s, post, std::move(batch));
  };
  for (;;) {
    records.clear();
    if (!s.inotify.ReadAvailable(&records, kMaxBatch)) return fail("Cannot read changes of " + s.root);
    if (records.empty()) {
      // Everything recorded so far has been read, so the copies the listing sets are
      // waiting for have come and gone.
      s.listed.clear();
      Inotify::WaitResult w = s.inotify.Wait(-1);
      if (w == Inotify::WaitResult::Woken) return;
      if (w != Inotify::WaitResult::Ready) return fail("Cannot wait for changes of " + s.root);
      continue;
    }
    if (records.back().kind == platform::ChangeKind::MovedFrom) {
      Inotify::WaitResult w = s.inotify.Wait(kPartnerWaitMs);
      if (w == Inotify::WaitResult::Woken) return;
      if (w == Inotify::WaitResult::Ready && !s.inotify.ReadAvailable(&records, kMaxBatch))
        return fail("Cannot read changes of " + s.root);
    }
    auto batch = std::make_shared<Batch>();
    Translate(s, records, batch.get());
    if (!batch->empty() && !HandOff(s, post, std::move(batch))) return;
  }
}

}  // namespace

TDirMonitor::TDirMonitor(QObject* owner) : QObject(owner), alive_(std::make_shared<bool>(true)) {}

TDirMonitor::~TDirMonitor() {
  *alive_ = false;
  Deactivate();
}

void TDirMonitor::SetActive(bool active) {
  if (active == active_) return;
  if (active)
    Activate();
  else
    Deactivate();
}

void TDirMonitor::UpdateNotifyFilter() {
  notify_filter_ = 0;
  for (int f = nfFILE_NAME; f <= nfSECURITY; ++f)
    if (FilterNotification.Contains(TFil(f))) notify_filter_ |= kNotifyBits[f];
}

void TDirMonitor::Activate() {
  UpdateNotifyFilter();
  if (!platform::CanOpenDirectory(Directory))
    throw EInvalidOperation("No se ha encontrado el directorio");
  auto s = std::make_shared<Session>();
  s->root = platform::IncludeTrailingSlash(platform::ExpandFileName(Directory));
  s->subtree = WatchSubtree;
  s->events = WatchEventsFor(FilterNotification, WatchSubtree);
  s->report_files = FilterNotification.Contains(nfFILE_NAME);
  s->report_dirs = FilterNotification.Contains(nfDIR_NAME);
  if (!s->inotify.Open()) throw std::runtime_error("Error en \"CreateIoCompletionPort\"");
  int root = s->inotify.AddWatch(s->root, s->events, true);
  if (root < 0) throw std::runtime_error("Error en \"ReadDirectoryChanges\"");
  s->paths[root] = "";
  Batch errors;
  if (s->subtree) WatchTree(*s, "", false, &errors);

  Post post = [this, s](std::shared_ptr<Batch> batch) {
    QMetaObject::invokeMethod(
        this, [this, s, batch] { Deliver(s, *batch); }, Qt::QueuedConnection);
  };
  Session* raw = s.get();
  s->thread = std::thread([raw, post] { Work(*raw, post); });
  session_ = std::move(s);
  active_ = true;
  for (const Report& e : errors) ReportError(e.name);
}

void TDirMonitor::Deactivate() {
  if (!active_) return;
  std::shared_ptr<Session> s = std::move(session_);
  session_.reset();
  active_ = false;
  {
    std::lock_guard lock(s->mutex);
    s->stopping = true;
  }
  s->cv.notify_all();
  s->inotify.Wake();
  s->thread.join();
  // Records still queued in the kernel go with the instance; batches already posted
  // find session_ changed and are dropped.
  s->inotify.Close();
}

void TDirMonitor::Deliver(const std::shared_ptr<Session>& session, const Batch& batch) {
  std::shared_ptr<Session> s = session;  // a handler may destroy the monitor
  if (s != session_) return;             // a batch of a watch that has ended
  ProcessNotifications(s, batch);
  {
    std::lock_guard lock(s->mutex);
    s->handled = true;
  }
  s->cv.notify_one();
}

bool TDirMonitor::ProcessNotifications(const std::shared_ptr<Session>& session, const Batch& batch) {
  std::shared_ptr<bool> alive = alive_;
  for (const Report& r : batch) {
    if (r.kind == Report::Error) {
      ReportError(r.name);
      continue;
    }
    try {
      if (r.kind == Report::Change) {
        if (!FilterAction.Contains(r.action) || r.name.empty() || !OnChange) continue;
        TEventChange handler = OnChange;  // the handler may replace OnChange
        handler(this, r.action, r.name);
      } else {
        if (!OnOverflow) continue;
        auto handler = OnOverflow;
        handler(this);
      }
    } catch (const std::exception& e) {
      if (*alive) ReportError(e.what());
    } catch (...) {
      if (*alive) ReportError("unknown exception in a change handler");
    }
    if (!*alive || session_ != session) return false;
  }
  return true;
}

void TDirMonitor::ReportError(const std::string& text) {
  if (OnError) {
    auto handler = OnError;
    try {
      handler(text);
      return;
    } catch (...) {
      // Fall through to the default report.
    }
  }
  platform::WriteStderr("Directory monitor: " + text);
  platform::LogSystemError("Directory monitor: " + text);
}

}  // namespace trawlex
