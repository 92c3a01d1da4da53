#pragma once
// The console table of Google Benchmark, remembering the fastest real time per iteration of
// every benchmark so a program can print ratios against its anchor afterwards.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

class FastestTimesReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const double t = run.GetAdjustedRealTime();
      auto [it, inserted] = times_.emplace(run.benchmark_name(), t);
      if (!inserted) it->second = std::min(it->second, t);
    }
  }
  // ours / anchor, when both ran.
  std::optional<double> Ratio(const std::string& ours, const std::string& anchor) const {
    const auto a = times_.find(ours), b = times_.find(anchor);
    if (a == times_.end() || b == times_.end()) return std::nullopt;
    return a->second / b->second;
  }

 private:
  std::map<std::string, double> times_;
};
