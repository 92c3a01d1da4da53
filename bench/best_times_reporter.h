#pragma once
// The reporter every benchmark program uses: the usual table, the fastest time per iteration
// of every case (so a program can print ratios against its anchor), and the cases that
// errored, which FinishBenchmarks turns into a failing exit status.
//
// Times are CPU times of the benchmark's thread: on a shared machine the wall clock also
// counts the time other processes held the core. A case that measures work done elsewhere
// (another process, by manual time; or asks for real time) is read by the wall clock.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BestTimesReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      if (run.error_occurred) {
        failed_.push_back(name + ": " + run.error_message);
        continue;
      }
      // With --benchmark_*_aggregates_only the repetitions themselves never arrive: their
      // median stands in for them.
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type != Run::RT_Iteration && !median) continue;
      const double t = run.run_name.time_type.empty() ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
      auto& times = median ? medians_ : best_;
      const std::string key = median ? name.substr(0, name.size() - std::string("_median").size()) : name;
      auto [it, inserted] = times.emplace(key, t);
      if (!inserted) it->second = std::min(it->second, t);
    }
  }
  // In the benchmark's display unit; nothing when it did not run (filtered out, failed).
  std::optional<double> best(const std::string& name) const {
    for (const auto* times : {&best_, &medians_}) {
      if (const auto found = times->find(name); found != times->end()) return found->second;
    }
    return std::nullopt;
  }
  // ours / anchor, when both ran.
  std::optional<double> ratio(const std::string& ours, const std::string& anchor) const {
    const auto a = best(ours), b = best(anchor);
    if (!a || !b) return std::nullopt;
    return *a / *b;
  }
  // "name: message" of every case that called SkipWithError.
  const std::vector<std::string>& failed() const { return failed_; }

private:
  std::map<std::string, double> best_;
  std::map<std::string, double> medians_;
  std::vector<std::string> failed_;
};

// The end of every benchmark program's main: shuts the library down and gives the exit
// status, 1 (with the failed cases named on stderr) when any case errored, so that a script
// or a person running the program sees a broken measurement fail instead of a short table.
inline int FinishBenchmarks(const BestTimesReporter& reporter) {
  benchmark::Shutdown();
  if (reporter.failed().empty()) return 0;
  std::fprintf(stderr, "\n%zu benchmark case(s) FAILED:\n", reporter.failed().size());
  for (const std::string& failure : reporter.failed()) std::fprintf(stderr, "  %s\n", failure.c_str());
  return 1;
}
