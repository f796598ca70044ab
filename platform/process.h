// Child processes: the command interpreter, shell quoting, and a wait that keeps the
// caller's event loop served.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform {

// A failed system call; what() is "System Error.  Code: <errno>.\r\n<message>".
class SystemError : public std::runtime_error {
 public:
  explicit SystemError(int code);
  int code() const { return code_; }

 private:
  int code_;
};

// $COMSPEC when set and not empty, else /bin/sh.
std::string CommandInterpreter();

// text single-quoted for sh: a ' inside becomes '\''.
std::string ShellQuote(const std::string& text);

// Starts argv[0] (a path, not searched on PATH) with argv and the caller's
// environment, and waits for it. While it runs, serve_events is called about every
// 10 ms; the call returns as soon as the child has ended. The result is the exit
// status, or 128 + the signal number for a child ended by a signal. Throws
// SystemError when the process cannot be started.
int RunAndWait(const std::vector<std::string>& argv, const std::function<void()>& serve_events);

}  // namespace platform
