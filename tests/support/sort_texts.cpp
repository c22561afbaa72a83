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
    const std::string same16 = "AAAAAAAAAAAAAAAA";
    const char alphabet[] = {'a', 'b', 'Z', '0', '\x7f', '\x80', '\xc3', '\xff'};
    std::mt19937 random(seed);
    auto any = [&](size_t below) { return static_cast<size_t>(random() % below); };
    auto tail = [&](size_t length) {
        std::string text;
        for (size_t i = 0; i < length; ++i)
            text += alphabet[any(sizeof alphabet)];
        return text;
    };
    std::vector<std::string> texts;
    texts.reserve(count);
    while (texts.size() < count) {
        std::string text;
        switch (any(5)) {
        case 0: // equal for sixteen bytes after the prefix, then apart
            text = prefix + same16 + tail(any(4));
            break;
        case 1: { // a high byte at one of the first twenty positions
            std::string rest = tail(20);
            rest[any(20)] = static_cast<char>(0x80 + any(128));
            text = prefix + rest.substr(0, 1 + any(20));
            break;
        }
        case 2: // short tails from few letters: many equal texts
            text = prefix + tail(any(3));
            break;
        case 3: // an earlier text again
            text = texts.empty() ? prefix : texts[any(texts.size())];
            break;
        default: // apart only at the seventeenth byte or later
            text = prefix + same16.substr(0, 15) + tail(1 + any(3)) + tail(any(4));
            break;
        }
        if (shortOnes && any(50) == 0)
            text = prefix.substr(0, any(prefix.size()));
        texts.push_back(text);
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
