/*
 * Texts that catch a keyed text sort out (see sort_texts.h).
 */
#include "tests/support/sort_texts.h"

#include <string.h>

#include <algorithm>
#include <random>

namespace hxm_test {

std::vector<std::string> SortHardTexts(size_t count, bool shortOnes, unsigned seed) {
    const std::string prefix = "/Volumes/Design/Projects/2026/Spring-Campaign/";
    const std::string same = "AAAAAAAAAAAAAAAA";
    const char alphabet[] = {'a', 'b', 'Z', '0', '\x7f', '\x80', '\xc3', '\xff'};
    std::mt19937 random(seed);
    auto any = [&](size_t below) { return static_cast<size_t>(random() % below); };
    auto tail = [&](size_t length) {
        std::string text;
        while (text.size() < length)
            text += alphabet[any(sizeof alphabet)];
        return text;
    };
    std::vector<std::string> tails, texts;
    while (texts.size() < count) {
        std::string rest = tail(20);
        rest[any(20)] = static_cast<char>(0x80 + any(128)); // a high byte anywhere
        const std::string choices[] = {
            same + tail(any(4)),                            // equal for sixteen bytes
            same.substr(0, 15) + tail(1 + any(3)),          // apart at the sixteenth
            rest.substr(0, 1 + any(20)),                    // a high byte at any position
            tail(any(3)),                                   // few letters: many equal
            tails.empty() ? "" : tails[any(tails.size())]}; // an earlier one again
        tails.push_back(choices[any(5)]);
        texts.push_back(prefix + tails.back());
        if (shortOnes && any(50) == 0)
            texts.back() = prefix.substr(0, any(prefix.size()));
    }
    return texts;
}

std::vector<size_t> StableTextOrder(const std::vector<std::string> &texts) {
    std::vector<size_t> order(texts.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = order.size() - 1 - i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return strcmp(texts[a].c_str(), texts[b].c_str()) < 0;
    });
    return order;
}

} // namespace hxm_test
