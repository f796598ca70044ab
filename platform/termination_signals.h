// SIGTERM and SIGINT turned into bytes on a descriptor, so that an event loop can
// handle them as ordinary input.
#pragma once

namespace platform {

// Installs handlers for SIGTERM and SIGINT that write the signal number as one byte
// to a pipe, and returns the pipe's read end (-1 on failure). Call once.
int TerminationSignalFd();

// Reads one pending signal number from fd; 0 when none.
int ReadTerminationSignal(int fd);

}  // namespace platform
