/*
 * Finding open files across volumes at server scale: the find page over 10
 * volumes of 10,000 open files each, beside the single-volume list page of
 * 100,000 files, in the same run, both served through the built plug-in and
 * the host's in-process request call with the scriptable monitoring library
 * holding the files. Both pages are sorted by path and list every file (the
 * find asks for a part every name holds), so they write the same number of
 * rows; a selective find (a few rows) shows the walk alone, and one whose
 * part is not plain ASCII (no rows) the walk with every name decomposed and
 * case folded. Prints the ratio find / list against its target (at most
 * 1.5x), and the folded walk against the plain one.
 *
 * Run with standard output sent to /dev/null: the results go to standard error.
 */
#include <stdio.h>

#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/console/hxm_console.h"
#include "tests/support/scripted_afpstat.h"

namespace {

namespace scripted = hxm_test::scripted;

constexpr int kFilesPerConnection = 100;
constexpr double kTarget = 1.5;

/* Stages `volumes` volumes of `files` open files each, named VOL0... */
void Stage(int volumes, int files) {
    scripted::Reset();
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(volumes));
    for (int v = 0; v < volumes; ++v)
        names.push_back("VOL" + std::to_string(v));
    scripted::StageVolumes({names});
    for (int v = 0; v < volumes; ++v) {
        scripted::OpenFileList list;
        for (int i = 0; i < files; i += kFilesPerConnection) {
            scripted::OpenFileRecord record;
            const int connection = (v * files + i) / kFilesPerConnection;
            record.connectionNumber = static_cast<uint32_t>(connection * 37 % 65536 + 1);
            record.userName = "user" + std::to_string(connection % 4000);
            for (int j = i; j < files && j < i + kFilesPerConnection; ++j) {
                char path[128];
                snprintf(path, sizeof path, "/vol%d/projects/dir%03d/report-%06d.%s", v,
                         (j * 7919) % 500, (j * 104729) % 1000003, j % 2 ? "doc" : "txt");
                record.fileNames.push_back(path);
            }
            list.records.push_back(std::move(record));
        }
        scripted::StageOpenFiles(names[static_cast<size_t>(v)], std::move(list));
    }
}

hxm::Response Serve(const std::string &target, const std::string &body) {
    hxm::Request request;
    request.target = target;
    request.accessFlags = 0x9;
    request.method = "POST";
    request.contentType = "application/x-www-form-urlencoded";
    request.body = body;
    return hxm::HandleRequest(request);
}

void Measure(benchmark::State &state, int volumes, const std::string &target,
             const std::string &body) {
    const int total = static_cast<int>(state.range(0));
    Stage(volumes, total / volumes);
    hxm_bench::TimePage(state, [&] { return Serve(target, body); });
    scripted::Reset();
}

void BM_ListOneVolume(benchmark::State &state) {
    Measure(state, 1, "/afpofm/FileName/VOL0", "");
}
void BM_FindEveryVolume(benchmark::State &state) {
    Measure(state, 10, "/afpofm/AFPFindFiles/FileName", "FINDNAME=report");
}
void BM_FindFewAcrossVolumes(benchmark::State &state) {
    Measure(state, 10, "/afpofm/AFPFindFiles/FileName", "FINDNAME=report-00001*.doc");
}
void BM_FindFoldedAcrossVolumes(benchmark::State &state) {
    // "rëport-00001*.doc": no name holds it, and none is plain ASCII to it.
    Measure(state, 10, "/afpofm/AFPFindFiles/FileName", "FINDNAME=r%C3%ABport-00001*.doc");
}

void Sizes(benchmark::internal::Benchmark *benchmark) {
    for (int64_t files : hxm_bench::Sizes({100000}))
        benchmark->Arg(files);
}

BENCHMARK(BM_ListOneVolume)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindEveryVolume)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindFewAcrossVolumes)->Apply(Sizes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindFoldedAcrossVolumes)->Apply(Sizes)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (!hxm_bench::LoadPlugin())
        return 1;
    hxm_bench::RatioReporter reporter;
    hxm_bench::RunBenchmarks(&argc, argv, &reporter);
    for (int64_t files : hxm_bench::Sizes({100000})) {
        const std::string suffix = "/" + std::to_string(files);
        const double list = reporter.Time("BM_ListOneVolume" + suffix);
        const double find = reporter.Time("BM_FindEveryVolume" + suffix);
        const double few = reporter.Time("BM_FindFewAcrossVolumes" + suffix);
        const double folded = reporter.Time("BM_FindFoldedAcrossVolumes" + suffix);
        if (list <= 0 || find <= 0)
            continue;
        const double ratio = find / list;
        fprintf(stderr,
                "ratio, %lld files: find over 10 volumes %.2f ms / one volume's list %.2f ms = "
                "%.2fx (target at most %.1fx: %s); a find of a few rows: %.2f ms (%.2fx)\n",
                static_cast<long long>(files), find, list, ratio, kTarget,
                ratio <= kTarget ? "met" : "missed", few, few / list);
        if (few > 0 && folded > 0)
            fprintf(stderr,
                    "ratio, %lld files: a find with a part to fold %.2f ms / the plain find of a "
                    "few rows %.2f ms = %.2fx\n",
                    static_cast<long long>(files), folded, few, folded / few);
    }
    benchmark::Shutdown();
    hxm_bench::UnloadPlugin();
    return 0;
}
