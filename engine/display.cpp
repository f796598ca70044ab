#include "engine/display.h"

#include "platform/event_log.h"

namespace trawlex {
namespace {

Display headless;
Display* current = &headless;
std::function<void()> event_hook;

}  // namespace

void Display::ShowMessage(const std::string& text) {
  platform::WriteStderr(text);
  platform::LogSystemError(text);
}

Display& CurrentDisplay() { return *current; }
void SetDisplay(Display* display) { current = display ? display : &headless; }

void ServePendingEvents() {
  if (event_hook) event_hook();
}
void SetEventHook(std::function<void()> hook) { event_hook = std::move(hook); }

}  // namespace trawlex
