/*
 * Request threads logging at once: every line arrives whole, none is lost,
 * and each thread's lines keep their order.
 */
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/logger_fixture.h"

namespace hxm_test {
namespace {

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 400;

TEST_F(LoggerTest, ConcurrentLinesNeverInterleave) {
    logger_->setLevel(HXM_LOG_DUMP);
    const std::string payload(120, 'p');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t, &payload] {
            for (int i = 0; i < kLinesPerThread; ++i) {
                switch (i % 4) {
                case 0:
                    logger_->debug("thread %d line %d %s", t, i, payload.c_str());
                    break;
                case 1:
                    logger_->infoTagged("tag", "thread %d line %d %s", t, i, payload.c_str());
                    break;
                case 2:
                    logger_->writeAlways("thread %d line %d %s", t, i, payload.c_str());
                    break;
                default:
                    logger_->dump("thread %d line %d %s", t, i, payload.c_str());
                    break;
                }
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();

    const std::regex line(
        R"((?:\[D T\] |\[i T\] tag: |\[- T\] |\[\* T\] <dump>\n)thread (\d) line (\d+) p{120}(?:\n</dump>)?)");
    std::string text = Content();
    std::vector<int> next(kThreads, 0);
    auto begin = std::sregex_iterator(text.begin(), text.end(), line);
    size_t consumed = 0;
    int total = 0;
    for (auto it = begin; it != std::sregex_iterator(); ++it) {
        ASSERT_EQ(static_cast<size_t>(it->position()), consumed)
            << "garbled text before line " << total;
        int thread = std::stoi((*it)[1]);
        int number = std::stoi((*it)[2]);
        ASSERT_EQ(number, next[thread]) << "thread " << thread;
        ++next[thread];
        consumed = it->position() + it->length() + 1; // and its line end
        ++total;
    }
    EXPECT_EQ(consumed, text.size());
    EXPECT_EQ(total, kThreads * kLinesPerThread);
}

TEST_F(LoggerTest, TheLevelMayChangeWhileThreadsLog) {
    std::atomic<bool> done{false};
    std::thread switcher([this, &done] {
        while (!done.load()) {
            logger_->setLevel(HXM_LOG_NOTHING);
            logger_->levelUp();
            logger_->setLevel(HXM_LOG_EVERYTHING);
            logger_->levelDown();
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t] {
            for (int i = 0; i < kLinesPerThread; ++i)
                logger_->warning("thread %d line %d", t, i);
        });
    }
    for (std::thread &writer : writers)
        writer.join();
    done = true;
    switcher.join();

    std::string text = Content();
    const std::regex line(R"(\[W T\] thread \d line \d+\n)");
    std::string remainder = std::regex_replace(text, line, "");
    EXPECT_EQ(remainder, "");
}

} // namespace
} // namespace hxm_test
