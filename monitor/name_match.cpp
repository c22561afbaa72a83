/*
 * Matching parts of names (see name_match.h).
 *
 * Notes:
 * - libutf8proc decomposes and case folds both sides into code points and
 *   says where a character (an extended grapheme cluster) starts; that start
 *   is kept as a flag bit of the code point. An ASCII code point always
 *   starts a character of its own, so a plain-ASCII name matches exactly as
 *   byte for byte, which is how such names are matched (no decomposition
 *   for the common case of a server's 100,000 files).
 * - The match is a wildcard match with an implied "*" at both ends, which
 *   backtracks only to the last "*". A "?" takes the code points up to the
 *   next character start and a literal one code point: both end no earlier
 *   when they begin later, so the leftmost fit of the part after the last
 *   "*" is the one to keep. A match must end where a character starts, so
 *   "a" never holds the "a" of a decomposed "ä".
 */
#include "monitor/name_match.h"

#include <stdlib.h>
#include <string.h>

#include <utf8proc.h>

namespace hxm2afp {
namespace {

constexpr utf8proc_option_t kFolded =
    static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_CASEFOLD);
constexpr int32_t kStartsCharacter = 1 << 30;
constexpr int32_t kCodePoint = kStartsCharacter - 1;
// In a part: the wildcards (no code point is negative).
constexpr int32_t kAnyRun = -1;
constexpr int32_t kAnyOne = -2;
// Code points decomposed on the stack; a longer name gets a heap buffer.
constexpr size_t kStackPoints = 512;

const utf8proc_uint8_t *bytes_of(const char *text) {
    return reinterpret_cast<const utf8proc_uint8_t *>(text);
}

bool is_ascii(const char *text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80)
            return false;
    }
    return true;
}

unsigned char fold_ascii(char c) {
    const unsigned char byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// The byte-wise match: "*" any run of bytes, "?" any one byte, ASCII
// letters in either case.
bool holds_bytes(const char *text, const char *part) {
    const char *resume = part;
    const char *resumeText = text;
    while (*text != '\0') {
        if (*part == '\0')
            return true; // the implied trailing "*" takes the rest
        if (*part == '*') {
            resume = ++part;
            resumeText = text;
            continue;
        }
        if (*part == '?' || fold_ascii(*part) == fold_ascii(*text)) {
            ++part;
            ++text;
            continue;
        }
        part = resume;
        text = ++resumeText;
    }
    while (*part == '*')
        ++part;
    return *part == '\0';
}

/* Decomposed, folded code points of a text, with character starts marked:
 * on the stack when they fit, else on the heap. */
class FoldedText {
  public:
    FoldedText(const FoldedText &) = delete;
    FoldedText &operator=(const FoldedText &) = delete;
    /* Folds `text`; valid() is false for invalid UTF-8 or without memory. */
    explicit FoldedText(const char *text) {
        const size_t length = strlen(text);
        utf8proc_ssize_t count =
            utf8proc_decompose(bytes_of(text), static_cast<utf8proc_ssize_t>(length), stack_,
                               static_cast<utf8proc_ssize_t>(kStackPoints), kFolded);
        if (count > static_cast<utf8proc_ssize_t>(kStackPoints)) {
            heap_ = static_cast<int32_t *>(malloc(static_cast<size_t>(count) * sizeof *heap_));
            count = heap_ == nullptr
                        ? UTF8PROC_ERROR_NOMEM
                        : utf8proc_decompose(bytes_of(text), static_cast<utf8proc_ssize_t>(length),
                                             heap_, count, kFolded);
        }
        if (count < 0)
            return;
        points_ = heap_ != nullptr ? heap_ : stack_;
        length_ = static_cast<size_t>(count);
        utf8proc_int32_t state = 0;
        for (size_t i = 0; i < length_; ++i) {
            const bool breaks = i == 0 || utf8proc_grapheme_break_stateful(
                                              points_[i - 1] & kCodePoint, points_[i], &state);
            if (breaks || points_[i] < 0x80)
                points_[i] |= kStartsCharacter;
        }
    }
    ~FoldedText() { free(heap_); }

    bool valid() const { return points_ != nullptr; }
    int32_t *points() const { return points_; }
    size_t length() const { return length_; }

  private:
    int32_t stack_[kStackPoints];
    int32_t *heap_ = nullptr;
    int32_t *points_ = nullptr;
    size_t length_ = 0;
};

bool starts_character(const int32_t *text, size_t length, size_t at) {
    return at == length || (text[at] & kStartsCharacter) != 0;
}

// Whether text[0..n) holds part[0..m), a part with neither leading nor
// trailing "*" and at least one element.
bool holds_points(const int32_t *text, size_t n, const int32_t *part, size_t m) {
    size_t t = 0;
    size_t p = 0;
    // Start as if just past the implied leading "*".
    size_t resumePart = 0;
    size_t resumeText = 0;
    for (;;) {
        if (p == m) {
            if (starts_character(text, n, t))
                return true; // the implied trailing "*" takes the rest
        } else if (part[p] == kAnyRun) {
            resumePart = ++p;
            resumeText = t;
            continue;
        } else if (t < n && part[p] == kAnyOne) {
            ++p;
            do
                ++t;
            while (!starts_character(text, n, t));
            continue;
        } else if (t < n && part[p] == (text[t] & kCodePoint)) {
            ++p;
            ++t;
            continue;
        }
        if (resumeText >= n)
            return false;
        p = resumePart;
        t = ++resumeText;
    }
}

} // namespace

size_t count_characters(const char *text) {
    if (text == nullptr)
        return 0;
    size_t count = 0;
    const utf8proc_uint8_t *at = bytes_of(text);
    while (*at != 0) {
        utf8proc_int32_t point;
        const utf8proc_ssize_t length = utf8proc_iterate(at, -1, &point);
        at += length > 0 ? length : 1;
        ++count;
    }
    return count;
}

NamePattern::NamePattern(const char *part)
    : part_(part != nullptr ? part : ""), points_(nullptr), length_(0), ascii_(is_ascii(part_)),
      slash_(strchr(part_, '/') != nullptr) {
    const FoldedText folded(part_);
    if (!folded.valid())
        return;
    points_ = static_cast<int32_t *>(malloc((folded.length() + 1) * sizeof *points_));
    if (points_ == nullptr)
        return;
    // Wildcards marked, runs of "*" made one, those at both ends dropped
    // (they are implied).
    for (size_t i = 0; i < folded.length(); ++i) {
        const int32_t point = folded.points()[i] & kCodePoint;
        const int32_t element = point == '*' ? kAnyRun : point == '?' ? kAnyOne : point;
        if (element == kAnyRun && (length_ == 0 || points_[length_ - 1] == kAnyRun))
            continue;
        points_[length_++] = element;
    }
    if (length_ > 0 && points_[length_ - 1] == kAnyRun)
        --length_;
}

NamePattern::~NamePattern() {
    free(points_);
}

bool NamePattern::found_in(const char *text) const {
    if (text == nullptr)
        text = "";
    if (empty())
        return true;
    if (points_ == nullptr || (ascii_ && is_ascii(text)))
        return holds_bytes(text, part_);
    const FoldedText folded(text);
    if (!folded.valid())
        return holds_bytes(text, part_);
    return length_ == 0 || holds_points(folded.points(), folded.length(), points_, length_);
}

} // namespace hxm2afp
