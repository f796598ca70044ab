// Time per message of RunSpamAssassin + AnalyseResult with a trivial classifier,
// against the bare `sh -c 'classifier < message > out'` on the same messages.
//
//   spamassassin_run_bench [messages=200] [rounds=5]
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/analysis.h"
#include "engine/settings.h"
#include "engine/spamassassin_run.h"
#include "platform/process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

double EngineRun(const std::vector<std::string>& messages) {
  auto start = Clock::now();
  for (const std::string& m : messages) {
    if (trawlex::RunSpamAssassin(m) != trawlex::kScanOk) std::abort();
    if (trawlex::AnalyseResult(m) != "Spam message ignored.") std::abort();
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double BareRun(const std::vector<std::string>& messages, const std::string& classifier, const std::string& out) {
  auto start = Clock::now();
  for (const std::string& m : messages) {
    // std::system runs exactly `sh -c 'classifier < message > out'`.
    std::string command =
        platform::ShellQuote(classifier) + " < " + platform::ShellQuote(m) + " > " + platform::ShellQuote(out);
    if (std::system(command.c_str()) != 0) std::abort();
  }
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 200;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::string root = fs::temp_directory_path() / ("trawlex-bench-" + std::to_string(getpid())) / "";
  fs::create_directories(root + "spool");
  mkdir((root + "tmp").c_str(), 0700);

  std::string classifier = root + "classifier";
  Write(classifier,
        "#!/bin/sh\nprintf 'X-Spam-Flag: YES\\nX-Spam-Status: Yes, score=5.0 required=5.0\\n'\nexec cat\n");
  fs::permissions(classifier, fs::perms::owner_all);
  std::string sample = Read("/usr/share/doc/spamassassin/examples/sample-nonspam.txt");
  if (sample.empty()) sample = "Subject: benchmark\n\n" + std::string(4000, 'x') + "\n";
  std::vector<std::string> messages;
  for (int i = 0; i < count; ++i) {
    messages.push_back(root + "spool/m" + std::to_string(i) + ".msg");
    Write(messages.back(), sample);
  }

  trawlex::ProgramDir = root;
  trawlex::TempDir = root + "tmp/";
  trawlex::LoadSettings();
  trawlex::IniRec.ExePath = classifier;
  trawlex::IniRec.SpamAction = trawlex::saIgnore;
  Write(trawlex::IniRec.UserPrefs, "");

  std::vector<double> engine, bare;
  for (int r = 0; r < rounds; ++r) {  // alternate so that both see the same machine state
    bare.push_back(BareRun(messages, classifier, root + "bare.out"));
    engine.push_back(EngineRun(messages));
  }
  std::sort(engine.begin(), engine.end());
  std::sort(bare.begin(), bare.end());
  double e = engine[engine.size() / 2], b = bare[bare.size() / 2];
  std::printf("messages per round: %d, rounds: %d (medians)\n", count, rounds);
  std::printf("bare sh -c loop:            %8.3f ms per message\n", 1000 * b / count);
  std::printf("RunSpamAssassin + Analyse:  %8.3f ms per message\n", 1000 * e / count);
  std::printf("ratio engine / bare:        %8.3f (target <= 1.10)\n", e / b);
  fs::remove_all(root);
  return 0;
}
