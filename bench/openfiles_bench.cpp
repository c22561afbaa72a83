/*
 * The open-file page at server scale: 10,000 and 100,000 open files on one
 * volume, with and without an extension filter, served through the built
 * plug-in and the host's in-process request call with the scriptable
 * monitoring library holding the files. Beside it, the baseline: the same
 * rows formatted with plain snprintf into one growing buffer. Prints the
 * ratio of each page to its baseline, the growth from 10,000 to 100,000
 * rows, and the peak memory of one page over the process's baseline.
 *
 * NameCompare writes a line per filtered file to standard output, so run it
 * with standard output sent to /dev/null: the results go to standard error.
 * The page is sorted by path; HXM_BENCH_SORT=ConnectionNumber or UserName
 * measures another sort.
 */
#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/console/hxm_console.h"
#include "tests/support/scripted_afpstat.h"

namespace {

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
    size_t bytes = 0;
    for (auto _ : state) {
        const hxm::Response response = ServePage(filtered);
        if (response.status != 200) {
            state.SkipWithError("the page failed");
            break;
        }
        bytes = response.body.size();
        benchmark::DoNotOptimize(response.body.data());
    }
    state.counters["page_bytes"] = static_cast<double>(bytes);
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
    const char *smoke = getenv("HXM_BENCH_SMOKE");
    if (smoke != nullptr && smoke[0] != '\0') {
        benchmark->Args({1000, 0})->Args({1000, 1});
        return;
    }
    for (int files : {10000, 100000})
        for (int filtered : {0, 1})
            benchmark->Args({files, filtered});
}

/* The fetch alone (library list, filter, copy, free) and the fetch with the
 * sort, through the plug-in's exports: what bounds the page. */
struct OpenFileNode {
    uint32_t copy;
    uint32_t connection;
    char user[512];
    char path[512];
    OpenFileNode *next;
};
using GetOpenFileListFn = int (*)(const char *, OpenFileNode **, const char *);
using SortFn = OpenFileNode *(*)(OpenFileNode **, int);
void *gPlugin = nullptr;

int SortType() {
    const char *sort = getenv("HXM_BENCH_SORT");
    if (sort == nullptr || strcmp(sort, "FileName") == 0 || sort[0] == '\0')
        return 3;
    return strcmp(sort, "UserName") == 0 ? 2 : 1;
}

void FetchAndMaybeSort(benchmark::State &state, bool sort) {
    const int files = static_cast<int>(state.range(0));
    const bool filtered = state.range(1) != 0;
    auto get = reinterpret_cast<GetOpenFileListFn>(
        dlsym(gPlugin, "_Z15GetOpenFileListPKcPP12OpenFileInfoS0_"));
    auto sortTable =
        reinterpret_cast<SortFn>(dlsym(gPlugin, "_Z18SortOpenFilesTablePP12OpenFileInfoi"));
    if (get == nullptr || sortTable == nullptr) {
        state.SkipWithError("the plug-in lacks the list exports");
        return;
    }
    Stage(RowsFor(files));
    for (auto _ : state) {
        OpenFileNode *head = nullptr;
        get(kVolume, &head, filtered ? "*.doc" : "");
        if (sort)
            sortTable(&head, SortType());
        while (head != nullptr) {
            OpenFileNode *next = head->next;
            free(head);
            head = next;
        }
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

/* Keeps each run's time per iteration for the ratios. */
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.error_occurred || run.iterations == 0)
                continue;
            times_[run.benchmark_name()] = run.GetAdjustedRealTime(); // in the run's unit (ms)
        }
    }
    std::map<std::string, double> times_;
};

long ReadStatusKilobytes(const char *field) {
    FILE *status = fopen("/proc/self/status", "r");
    if (status == nullptr)
        return -1;
    char line[256];
    long value = -1;
    const size_t length = strlen(field);
    while (fgets(line, sizeof line, status) != nullptr) {
        if (strncmp(line, field, length) == 0) {
            value = strtol(line + length, nullptr, 10);
            break;
        }
    }
    fclose(status);
    return value;
}

/* Peak resident memory of one page over the resident memory before it. */
void ReportPeakMemory(int files, bool filtered) {
    Stage(RowsFor(files));
    FILE *clear = fopen("/proc/self/clear_refs", "w");
    if (clear == nullptr) {
        fprintf(stderr, "peak memory: /proc/self/clear_refs is not writable here\n");
        return;
    }
    fputs("5", clear); // resets the peak resident size to the current one
    fclose(clear);
    const long before = ReadStatusKilobytes("VmRSS:");
    size_t pageBytes = 0;
    {
        const hxm::Response response = ServePage(filtered);
        pageBytes = response.body.size();
    }
    const long peak = ReadStatusKilobytes("VmHWM:");
    const double pageKilobytes = static_cast<double>(pageBytes) / 1024.0;
    fprintf(stderr,
            "peak memory, %d files%s: page %.1f MiB, peak over baseline %.1f MiB = %.2fx the page "
            "(target < 3x)\n",
            files, filtered ? " filtered" : "", pageKilobytes / 1024.0,
            static_cast<double>(peak - before) / 1024.0,
            static_cast<double>(peak - before) / pageKilobytes);
    scripted::Reset();
}

/* Loads the built plug-in under a private root, as the console does. */
bool LoadPlugin() {
    char root[] = "/tmp/hxm-bench-XXXXXX";
    if (mkdtemp(root) == nullptr)
        return false;
    setenv("ZENTRA_ROOT", root, 1);
    gPlugin = dlopen(HXM_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    if (gPlugin == nullptr) {
        fprintf(stderr, "cannot load the plug-in: %s\n", dlerror());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (!LoadPlugin())
        return 1;
    int peakFiles = 0;
    int peakFiltered = 0;
    if (argc == 2 && sscanf(argv[1], "--peak_only=%d,%d", &peakFiles, &peakFiltered) == 2) {
        ReportPeakMemory(peakFiles, peakFiltered != 0);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);

    const bool smoke = getenv("HXM_BENCH_SMOKE") != nullptr && getenv("HXM_BENCH_SMOKE")[0];
    const std::vector<int> sizes = smoke ? std::vector<int>{1000} : std::vector<int>{10000, 100000};
    for (int filtered : {0, 1}) {
        for (int files : sizes) {
            const std::string suffix = "/" + std::to_string(files) + "/" + std::to_string(filtered);
            const auto page = reporter.times_.find("BM_OpenFilePage" + suffix);
            const auto base = reporter.times_.find("BM_SnprintfBaseline" + suffix);
            if (page == reporter.times_.end() || base == reporter.times_.end())
                continue;
            fprintf(stderr,
                    "ratio, %d files%s: page %.2f ms / snprintf %.2f ms = %.2fx (target <= 2x)\n",
                    files, filtered ? " filtered" : "", page->second, base->second,
                    page->second / base->second);
            const auto fetch = reporter.times_.find("BM_FetchOnly" + suffix);
            const auto sorted = reporter.times_.find("BM_FetchAndSort" + suffix);
            if (fetch != reporter.times_.end() && sorted != reporter.times_.end())
                fprintf(stderr,
                        "  of the page: fetch, filter, copy and free %.2f ms (%.0f%%), sort %.2f "
                        "ms (%.0f%%), writing the rest\n",
                        fetch->second, 100.0 * fetch->second / page->second,
                        sorted->second - fetch->second,
                        100.0 * (sorted->second - fetch->second) / page->second);
        }
        if (!smoke) {
            const auto small =
                reporter.times_.find("BM_OpenFilePage/10000/" + std::to_string(filtered));
            const auto large =
                reporter.times_.find("BM_OpenFilePage/100000/" + std::to_string(filtered));
            if (small != reporter.times_.end() && large != reporter.times_.end())
                fprintf(stderr, "growth 10,000 -> 100,000 files%s: %.2fx (target <= 12x)\n",
                        filtered ? " filtered" : "", large->second / small->second);
        }
    }
    // Each peak is measured in a fresh process of its own, so no memory freed
    // by an earlier page hides the peak.
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        self[length] = '\0';
        for (int files : sizes) {
            for (int filtered : {0, 1}) {
                const std::string command = std::string("'") + self +
                                            "' --peak_only=" + std::to_string(files) + "," +
                                            std::to_string(filtered) + " >/dev/null";
                if (system(command.c_str()) != 0)
                    fprintf(stderr, "peak memory, %d files: not measured\n", files);
            }
        }
    }
    benchmark::Shutdown();
    return 0;
}
