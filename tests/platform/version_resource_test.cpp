#include "platform/version_resource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/paths.h"
#include "tests/platform/pe_fixture.h"

namespace {

std::string TempPath(const std::string& name) {
  return std::string(TEST_BINARY_DIR) + "/test-output/version_resource_" + std::to_string(getpid()) + "_" + name;
}

// The test program embeds version 2.5.7.9 (see tests/platform/CMakeLists.txt).
TEST(VersionResource, ReadsTheBlockEmbeddedInOurOwnProgram) {
  std::string block = platform::ReadVersionInfoBlock(platform::ExecutablePath());
  auto info = platform::QueryFixedFileInfo(block);
  ASSERT_TRUE(info.has_value());
  EXPECT_EQ(info->file_version_ms, (2u << 16) | 5u);
  EXPECT_EQ(info->file_version_ls, (7u << 16) | 9u);
}

TEST(VersionResource, ReadsTheVersionResourceOfPeFiles) {
  for (bool wide : {false, true}) {
    SCOPED_TRACE(wide ? "PE32+" : "PE32");
    std::string path = TempPath(wide ? "wide.exe" : "narrow.exe");
    pe_fixture::WriteFile(path, pe_fixture::PeFile(pe_fixture::VersionBlock(3, 1, 2, 15), wide));
    auto info = platform::QueryFixedFileInfo(platform::ReadVersionInfoBlock(path));
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->file_version_ms, (3u << 16) | 1u);
    EXPECT_EQ(info->file_version_ls, (2u << 16) | 15u);
    unlink(path.c_str());
  }
}

TEST(VersionResource, FilesWithoutAVersionResourceGiveNoBlock) {
  std::string full = pe_fixture::PeFile(pe_fixture::VersionBlock(1, 2, 3, 4));
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"PE without RT_VERSION", pe_fixture::PeFile("")},
      {"PE cut inside its resources", full.substr(0, 0x420)},
      {"PE header only", full.substr(0, 0x90)},
      {"text file", "just some text, not a program\n"},
      {"empty file", ""},
      {"MZ with a wild header offset", std::string("MZ") + std::string(0x3A, '\0') + "\xff\xff\xff\x7f"},
      {"ELF header only", std::string("\x7f" "ELF\x02\x01\x01", 7) + std::string(57, '\xff')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = TempPath("none.bin");
    pe_fixture::WriteFile(path, c.bytes);
    EXPECT_EQ(platform::ReadVersionInfoBlock(path), "");
    unlink(path.c_str());
  }
  EXPECT_EQ(platform::ReadVersionInfoBlock(TempPath("missing.exe")), "");
}

TEST(VersionResource, RejectsMalformedBlocks) {
  std::string good = pe_fixture::VersionBlock(1, 2, 3, 4);
  ASSERT_TRUE(platform::QueryFixedFileInfo(good).has_value());
  std::string bad_signature = good;
  bad_signature[40] = 0;
  std::string bad_key = good;
  bad_key[6] = 'X';
  std::string no_value = good;
  no_value[2] = 0;
  for (const std::string& block : {bad_signature, bad_key, no_value, good.substr(0, 80), std::string()})
    EXPECT_FALSE(platform::QueryFixedFileInfo(block).has_value());
}

}  // namespace
