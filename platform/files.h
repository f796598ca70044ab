// File operations on the local file system. Paths are byte strings, never re-encoded.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// An input/output failure on a named file; what() names the file and the reason.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The "I/O error" text for a failed call on path, with errno's message.
IoError MakeIoError(const std::string& what, const std::string& path, int err);

bool FileExists(const std::string& path);       // an existing non-directory (links followed)
bool DirectoryExists(const std::string& path);  // an existing directory (links followed)

// Size in bytes; throws IoError when the file cannot be opened.
int64_t FileSizeOf(const std::string& path);

// CRC-32 (IEEE 802.3, as zlib) of the file's content, read in 32768-byte blocks;
// throws IoError when the file cannot be opened or read.
uint32_t FileCrc32(const std::string& path);

// The whole content of a file; throws IoError when it cannot be opened or read.
std::string ReadWholeFile(const std::string& path);

// Copies source to destination, overwriting it and creating the destination's
// folders. The copy is written under a temporary name in the destination folder and
// renamed into place, so a partly written file never carries the destination name
// (and a symlink at the destination is replaced, not written through).
bool CopyFileReplacing(const std::string& source, const std::string& destination);

// Writes content to path through a temporary file and an atomic rename.
bool ReplaceFileContent(const std::string& path, const std::string& content);

// Appends text with one write to a file opened for appending (created when missing).
// Returns false on any failure.
bool AppendWhole(const std::string& path, const std::string& text);

bool RemoveFile(const std::string& path);  // false when it failed or did not exist

// Renames from to to, replacing an existing file at to.
bool RenameReplacing(const std::string& from, const std::string& to);

// Creates path as a new empty file; false when it exists or cannot be created.
bool CreateNewFile(const std::string& path);

// True when the file exists and another open file description of it exists, that is
// some process (this one included) holds it open.
bool IsFileInUse(const std::string& path);

// What tells one file from another that later takes its name.
struct FileIdentity {
  uint64_t device = 0, inode = 0;
  int64_t modified_ns = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// The identity of the file at path; false when there is none.
bool IdentifyFile(const std::string& path, FileIdentity* identity);

struct DirEntry {
  std::string name;
  bool is_dir = false;  // a real directory; a symlink to one counts as a file
};

// The entries of the directory except "." and ".."; false when it cannot be read.
bool ListDirectory(const std::string& path, std::vector<DirEntry>* out);

// Names of the non-directory entries of folder, relative to it and separated by "/";
// with recursive, those of its subfolders too (links to folders are not followed).
std::vector<std::string> ListFiles(const std::string& folder, bool recursive);

// Creates a directory and its parents; true when it exists afterwards.
bool MakeDirectories(const std::string& path);

}  // namespace platform
