/*
 * The connection list page at 1,000 / 10,000 / 100,000 connections through
 * the built plug-in and the in-process host, beside a baseline that formats
 * the same rows with plain snprintf into one buffer; the sort alone beside
 * std::stable_sort of the same keys. Prints the page/baseline ratios, the
 * growth from 10,000 to 100,000 rows against the baseline's (the row
 * writer's targets, met or missed), and the page's peak memory over the
 * process's resident size before the request, against the page's size.
 */
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "monitor/connections.h"
#include "platform/console/hxm_console.h"
#include "tests/support/scripted_afpstat.h"

namespace {

namespace scripted = hxm_test::scripted;

using SortFunction = void (*)(ConnectionSortStruct **, AfpSortType);
using GetFunction = int (*)(ConnectionSortStruct **, AfpSortType);

SortFunction g_sort = nullptr;
GetFunction g_get = nullptr;

void Sizes(benchmark::internal::Benchmark *benchmark) {
    for (int64_t size : hxm_bench::Sizes({1000, 10000, 100000}))
        benchmark->Arg(size);
}

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

// The library's list alone (fetched and freed), and the exported sorted
// copy (fetch, copy into nodes, sort, every node freed).
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

BENCHMARK(BM_ListPage)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Baseline)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibraryFetch)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortedCopy)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortBaseline)->Apply(Sizes)->Unit(benchmark::kMillisecond);

size_t ListPageBytes(size_t count) {
    scripted::Reset();
    scripted::StageConnections({MakeConnections(count)});
    return ListPage().body.size();
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
    if (!hxm_bench::LoadPlugin())
        return 1;
    g_sort = hxm_bench::Export<SortFunction>("_Z9mergesortPP20ConnectionSortStructi");
    g_get = hxm_bench::Export<GetFunction>("_Z23GetSortedConnectionListPP20ConnectionSortStructi");
    if (g_sort == nullptr || g_get == nullptr || !CheckSameBytes())
        return 1;

    hxm_bench::RatioReporter reporter;
    hxm_bench::RunBenchmarks(&argc, argv, &reporter);
    for (int64_t count : hxm_bench::Sizes({1000, 10000, 100000})) {
        const std::string size = std::to_string(count);
        hxm_bench::PrintRatio(reporter, "list page / snprintf baseline at " + size + " rows",
                              "BM_ListPage/" + size, "BM_Baseline/" + size);
        hxm_bench::PrintRatio(reporter, "merge sort / std::stable_sort at " + size + " nodes",
                              "BM_Sort/" + size, "BM_SortBaseline/" + size);
        // The page copies into compact rows, not the exported call's nodes:
        // only the library's share of it can be told apart.
        const double page = reporter.Time("BM_ListPage/" + size);
        const double fetch = reporter.Time("BM_LibraryFetch/" + size);
        if (page > 0 && fetch > 0)
            fprintf(stderr, "at %s rows: the library's fetch is %.0f%% of the page\n", size.c_str(),
                    100 * fetch / page);
    }
    hxm_bench::PrintRowWriterTargets(
        reporter, "connection list",
        [](int64_t rows) { return "BM_ListPage/" + std::to_string(rows); },
        [](int64_t rows) { return "BM_Baseline/" + std::to_string(rows); });
    for (int64_t count : hxm_bench::Sizes({10000, 100000}))
        hxm_bench::ReportPeakMemory(std::to_string(count) + " rows",
                                    [count] { return ListPageBytes(static_cast<size_t>(count)); });
    benchmark::Shutdown();
    hxm_bench::UnloadPlugin();
    scripted::Reset();
    return 0;
}
