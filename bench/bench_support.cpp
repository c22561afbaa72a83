/*
 * The benchmarks' shared support (see bench_support.h).
 */
#include "bench/bench_support.h"

#include <dlfcn.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/console/memory_settings.h"

namespace hxm_bench {
namespace {

void *g_plugin = nullptr;
std::string g_root;

long StatusKilobytes(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return strtol(line.c_str() + strlen(field), nullptr, 10);
    return -1;
}

} // namespace

bool LoadPlugin() {
    // Pages are measured under the console's own allocator settings, so
    // the times include only the page faults a served page would take.
    hxm_console::KeepFreedMemory();
    char root[] = "/tmp/hxm-bench-XXXXXX";
    if (mkdtemp(root) == nullptr) {
        perror("mkdtemp");
        return false;
    }
    g_root = root;
    setenv("ZENTRA_ROOT", root, 1);
    // A server logs at a production level; at the plug-in's debug default
    // the benchmark would measure the log (one line per filtered file).
    std::filesystem::create_directories(g_root + "/var/opt/zentra/log");
    std::filesystem::create_directories(g_root + "/opt/zentra/lib");
    std::ofstream(g_root + "/opt/zentra/lib/libhxm2afp.conf") << "LOG_LEVEL WARNING\n";
    const char *other = getenv("HXM_BENCH_PLUGIN");
    const char *path = other != nullptr && other[0] != '\0' ? other : HXM_PLUGIN_PATH;
    g_plugin = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (g_plugin == nullptr) {
        fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
        return false;
    }
    return true;
}

void UnloadPlugin() {
    if (g_plugin != nullptr)
        dlclose(g_plugin);
    g_plugin = nullptr;
    if (!g_root.empty())
        std::filesystem::remove_all(g_root);
}

void *ExportAddress(const char *name) {
    return g_plugin != nullptr ? dlsym(g_plugin, name) : nullptr;
}

bool Smoke() {
    const char *smoke = getenv("HXM_BENCH_SMOKE");
    return smoke != nullptr && smoke[0] != '\0';
}

std::vector<int64_t> Sizes(const std::vector<int64_t> &sizes) {
    return Smoke() ? std::vector<int64_t>{1000} : sizes;
}

void RatioReporter::ReportRuns(const std::vector<Run> &runs) {
    for (const Run &run : runs) {
        if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
            continue;
        // With --benchmark_repetitions the fastest repetition counts: the
        // least disturbed by other processes.
        const double time = run.GetAdjustedCPUTime();
        auto [found, added] = times_.emplace(run.benchmark_name(), time);
        if (!added && time < found->second)
            found->second = time;
    }
    ConsoleReporter::ReportRuns(runs);
}

double RatioReporter::Time(const std::string &name) const {
    const auto found = times_.find(name);
    return found == times_.end() ? 0 : found->second;
}

void RunBenchmarks(int *argc, char **argv, RatioReporter *reporter) {
    benchmark::Initialize(argc, argv);
    reporter->SetOutputStream(&std::cerr);
    reporter->SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(reporter);
}

void PrintRatio(const RatioReporter &reporter, const std::string &label,
                const std::string &numerator, const std::string &denominator) {
    const double top = reporter.Time(numerator);
    const double bottom = reporter.Time(denominator);
    if (top > 0 && bottom > 0)
        fprintf(stderr, "%s: %.2f\n", label.c_str(), top / bottom);
}

void ReportPeakMemory(const std::string &label, const std::function<size_t()> &page) {
    fflush(stdout);
    fflush(stderr);
    const pid_t child = fork();
    if (child < 0)
        return;
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            fprintf(stderr, "peak memory, %s: not measured\n", label.c_str());
        return;
    }
    // Memory earlier runs freed goes back to the system first: reused, it
    // would hide the page's own peak.
    malloc_trim(0);
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5"; // the peak becomes the current size
    }
    const long before = StatusKilobytes("VmRSS:");
    const size_t bytes = page();
    const long peak = StatusKilobytes("VmHWM:");
    const double pageKilobytes = static_cast<double>(bytes) / 1024.0;
    fprintf(stderr, "peak memory, %s: %ld KiB over %ld KiB before; page %.0f KiB; ratio %.2f\n",
            label.c_str(), peak - before, before, pageKilobytes,
            static_cast<double>(peak - before) / pageKilobytes);
    fflush(stderr);
    _exit(0);
}

void PrintRowWriterTargets(const RatioReporter &reporter, const std::string &what,
                           const std::function<std::string(int64_t)> &page,
                           const std::function<std::string(int64_t)> &baseline) {
    struct Size {
        int64_t rows;
        double target;
    };
    double pages[2] = {0, 0};
    double baselines[2] = {0, 0};
    int index = 0;
    for (const Size size : {Size{10000, 2.0}, Size{100000, 2.5}}) {
        pages[index] = reporter.Time(page(size.rows));
        baselines[index] = reporter.Time(baseline(size.rows));
        if (pages[index] > 0 && baselines[index] > 0)
            fprintf(stderr, "target, %s at %lld rows: page / baseline %.2f (at most %.1f): %s\n",
                    what.c_str(), static_cast<long long>(size.rows),
                    pages[index] / baselines[index], size.target,
                    pages[index] / baselines[index] <= size.target ? "met" : "missed");
        ++index;
    }
    if (pages[0] > 0 && pages[1] > 0 && baselines[0] > 0 && baselines[1] > 0) {
        const double pageGrowth = pages[1] / pages[0];
        const double baselineGrowth = baselines[1] / baselines[0];
        fprintf(stderr,
                "target, %s growth 10,000 -> 100,000 rows: page %.2fx, baseline %.2fx, "
                "page / baseline %.2f (at most 1.2): %s\n",
                what.c_str(), pageGrowth, baselineGrowth, pageGrowth / baselineGrowth,
                pageGrowth / baselineGrowth <= 1.2 ? "met" : "missed");
    }
}

void TimePage(benchmark::State &state, const std::function<hxm::Response()> &serve) {
    size_t bytes = 0;
    for (auto _ : state) {
        const hxm::Response response = serve();
        if (response.status != 200) {
            state.SkipWithError("the page failed");
            break;
        }
        bytes = response.body.size();
        benchmark::DoNotOptimize(response.body.data());
    }
    state.counters["page_bytes"] = static_cast<double>(bytes);
}

} // namespace hxm_bench
