/*
 * The connection list page at 1,000 / 10,000 / 100,000 connections through
 * the built plug-in and the in-process host, beside a baseline that formats
 * the same rows with plain snprintf into one buffer; the sort alone beside
 * std::stable_sort of the same keys. Prints the page/baseline ratios, the
 * growth from 10,000 to 100,000 rows, and the page's peak memory over the
 * process's resident size before the request, against the page's size.
 */
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "monitor/connections.h"
#include "platform/console/hxm_console.h"
#include "tests/support/scripted_afpstat.h"

namespace {

using SortFunction = void (*)(ConnectionSortStruct **, AfpSortType);
using GetFunction = int (*)(ConnectionSortStruct **, AfpSortType);

void *g_plugin = nullptr;
SortFunction g_sort = nullptr;
GetFunction g_get = nullptr;

std::vector<scripted::Connection> MakeConnections(size_t count) {
    std::mt19937 random(static_cast<unsigned>(count));
    std::vector<scripted::Connection> connections(count);
    for (size_t i = 0; i < count; ++i) {
        scripted::Connection &c = connections[i];
        c.connectionNumber = static_cast<uint32_t>(i + 1);
        char name[32];
        snprintf(name, sizeof name, "user%06u", static_cast<unsigned>(random() % 1000000));
        c.userName = name;
        c.requestCount = random() % 100000;
        c.bytesRead = random() % 100000000;
        c.bytesWritten = random() % 100000000;
        c.loginTime = 1700000000 + random() % 1000000;
        c.networkAddress = "10.1.2.3";
    }
    std::shuffle(connections.begin(), connections.end(), random);
    return connections;
}

// Groups the digits of a non-negative number in threes.
void WithCommas(unsigned long long value, char *out, size_t size) {
    char digits[32];
    const int length = snprintf(digits, sizeof digits, "%llu", value);
    size_t used = 0;
    for (int i = 0; i < length && used + 2 < size; ++i) {
        if (i > 0 && (length - i) % 3 == 0)
            out[used++] = ',';
        out[used++] = digits[i];
    }
    out[used] = '\0';
}

// The baseline: the same row bytes, one snprintf per row into one buffer.
std::string BaselineRows(const std::vector<scripted::Connection> &sorted) {
    std::string out(sorted.size() * 600 + 1, '\0');
    size_t used = 0;
    bool light = true;
    for (const scripted::Connection &c : sorted) {
        char bytes[32], requests[32], when[81];
        WithCommas(c.bytesRead + c.bytesWritten, bytes, sizeof bytes);
        WithCommas(c.requestCount, requests, sizeof requests);
        const time_t seconds = static_cast<time_t>(c.loginTime);
        struct tm local;
        strftime(when, sizeof when, "%c", localtime_r(&seconds, &local));
        const int written = snprintf(
            &out[used], out.size() - used,
            "\n<TR %s><TD align=center><input type=\"checkbox\" id=cb1 NAME=\"CONNECTIONID\" "
            "VALUE=\"<closeconn>%u</closeconn>\"></TD><td class=\"tablecol\" align=center>%u</td>"
            "<td class=\"tablecol\" align=left><A HREF=/afpcons/ConnectionNumber/%08X>*%s</A></td>"
            "<td class=\"tablecol\" align=center>%s</td><td class=\"tablecol\" align=center>%s</td>"
            "<td align=right>%s</td></TR>",
            light ? "class=\"stripelight\"" : "class=\"stripedark\"", c.connectionNumber,
            c.connectionNumber, c.connectionNumber, c.userName.c_str(), bytes, requests, when);
        used += static_cast<size_t>(written);
        light = !light;
    }
    out.resize(used);
    return out;
}

std::vector<scripted::Connection> SortedByNumber(std::vector<scripted::Connection> connections) {
    std::sort(connections.begin(), connections.end(),
              [](const scripted::Connection &a, const scripted::Connection &b) {
                  return a.connectionNumber < b.connectionNumber;
              });
    return connections;
}

hxm::Response ListPage() {
    hxm::Request request;
    request.target = "/afpcons";
    return hxm::HandleRequest(request);
}

// The page's rows: from the first row to the end of the table.
std::string PageRows(const std::string &page) {
    const size_t start = page.find("\n<TR class=\"stripe");
    const size_t end = page.find("</table>", start);
    return start == std::string::npos || end == std::string::npos ? ""
                                                                  : page.substr(start, end - start);
}

void BM_ListPage(benchmark::State &state) {
    const auto count = static_cast<size_t>(state.range(0));
    scripted::Reset();
    scripted::StageConnections({MakeConnections(count)});
    size_t bytes = 0;
    for (auto _ : state) {
        hxm::Response response = ListPage();
        bytes = response.body.size();
        benchmark::DoNotOptimize(response.body.data());
    }
    state.counters["page_bytes"] = static_cast<double>(bytes);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

void BM_Baseline(benchmark::State &state) {
    const auto count = static_cast<size_t>(state.range(0));
    const std::vector<scripted::Connection> sorted = SortedByNumber(MakeConnections(count));
    for (auto _ : state) {
        std::string rows = BaselineRows(sorted);
        benchmark::DoNotOptimize(rows.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * count));
}

// The page's parts: the library's list alone (fetched and freed), and the
// plug-in's sorted copy (fetch, copy, sort, every node freed).
void BM_LibraryFetch(benchmark::State &state) {
    scripted::Reset();
    scripted::StageConnections({MakeConnections(static_cast<size_t>(state.range(0)))});
    for (auto _ : state) {
        int count = 0;
        ConnListNode *head = nullptr;
        Ext_ListConnDetails(&count, &head);
        FreeConnListNodes(&head);
    }
}

void BM_SortedCopy(benchmark::State &state) {
    scripted::Reset();
    scripted::StageConnections({MakeConnections(static_cast<size_t>(state.range(0)))});
    for (auto _ : state) {
        ConnectionSortStruct *head = nullptr;
        g_get(&head, AFP_SORT_CONNECTION_NUMBER);
        while (head != nullptr) {
            ConnectionSortStruct *next = head->next;
            free(head);
            head = next;
        }
    }
}

// The plug-in's merge sort over `count` nodes, by user name.
void BM_Sort(benchmark::State &state) {
    const auto count = static_cast<size_t>(state.range(0));
    const std::vector<scripted::Connection> connections = MakeConnections(count);
    std::vector<ConnectionSortStruct> nodes(count);
    for (auto _ : state) {
        state.PauseTiming();
        for (size_t i = 0; i < count; ++i) {
            nodes[i] = ConnectionSortStruct{};
            nodes[i].connectionNumber = connections[i].connectionNumber;
            snprintf(nodes[i].userName, sizeof nodes[i].userName, "%s",
                     connections[i].userName.c_str());
            nodes[i].next = i + 1 < count ? &nodes[i + 1] : nullptr;
        }
        ConnectionSortStruct *head = &nodes[0];
        state.ResumeTiming();
        g_sort(&head, AFP_SORT_USER_NAME);
        benchmark::DoNotOptimize(head);
    }
}

// The same keys by std::stable_sort of node pointers, for comparison.
void BM_SortBaseline(benchmark::State &state) {
    const auto count = static_cast<size_t>(state.range(0));
    const std::vector<scripted::Connection> connections = MakeConnections(count);
    std::vector<ConnectionSortStruct> nodes(count);
    for (size_t i = 0; i < count; ++i)
        snprintf(nodes[i].userName, sizeof nodes[i].userName, "%s",
                 connections[i].userName.c_str());
    std::vector<ConnectionSortStruct *> order(count);
    for (auto _ : state) {
        for (size_t i = 0; i < count; ++i)
            order[i] = &nodes[i];
        std::stable_sort(order.begin(), order.end(),
                         [](const ConnectionSortStruct *a, const ConnectionSortStruct *b) {
                             return strcmp(a->userName, b->userName) < 0;
                         });
        benchmark::DoNotOptimize(order.data());
    }
}

BENCHMARK(BM_ListPage)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryFetch)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortedCopy)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortBaseline)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Keeps each run's CPU time (the process's own, page faults included; the
// wall clock counts other processes' load too), for the ratios at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration)
                times_[run.benchmark_name()] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double Time(const std::string &name) const {
        auto found = times_.find(name);
        return found == times_.end() ? 0 : found->second;
    }

  private:
    std::map<std::string, double> times_;
};

long StatusKilobytes(const char *field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return strtol(line.c_str() + strlen(field), nullptr, 10);
    return -1;
}

// Peak resident memory of one list page over the resident size before it,
// measured in a child process so no earlier request's heap is reused.
void ReportPeakMemory(size_t count) {
    fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return;
    if (child > 0) {
        int status = 0;
        waitpid(child, &status, 0);
        return;
    }
    scripted::Reset();
    scripted::StageConnections({MakeConnections(count)});
    {
        std::ofstream reset("/proc/self/clear_refs");
        reset << "5"; // the peak becomes the current size
    }
    const long before = StatusKilobytes("VmRSS:");
    const hxm::Response response = ListPage();
    const long peak = StatusKilobytes("VmHWM:");
    const double pageKb = static_cast<double>(response.body.size()) / 1024.0;
    printf("peak memory at %zu rows: %ld KiB over %ld KiB before; page %.0f KiB; ratio %.2f\n",
           count, peak - before, before, pageKb, static_cast<double>(peak - before) / pageKb);
    fflush(stdout);
    _exit(0);
}

bool CheckSameBytes() {
    const std::vector<scripted::Connection> connections = MakeConnections(1000);
    scripted::Reset();
    scripted::StageConnections({connections});
    const std::string page = PageRows(ListPage().body);
    const std::string baseline = BaselineRows(SortedByNumber(connections));
    if (page != baseline) {
        fprintf(stderr, "the baseline's rows differ from the page's rows\n");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    char root[] = "/tmp/hxm-bench-XXXXXX";
    if (mkdtemp(root) == nullptr)
        return 1;
    setenv("ZENTRA_ROOT", root, 1);
    // The plug-in logs to its file, as on a server.
    std::filesystem::create_directories(std::string(root) + "/var/opt/zentra/log");
    g_plugin = dlopen(HXM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (g_plugin == nullptr) {
        fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
        return 1;
    }
    g_sort =
        reinterpret_cast<SortFunction>(dlsym(g_plugin, "_Z9mergesortPP20ConnectionSortStructi"));
    g_get = reinterpret_cast<GetFunction>(
        dlsym(g_plugin, "_Z23GetSortedConnectionListPP20ConnectionSortStructi"));
    if (g_sort == nullptr || g_get == nullptr || !CheckSameBytes())
        return 1;

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char *size : {"1000", "10000", "100000"}) {
        const double page = reporter.Time(std::string("BM_ListPage/") + size);
        const double baseline = reporter.Time(std::string("BM_Baseline/") + size);
        const double sort = reporter.Time(std::string("BM_Sort/") + size);
        const double sortBaseline = reporter.Time(std::string("BM_SortBaseline/") + size);
        if (page > 0 && baseline > 0)
            printf("list page / snprintf baseline at %s rows: %.2f\n", size, page / baseline);
        if (sort > 0 && sortBaseline > 0)
            printf("merge sort / std::stable_sort at %s nodes: %.2f\n", size, sort / sortBaseline);
    }
    for (const char *size : {"10000", "100000"}) {
        const double page = reporter.Time(std::string("BM_ListPage/") + size);
        const double fetch = reporter.Time(std::string("BM_LibraryFetch/") + size);
        const double copy = reporter.Time(std::string("BM_SortedCopy/") + size);
        if (page > 0 && fetch > 0 && copy > 0)
            printf("at %s rows: library fetch %.0f%%, plug-in copy and sort %.0f%%, writing the "
                   "rows through the host %.0f%% of the page\n",
                   size, 100 * fetch / page, 100 * (copy - fetch) / page,
                   100 * (page - copy) / page);
    }
    const double page10k = reporter.Time("BM_ListPage/10000");
    const double page100k = reporter.Time("BM_ListPage/100000");
    if (page10k > 0 && page100k > 0)
        printf("list page growth from 10,000 to 100,000 rows: %.2fx\n", page100k / page10k);
    if (page100k > 0) {
        ReportPeakMemory(10000);
        ReportPeakMemory(100000);
    }
    benchmark::Shutdown();
    dlclose(g_plugin);
    scripted::Reset();
    std::filesystem::remove_all(root);
    return 0;
}
