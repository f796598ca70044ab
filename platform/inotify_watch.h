// inotify: one instance with its watches, a wake-up descriptor, reading and decoding the
// kernel's change records. Names are byte strings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"  // DirEntry, ListDirectory

namespace platform {

// What a watch reports; combined into the watch's inotify mask.
enum WatchEvents : unsigned {
  kWatchNames = 1,       // entries created, deleted, moved in or out
  kWatchContent = 2,     // data written
  kWatchAttributes = 4,  // permissions, owner, times, link count
  kWatchAccess = 8,      // data read
};

enum class ChangeKind {
  Created,
  Deleted,
  MovedFrom,
  MovedTo,
  Modified,
  Attributes,
  Accessed,
  Overflow,   // the kernel's queue was full and records were dropped
  WatchGone,  // the watch was removed (its directory deleted, or RemoveWatch)
  Other,
};

// One decoded inotify record.
struct ChangeRecord {
  int watch = -1;  // -1 for Overflow
  ChangeKind kind = ChangeKind::Other;
  bool is_dir = false;
  uint32_t cookie = 0;  // pairs a MovedFrom with its MovedTo
  std::string name;     // empty for an event on the watched directory itself
};

// An inotify instance and an eventfd that interrupts waits on it. Used by one thread,
// except Wake, which any thread may call.
class Inotify {
 public:
  Inotify() = default;
  ~Inotify();
  Inotify(const Inotify&) = delete;
  Inotify& operator=(const Inotify&) = delete;

  // Creates the instance and the wake-up descriptor; false (errno set) on failure.
  bool Open();
  // Closes both; the kernel drops the watches and every record not yet read.
  void Close();

  // Watches the directory path (follow_link: a symlink to a directory is followed).
  // Returns the watch descriptor, the same one again for a directory already watched,
  // or -1 with errno set.
  int AddWatch(const std::string& path, unsigned events, bool follow_link);
  void RemoveWatch(int watch);

  // Makes the current and every later Wait return Woken.
  void Wake();

  enum class WaitResult { Ready, Woken, TimedOut, Failed };
  // Blocks until records can be read or Wake was called; timeout_ms < 0 waits forever.
  WaitResult Wait(int timeout_ms);

  // Appends the records that can be read without blocking, at most about max_records.
  // False (errno set) on a read error.
  bool ReadAvailable(std::vector<ChangeRecord>* out, std::size_t max_records);

 private:
  int fd_ = -1;
  int wake_fd_ = -1;
  std::vector<char> buffer_;
};

// True when path can be opened as a directory for reading.
bool CanOpenDirectory(const std::string& path);

}  // namespace platform
