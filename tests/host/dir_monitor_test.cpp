// TDirMonitor on real inotify, temporary folders and a real QCoreApplication loop.
#include "host/dir_monitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <thread>

namespace trawlex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Seen {
  TAction action;
  std::string name;
  bool operator==(const Seen&) const = default;
};

void PrintTo(const Seen& s, std::ostream* os) {
  static const char* names[] = {"added", "removed", "modified", "renamed-old", "renamed-new"};
  *os << names[s.action] << " " << s.name;
}

void WriteFile(const fs::path& path, const std::string& content = "x") {
  std::ofstream(path, std::ios::binary) << content;
}

std::size_t OpenDescriptors() {
  std::size_t n = 0;
  for (auto it = fs::directory_iterator("/proc/self/fd"); it != fs::directory_iterator(); ++it) ++n;
  return n;
}

fs::path MakeTempDir() {
  std::string templ = (fs::temp_directory_path() / "dirmon-XXXXXX").string();
  return fs::path(mkdtemp(templ.data()));
}

const TActionFilter kAllActions = {faADDED, faREMOVED, faMODIFIED, faRENAMED_OLD_NAME,
                                   faRENAMED_NEW_NAME};

class DirMonitorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char arg0[] = "dir_monitor_test";
    static char* argv[] = {arg0, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
  }

  void SetUp() override {
    root_ = MakeTempDir();
    outside_ = MakeTempDir();
    monitor_ = std::make_unique<TDirMonitor>();
    monitor_->Directory = root_.string();
    monitor_->OnChange = [this](TDirMonitor* sender, TAction action, const std::string& name) {
      EXPECT_EQ(sender, monitor_.get());
      if (std::this_thread::get_id() != main_thread_) off_main_thread_ = true;
      seen_.push_back({action, name});
      if (after_each_) after_each_(name);
    };
  }

  void TearDown() override {
    monitor_.reset();
    fs::remove_all(root_);
    fs::remove_all(outside_);
    EXPECT_FALSE(off_main_thread_) << "a handler ran off the main thread";
  }

  void Start(TFilter notify = {nfFILE_NAME}, TActionFilter actions = kAllActions,
             bool subtree = false) {
    monitor_->FilterNotification = notify;
    monitor_->FilterAction = actions;
    monitor_->WatchSubtree = subtree;
    monitor_->SetActive(true);
    ASSERT_TRUE(monitor_->Active());
  }

  // Serves the event loop until pred holds or a generous deadline passes.
  static bool WaitFor(const std::function<bool()>& pred, std::chrono::seconds limit = 20s) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }

  // Serves the event loop for a while, to let reports that should not come show up.
  static void Settle(std::chrono::milliseconds span = 300ms) {
    auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(1ms);
    }
  }

  bool SawName(const std::string& name) const {
    for (const Seen& s : seen_)
      if (s.name == name) return true;
    return false;
  }

  // The names of expected not reported exactly once, and names reported unasked.
  std::string NotReportedOnce(const std::set<std::string>& expected) const {
    std::map<std::string, int> count;
    for (const std::string& name : expected) count[name] = 0;
    for (const Seen& s : seen_) ++count[s.name];
    std::string text;
    for (const auto& [name, n] : count)
      if (n != 1 || !expected.contains(name)) text += name + " x" + std::to_string(n) + "; ";
    return text;
  }

  // Creates a marker file last and waits for it: every report before it has arrived.
  void Flush() {
    const std::string marker = "~end" + std::to_string(++markers_);
    WriteFile(root_ / marker);
    ASSERT_TRUE(WaitFor([&] { return SawName(marker); }));
    Settle(50ms);
    std::erase_if(seen_, [](const Seen& s) { return s.name.starts_with("~end"); });
  }

  fs::path root_, outside_;
  std::unique_ptr<TDirMonitor> monitor_;
  std::vector<Seen> seen_;
  std::function<void(const std::string&)> after_each_;
  std::thread::id main_thread_ = std::this_thread::get_id();
  bool off_main_thread_ = false;
  int markers_ = 0;
};

// --- Which changes are reported, and how -------------------------------------------

struct ChangeCase {
  const char* label;
  TFilter notify;
  TActionFilter actions;
  bool subtree;
  std::function<void(const fs::path& root, const fs::path& outside)> prepare, act;
  std::vector<Seen> expected;
};

TEST_F(DirMonitorTest, ReportsEachChangeAsMappedAndFiltered) {
  const TActionFilter form_actions = {faADDED};
  auto nothing = [](const fs::path&, const fs::path&) {};
  const std::vector<ChangeCase> cases = {
      {"file created, form settings", {nfFILE_NAME}, form_actions, false, nothing,
       [](auto& r, auto&) { WriteFile(r / "a.msg"); }, {{faADDED, "a.msg"}}},
      {"several changes in record order", {nfFILE_NAME}, kAllActions, false, nothing,
       [](auto& r, auto&) {
         WriteFile(r / "a");
         WriteFile(r / "b");
         fs::remove(r / "a");
         WriteFile(r / "c");
       },
       {{faADDED, "a"}, {faADDED, "b"}, {faREMOVED, "a"}, {faADDED, "c"}}},
      {"rename inside", {nfFILE_NAME}, kAllActions, false,
       [](auto& r, auto&) { WriteFile(r / "a"); },
       [](auto& r, auto&) { fs::rename(r / "a", r / "b"); },
       {{faRENAMED_OLD_NAME, "a"}, {faRENAMED_NEW_NAME, "b"}}},
      {"rename inside, form filter drops it", {nfFILE_NAME}, form_actions, false,
       [](auto& r, auto&) { WriteFile(r / "a"); },
       [](auto& r, auto&) { fs::rename(r / "a", r / "b.msg"); }, {}},
      {"moved in from outside", {nfFILE_NAME}, kAllActions, false,
       [](auto&, auto& o) { WriteFile(o / "m.msg"); },
       [](auto& r, auto& o) { fs::rename(o / "m.msg", r / "m.msg"); }, {{faADDED, "m.msg"}}},
      {"moved out", {nfFILE_NAME}, kAllActions, false,
       [](auto& r, auto&) { WriteFile(r / "m"); },
       [](auto& r, auto& o) { fs::rename(r / "m", o / "m"); }, {{faREMOVED, "m"}}},
      {"written to, with nfLAST_WRITE", {nfFILE_NAME, nfLAST_WRITE}, kAllActions, false,
       [](auto& r, auto&) { WriteFile(r / "w"); },
       [](auto& r, auto&) { std::ofstream(r / "w", std::ios::app) << "more"; },
       {{faMODIFIED, "w"}}},
      {"written to, file names only", {nfFILE_NAME}, kAllActions, false,
       [](auto& r, auto&) { WriteFile(r / "w"); },
       [](auto& r, auto&) { std::ofstream(r / "w", std::ios::app) << "more"; }, {}},
      {"folder made, file names only", {nfFILE_NAME}, kAllActions, false, nothing,
       [](auto& r, auto&) { fs::create_directory(r / "d"); }, {}},
      {"folder made, with nfDIR_NAME", {nfFILE_NAME, nfDIR_NAME}, kAllActions, false, nothing,
       [](auto& r, auto&) { fs::create_directory(r / "d"); }, {{faADDED, "d"}}},
      {"file in a subfolder, subtree", {nfFILE_NAME}, form_actions, true,
       [](auto& r, auto&) { fs::create_directories(r / "sub/deep"); },
       [](auto& r, auto&) { WriteFile(r / "sub/deep/x.msg"); }, {{faADDED, "sub/deep/x.msg"}}},
      {"file in a subfolder, no subtree", {nfFILE_NAME}, form_actions, false,
       [](auto& r, auto&) { fs::create_directories(r / "sub"); },
       [](auto& r, auto&) { WriteFile(r / "sub/x.msg"); }, {}},
      {"subfolder renamed keeps its watch under the new name", {nfFILE_NAME}, form_actions, true,
       [](auto& r, auto&) { fs::create_directories(r / "sub/deep"); },
       [](auto& r, auto&) {
         fs::rename(r / "sub", r / "moved");
         WriteFile(r / "moved/deep/x");
       },
       {{faADDED, "moved/deep/x"}}},
      {"subfolder moved out is no longer watched", {nfFILE_NAME}, form_actions, true,
       [](auto& r, auto&) { fs::create_directories(r / "sub"); },
       [](auto& r, auto& o) {
         fs::rename(r / "sub", o / "sub");
         WriteFile(o / "sub/x");
       },
       {}},
  };
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.label);
    c.prepare(root_, outside_);
    Start(c.notify, c.actions, c.subtree);
    c.act(root_, outside_);
    Flush();
    EXPECT_EQ(seen_, c.expected);
    monitor_->SetActive(false);
    seen_.clear();
    for (const fs::path& dir : {root_, outside_})
      for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
  }
}

// A folder that appears while the subtree is watched is reported with what it holds:
// files that were there before its watch existed, and files that keep coming while the
// watch is added and the folder listed, each exactly once.
TEST_F(DirMonitorTest, NewSubfolderContentsReportedExactlyOnce) {
  struct Case {
    const char* label;
    bool moved_in;
  };
  for (const Case& c : {Case{"made in place", false}, Case{"moved in whole", true}}) {
    SCOPED_TRACE(c.label);
    Start({nfFILE_NAME}, {faADDED}, true);
    // Keep the worker waiting for the main thread, so that the folder fills up before
    // the worker sees it.
    WriteFile(root_ / "first");
    std::this_thread::sleep_for(300ms);
    const fs::path base = c.moved_in ? outside_ : root_;
    std::set<std::string> expected = {"first"};
    auto add = [&](const fs::path& dir, const std::string& rel) {
      WriteFile(dir / rel);
      expected.insert(rel);
    };
    fs::create_directories(base / "new/deeper");
    for (int i = 0; i < 300; ++i) add(base, "new/f" + std::to_string(i));
    for (int i = 0; i < 50; ++i) add(base, "new/deeper/g" + std::to_string(i));
    if (c.moved_in) fs::rename(outside_ / "new", root_ / "new");
    // More files, and more folders, while the worker adds watches and lists.
    std::thread writer([&] {
      for (int i = 0; i < 600; ++i) {
        if (i % 150 == 0) fs::create_directory(root_ / ("new/later" + std::to_string(i)));
        add(root_, "new/w" + std::to_string(i));
        add(root_, "new/later" + std::to_string(i - i % 150) + "/h" + std::to_string(i));
      }
    });
    Settle(100ms);
    writer.join();
    Flush();
    EXPECT_EQ(NotReportedOnce(expected), "");
    monitor_->SetActive(false);
    seen_.clear();
    fs::remove_all(root_ / "new");
    fs::remove(root_ / "first");
  }
}

TEST_F(DirMonitorTest, BurstOfTenThousandFilesReportedOnceEach) {
  int overflows = 0;
  monitor_->OnOverflow = [&](TDirMonitor*) { ++overflows; };
  Start({nfFILE_NAME}, {faADDED});
  constexpr int kFiles = 10000;
  std::set<std::string> expected;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "m" + std::to_string(i) + ".msg";
    WriteFile(root_ / name);
    expected.insert(name);
  }
  ASSERT_TRUE(WaitFor([&] { return seen_.size() >= kFiles; }, 120s)) << seen_.size();
  Flush();
  EXPECT_EQ(NotReportedOnce(expected), "");
  EXPECT_EQ(overflows, 0);
}

// The kernel's queue overflows while the main thread is busy: the user hears of it on
// the main thread, and a folder made during the loss is watched afterwards.
TEST_F(DirMonitorTest, OverflowIsSignalledAndLostFoldersGetWatched) {
  long queue = 0;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queue;
  if (queue <= 0 || queue > 200000) GTEST_SKIP() << "kernel queue of " << queue << " records";
  int overflows = 0;
  monitor_->OnOverflow = [&](TDirMonitor* sender) {
    EXPECT_EQ(sender, monitor_.get());
    EXPECT_EQ(std::this_thread::get_id(), main_thread_);
    ++overflows;
  };
  Start({nfFILE_NAME}, {faADDED}, true);
  WriteFile(root_ / "first");
  std::this_thread::sleep_for(300ms);  // the worker now waits for the main thread
  for (long i = 0; i < queue + 100; ++i) WriteFile(root_ / ("f" + std::to_string(i)));
  fs::create_directory(root_ / "late");
  ASSERT_TRUE(WaitFor([&] { return overflows > 0; }, 120s));
  WriteFile(root_ / "late/x.msg");
  EXPECT_TRUE(WaitFor([&] { return SawName("late/x.msg"); }));
  EXPECT_EQ(overflows, 1);
}

// The engine serves events with processEvents from inside a timer slot while it waits
// for SpamAssassin; reports must arrive there too.
TEST_F(DirMonitorTest, ReportsArriveInsideNestedEventProcessing) {
  Start({nfFILE_NAME}, {faADDED});
  bool delivered_nested = false;
  QTimer::singleShot(0, [&] {
    WriteFile(root_ / "during.msg");
    delivered_nested = WaitFor([&] { return SawName("during.msg"); });
    QCoreApplication::quit();
  });
  QCoreApplication::exec();
  EXPECT_TRUE(delivered_nested);
  EXPECT_EQ(seen_, (std::vector<Seen>{{faADDED, "during.msg"}}));
}

// --- Activation and deactivation ---------------------------------------------------

TEST_F(DirMonitorTest, FailedActivationRaisesLeavesInactiveAndLeaksNothing) {
  struct Case {
    const char* label;
    std::function<void()> arrange, restore;
    const char* message;
    bool invalid_operation;
  };
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  const std::vector<Case> cases = {
      {"missing folder", [&] { monitor_->Directory = (root_ / "missing").string(); }, [] {},
       "No se ha encontrado el directorio", true},
      {"a file, not a folder",
       [&] {
         WriteFile(root_ / "file");
         monitor_->Directory = (root_ / "file").string();
       },
       [] {}, "No se ha encontrado el directorio", true},
      {"no descriptor left for the instance",
       [&] {
         // The folder check and the inotify instance get the one descriptor left; the
         // wake-up descriptor beside it finds none.
         int lowest = open("/dev/null", O_RDONLY);
         close(lowest);
         rlimit tight = saved;
         tight.rlim_cur = rlim_t(lowest + 1);
         setrlimit(RLIMIT_NOFILE, &tight);
       },
       [&] { setrlimit(RLIMIT_NOFILE, &saved); }, "Error en \"CreateIoCompletionPort\"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    monitor_->Directory = root_.string();
    const std::size_t before = OpenDescriptors();
    c.arrange();
    std::string message;
    bool invalid_operation = false;
    try {
      monitor_->SetActive(true);
    } catch (const EInvalidOperation& e) {
      message = e.what();
      invalid_operation = true;
    } catch (const std::exception& e) {
      message = e.what();
    }
    c.restore();
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(invalid_operation, c.invalid_operation);
    EXPECT_FALSE(monitor_->Active());
    EXPECT_EQ(OpenDescriptors(), before);
  }
  // The same monitor activates once the cause is gone.
  monitor_->Directory = root_.string();
  Start({nfFILE_NAME}, {faADDED});
  Flush();
}

TEST_F(DirMonitorTest, RepeatedActivationOrDeactivationHasNoEffect) {
  monitor_->SetActive(false);
  EXPECT_FALSE(monitor_->Active());
  Start({nfFILE_NAME}, {faADDED});
  monitor_->SetActive(true);  // must not start a second watch
  WriteFile(root_ / "once");
  Flush();
  EXPECT_EQ(seen_, (std::vector<Seen>{{faADDED, "once"}}));
  monitor_->SetActive(false);
  monitor_->SetActive(false);
  EXPECT_FALSE(monitor_->Active());
}

// A report the worker has already handed over, but the main thread has not served,
// belongs to the old watch and must not arrive after stop and start.
TEST_F(DirMonitorTest, StopAndStartDropsReportsOfTheOldWatch) {
  Start({nfFILE_NAME}, {faADDED});
  WriteFile(root_ / "old-1");
  std::this_thread::sleep_for(300ms);  // handed over, waiting for the main thread
  WriteFile(root_ / "old-2");          // still in the kernel's queue
  monitor_->SetActive(false);
  monitor_->SetActive(true);
  WriteFile(root_ / "new");
  Flush();
  Settle();
  EXPECT_EQ(seen_, (std::vector<Seen>{{faADDED, "new"}}));
}

// A handler that stops and starts the monitor ends the walk of the old batch: the
// reports after it in the same batch, and those still queued, are of the old watch.
TEST_F(DirMonitorTest, HandlerRestartingTheMonitorEndsTheOldBatch) {
  Start({nfFILE_NAME}, {faADDED});
  after_each_ = [&](const std::string& name) {
    if (name.starts_with("old")) {
      monitor_->SetActive(false);
      monitor_->SetActive(true);
    }
  };
  for (int i = 0; i < 50; ++i) WriteFile(root_ / ("old" + std::to_string(i)));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(WaitFor([&] { return !seen_.empty(); }));
  after_each_ = nullptr;
  WriteFile(root_ / "new");
  Flush();
  Settle();
  ASSERT_EQ(seen_.size(), 2u);
  EXPECT_EQ(seen_[0].name, "old0");
  EXPECT_EQ(seen_[1].name, "new");
  EXPECT_TRUE(monitor_->Active());
}

// --- Destruction --------------------------------------------------------------------

TEST_F(DirMonitorTest, DestroyedWhileTheWorkerWaitsForTheMainThread) {
  Start({nfFILE_NAME}, {faADDED});
  WriteFile(root_ / "pending");
  std::this_thread::sleep_for(300ms);  // handed over, waiting for the main thread
  monitor_.reset();                    // must neither hang nor leave a call behind
  Settle();
  EXPECT_TRUE(seen_.empty());
}

TEST_F(DirMonitorTest, DestroyedByItsOwnHandler) {
  Start({nfFILE_NAME}, {faADDED});
  after_each_ = [&](const std::string&) { monitor_.reset(); };
  for (int i = 0; i < 20; ++i) WriteFile(root_ / ("f" + std::to_string(i)));
  std::this_thread::sleep_for(300ms);
  ASSERT_TRUE(WaitFor([&] { return !seen_.empty(); }));
  Settle();
  EXPECT_EQ(seen_.size(), 1u);
  EXPECT_EQ(monitor_, nullptr);
}

// --- Handler failures ----------------------------------------------------------------

TEST_F(DirMonitorTest, HandlerExceptionIsReportedAndReportsGoOn) {
  for (bool own_reporter : {true, false}) {
    SCOPED_TRACE(own_reporter ? "OnError set" : "default report");
    std::vector<std::string> errors;
    monitor_->OnError = own_reporter
                            ? std::function<void(const std::string&)>(
                                  [&](const std::string& text) { errors.push_back(text); })
                            : nullptr;
    after_each_ = [](const std::string& name) {
      if (name == "bad") throw std::runtime_error("handler failed on bad");
    };
    if (!own_reporter) testing::internal::CaptureStderr();
    Start({nfFILE_NAME}, {faADDED});
    WriteFile(root_ / "bad");
    WriteFile(root_ / "good");
    Flush();
    std::string stderr_text = own_reporter ? "" : testing::internal::GetCapturedStderr();
    EXPECT_EQ(seen_, (std::vector<Seen>{{faADDED, "bad"}, {faADDED, "good"}}));
    if (own_reporter)
      EXPECT_EQ(errors, std::vector<std::string>{"handler failed on bad"});
    else
      EXPECT_NE(stderr_text.find("handler failed on bad"), std::string::npos) << stderr_text;
    monitor_->SetActive(false);
    seen_.clear();
    fs::remove(root_ / "bad");
    fs::remove(root_ / "good");
  }
}

TEST(DirMonitorFilter, NotifyFilterWordAndDefaults) {
  TDirMonitor monitor;
  EXPECT_EQ(monitor.Directory, "/");
  EXPECT_FALSE(monitor.WatchSubtree);
  EXPECT_EQ(monitor.FilterNotification, TFilter({nfFILE_NAME}));
  EXPECT_EQ(monitor.FilterAction, kAllActions);
  EXPECT_FALSE(monitor.Active());
  const std::vector<std::pair<TFilter, uint32_t>> cases = {
      {{}, 0x0},
      {{nfFILE_NAME}, 0x1},
      {{nfDIR_NAME, nfSIZE}, 0xA},
      {{nfSECURITY, nfCREATION}, 0x140},
      {{nfFILE_NAME, nfDIR_NAME, nfATTRIBUTES, nfSIZE, nfLAST_WRITE, nfLAST_ACCESS, nfCREATION,
        nfSECURITY},
       0x17F},
  };
  for (const auto& [filter, word] : cases) {
    monitor.FilterNotification = filter;
    monitor.UpdateNotifyFilter();
    EXPECT_EQ(monitor.NotifyFilter(), word);
  }
}

}  // namespace
}  // namespace trawlex
