// The main of every benchmark program: Google Benchmark with defaults for
// side-by-side comparisons, and a summary of the medians at the end.
//
// Benchmarks are named "workload/contender". The contender "ours" is the
// software GDI; "floor" writes the same pixels with a plain loop. Counters a
// benchmark sets ("polygons", "pixels", "size", "differing") go into the
// summary.
#ifndef ORVIX_BENCH_REPORT_H
#define ORVIX_BENCH_REPORT_H

namespace bench {

// Runs the registered benchmarks, by default 5 repetitions of each, shuffled
// across benchmarks (random interleaving) so that a slow phase of the machine
// does not land on one contender, reporting medians of CPU time. Any
// --benchmark_* flag given overrides these. Then prints a Markdown table per
// workload: each contender's median, its ratio to ours, and ours over the
// floor. Extra flags:
//   --summary=PATH  also writes that table to PATH
//   --data=PATH     writes one tab-separated line per benchmark: workload,
//                   contender, median in microseconds, polygons, pixels, size
int Main(int argc, char** argv);

}  // namespace bench

#endif  // ORVIX_BENCH_REPORT_H
