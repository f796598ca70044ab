// File downloads over HTTP(S) with libcurl.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace verilo {

// Called while a download runs with the bytes received and the expected total (0
// when unknown); returning true cancels the download.
using DownloadProgressFn = std::function<bool(uint64_t received, uint64_t total)>;

// A download with no data for this many seconds counts as failed.
inline constexpr long kStallSeconds = 60;

// Downloads url into target (which must not exist; it is created new). Redirects
// are followed (to http and https only), TLS certificates are verified, an HTTP
// error status fails. A failed or cancelled download leaves no target behind.
bool CurlDownload(const std::string& url, const std::string& target, const DownloadProgressFn& progress,
                  long stall_seconds = kStallSeconds);

}  // namespace verilo
