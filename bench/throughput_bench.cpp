// End-to-end throughput of the processing cycle with a trivial classifier: messages
// arrive in the watched folder, are queued by the directory monitor, and one tick
// works the queue off (marking every message). Compared with the bare
// `sh -c 'classifier < message > out'` loop on the same number of files.
//
//   throughput_bench [messages=1000] [rounds=5]
//   BENCH_ACTION=3 throughput_bench   (ignore spam instead of marking it)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/activity_log.h"
#include "engine/queue.h"
#include "engine/settings.h"
#include "host/monitor_host.h"
#include "platform/process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string sample;

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::vector<std::string> CreateMessages(const std::string& folder, int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(folder + "m" + std::to_string(i) + ".msg");
    Write(paths.back(), sample);
  }
  return paths;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double EngineRound(const std::string& spool, int count) {
  fs::remove_all(spool);
  fs::create_directories(spool);
  trawlex::StartMonitor();
  CreateMessages(spool, count);
  auto deadline = Clock::now() + std::chrono::seconds(60);
  while (int(trawlex::MessageQueue.size()) < count && Clock::now() < deadline) QCoreApplication::processEvents();
  if (int(trawlex::MessageQueue.size()) != count) {
    std::fprintf(stderr, "only %zu of %d messages were queued\n", trawlex::MessageQueue.size(), count);
    std::exit(1);
  }
  sync();  // both sides start with no writeback pending
  auto start = Clock::now();
  trawlex::ProcessQueue();
  double elapsed = Seconds(start);
  trawlex::StopMonitor();
  return elapsed;
}

double BareRound(const std::string& folder, const std::string& classifier, int count) {
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::vector<std::string> paths = CreateMessages(folder, count);
  std::string out = folder + "out";
  sync();
  auto start = Clock::now();
  for (const std::string& m : paths) {
    std::string command =
        platform::ShellQuote(classifier) + " < " + platform::ShellQuote(m) + " > " + platform::ShellQuote(out);
    if (std::system(command.c_str()) != 0) std::exit(1);
  }
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  int count = argc > 1 ? std::atoi(argv[1]) : 1000;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::string root = fs::temp_directory_path() / ("trawlex-throughput-" + std::to_string(getpid())) / "";
  fs::create_directories(root);
  mkdir((root + "tmp").c_str(), 0700);
  std::string classifier = root + "classifier";
  Write(classifier,
        "#!/bin/sh\nprintf 'X-Spam-Flag: YES\\nX-Spam-Status: Yes, score=5.0 required=5.0\\n'\nexec cat\n");
  fs::permissions(classifier, fs::perms::owner_all);
  std::ifstream in("/usr/share/doc/spamassassin/examples/sample-nonspam.txt", std::ios::binary);
  sample.assign(std::istreambuf_iterator<char>(in), {});
  if (sample.empty()) sample = "Subject: benchmark\n\n" + std::string(4000, 'x') + "\n";

  using namespace trawlex;
  ProgramDir = root;
  TempDir = root + "tmp/";
  LoadSettings();
  IniRec.DirToMonitor = root + "spool/";
  IniRec.ExePath = classifier;
  IniRec.SpamAction = std::getenv("BENCH_ACTION") ? std::atoi(std::getenv("BENCH_ACTION")) : saMark;
  IniRec.LogFile = root + "trawlex.log";
  Write(IniRec.UserPrefs, "");
  FixDebugSwitch();
  SetEventHook([] { QCoreApplication::processEvents(); });
  QtMonitorHost host;
  SetMonitorHost(&host);

  std::vector<double> engine, bare;
  for (int r = 0; r < rounds; ++r) {
    bare.push_back(BareRound(root + "bare/", classifier, count));
    engine.push_back(EngineRound(IniRec.DirToMonitor, count));
  }
  std::sort(engine.begin(), engine.end());
  std::sort(bare.begin(), bare.end());
  double e = engine[engine.size() / 2], b = bare[bare.size() / 2];
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("messages per round: %d, rounds: %d (medians)\n", count, rounds);
  std::printf("bare sh -c loop:        %8.1f messages/s\n", count / b);
  std::printf("trawlex cycle:          %8.1f messages/s (first tick to empty queue)\n", count / e);
  std::printf("rate ratio cycle/bare:  %8.3f (target >= 0.85)\n", b / e);
  std::printf("peak memory (RSS):      %8.1f MiB\n", usage.ru_maxrss / 1024.0);
  SetMonitorHost(nullptr);
  fs::remove_all(root);
  return 0;
}
