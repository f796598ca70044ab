#include "platform/inotify_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace platform {
namespace {

// Large enough for thousands of records per read, so a burst is drained in few calls.
constexpr std::size_t kReadBuffer = 256 * 1024;

uint32_t MaskFor(unsigned events) {
  uint32_t mask = IN_EXCL_UNLINK;
  if (events & kWatchNames) mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (events & kWatchContent) mask |= IN_MODIFY;
  if (events & kWatchAttributes) mask |= IN_ATTRIB;
  if (events & kWatchAccess) mask |= IN_ACCESS;
  return mask;
}

ChangeKind KindOf(uint32_t mask) {
  if (mask & IN_Q_OVERFLOW) return ChangeKind::Overflow;
  if (mask & IN_IGNORED) return ChangeKind::WatchGone;
  if (mask & IN_CREATE) return ChangeKind::Created;
  if (mask & IN_DELETE) return ChangeKind::Deleted;
  if (mask & IN_MOVED_FROM) return ChangeKind::MovedFrom;
  if (mask & IN_MOVED_TO) return ChangeKind::MovedTo;
  if (mask & IN_MODIFY) return ChangeKind::Modified;
  if (mask & IN_ATTRIB) return ChangeKind::Attributes;
  if (mask & IN_ACCESS) return ChangeKind::Accessed;
  return ChangeKind::Other;
}

}  // namespace

Inotify::~Inotify() { Close(); }

bool Inotify::Open() {
  Close();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return false;
  wake_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) {
    int err = errno;
    Close();
    errno = err;
    return false;
  }
  buffer_.resize(kReadBuffer);
  return true;
}

void Inotify::Close() {
  if (fd_ >= 0) close(fd_);
  if (wake_fd_ >= 0) close(wake_fd_);
  fd_ = wake_fd_ = -1;
}

int Inotify::AddWatch(const std::string& path, unsigned events, bool follow_link) {
  uint32_t mask = MaskFor(events) | IN_ONLYDIR;
  if (!follow_link) mask |= IN_DONT_FOLLOW;
  return inotify_add_watch(fd_, path.c_str(), mask);
}

void Inotify::RemoveWatch(int watch) { inotify_rm_watch(fd_, watch); }

void Inotify::Wake() {
  uint64_t one = 1;
  ssize_t n = write(wake_fd_, &one, sizeof one);
  (void)n;
}

Inotify::WaitResult Inotify::Wait(int timeout_ms) {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_fd_, POLLIN, 0}};
  for (;;) {
    int n = poll(fds, 2, timeout_ms);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return WaitResult::Failed;
    if (n == 0) return WaitResult::TimedOut;
    // The wake-up wins: after it the caller must not hand on anything more.
    if (fds[1].revents) return WaitResult::Woken;
    if (fds[0].revents & POLLIN) return WaitResult::Ready;
    return WaitResult::Failed;
  }
}

bool Inotify::ReadAvailable(std::vector<ChangeRecord>* out, std::size_t max_records) {
  std::size_t start = out->size();
  while (out->size() - start < max_records) {
    ssize_t n = read(fd_, buffer_.data(), buffer_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) return true;
    if (n <= 0) return false;
    const char* p = buffer_.data();
    const char* end = p + n;
    while (p < end) {
      inotify_event event;
      std::memcpy(&event, p, sizeof event);
      ChangeRecord record;
      record.watch = event.wd;
      record.kind = KindOf(event.mask);
      record.is_dir = (event.mask & IN_ISDIR) != 0;
      record.cookie = event.cookie;
      if (event.len > 0) record.name.assign(p + sizeof event, strnlen(p + sizeof event, event.len));
      out->push_back(std::move(record));
      p += sizeof event + event.len;
    }
  }
  return true;
}

bool CanOpenDirectory(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

}  // namespace platform
