#pragma once
// A console reporter that prints the usual table and remembers the fastest time per
// iteration of every benchmark, so a program can print ratios against its anchor.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

class BestTimesReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const double t = run.GetAdjustedRealTime();
      auto [it, inserted] = best_.emplace(run.benchmark_name(), t);
      if (!inserted) it->second = std::min(it->second, t);
    }
  }
  // In the benchmark's display unit; nothing when it did not run (filtered out, failed).
  std::optional<double> best(const std::string& name) const {
    const auto found = best_.find(name);
    return found == best_.end() ? std::nullopt : std::optional<double>(found->second);
  }

private:
  std::map<std::string, double> best_;
};
