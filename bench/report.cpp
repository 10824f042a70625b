#include "report.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace bench {
namespace {

struct Result {
  std::int64_t order = 0;  // registration order of the benchmark
  std::string workload;
  std::string contender;
  double micros = 0.0;  // median CPU time per iteration
  std::map<std::string, double> counters;
  std::string error;
};

double ToMicros(double value, benchmark::TimeUnit unit) {
  switch (unit) {
    case benchmark::kNanosecond:
      return value / 1e3;
    case benchmark::kMicrosecond:
      return value;
    case benchmark::kMillisecond:
      return value * 1e3;
    case benchmark::kSecond:
      return value * 1e6;
  }
  return value;
}

// The console output as usual, and each benchmark's median kept aside: the
// "median" aggregate when there were repetitions, else the single run.
class Collector : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single && !run.error_occurred) continue;
      Result r;
      r.order = run.family_index;
      const std::string name = run.run_name.function_name;
      const std::size_t slash = name.rfind('/');
      r.workload = slash == std::string::npos ? name : name.substr(0, slash);
      r.contender = slash == std::string::npos ? "" : name.substr(slash + 1);
      r.micros = ToMicros(run.GetAdjustedCPUTime(), run.time_unit);
      for (const auto& [key, counter] : run.counters) r.counters[key] = counter.value;
      if (run.error_occurred) r.error = run.error_message;
      Store(std::move(r));
    }
    ConsoleReporter::ReportRuns(runs);
  }

  const std::vector<Result>& results() const { return results_; }

 private:
  void Store(Result r) {
    for (Result& old : results_) {
      if (old.workload == r.workload && old.contender == r.contender) {
        if (old.error.empty()) old = std::move(r);  // an error stays reported
        return;
      }
    }
    results_.push_back(std::move(r));
    // Random interleaving reports in any order; the summary keeps the program's.
    std::stable_sort(results_.begin(), results_.end(),
                     [](const Result& a, const Result& b) { return a.order < b.order; });
  }

  std::vector<Result> results_;
};

std::string Fixed(double v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", digits, v);
  return buf;
}

std::string Counter(const Result& r, const char* key) {
  const auto it = r.counters.find(key);
  return it == r.counters.end() ? "" : Fixed(it->second, 0);
}

const Result* Find(const std::vector<Result>& results, const std::string& workload,
                   const char* contender) {
  for (const Result& r : results)
    if (r.workload == workload && r.contender == contender && r.error.empty()) return &r;
  return nullptr;
}

std::string Summary(const std::vector<Result>& results) {
  std::vector<std::string> workloads;
  for (const Result& r : results)
    if (std::find(workloads.begin(), workloads.end(), r.workload) == workloads.end())
      workloads.push_back(r.workload);
  const bool any_diff = std::any_of(results.begin(), results.end(), [](const Result& r) {
    return r.counters.count("differing") > 0;
  });

  std::ostringstream out;
  out << "| workload | polygons | contender | median (µs) | per polygon (ns) | time / ours |"
      << (any_diff ? " pixels differing from ours |" : "") << "\n";
  out << "|---|---:|---|---:|---:|---:|" << (any_diff ? "---:|" : "") << "\n";
  for (const std::string& w : workloads) {
    const Result* ours = Find(results, w, "ours");
    for (const Result& r : results) {
      if (r.workload != w) continue;
      out << "| " << w << " | " << Counter(r, "polygons") << " | " << r.contender << " | ";
      if (!r.error.empty()) {
        out << "error: " << r.error << " | | |" << (any_diff ? " |" : "") << "\n";
        continue;
      }
      const auto polygons = r.counters.find("polygons");
      out << Fixed(r.micros, r.micros < 10 ? 3 : 1) << " | "
          << (polygons != r.counters.end() && polygons->second > 0
                  ? Fixed(r.micros * 1e3 / polygons->second, 1)
                  : "")
          << " | " << (ours ? Fixed(r.micros / ours->micros, 2) : "") << " |";
      if (any_diff) out << " " << Counter(r, "differing") << " |";
      out << "\n";
    }
  }

  bool any_floor = false;
  std::ostringstream floors;
  floors << "\n| workload | pixels | ours / floor |\n|---|---:|---:|\n";
  for (const std::string& w : workloads) {
    const Result* ours = Find(results, w, "ours");
    const Result* floor = Find(results, w, "floor");
    if (!ours || !floor) continue;
    any_floor = true;
    floors << "| " << w << " | " << Counter(*floor, "pixels") << " | "
           << Fixed(ours->micros / floor->micros, 2) << " |\n";
  }
  if (any_floor) out << floors.str();
  return out.str();
}

void WriteData(const std::vector<Result>& results, const std::string& path) {
  std::ofstream out(path);
  out << "# workload\tcontender\tmedian_us\tpolygons\tpixels\tsize\n";
  for (const Result& r : results) {
    if (!r.error.empty()) continue;
    const auto counter = [&r](const char* key) {
      const auto it = r.counters.find(key);
      return it == r.counters.end() ? std::string("0") : Fixed(it->second, 0);
    };
    out << r.workload << '\t' << r.contender << '\t' << Fixed(r.micros, 3) << '\t'
        << counter("polygons") << '\t' << counter("pixels") << '\t' << counter("size") << '\n';
  }
}

}  // namespace

int Main(int argc, char** argv) {
  std::string summary_path;
  std::string data_path;
  // Defaults first, so that the same flags on the command line win.
  std::vector<std::string> storage = {
      "--benchmark_repetitions=5", "--benchmark_enable_random_interleaving=true",
      "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.1"};
  std::vector<char*> args = {argv[0]};
  for (std::string& s : storage) args.push_back(s.data());
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--summary=", 0) == 0) {
      summary_path = arg.substr(10);
    } else if (arg.rfind("--data=", 0) == 0) {
      data_path = arg.substr(7);
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  Collector collector;
  benchmark::RunSpecifiedBenchmarks(&collector);
  benchmark::Shutdown();

  const std::string summary = Summary(collector.results());
  std::cout << "\n" << summary;
  if (!summary_path.empty()) std::ofstream(summary_path) << summary;
  if (!data_path.empty()) WriteData(collector.results(), data_path);
  const bool failed = std::any_of(collector.results().begin(), collector.results().end(),
                                  [](const Result& r) { return !r.error.empty(); });
  return failed ? 1 : 0;
}

}  // namespace bench
