/*
 * The plug-in's list sorts side by side: the connections sort (mergesort)
 * and the open-file sort (SortOpenFilesTable) over the same number of nodes
 * with the same keys, each node its own heap block as the plug-in makes
 * them. Prints the open-file sort's time over the connections sort's for
 * each shared key: at most 1.00 means the open-file sort is as fast.
 */
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "monitor/connections.h"
#include "monitor/open_files.h"

namespace {

using ConnectionSort = void (*)(ConnectionSortStruct **, AfpSortType);
using OpenFileSort = OpenFileInfo *(*)(OpenFileInfo **, AfpSortType);

ConnectionSort g_connectionSort = nullptr;
OpenFileSort g_openFileSort = nullptr;

/* The keys both kinds of node share, plus one of each kind's own. */
struct Keys {
    uint32_t connectionNumber;
    std::string userName;
    uint64_t loginTime;
    std::string filePath;
};

/* `count` entries as a busy volume has them: 100 files per connection,
 * connections in no order. */
std::vector<Keys> MakeKeys(size_t count) {
    std::mt19937 random(static_cast<unsigned>(count));
    std::vector<Keys> keys(count);
    for (size_t i = 0; i < count; ++i) {
        const unsigned connection = static_cast<unsigned>(i / 100);
        char text[128];
        keys[i].connectionNumber = connection * 7919 % 65536 + 1;
        snprintf(text, sizeof text, "user%06u", connection * 104729 % 1000003);
        keys[i].userName = text;
        keys[i].loginTime = 1700000000 + random() % 1000000;
        snprintf(text, sizeof text, "/vol/projects/dir%03u/report-%06u.doc",
                 static_cast<unsigned>(random() % 500), static_cast<unsigned>(random() % 1000003));
        keys[i].filePath = text;
    }
    std::shuffle(keys.begin(), keys.end(), random);
    return keys;
}

/* Nodes allocated one by one in list order; freed at the end. */
template <typename Node> class Nodes {
  public:
    Nodes(const std::vector<Keys> &keys, void (*fill)(Node *, const Keys &)) {
        for (const Keys &key : keys) {
            Node *node = static_cast<Node *>(calloc(1, sizeof(Node)));
            fill(node, key);
            nodes_.push_back(node);
        }
    }
    ~Nodes() {
        for (Node *node : nodes_)
            free(node);
    }
    /* Links the nodes in their first order again and returns the head. */
    Node *Relink() {
        for (size_t i = 0; i < nodes_.size(); ++i)
            nodes_[i]->next = i + 1 < nodes_.size() ? nodes_[i + 1] : nullptr;
        return nodes_.empty() ? nullptr : nodes_[0];
    }

  private:
    std::vector<Node *> nodes_;
};

void FillConnection(ConnectionSortStruct *node, const Keys &key) {
    node->connectionNumber = key.connectionNumber;
    snprintf(node->userName, sizeof node->userName, "%s", key.userName.c_str());
    node->loginTime = key.loginTime;
}

void FillOpenFile(OpenFileInfo *node, const Keys &key) {
    node->connectionNumberCopy = key.connectionNumber;
    node->connectionNumber = key.connectionNumber;
    snprintf(node->userName, sizeof node->userName, "%s", key.userName.c_str());
    snprintf(node->filePath, sizeof node->filePath, "%s", key.filePath.c_str());
}

void BM_ConnectionSort(benchmark::State &state) {
    Nodes<ConnectionSortStruct> nodes(MakeKeys(static_cast<size_t>(state.range(0))),
                                      FillConnection);
    const auto sortType = static_cast<AfpSortType>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        ConnectionSortStruct *head = nodes.Relink();
        state.ResumeTiming();
        g_connectionSort(&head, sortType);
        benchmark::DoNotOptimize(head);
    }
}

void BM_OpenFileSort(benchmark::State &state) {
    Nodes<OpenFileInfo> nodes(MakeKeys(static_cast<size_t>(state.range(0))), FillOpenFile);
    const auto sortType = static_cast<AfpSortType>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        OpenFileInfo *head = nodes.Relink();
        state.ResumeTiming();
        benchmark::DoNotOptimize(g_openFileSort(&head, sortType));
    }
}

/* Connection number and user name are the keys both sorts have; the third
 * is each one's own (login time, file path). */
void SortArguments(benchmark::internal::Benchmark *benchmark) {
    for (int64_t count : hxm_bench::Sizes({100000}))
        for (int64_t sortType : {1, 2, 3})
            benchmark->Args({count, sortType});
}

BENCHMARK(BM_ConnectionSort)->Apply(SortArguments)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFileSort)->Apply(SortArguments)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv) {
    if (!hxm_bench::LoadPlugin())
        return 1;
    g_connectionSort = hxm_bench::Export<ConnectionSort>("_Z9mergesortPP20ConnectionSortStructi");
    g_openFileSort = hxm_bench::Export<OpenFileSort>("_Z18SortOpenFilesTablePP12OpenFileInfoi");
    if (g_connectionSort == nullptr || g_openFileSort == nullptr)
        return 1;
    hxm_bench::RatioReporter reporter;
    hxm_bench::RunBenchmarks(&argc, argv, &reporter);
    const char *keys[] = {"", "connection number", "user name",
                          "own third key (login time, file path)"};
    for (int64_t count : hxm_bench::Sizes({100000}))
        for (int sortType : {1, 2, 3}) {
            const std::string suffix = "/" + std::to_string(count) + "/" + std::to_string(sortType);
            hxm_bench::PrintRatio(reporter,
                                  "open-file sort / connections sort of " + std::to_string(count) +
                                      " nodes by " + keys[sortType],
                                  "BM_OpenFileSort" + suffix, "BM_ConnectionSort" + suffix);
        }
    benchmark::Shutdown();
    hxm_bench::UnloadPlugin();
    return 0;
}
