/*
 * Texts built to catch a keyed text sort out: the sorts key a text by the
 * sixteen bytes after the prefix the whole list shares, so the texts here
 * share a long prefix, agree for sixteen bytes and more after it, carry a
 * byte of 0x80 to 0xff at each of the first twenty positions after it, and
 * repeat (for the order of equal keys).
 */
#ifndef HXM_TESTS_SUPPORT_SORT_TEXTS_H
#define HXM_TESTS_SUPPORT_SORT_TEXTS_H

#include <stddef.h>

#include <string>
#include <vector>

namespace hxm_test {

/* `count` such texts in a scrambled order, each at most 80 bytes; with
 * `shortOnes`, some are also the shared prefix cut short, down to the empty
 * text, so the list shares less than the rest of it does. */
std::vector<std::string> SortHardTexts(size_t count, bool shortOnes, unsigned seed);

/* The positions 0..texts.size()-1 in the order the sorts promise: by
 * strcmp, equal texts in the reverse of their position. */
std::vector<size_t> StableTextOrder(const std::vector<std::string> &texts);

} // namespace hxm_test

#endif
