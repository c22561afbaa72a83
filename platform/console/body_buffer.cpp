/*
 * Growth and formatting of a response body. Formatting goes straight into the
 * spare capacity; only a write that does not fit grows the buffer (in steps
 * of 8, then doubling) and is formatted a second time.
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

// How far beyond the content the writable part reaches after a growth.
constexpr std::size_t kUsableStep = std::size_t{256} * 1024;

// What glibc's printf writes for a null "%s" argument.
constexpr char kNullText[] = "(null)";

} // namespace

BodyBuffer::BodyBuffer(std::size_t limit)
    : limit_(limit != 0 && limit < kDefaultBodyLimit ? limit : kDefaultBodyLimit) {}

void BodyBuffer::Clear() {
    size_ = 0;
    if (!bytes_.empty())
        bytes_[0] = '\0';
    failed_ = false;
}

std::string BodyBuffer::Release() {
    bytes_.resize(size_); // shrinking keeps the storage: nothing is copied
    std::string content;
    content.swap(bytes_);
    Clear();
    return content;
}

bool BodyBuffer::Reserve(std::size_t needed) {
    if (needed > limit_) {
        failed_ = true;
        return false;
    }
    if (needed < bytes_.size()) // the usable part keeps one byte for the terminator
        return true;
    try {
        if (needed >= bytes_.capacity()) {
            std::size_t wanted = std::max(bytes_.capacity(), kInitialCapacity);
            while (wanted <= needed) {
                const std::size_t factor = wanted < kLargeStorage ? kGrowthFactor : 2;
                if (wanted > limit_ / factor)
                    break;
                wanted *= factor;
            }
            if (wanted <= needed || wanted > limit_ + 1)
                wanted = limit_ + 1; // the last step lands on the cap itself
            // Cut to the content first, so growing copies no spare bytes.
            bytes_.resize(size_);
            bytes_.reserve(wanted);
        }
        // A string fills what it grows by, so the usable part grows a step
        // at a time: the unused end of the storage is never written.
        std::size_t usable = std::max(needed + 1, size_ + kUsableStep);
        bytes_.resize(std::min({usable, bytes_.capacity(), limit_ + 1}));
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
    if (bytes_.empty() && !Reserve(0))
        return false;
    va_list retry;
    va_copy(retry, args);
    std::size_t spare = bytes_.size() - size_;
    int written = std::vsnprintf(&bytes_[size_], spare, format, args);
    if (written >= 0 && static_cast<std::size_t>(written) >= spare) {
        // Did not fit: grow once to the exact need and format again.
        if (Reserve(size_ + static_cast<std::size_t>(written))) {
            spare = bytes_.size() - size_;
            int again = std::vsnprintf(&bytes_[size_], spare, format, retry);
            if (again != written)
                written = -1;
        } else {
            va_end(retry);
            bytes_[size_] = '\0'; // drops the part that was cut
            return false;
        }
    }
    va_end(retry);
    if (written < 0) {
        bytes_[size_] = '\0';
        failed_ = true; // a page with a hole in it must not pass as whole
        return false;
    }
    size_ += static_cast<std::size_t>(written);
    return true;
}

bool BodyBuffer::Append(const char *data, std::size_t length) {
    if (failed_)
        return false;
    if (length == 0)
        return true;
    if (length > limit_ - size_ || !Reserve(size_ + length)) {
        failed_ = true;
        return false;
    }
    std::memcpy(&bytes_[size_], data, length);
    size_ += length;
    bytes_[size_] = '\0';
    return true;
}

} // namespace hxm_console
