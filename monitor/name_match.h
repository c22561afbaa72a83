/*
 * Matching a part of a name, as find asks for it, against the names the
 * monitoring library reports. AFP clients write names decomposed (NFD, "a"
 * then U+0308) while a browser sends what was typed composed (NFC): both
 * sides are compared decomposed and case folded, so either spelling finds
 * the other.
 */
#ifndef HXM_MONITOR_NAME_MATCH_H
#define HXM_MONITOR_NAME_MATCH_H

#include <stddef.h>
#include <stdint.h>

namespace hxm2afp {

/* The characters of `text` (null: none): its code points, and one for each
 * byte that is not part of valid UTF-8. The unit the find limits count in. */
size_t count_characters(const char *text);

/* A part of a name to look for: "*" stands for any run of characters and
 * "?" for any one character; a "*" is implied at both ends, so an empty part
 * is held by every text. Case and composition do not matter. A character is
 * what a reader sees as one: a letter with its accents, a Hangul syllable;
 * right after a letter, a "?" also stands for its accents alone ("a?rger"
 * holds "Ärger"), since decomposed they follow the letter. A part or a text
 * that is not valid UTF-8 is matched byte for byte instead, ignoring the
 * case of ASCII letters only. */
class NamePattern {
  public:
    /* `part` (null: the empty part) must outlive the pattern. */
    explicit NamePattern(const char *part);
    NamePattern(const NamePattern &) = delete;
    NamePattern &operator=(const NamePattern &) = delete;
    ~NamePattern();

    bool empty() const { return part_[0] == '\0'; }
    /* Whether the part holds a "/" (it is then meant for a whole path). */
    bool holds_slash() const { return slash_; }
    /* Whether `text` (null: empty) holds the part. */
    bool found_in(const char *text) const;

  private:
    const char *part_; // as given
    int32_t *points_;  // decomposed and folded, wildcards marked; null: bytes only
    size_t length_;    // of points_
    bool ascii_;       // the part is plain ASCII
    bool slash_;
};

} // namespace hxm2afp

#endif
