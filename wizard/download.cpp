#include "wizard/download.h"

#include <curl/curl.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace verilo {
namespace {

struct Transfer {
  std::FILE* out = nullptr;
  bool write_failed = false;
  const DownloadProgressFn* progress = nullptr;
};

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  size_t n = size * count;
  if (std::fwrite(data, 1, n, t->out) != n) {
    t->write_failed = true;
    return 0;  // makes curl stop with CURLE_WRITE_ERROR
  }
  return n;
}

int Progress(void* user, curl_off_t dltotal, curl_off_t dlnow, curl_off_t, curl_off_t) {
  auto* t = static_cast<Transfer*>(user);
  if (t->progress && *t->progress &&
      (*t->progress)(uint64_t(dlnow < 0 ? 0 : dlnow), uint64_t(dltotal < 0 ? 0 : dltotal)))
    return 1;  // cancels with CURLE_ABORTED_BY_CALLBACK
  return 0;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

bool CurlDownload(const std::string& url, const std::string& target, const DownloadProgressFn& progress,
                  long stall_seconds) {
  GlobalInit();
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return false;
  // "x": never write through a file that is already there (the caller removed it).
  std::FILE* out = std::fopen(target.c_str(), "wbx");
  if (!out) return false;
  Transfer t{out, false, &progress};
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https,ftp,ftps");
  curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(c, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
  curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_USERAGENT, "Verilo");
  // A stalled server must not hold the wizard forever.
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, stall_seconds);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, stall_seconds);
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  CURLcode rc = curl_easy_perform(c);
  bool closed = std::fclose(out) == 0;
  bool ok = rc == CURLE_OK && closed && !t.write_failed;
  if (!ok) std::remove(target.c_str());
  return ok;
}

}  // namespace verilo
