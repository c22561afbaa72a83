/*
 * The open-file page at server scale: 10,000 and 100,000 open files on one
 * volume, with and without an extension filter, served through the built
 * plug-in and the host's in-process request call with the scriptable
 * monitoring library holding the files. Beside it, the baseline: the same
 * rows formatted with plain snprintf into one growing buffer. Prints the
 * ratio of each page to its baseline, the growth from 10,000 to 100,000
 * rows against the baseline's (the row writer's targets, met or missed),
 * and the peak memory of one page over the process's baseline.
 *
 * NameCompare writes a line per filtered file to standard output, so run it
 * with standard output sent to /dev/null: the results go to standard error.
 * The page is sorted by path; HXM_BENCH_SORT=ConnectionNumber or UserName
 * measures another sort.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "monitor/node_list.h"
#include "monitor/open_files.h"
#include "platform/console/hxm_console.h"
#include "tests/support/scripted_afpstat.h"

namespace {

namespace scripted = hxm_test::scripted;

constexpr int kFilesPerConnection = 100;
constexpr const char *kVolume = "VOL1";

/* One row as the page shows it. */
struct Row {
    uint32_t connection;
    std::string user;
    std::string path;
};

std::vector<Row> MakeRows(int files) {
    std::vector<Row> rows;
    rows.reserve(files);
    for (int i = 0; i < files; ++i) {
        const int connection = i / kFilesPerConnection;
        char path[128];
        snprintf(path, sizeof path, "/vol/projects/dir%03d/report-%06d.%s", (i * 7919) % 500,
                 (i * 104729) % 1000003, i % 2 ? "doc" : "txt");
        rows.push_back({static_cast<uint32_t>(connection * 37 % 65536 + 1),
                        "user" + std::to_string(connection % 4000), path});
    }
    return rows;
}

void Stage(const std::vector<Row> &rows) {
    scripted::Reset();
    scripted::StageVolumes({{"DATA", kVolume, "ZZZ"}});
    scripted::OpenFileList list;
    for (size_t i = 0; i < rows.size(); i += kFilesPerConnection) {
        scripted::OpenFileRecord record;
        record.connectionNumber = rows[i].connection;
        record.userName = rows[i].user;
        for (size_t j = i; j < rows.size() && j < i + kFilesPerConnection; ++j)
            record.fileNames.push_back(rows[j].path);
        list.records.push_back(std::move(record));
    }
    scripted::StageOpenFiles(kVolume, std::move(list));
}

hxm::Response ServePage(bool filtered) {
    hxm::Request request;
    // The sort by path is the costliest (HXM_BENCH_SORT picks another).
    const char *sort = getenv("HXM_BENCH_SORT");
    request.target =
        std::string("/afpofm/") + (sort != nullptr && sort[0] ? sort : "FileName") + "/" + kVolume;
    request.accessFlags = 0x9;
    if (filtered) {
        request.method = "POST";
        request.contentType = "application/x-www-form-urlencoded";
        request.body = "FILTER=*.doc";
    }
    return hxm::HandleRequest(request);
}

bool KeepsRow(const Row &row, bool filtered) {
    if (!filtered)
        return true;
    const size_t dot = row.path.rfind('.');
    return dot != std::string::npos && row.path.compare(dot + 1, std::string::npos, "doc") == 0;
}

/* The simplest way to produce the same rows: snprintf into one buffer. */
size_t Baseline(const std::vector<Row> &rows, bool filtered, std::string *out) {
    out->clear();
    char line[2048];
    bool light = true;
    for (const Row &row : rows) {
        if (!KeepsRow(row, filtered))
            continue;
        const int length = snprintf(
            line, sizeof line,
            "<TR %s><TD align=center><input type=\"checkbox\" NAME=\"FILENAME\" "
            "VALUE=\"<filename>%s</filename>\" id=cb1></TD><td class=\"tablecol\" "
            "align=center>%d</td><td class=\"tablecol\" align=center><a "
            "href=\"/%s/ConnectionNumber/%08X\" onclick=\"return connectionFormSubmit(this);\" "
            ">%s</a></td><td class=\"tablecol\" align=left>%s</td></TR>",
            light ? "class=\"stripelight\"" : "class=\"stripedark\"", row.path.c_str(),
            static_cast<int>(row.connection), "afpcons", row.connection, row.user.c_str(),
            row.path.c_str());
        out->append(line, static_cast<size_t>(length));
        light = !light;
    }
    return out->size();
}

const std::vector<Row> &RowsFor(int files) {
    static std::map<int, std::vector<Row>> cache;
    auto found = cache.find(files);
    if (found == cache.end())
        found = cache.emplace(files, MakeRows(files)).first;
    return found->second;
}

void BM_OpenFilePage(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    const bool filtered = state.range(1) != 0;
    Stage(RowsFor(files));
    hxm_bench::TimePage(state, [&] { return ServePage(filtered); });
    scripted::Reset();
}

void BM_SnprintfBaseline(benchmark::State &state) {
    const int files = static_cast<int>(state.range(0));
    const bool filtered = state.range(1) != 0;
    const std::vector<Row> &rows = RowsFor(files);
    std::string out;
    for (auto _ : state) {
        // A fresh buffer per page, as a page's body is.
        std::string page;
        Baseline(rows, filtered, &page);
        benchmark::DoNotOptimize(page.data());
    }
}

void Sizes(benchmark::internal::Benchmark *benchmark) {
    for (int64_t files : hxm_bench::Sizes({10000, 100000}))
        for (int64_t filtered : {0, 1})
            benchmark->Args({files, filtered});
}

/* The fetch alone (library list, filter, copy, free) and the fetch with the
 * sort, through the plug-in's exports: what bounds the page. */
using GetOpenFileListFn = int (*)(const char *, OpenFileInfo **, const char *);
using SortFn = OpenFileInfo *(*)(OpenFileInfo **, AfpSortType);

AfpSortType SortType() {
    const char *sort = getenv("HXM_BENCH_SORT");
    if (sort == nullptr || strcmp(sort, "FileName") == 0 || sort[0] == '\0')
        return 3;
    return strcmp(sort, "UserName") == 0 ? 2 : 1;
}

void FetchAndMaybeSort(benchmark::State &state, bool sort) {
    const int files = static_cast<int>(state.range(0));
    const bool filtered = state.range(1) != 0;
    auto get = hxm_bench::Export<GetOpenFileListFn>("_Z15GetOpenFileListPKcPP12OpenFileInfoS0_");
    auto sortTable = hxm_bench::Export<SortFn>("_Z18SortOpenFilesTablePP12OpenFileInfoi");
    if (get == nullptr || sortTable == nullptr) {
        state.SkipWithError("the plug-in lacks the list exports");
        return;
    }
    Stage(RowsFor(files));
    for (auto _ : state) {
        OpenFileInfo *head = nullptr;
        get(kVolume, &head, filtered ? "*.doc" : "");
        if (sort)
            sortTable(&head, SortType());
        hxm2afp::free_node_list(head);
    }
    scripted::Reset();
}
void BM_FetchOnly(benchmark::State &state) {
    FetchAndMaybeSort(state, false);
}
void BM_FetchAndSort(benchmark::State &state) {
    FetchAndMaybeSort(state, true);
}

BENCHMARK(BM_OpenFilePage)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnprintfBaseline)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchOnly)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchAndSort)->Apply(Sizes)->Unit(benchmark::kMillisecond);

/* One page's size in bytes. */
size_t PageBytes(int files, bool filtered) {
    Stage(RowsFor(files));
    return ServePage(filtered).body.size();
}

} // namespace

int main(int argc, char **argv) {
    if (!hxm_bench::LoadPlugin())
        return 1;
    hxm_bench::RatioReporter reporter;
    hxm_bench::RunBenchmarks(&argc, argv, &reporter);

    const std::vector<int64_t> sizes = hxm_bench::Sizes({10000, 100000});
    for (int filtered : {0, 1}) {
        for (int64_t files : sizes) {
            const std::string suffix = "/" + std::to_string(files) + "/" + std::to_string(filtered);
            const double page = reporter.Time("BM_OpenFilePage" + suffix);
            const double base = reporter.Time("BM_SnprintfBaseline" + suffix);
            if (page <= 0 || base <= 0)
                continue;
            fprintf(stderr, "ratio, %lld files%s: page %.2f ms / snprintf %.2f ms = %.2fx\n",
                    static_cast<long long>(files), filtered ? " filtered" : "", page, base,
                    page / base);
            const double fetch = reporter.Time("BM_FetchOnly" + suffix);
            const double sorted = reporter.Time("BM_FetchAndSort" + suffix);
            if (fetch > 0 && sorted > 0)
                fprintf(stderr,
                        "  of the page: fetch, filter, copy and free %.2f ms (%.0f%%), sort %.2f "
                        "ms (%.0f%%), writing the rest\n",
                        fetch, 100.0 * fetch / page, sorted - fetch,
                        100.0 * (sorted - fetch) / page);
        }
    }
    hxm_bench::PrintRowWriterTargets(
        reporter, "open-file list",
        [](int64_t rows) { return "BM_OpenFilePage/" + std::to_string(rows) + "/0"; },
        [](int64_t rows) { return "BM_SnprintfBaseline/" + std::to_string(rows) + "/0"; });
    for (int64_t files : sizes)
        for (int filtered : {0, 1})
            hxm_bench::ReportPeakMemory(
                std::to_string(files) + " files" + (filtered ? " filtered" : ""),
                [files, filtered] { return PageBytes(static_cast<int>(files), filtered != 0); });
    benchmark::Shutdown();
    hxm_bench::UnloadPlugin();
    return 0;
}
