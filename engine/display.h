// The engine's only ways out to the screen and the event loop. The window installs a
// Display that fills its controls and a hook that serves its pending events; the
// headless program keeps the defaults, which write messages to stderr and syslog.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "engine/activity_log.h"

namespace trawlex {

// Colour of the state indicator: red (off), green (on, idle), yellow (working).
enum class Indicator { Red, Green, Yellow };

struct QueueEntry {
  std::string path;
  std::string status;  // "Waiting for processing" or "Processing"
};

struct Statistics {
  int processed = 0, skipped = 0, spam = 0, non_spam = 0, ignored = 0;
  int spam_meter = 0;  // 0 to 100
};

class Display {
 public:
  virtual ~Display() = default;
  virtual void ShowIndicator(Indicator) {}
  virtual void ShowMonitorCaption(const std::string&) {}
  virtual void ShowStatusLine(const std::string&) {}
  virtual void ShowLastResult(const std::string&) {}
  virtual void ShowQueue(const std::deque<QueueEntry>&) {}
  virtual void ShowStatistics(const Statistics&) {}
  virtual void ShowRecentActivity(const std::deque<ActivityEntry>&) {}
  // A modal message (the settings check, an error report); returns once it is closed.
  virtual void ShowMessage(const std::string& text);
};

// The display in use; the headless default unless SetDisplay installed another.
Display& CurrentDisplay();
// Installs display (nullptr restores the headless default). Not owned.
void SetDisplay(Display* display);

// Serves the event loop's pending events; a no-op until a hook is installed.
void ServePendingEvents();
void SetEventHook(std::function<void()> hook);

}  // namespace trawlex
