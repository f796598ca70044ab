#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

std::string ExtractFilePath(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string IncludeTrailingSlash(const std::string& path) {
  return (!path.empty() && path.back() == '/') ? path : path + "/";
}

std::string ExpandFileName(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buf(4096);
  while (!getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return path;
    buf.resize(buf.size() * 2);
  }
  return IncludeTrailingSlash(buf.data()) + path;
}

std::string CanonicalPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return std::string();
  std::string out = resolved;
  free(resolved);
  return out;
}

std::string ExecutablePath() {
  std::vector<char> buf(4096);
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  return n > 0 ? std::string(buf.data(), std::size_t(n)) : std::string();
}

std::string ExecutableDir() { return ExtractFilePath(ExecutablePath()); }

void CheckPrivateFolder(const std::string& folder) {
  struct stat st;
  std::string bare = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
  if (lstat(bare.c_str(), &st) != 0)
    throw UnsafeFolderError("Temporary folder " + folder + " is missing: " + std::strerror(errno));
  if (S_ISLNK(st.st_mode) || !S_ISDIR(st.st_mode))
    throw UnsafeFolderError("Temporary folder " + folder + " is not a directory (refusing a symlink)");
  if (st.st_uid != geteuid())
    throw UnsafeFolderError("Temporary folder " + folder + " belongs to another user");
  if ((st.st_mode & 077) != 0 && chmod(bare.c_str(), 0700) != 0)
    throw UnsafeFolderError("Temporary folder " + folder + " cannot be made private");
}

std::string PrivateTempDir(const std::string& program) {
  const char* env = std::getenv("TMPDIR");
  std::string base = (env && *env) ? env : "/tmp";
  std::string folder = IncludeTrailingSlash(base) + program + "-" + std::to_string(geteuid()) + "/";
  std::string bare = folder.substr(0, folder.size() - 1);
  if (mkdir(bare.c_str(), 0700) != 0 && errno != EEXIST)
    throw UnsafeFolderError("Cannot create temporary folder " + folder + ": " + std::strerror(errno));
  CheckPrivateFolder(folder);
  return folder;
}

}  // namespace platform
