/*
 * Requests from several threads at once, for the tests that show pages are
 * served whole while other requests run.
 */
#ifndef HXM_TESTS_SUPPORT_CONCURRENT_H
#define HXM_TESTS_SUPPORT_CONCURRENT_H

#include <functional>
#include <thread>
#include <vector>

namespace hxm_test {

/* Runs `threads` threads that each call `round(thread, round)` `rounds`
 * times, and returns each thread's sum of what the calls returned (the
 * number of wrong answers it saw). */
inline std::vector<int> MismatchesPerThread(int threads, int rounds,
                                            const std::function<int(int, int)> &round) {
    std::vector<int> mismatches(static_cast<size_t>(threads), 0);
    std::vector<std::thread> running;
    for (int t = 0; t < threads; ++t) {
        running.emplace_back([&, t] {
            for (int i = 0; i < rounds; ++i)
                mismatches[static_cast<size_t>(t)] += round(t, i);
        });
    }
    for (std::thread &thread : running)
        thread.join();
    return mismatches;
}

} // namespace hxm_test

#endif
