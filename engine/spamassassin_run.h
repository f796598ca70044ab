// Scanning one message: wait until the mail server has finished writing it, check
// its size, take its checksum, copy it to the private temporary folder and run
// SpamAssassin on the copy through the command interpreter into "sa.tmp".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace trawlex {

// An unexpected failure of a scan (the interpreter missing); raised to the cycle.
class EngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

extern std::string MessageCopyPath;   // TempDir + the message's file name
extern std::string ResultPath;        // TempDir + "sa.tmp"
extern uint32_t MessageChecksum;      // CRC-32 of the message taken before the copy
extern int SpamAssassinExitCode;      // exit status of the last scan's command, -1 before one

inline constexpr char kScanOk[] = "ok";
inline constexpr char kNoInputFile[] = "No SpamAssassin input file found.";
inline constexpr char kIgnoredSize[] = "Message ignored due file size";
inline constexpr char kCopyFailed[] = "Copy of the original message failed";
inline constexpr int kInUsePauses = 181;
inline constexpr int kInUsePauseMs = 100;

// Scans the message at path; "ok" when SpamAssassin ran and its output is to be
// analysed, otherwise the final result text for the message.
std::string RunSpamAssassin(const std::string& path);

// The SpamAssassin command for the current settings, every path quoted for sh.
std::string SpamAssassinCommand();

// Runs command through the command interpreter with input and output redirected
// (both passed unchanged: the caller quotes them) and waits; returns the exit status.
int RunRedirected(const std::string& command, const std::string& input, const std::string& output);

// Runs program with "-c" and command, waiting while serving events; returns the exit
// status. Throws EngineError "Unable to find application <name>" when program is not
// an existing file, platform::SystemError when it cannot be started.
int RunProgram(const std::string& program, const std::string& command);

bool IsFileInUse(const std::string& path);
// Waits milliseconds while serving the pending events.
void PauseWithMessages(int milliseconds);
int64_t FileSizeOf(const std::string& path);
uint32_t FileCrc32(const std::string& path);
bool ShellCopyFile(const std::string& source, const std::string& destination);

}  // namespace trawlex
