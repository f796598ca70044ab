#include "engine/spamassassin_run.h"

#include <chrono>
#include <thread>

#include "engine/activity_log.h"
#include "engine/display.h"
#include "engine/settings.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace trawlex {

std::string MessageCopyPath;
std::string ResultPath;
uint32_t MessageChecksum = 0;
int SpamAssassinExitCode = -1;

namespace {

// Waits while the mail server may still be writing the file, at most
// kInUsePauses pauses; afterwards the run goes on whatever the state of the file.
void WaitUntilFree(const std::string& path) {
  for (int pauses = 0; pauses < kInUsePauses && IsFileInUse(path); ++pauses) PauseWithMessages(kInUsePauseMs);
}

// Size limit in bytes; computed in 64 bits so that any MaxMessageSize is safe.
int64_t SizeLimit() { return int64_t(IniRec.MaxMessageSize) * 1024; }

}  // namespace

std::string SpamAssassinCommand() {
  const TIniRec& r = IniRec;
  return platform::ShellQuote(r.ExePath) + " " + r.Options + " -c " + platform::ShellQuote(r.ConfigDir) + " -p " +
         platform::ShellQuote(r.UserPrefs);
}

std::string RunSpamAssassin(const std::string& path) {
  WriteDebugLine(" SpamAssassin input message: " + path);
  std::string result;
  if (!platform::FileExists(path)) {
    result = kNoInputFile;
    ++IniRec.SkippedCount;
  } else {
    std::string command = SpamAssassinCommand();
    MessageCopyPath = TempDir + platform::ExtractFileName(path);
    ResultPath = TempDir + "sa.tmp";
    WaitUntilFree(path);
    if (FileSizeOf(path) >= SizeLimit()) {
      result = kIgnoredSize;
      ++IniRec.IgnoredCount;
    } else {
      MessageChecksum = FileCrc32(path);
      // The folder must still be ours before anything is written into it. Leftovers
      // of an earlier scan (or links planted in their place) are removed, so the copy
      // and the shell create fresh files.
      platform::CheckPrivateFolder(TempDir);
      platform::RemoveFile(MessageCopyPath);
      platform::RemoveFile(ResultPath);
      if (!ShellCopyFile(path, MessageCopyPath)) return kCopyFailed;
      SpamAssassinExitCode = RunRedirected(command, platform::ShellQuote(MessageCopyPath),
                                           platform::ShellQuote(ResultPath));
      result = kScanOk;
    }
  }
  WriteDebugLine(" SpamAssassin result: " + result);
  return result;
}

int RunRedirected(const std::string& command, const std::string& input, const std::string& output) {
  return RunProgram(platform::CommandInterpreter(), command + " < " + input + " > " + output);
}

int RunProgram(const std::string& program, const std::string& command) {
  if (!platform::FileExists(program))
    throw EngineError("Unable to find application " + platform::ExtractFileName(program));
  return platform::RunAndWait({program, "-c", command}, ServePendingEvents);
}

bool IsFileInUse(const std::string& path) { return platform::IsFileInUse(path); }

void PauseWithMessages(int milliseconds) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    ServePendingEvents();
    std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
  }
}

int64_t FileSizeOf(const std::string& path) { return platform::FileSizeOf(path); }
uint32_t FileCrc32(const std::string& path) { return platform::FileCrc32(path); }

bool ShellCopyFile(const std::string& source, const std::string& destination) {
  return platform::CopyFileReplacing(source, destination);
}

}  // namespace trawlex
