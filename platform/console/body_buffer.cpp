/*
 * Growth and formatting of a response body. Content is appended into the
 * reserved storage, which grows in steps of 8, then doubling; nothing
 * beyond the content is ever filled, so a page costs one copy of its bytes.
 */
#include "platform/console/body_buffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>

namespace hxm_console {

namespace {

constexpr std::size_t kInitialCapacity = std::size_t{16} * 1024;

// Each growth copies the content and leaves the old storage to the
// allocator, which keeps it: growing in large steps keeps both small. Storage
// this large has a mapping of its own that goes back on free, and only
// doubles, so as not to reserve far more address space than it uses.
constexpr std::size_t kGrowthFactor = 8;
constexpr std::size_t kLargeStorage = std::size_t{64} * 1024 * 1024;

// The next body a thread writes is most likely the same page as its last:
// starting at that size (and an eighth more) spares the copies of growing
// there step by step. Larger pages than this start small, so one huge page
// does not make every later one reserve as much.
constexpr std::size_t kLargestStart = std::size_t{4} * 1024 * 1024;
thread_local std::size_t tStartCapacity = kInitialCapacity;

// A formatted text up to this long is formatted once on the stack; a longer
// one is formatted a second time, in place.
constexpr std::size_t kFormatOnStack = 1024;

// What glibc's printf writes for a null "%s" argument.
constexpr char kNullText[] = "(null)";

} // namespace

BodyBuffer::BodyBuffer(std::size_t limit)
    : limit_(limit != 0 && limit < kDefaultBodyLimit ? limit : kDefaultBodyLimit) {}

void BodyBuffer::Clear() {
    bytes_.clear(); // keeps the storage
    failed_ = false;
}

std::string BodyBuffer::Release() {
    std::string content;
    content.swap(bytes_); // the storage goes with the content: nothing is copied
    Clear();
    const std::size_t size = content.size();
    tStartCapacity =
        size < kLargestStart ? std::max(size + size / 8, kInitialCapacity) : kInitialCapacity;
    return content;
}

bool BodyBuffer::Reserve(std::size_t needed) {
    if (needed > limit_) {
        failed_ = true;
        return false;
    }
    if (needed <= bytes_.capacity()) // capacity leaves out the terminator's byte
        return true;
    try {
        std::size_t wanted = std::max(bytes_.capacity(), tStartCapacity);
        while (wanted <= needed) {
            const std::size_t factor = wanted < kLargeStorage ? kGrowthFactor : 2;
            if (wanted > limit_ / factor)
                break;
            wanted *= factor;
        }
        if (wanted <= needed || wanted > limit_)
            wanted = limit_; // the last step lands on the cap itself
        bytes_.reserve(wanted);
    } catch (const std::exception &) {
        failed_ = true;
        return false;
    }
    return true;
}

bool BodyBuffer::AppendFormatted(const char *format, va_list args) {
    if (failed_ || format == nullptr)
        return false;
    // The plain cases need no formatting pass: one text, or literal text.
    if (format[0] == '%' && format[1] == 's' && format[2] == '\0') {
        const char *text = va_arg(args, const char *);
        if (text == nullptr)
            text = kNullText;
        return Append(text, std::strlen(text));
    }
    if (std::strchr(format, '%') == nullptr)
        return Append(format, std::strlen(format));
    va_list retry;
    va_copy(retry, args);
    char local[kFormatOnStack];
    const int written = std::vsnprintf(local, sizeof local, format, args);
    bool appended = false;
    if (written >= 0 && static_cast<std::size_t>(written) < sizeof local) {
        appended = Append(local, static_cast<std::size_t>(written));
    } else if (written >= 0 && static_cast<std::size_t>(written) <= limit_ - size() &&
               Reserve(size() + static_cast<std::size_t>(written))) {
        // Too long for the stack: format again into room made for it.
        const std::size_t start = size();
        bytes_.resize(start + static_cast<std::size_t>(written));
        const int again =
            std::vsnprintf(&bytes_[start], static_cast<std::size_t>(written) + 1, format, retry);
        appended = again == written;
        if (!appended)
            bytes_.resize(start);
    }
    if (!appended)
        failed_ = true; // a page with a hole in it must not pass as whole
    va_end(retry);
    return appended;
}

bool BodyBuffer::Append(const char *data, std::size_t length) {
    if (failed_)
        return false;
    if (length == 0)
        return true;
    if (length > limit_ - size() || !Reserve(size() + length)) {
        failed_ = true;
        return false;
    }
    bytes_.append(data, length);
    return true;
}

} // namespace hxm_console
