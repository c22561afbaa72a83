/*
 * The request path as the areas read it: "/<keyword>" and, after it, the
 * components ConvertToComponentPath leaves in the host's path buffer (each
 * "/" turned into one byte holding the length of the text after it).
 *
 * Parsing reports what the path asks for (help and its topic, a sort
 * keyword, the components left); writing the page is the caller's choice.
 */
#ifndef HXM_PAGES_COMMON_COMPONENT_PATH_H
#define HXM_PAGES_COMMON_COMPONENT_PATH_H

#include <stddef.h>

#include <memory>

#include <zentra/afpstat.h>

#include "logger/logger.h"

namespace hxm2afp {

/* Whether text[0..length) is, ignoring case, `word` or a leading part of it
 * (an empty text is). A text longer than the word never is. */
bool is_leading_part_of(const char *word, const char *text, size_t length);

/* One component: its length byte, then its text (not terminated). The
 * path's end (its terminator) reads as an empty component; since a real
 * empty component looks the same, only the count tells them apart. */
class Component {
  public:
    Component() = default;
    explicit Component(char *at) : at_(at) {}

    /* The length byte, or null for no component at all. */
    char *at() const { return at_; }
    size_t length() const { return at_ != nullptr ? static_cast<unsigned char>(at_[0]) : 0; }
    char *text() const { return at_ != nullptr ? at_ + 1 : nullptr; }
    /* The component after this one (the path's end after the last); this
     * one must be a component, not the path's end. */
    Component next() const;

    /* Comparisons ignoring case: the whole text is `word`; the text begins
     * with `word` (never reading into the next component); the text is a
     * leading part of `word`. */
    bool equals(const char *word) const;
    bool begins_with(const char *word) const;
    bool is_leading_part_of(const char *word) const;

  private:
    char *at_ = nullptr;
};

struct FreeText {
    void operator()(char *text) const;
};
/* A heap text, freed with its holder. */
using HeapText = std::unique_ptr<char, FreeText>;

/* A heap copy of `text`; null when there is no memory for it. */
HeapText copy_text(const char *text);

/* The components from `from` on, `count` of them, written back with "/"
 * before each: the text the path had there ("" for none). Null when there is
 * no memory for it. */
HeapText slash_text(Component from, int count);

/* A sort keyword and the sort type it asks for. */
struct SortKeyword {
    const char *keyword;
    AfpSortType sortType;
};

/* How a component is held against a sort keyword. */
enum class SortMatch {
    kWhole,     // the component is the keyword
    kBeginsWith // the component begins with the keyword
};

/* What the path of a request asks for. */
struct ComponentPath {
    char *path = nullptr;              // the host's path buffer, "/<keyword>..."
    char *afterKeyword = nullptr;      // its "/" after "/<keyword>" (converted: the first
                                       // length byte); null when the path has none
    int total = 0;                     // components after the keyword
    int count = 0;                     // components not consumed
    Component first;                   // the first of them (the path's end when none is left)
    bool help = false;                 // the first component is a leading part of "help"
    int helpCount = 0;                 // components after the help token
    Component helpTopic;               // the first of them, when helpCount is not 0
    const SortKeyword *sort = nullptr; // the sort keyword consumed, if any
};

/* The host's writable path buffer ("/<keyword>..."), or null when it cannot
 * be read. */
char *read_host_path(void *request);

/* Reads the host's path buffer into path->path: 0, or 400 when it cannot be
 * read or does not begin with "/". Sets afterKeyword when the character
 * after "/<keyword>" is "/" (and nothing more is done to the path). */
int read_component_path(void *request, const char *keyword, ComponentPath *path);

/* Converts the text at afterKeyword in place and finds the help token: 0,
 * or 400 for a component the host cannot hold. Without afterKeyword there
 * is nothing to convert (count 0). */
int convert_component_path(ComponentPath *path);

/* Consumes the first component when it matches `keyword`: whether it did. */
bool consume_sort_keyword(ComponentPath *path, const SortKeyword &keyword, SortMatch match);

/* Consumes a leading sort keyword of an area's table (rows holding a
 * SortKeyword `sort`, tried in order): the row, or null when none stands
 * first. */
template <typename Row, size_t kRows>
const Row *find_sort_keyword(ComponentPath *path, const Row (&table)[kRows], SortMatch match) {
    for (const Row &row : table) {
        if (consume_sort_keyword(path, row.sort, match))
            return &row;
    }
    return nullptr;
}

/* The steps both areas take after their keyword: converts the path, traces
 * whether it asks for help, and otherwise consumes a leading sort keyword of
 * the area's table. 0, or 400 for a component the host cannot hold. */
template <typename Row, size_t kRows>
int read_sorted_components(ComponentPath *path, const Row (&table)[kRows], SortMatch match) {
    if (convert_component_path(path) != 0)
        return 400;
    HXM_DEBUG("count = %d check for help token", path->count);
    if (path->help) {
        HXM_DEBUG("count = %d FOUND help token", path->count);
        return 0;
    }
    HXM_DEBUG("count = %d look for sort method", path->count);
    find_sort_keyword(path, table, match);
    return 0;
}

} // namespace hxm2afp

#endif
