// The wizard's step machine, its downloads, the folder chooser and link opening.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace verilo {

// Runs steps until one waits for the user, then ends the process on a negative
// exit code and closes the window after the final step. A call made while steps
// are already running is ignored.
void RunSteps();

// Runs one step; true when the next step follows at once.
bool DoStep(int Step);

// Downloads Url into Target (TempDir + "verilo.tmp" when empty), deleting Target
// first; with progress, the window's progress bar follows and Cancel stops it.
bool DownloadFile(const std::string& Url, const std::string& Target, bool WithProgress);

// Asks the user for a folder; empty when the dialog was cancelled. Flags 1 asks for
// file-system folders only (the only kind there is here).
std::string SelectFolder(const std::string& Title, unsigned Flags);

// Centres the folder dialog on the screen's work area once it is set up.
int BrowseCallback(QWidget* Window, unsigned Message);

// Hands an address to the system: only http, https and mailto addresses, or the
// file the wizard saved itself; anything else is ignored.
void OpenUrl(const std::string& Address);

// True when OpenUrl would hand Address to the system.
bool IsOpenableAddress(const std::string& Address);

// The two connection probes: a large public download site and the maker's site,
// each with "/robots.txt". VERILO_PROBE_BASE, when set, replaces both hosts.
std::string DownloadSiteProbeUrl();
std::string MakerSiteProbeUrl();

// Where OpenUrl hands addresses; by default the desktop's handler. Tests record.
void SetUrlOpener(std::function<void(const std::string&)> opener);

// The update file name refused as a download target: empty, "." or "..".
bool IsUsableFileName(const std::string& FileName);

}  // namespace verilo
