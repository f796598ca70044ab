#include "engine/queue.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "engine_fixture.h"

using namespace trawlex;
using testing_support::EngineTest;
using testing_support::Exists;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class FakeMonitorHost : public MonitorHost {
 public:
  void ActivateWatcher(const std::string& d, bool subtree) override {
    directory = d;
    this->subtree = subtree;
    active = true;
  }
  void DeactivateWatcher() override { active = false; }
  bool WatcherActive() const override { return active; }
  void EnableTimer(bool enabled) override { timer = enabled; }
  std::string directory;
  bool subtree = false, active = false, timer = false;
};

class QueueTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    MessageQueue.clear();
    CycleBusy = false;
    SetMonitorHost(&host);
    IniRec.SpamAction = saIgnore;
  }
  void TearDown() override {
    SetMonitorHost(nullptr);
    unsetenv("COMSPEC");
    EngineTest::TearDown();
  }
  std::vector<std::string> QueuedPaths() const {
    std::vector<std::string> paths;
    for (const QueueEntry& e : MessageQueue) paths.push_back(e.path);
    return paths;
  }
  FakeMonitorHost host;
};

TEST_F(QueueTest, ExtensionFilterOnReportedNames) {
  mkdir((spool + "sub").c_str(), 0755);
  for (const char* name : {"abc.msg", "abc.MSG", "abc.ms", "noext", "sub/x.msg", "has.dot/none"}) Message(name);
  struct Case {
    const char* reported;
    std::string queued;  // empty: not queued
  } cases[] = {
      {"abc.msg", spool + "abc.msg"}, {"abc.MSG", ""},
      {"abc.ms", ""},                 {"noext", ""},
      {"abc.msgtmp", spool + "abc.msg"}, {"gone.msgtmp", ""},
      {"sub/x.msg", spool + "sub/x.msg"}, {"gone.msg", ""},
  };
  for (const Case& c : cases) {
    MessageQueue.clear();
    DirMonitor1Change(c.reported);
    EXPECT_EQ(QueuedPaths(), c.queued.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.queued})
        << c.reported;
  }
  EXPECT_EQ(display.queue.size(), 1u);
  EXPECT_EQ(display.queue.front().status, "Waiting for processing");
}

TEST_F(QueueTest, OwnFoldersInsideTheWatchedTreeAreIgnored) {
  trawlex::TempDir = spool + "tmp/";
  mkdir(trawlex::TempDir.c_str(), 0700);
  IniRec.MoveDir = spool + "moved";
  mkdir(IniRec.MoveDir.c_str(), 0755);
  Message("tmp/a.msg");
  Message("moved/spam_0.msg");
  Message("mail.msg");
  IniRec.SpamAction = saMove;
  for (const char* name : {"tmp/a.msg", "moved/spam_0.msg", "mail.msg"}) DirMonitor1Change(name);
  EXPECT_EQ(QueuedPaths(), std::vector<std::string>{spool + "mail.msg"});
  IniRec.SpamAction = saMark;  // the move folder holds mail of its own then
  MessageQueue.clear();
  DirMonitor1Change("moved/spam_0.msg");
  EXPECT_EQ(QueuedPaths(), std::vector<std::string>{spool + "moved/spam_0.msg"});
}

TEST_F(QueueTest, SpamMeterInExtendedPrecision) {
  struct Case {
    int spam, processed, meter;
  } cases[] = {{1, 8, 12}, {3, 8, 38}, {1, 3, 33}, {2, 3, 67}, {0, 5, 0}, {4, 4, 100}, {23, 40, 58}, {59, 200, 29}};
  for (const Case& c : cases) EXPECT_EQ(SpamMeter(c.spam, c.processed), c.meter) << c.spam << "/" << c.processed;
}

TEST_F(QueueTest, StartAndStopShowTheMonitorState) {
  IniRec.MonitorSubDirs = true;
  StartMonitor();
  EXPECT_TRUE(host.active && host.timer && host.subtree);
  EXPECT_EQ(host.directory, spool);
  EXPECT_EQ(display.indicators.back(), Indicator::Green);
  EXPECT_EQ(display.caption, "Stop monitor");
  EXPECT_EQ(display.status_lines.back(), "File monitor is active on: " + spool);
  StopMonitor();
  EXPECT_FALSE(host.active || host.timer);
  EXPECT_EQ(display.indicators.back(), Indicator::Red);
  EXPECT_EQ(display.caption, "Start monitor");
  EXPECT_EQ(display.status_lines.back(), "File monitor is paused.");

  IniRec.DirToMonitor = dir / "missing";
  StartMonitor();  // refused: nothing but the dialog changes
  EXPECT_FALSE(host.active);
  EXPECT_EQ(display.caption, "Start monitor");
  EXPECT_EQ(display.messages.size(), 1u);
}

TEST_F(QueueTest, OneTickWorksOffTheWholeQueue) {
  StartMonitor();
  for (int i = 0; i < 5; ++i) EnqueueMessage(Message("m" + std::to_string(i) + ".msg"));
  ProcessQueue();
  EXPECT_TRUE(MessageQueue.empty());
  EXPECT_TRUE(display.queue.empty());
  EXPECT_EQ(IniRec.ProcessedCount, 5);
  EXPECT_EQ(IniRec.SpamCount, 5);
  ASSERT_EQ(display.statistics.size(), 5u);
  EXPECT_EQ(display.statistics.back().spam_meter, 100);
  EXPECT_EQ(display.last_results.back(), "Spam message ignored.");
  EXPECT_EQ(display.status_lines.back(), "Idle.");
  EXPECT_EQ(display.indicators.back(), Indicator::Green);
  EXPECT_FALSE(CycleBusy);

  std::size_t shown = display.status_lines.size();
  ProcessQueue();  // an empty queue changes nothing on the screen
  EXPECT_EQ(display.status_lines.size(), shown);
}

TEST_F(QueueTest, EventsDuringAScanQueueBehindAndTicksAreTurnedAway) {
  UseClassifier(testing_support::kSpamHeaders, "sleep 0.3\n");
  StartMonitor();
  EnqueueMessage(Message("first.msg"));
  Message("late.msg");
  bool reported = false;
  std::vector<std::string> seen_during_scan;
  SetEventHook([&] {
    if (reported) return;
    reported = true;
    EXPECT_TRUE(CycleBusy);
    EXPECT_EQ(MessageQueue.front().status, "Processing");
    ProcessQueue();  // a tick during the cycle does nothing
    DirMonitor1Change("late.msg");
    seen_during_scan = QueuedPaths();
  });
  ProcessQueue();
  EXPECT_EQ(seen_during_scan, (std::vector<std::string>{spool + "first.msg", spool + "late.msg"}));
  EXPECT_TRUE(MessageQueue.empty());
  EXPECT_EQ(IniRec.ProcessedCount, 2);
  ASSERT_EQ(RecentActivity().size(), 2u);
  EXPECT_EQ(RecentActivity()[0].Message, spool + "late.msg");
}

TEST_F(QueueTest, StoppingDuringAMessageFinishesItAndKeepsTheRest) {
  UseClassifier(testing_support::kSpamHeaders, "sleep 0.2\n");
  StartMonitor();
  for (const char* n : {"a.msg", "b.msg", "c.msg"}) EnqueueMessage(Message(n));
  SetEventHook([&] {
    if (MonitorActive()) StopMonitor();
  });
  ProcessQueue();
  EXPECT_EQ(IniRec.ProcessedCount, 1);
  ASSERT_EQ(MessageQueue.size(), 2u);
  for (const QueueEntry& e : MessageQueue) EXPECT_EQ(e.status, "Waiting for processing");
  EXPECT_EQ(display.status_lines.back(), "Idle.");
  EXPECT_EQ(display.indicators.back(), Indicator::Red);
  EXPECT_FALSE(CycleBusy);

  SetEventHook(nullptr);
  StartMonitor();  // the rest is worked off after the next start
  ProcessQueue();
  EXPECT_TRUE(MessageQueue.empty());
  EXPECT_EQ(IniRec.ProcessedCount, 3);
}

TEST_F(QueueTest, AnErrorEndsTheCycleAndTheNextTickGoesOn) {
  StartMonitor();
  for (const char* n : {"a.msg", "b.msg", "c.msg"}) EnqueueMessage(Message(n));
  setenv("COMSPEC", (dir / "no/sh").c_str(), 1);
  ProcessQueue();
  ASSERT_EQ(display.messages.size(), 1u);
  EXPECT_EQ(display.messages[0], "Unable to find application sh");
  EXPECT_EQ(display.last_results.back(), "Unable to find application sh");
  EXPECT_EQ(QueuedPaths(), (std::vector<std::string>{spool + "b.msg", spool + "c.msg"}));
  EXPECT_FALSE(CycleBusy);
  EXPECT_EQ(IniRec.ProcessedCount, 1);

  unsetenv("COMSPEC");
  ProcessQueue();
  EXPECT_TRUE(MessageQueue.empty());
  EXPECT_EQ(IniRec.ProcessedCount, 3);
  EXPECT_EQ(IniRec.SpamCount, 2);
}

TEST_F(QueueTest, RescanQueuesOnlyMessagesNotQueuedYet) {
  mkdir((spool + "sub").c_str(), 0755);
  for (const char* n : {"a.msg", "b.msg", "c.txt", "sub/d.msg"}) Message(n);
  EnqueueMessage(spool + "a.msg");
  RescanMonitoredTree();
  std::vector<std::string> paths = QueuedPaths();
  std::sort(paths.begin() + 1, paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{spool + "a.msg", spool + "b.msg"}));
  IniRec.MonitorSubDirs = true;
  RescanMonitoredTree();
  EXPECT_EQ(QueuedPaths().back(), spool + "sub/d.msg");
  EXPECT_EQ(MessageQueue.size(), 3u);

  // Messages already worked off and left as they were are not fed in again; a new
  // file under a processed name is.
  StartMonitor();
  ProcessQueue();
  RescanMonitoredTree();
  EXPECT_TRUE(MessageQueue.empty());
  WriteFile(dir / "new.msg", "new mail");
  std::rename((dir / "new.msg").c_str(), (spool + "b.msg").c_str());
  RescanMonitoredTree();
  EXPECT_EQ(QueuedPaths(), std::vector<std::string>{spool + "b.msg"});
}

}  // namespace
