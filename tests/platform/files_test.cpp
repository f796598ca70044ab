#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

using namespace platform;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

TEST(Files, Crc32OfKnownContents) {
  TempDir dir;
  struct Case {
    std::string content;
    uint32_t crc;
  } cases[] = {
      {"", 0},
      {"123456789", 0xCBF43926u},
      {"a", 0xE8B7BE43u},
      // Longer than one 32768-byte block, so blocks are chained correctly.
      {std::string(100000, 'x'), 0xFE071171u},
  };
  for (const Case& c : cases) {
    WriteFile(dir / "f", c.content);
    EXPECT_EQ(FileCrc32(dir / "f"), c.crc) << c.content.size() << " bytes";
  }
  EXPECT_THROW(FileCrc32(dir / "missing"), IoError);
  EXPECT_THROW(FileSizeOf(dir / "missing"), IoError);
}

TEST(Files, CopyReplacesWholeFileAndNeverWritesThroughALink) {
  TempDir dir;
  WriteFile(dir / "src", "new content");
  WriteFile(dir / "victim", "must stay");
  ASSERT_EQ(symlink((dir / "victim").c_str(), (dir / "dst").c_str()), 0);

  ASSERT_TRUE(CopyFileReplacing(dir / "src", dir / "dst"));
  EXPECT_EQ(ReadFile(dir / "dst"), "new content");
  EXPECT_EQ(ReadFile(dir / "victim"), "must stay");
  struct stat st;
  ASSERT_EQ(lstat((dir / "dst").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  ASSERT_TRUE(CopyFileReplacing(dir / "src", dir / "a/b/c.txt"));  // folders are created
  EXPECT_EQ(ReadFile(dir / "a/b/c.txt"), "new content");
  EXPECT_FALSE(CopyFileReplacing(dir / "missing", dir / "x"));
  EXPECT_FALSE(Exists(dir / "x"));
}

TEST(Files, CopyFailureLeavesNoTemporaryBehind) {
  TempDir dir;
  WriteFile(dir / "src", "content");
  ASSERT_EQ(mkdir((dir / "target").c_str(), 0755), 0);
  // A directory in the way: the final rename fails.
  ASSERT_EQ(mkdir((dir / "target/dst").c_str(), 0755), 0);
  WriteFile(dir / "target/dst/inside", "");
  EXPECT_FALSE(CopyFileReplacing(dir / "src", dir / "target/dst"));
  std::vector<std::string> left;
  for (auto& e : std::filesystem::directory_iterator(dir / "target")) left.push_back(e.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"dst"});
}

TEST(Files, InUseWhileAnyDescriptorIsOpen) {
  TempDir dir;
  std::string f = dir / "msg";
  WriteFile(f, "x");
  EXPECT_FALSE(IsFileInUse(f));
  EXPECT_FALSE(IsFileInUse(dir / "missing"));
  {
    int fd = open(f.c_str(), O_WRONLY);
    EXPECT_TRUE(IsFileInUse(f));
    close(fd);
  }
  EXPECT_FALSE(IsFileInUse(f));
  // Held by another process.
  pid_t child = fork();
  if (child == 0) {
    int fd = open(f.c_str(), O_RDONLY);
    (void)fd;
    sleep(30);
    _exit(0);
  }
  for (int i = 0; i < 200 && !IsFileInUse(f); ++i) usleep(10000);
  EXPECT_TRUE(IsFileInUse(f));
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(IsFileInUse(f));
}

TEST(Files, AppendsFromManyWritersNeverInterleaveWithinALine) {
  TempDir dir;
  std::string log = dir / "log";
  const int writers = 4, lines = 2000;
  std::vector<std::thread> threads;
  for (int w = 0; w < writers; ++w)
    threads.emplace_back([&, w] {
      std::string line = std::string(200, char('a' + w)) + "\r\n";
      for (int i = 0; i < lines; ++i) AppendWhole(log, line);
    });
  for (auto& t : threads) t.join();
  std::istringstream in(ReadFile(log));
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ASSERT_EQ(line.size(), 201u);
    ASSERT_EQ(line.find_first_not_of(line[0]), 200u);
    ++count;
  }
  EXPECT_EQ(count, writers * lines);
  EXPECT_FALSE(AppendWhole(dir / "no/such/dir/log", "x"));
}

TEST(Files, PrivateTempDirRefusesWhatIsNotOurs) {
  TempDir dir;
  setenv("TMPDIR", dir.path().c_str(), 1);
  std::string uid = std::to_string(geteuid());

  std::string ok = PrivateTempDir("prog");
  EXPECT_EQ(ok, dir / ("prog-" + uid + "/"));
  struct stat st;
  ASSERT_EQ(stat(ok.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  chmod(ok.c_str(), 0777);  // widened: narrowed again
  PrivateTempDir("prog");
  ASSERT_EQ(stat(ok.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  ASSERT_EQ(mkdir((dir / "elsewhere").c_str(), 0700), 0);
  ASSERT_EQ(symlink((dir / "elsewhere").c_str(), (dir / ("planted-" + uid)).c_str()), 0);
  EXPECT_THROW(PrivateTempDir("planted"), UnsafeFolderError);

  WriteFile(dir / ("file-" + uid), "");
  EXPECT_THROW(PrivateTempDir("file"), UnsafeFolderError);

  if (geteuid() == 0) {
    ASSERT_EQ(mkdir((dir / ("foreign-" + uid)).c_str(), 0700), 0);
    ASSERT_EQ(chown((dir / ("foreign-" + uid)).c_str(), 65534, 65534), 0);
    EXPECT_THROW(PrivateTempDir("foreign"), UnsafeFolderError);
  }
  unsetenv("TMPDIR");
}

}  // namespace
