#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/paths.h"

namespace platform {
namespace {

constexpr std::size_t kBlock = 32768;

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// A new file under a temporary name in the folder of destination, ending in ".part"
// so that a watcher filtering on an extension never takes it for a message.
int CreateSiblingTemp(const std::string& destination, std::string* temp) {
  *temp = ExtractFilePath(destination) + "." + ExtractFileName(destination) + ".XXXXXX.part";
  std::vector<char> buf(temp->begin(), temp->end());
  buf.push_back('\0');
  int fd = mkostemps(buf.data(), 5, O_CLOEXEC);
  *temp = buf.data();
  return fd;
}

// Writes the bytes produced by fill into a sibling temporary of destination and
// renames it into place; the temporary is removed on any failure.
template <typename Fill>
bool WriteReplacing(const std::string& destination, mode_t mode, Fill fill) {
  std::string temp;
  int raw = CreateSiblingTemp(destination, &temp);
  if (raw < 0) return false;
  bool ok;
  {
    Fd fd(raw);
    ok = fill(fd.get()) && fchmod(fd.get(), mode) == 0;
  }
  if (ok && rename(temp.c_str(), destination.c_str()) == 0) return true;
  unlink(temp.c_str());
  return false;
}

void IgnoreLeaseBreakSignal() {
  // A lease taken by IsFileInUse is held for microseconds, but an open by another
  // process in that moment sends SIGIO, whose default action ends the program.
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction old;
    if (sigaction(SIGIO, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(SIGIO, SIG_IGN);
  });
}

// Fallback for file systems without leases: does any process hold an open
// descriptor on the file's inode? Only processes visible to this user are seen.
bool OpenedByAnyProcess(const struct stat& target) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (!found) {
    dirent* p = readdir(proc);
    if (!p) break;
    if (p->d_name[0] < '0' || p->d_name[0] > '9') continue;
    std::string fd_dir = std::string("/proc/") + p->d_name + "/fd";
    DIR* fds = opendir(fd_dir.c_str());
    if (!fds) continue;
    while (dirent* f = readdir(fds)) {
      struct stat st;
      if (f->d_name[0] == '.') continue;
      if (stat((fd_dir + "/" + f->d_name).c_str(), &st) == 0 && st.st_dev == target.st_dev &&
          st.st_ino == target.st_ino) {
        found = true;
        break;
      }
    }
    closedir(fds);
  }
  closedir(proc);
  return found;
}

}  // namespace

IoError MakeIoError(const std::string& what, const std::string& path, int err) {
  return IoError("I/O error: " + what + " " + path + ": " + std::strerror(err));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t FileSizeOf(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!fd.ok() || fstat(fd.get(), &st) != 0) throw MakeIoError("cannot open", path, errno);
  return int64_t(st.st_size);
}

uint32_t FileCrc32(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) throw MakeIoError("cannot open", path, errno);
  std::vector<unsigned char> buf(kBlock);
  uLong crc = crc32(0L, Z_NULL, 0);
  for (;;) {
    ssize_t n = read(fd.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw MakeIoError("cannot read", path, errno);
    if (n == 0) break;
    crc = crc32(crc, buf.data(), uInt(n));
  }
  return uint32_t(crc);
}

std::string ReadWholeFile(const std::string& path) {
  Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.ok()) throw MakeIoError("cannot open", path, errno);
  std::string text;
  char buf[kBlock];
  for (;;) {
    ssize_t n = read(fd.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw MakeIoError("cannot read", path, errno);
    if (n == 0) break;
    text.append(buf, std::size_t(n));
  }
  return text;
}

bool CopyFileReplacing(const std::string& source, const std::string& destination) {
  std::string src = ExpandFileName(source), dst = ExpandFileName(destination);
  Fd in(open(src.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat st;
  if (!in.ok() || fstat(in.get(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (!MakeDirectories(ExtractFilePath(dst))) return false;
  return WriteReplacing(dst, st.st_mode & 07777, [&](int out) {
    char buf[kBlock];
    for (;;) {
      ssize_t n = read(in.get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      if (!WriteAll(out, buf, std::size_t(n))) return false;
    }
  });
}

bool ReplaceFileContent(const std::string& path, const std::string& content) {
  struct stat st;
  mode_t mode = stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  return WriteReplacing(path, mode, [&](int out) { return WriteAll(out, content.data(), content.size()); });
}

bool AppendWhole(const std::string& path, const std::string& text) {
  Fd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.ok()) return false;
  ssize_t n;
  do {
    n = write(fd.get(), text.data(), text.size());
  } while (n < 0 && errno == EINTR);
  return n == ssize_t(text.size());
}

bool RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0; }

bool RenameReplacing(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

bool CreateNewFile(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool IsFileInUse(const std::string& path) {
  IgnoreLeaseBreakSignal();
  struct stat st;
  {
    Fd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.ok()) return false;
    if (fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    // A write lease is granted only while no other descriptor of the file is open.
    if (fcntl(fd.get(), F_SETLEASE, F_WRLCK) == 0) {
      fcntl(fd.get(), F_SETLEASE, F_UNLCK);
      return false;
    }
    if (errno == EAGAIN || errno == EBUSY) return true;
  }
  return OpenedByAnyProcess(st);
}

bool IdentifyFile(const std::string& path, FileIdentity* identity) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  *identity = {uint64_t(st.st_dev), uint64_t(st.st_ino), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
  return true;
}

bool ListDirectory(const std::string& path, std::vector<DirEntry>* out) {
  DIR* dir = opendir(path.c_str());
  if (!dir) return false;
  while (dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    bool is_dir = entry->d_type == DT_DIR;
    if (entry->d_type == DT_UNKNOWN) {
      struct stat st;
      is_dir = fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    }
    out->push_back({name, is_dir});
  }
  closedir(dir);
  return true;
}

std::vector<std::string> ListFiles(const std::string& folder, bool recursive) {
  std::vector<std::string> names;
  std::vector<std::string> pending{""};
  while (!pending.empty()) {
    std::string sub = pending.back();
    pending.pop_back();
    std::vector<DirEntry> entries;
    ListDirectory(IncludeTrailingSlash(folder) + sub, &entries);
    for (const DirEntry& e : entries) {
      if (!e.is_dir)
        names.push_back(sub + e.name);
      else if (recursive)
        pending.push_back(sub + e.name + "/");
    }
  }
  return names;
}

bool MakeDirectories(const std::string& path) {
  if (path.empty() || DirectoryExists(path)) return !path.empty();
  std::string parent = ExtractFilePath(path.back() == '/' ? path.substr(0, path.size() - 1) : path);
  if (parent != path && !parent.empty() && !MakeDirectories(parent)) return false;
  return mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && DirectoryExists(path));
}

}  // namespace platform
