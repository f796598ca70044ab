#include "platform/termination_signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

int write_end = -1;

void OnSignal(int sig) {
  int saved = errno;
  unsigned char byte = static_cast<unsigned char>(sig);
  (void)!write(write_end, &byte, 1);
  errno = saved;
}

}  // namespace

int TerminationSignalFd() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  write_end = fds[1];
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  return fds[0];
}

int ReadTerminationSignal(int fd) {
  unsigned char byte = 0;
  return read(fd, &byte, 1) == 1 ? byte : 0;
}

}  // namespace platform
