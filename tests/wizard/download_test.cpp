#include "wizard/download.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/files.h"
#include "tests/wizard/loopback_server.h"

namespace verilo {
namespace {

using verilo_test::HttpResponse;
using verilo_test::LoopbackServer;

class CurlDownloadTest : public ::testing::Test {
 protected:
  std::string target = std::string(TEST_BINARY_DIR) + "/test-output/download_" + std::to_string(getpid()) + ".bin";
  void TearDown() override { unlink(target.c_str()); }
  LoopbackServer server;
};

TEST_F(CurlDownloadTest, SavesEveryByteAndFollowsRedirects) {
  std::string body;
  for (int i = 0; i < 300000; ++i) body += char(i * 7);
  server.Set("/file.bin", {200, body});
  server.Set("/moved", {302, "", "/file.bin"});
  for (const char* path : {"/file.bin", "/moved"}) {
    SCOPED_TRACE(path);
    uint64_t last = 0, total = 0;
    ASSERT_TRUE(CurlDownload(server.Url(path), target, [&](uint64_t now, uint64_t all) {
      last = now, total = all;
      return false;
    }));
    EXPECT_EQ(platform::ReadWholeFile(target), body);
    EXPECT_EQ(last, body.size());
    EXPECT_EQ(total, body.size());
    unlink(target.c_str());
  }
}

TEST_F(CurlDownloadTest, FailuresLeaveNoFileBehind) {
  server.Set("/error", {500, "server error page"});
  server.Set("/to-file", {302, "", "file:///etc/passwd"});
  const std::string urls[] = {
      server.Url("/missing"),   // 404
      server.Url("/error"),     // 500
      server.Url("/to-file"),   // redirect to a local file: refused
      "file:///etc/passwd",     // a local file is no download
      "http://127.0.0.1:1/x",   // nothing listens
      "not a url",
  };
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    EXPECT_FALSE(CurlDownload(url, target, nullptr));
    EXPECT_FALSE(platform::FileExists(target));
  }
}

TEST_F(CurlDownloadTest, CancelAndStallEndTheDownload) {
  std::string body(4 << 20, 'x');
  server.Set("/slow", {200, body, "", 8192, 20});
  int calls = 0;
  EXPECT_FALSE(CurlDownload(server.Url("/slow"), target, [&](uint64_t now, uint64_t) { return ++calls > 1 && now > 0; }));
  EXPECT_FALSE(platform::FileExists(target));

  // A server that stops sending counts as failed after the stall time (here 2 s).
  server.Set("/stall", {200, body, "", 0, 0, 1000});
  EXPECT_FALSE(CurlDownload(server.Url("/stall"), target, nullptr, 2));
  EXPECT_FALSE(platform::FileExists(target));
}

TEST_F(CurlDownloadTest, NeverWritesThroughAnExistingTarget) {
  server.Set("/file.bin", {200, "new"});
  ASSERT_EQ(symlink("/nonexistent-target-of-a-planted-link", target.c_str()), 0);
  EXPECT_FALSE(CurlDownload(server.Url("/file.bin"), target, nullptr));
  char buf[256];
  EXPECT_GT(readlink(target.c_str(), buf, sizeof buf), 0);  // the link is left as it was
}

}  // namespace
}  // namespace verilo
