/*
 * What every benchmark shares: loading the built plug-in as the console
 * does, the reporter that keeps each run's time for the ratios, the smoke
 * run's sizes and the peak-memory probe.
 *
 * Results and ratios go to standard error: the plug-in writes some verdicts
 * to standard output, so run a benchmark with standard output sent to
 * /dev/null.
 */
#ifndef HXM_BENCH_BENCH_SUPPORT_H
#define HXM_BENCH_BENCH_SUPPORT_H

#include <benchmark/benchmark.h>

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/console/hxm_console.h"

namespace hxm_bench {

/* Times serve() once an iteration and puts the last page's size in the
 * "page_bytes" counter; a page other than 200 stops the run with an error. */
void TimePage(benchmark::State &state, const std::function<hxm::Response()> &serve);

/* Loads the built plug-in (HXM_BENCH_PLUGIN names another build of it, to
 * compare two builds with the same benchmark) under a fresh ZENTRA_ROOT
 * holding the log folder and a configuration at a production log level, so
 * the plug-in logs to its file as on a server. Sets the console's allocator
 * settings first, so pages are measured as the console serves them.
 * False, with the reason on standard error, when it cannot be loaded. */
bool LoadPlugin();

/* Unloads the plug-in and removes its root. */
void UnloadPlugin();

/* The plug-in's export `name` as a function pointer, or null. */
void *ExportAddress(const char *name);
template <typename Function> Function Export(const char *name) {
    return reinterpret_cast<Function>(ExportAddress(name));
}

/* Whether this is the short smoke run (HXM_BENCH_SMOKE set and not empty). */
bool Smoke();

/* `sizes`, or 1,000 alone in the smoke run. */
std::vector<int64_t> Sizes(const std::vector<int64_t> &sizes);

/* Keeps each run's CPU time (the process's own, page faults included; the
 * wall clock counts other processes' load too) in the run's unit; the
 * fastest when a run is repeated. */
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override;
    /* The time of run `name`, or 0 when it did not run. */
    double Time(const std::string &name) const;

  private:
    std::map<std::string, double> times_;
};

/* Runs the registered benchmarks with results on standard error. */
void RunBenchmarks(int *argc, char **argv, RatioReporter *reporter);

/* Prints "<label>: <numerator / denominator>" when both ran. */
void PrintRatio(const RatioReporter &reporter, const std::string &label,
                const std::string &numerator, const std::string &denominator);

/* Peak resident memory of page() (which returns the page's size in bytes)
 * over the resident size before it, measured in a child process so no memory
 * freed by an earlier run hides the peak; printed against the page's size. */
void ReportPeakMemory(const std::string &label, const std::function<size_t()> &page);

/* Prints the row writer's targets for one area: page / baseline at 10,000
 * rows (at most 2) and 100,000 rows (at most 2.5), and the page's growth
 * from 10,000 to 100,000 rows over the baseline's (at most 1.2), each
 * "met" or "missed". page(rows) and baseline(rows) name the runs. */
void PrintRowWriterTargets(const RatioReporter &reporter, const std::string &what,
                           const std::function<std::string(int64_t)> &page,
                           const std::function<std::string(int64_t)> &baseline);

} // namespace hxm_bench

#endif
