// Path helpers and the program's well-known folders. Paths use "/" and folder paths
// end in "/".
#pragma once

#include <stdexcept>
#include <string>

namespace platform {

// Raised when the private temporary folder cannot be made safe.
class UnsafeFolderError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string ExtractFilePath(const std::string& path);  // up to and including the last "/"
std::string ExtractFileName(const std::string& path);  // after the last "/"
std::string IncludeTrailingSlash(const std::string& path);
std::string ExpandFileName(const std::string& path);   // absolute, from the current folder

// The absolute path with links and "." / ".." resolved, or empty text when the path
// does not exist.
std::string CanonicalPath(const std::string& path);

// Folder of the running executable (from /proc/self/exe), ending in "/".
std::string ExecutableDir();
// Full path of the running executable.
std::string ExecutablePath();

// The per-user temporary folder: $TMPDIR (else /tmp) + "<program>-<uid>/", created
// with mode 0700. Throws UnsafeFolderError when it is a symlink, not a directory, or
// not owned by the user; a folder of ours with wider permissions is narrowed to 0700.
std::string PrivateTempDir(const std::string& program);

// Throws UnsafeFolderError unless folder is a real directory owned by this user and
// closed to everyone else (checked without following a symlink).
void CheckPrivateFolder(const std::string& folder);

}  // namespace platform
