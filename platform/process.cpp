#include "platform/process.h"

#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

constexpr int kServeIntervalMs = 10;

int StatusToCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Blocks until pid has ended, calling serve_events between short waits, and reaps
// it. A pidfd makes the end of the child wake the wait at once.
int WaitServing(pid_t pid, const std::function<void()>& serve_events) {
  int status = 0;
  int pidfd = int(syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd p{pidfd, POLLIN, 0};
    for (;;) {
      int r = poll(&p, 1, kServeIntervalMs);
      if (r > 0 || (r < 0 && errno != EINTR)) break;
      if (serve_events) serve_events();
    }
    close(pidfd);
  } else {
    pid_t r;
    while ((r = waitpid(pid, &status, WNOHANG)) == 0) {
      if (serve_events) serve_events();
      usleep(1000);
    }
    if (r == pid) return StatusToCode(status);
  }
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return StatusToCode(status);
}

}  // namespace

SystemError::SystemError(int code)
    : std::runtime_error("System Error.  Code: " + std::to_string(code) + ".\r\n" + std::strerror(code)),
      code_(code) {}

std::string CommandInterpreter() {
  const char* comspec = std::getenv("COMSPEC");
  return (comspec && *comspec) ? comspec : "/bin/sh";
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  return out + "'";
}

int RunAndWait(const std::vector<std::string>& argv, const std::function<void()>& serve_events) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int err = posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ);
  if (err != 0) throw SystemError(err);
  return WaitServing(pid, serve_events);
}

}  // namespace platform
