/*
 * Growth and formatting of a response body. Formatting goes straight into the
 * spare capacity; only a write that does not fit grows the buffer (doubling)
 * and is formatted a second time.
 */
#include "platform/console/body_buffer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hxm_console {

namespace {
constexpr std::size_t kInitialCapacity = 16 * 1024;
}

BodyBuffer::BodyBuffer(std::size_t limit)
    : limit_(limit != 0 && limit < kDefaultBodyLimit ? limit : kDefaultBodyLimit) {}

BodyBuffer::~BodyBuffer() {
    std::free(data_);
}

void BodyBuffer::Clear() {
    size_ = 0;
    failed_ = false;
}

bool BodyBuffer::Reserve(std::size_t needed) {
    if (needed > limit_) {
        failed_ = true;
        return false;
    }
    if (needed < capacity_) // capacity keeps one byte for the terminator
        return true;
    std::size_t wanted = capacity_ < kInitialCapacity ? kInitialCapacity : capacity_;
    while (wanted <= needed && wanted <= limit_ / 2)
        wanted *= 2;
    if (wanted <= needed || wanted > limit_ + 1)
        wanted = limit_ + 1; // the last step lands on the cap itself
    char *grown = static_cast<char *>(std::realloc(data_, wanted));
    if (grown == nullptr) {
        failed_ = true;
        return false;
    }
    data_ = grown;
    capacity_ = wanted;
    return true;
}

bool BodyBuffer::AppendFormatted(const char *format, va_list args) {
    if (failed_ || format == nullptr)
        return false;
    if (capacity_ == 0 && !Reserve(0))
        return false;
    va_list retry;
    va_copy(retry, args);
    std::size_t spare = capacity_ - size_;
    int written = std::vsnprintf(data_ + size_, spare, format, args);
    if (written >= 0 && static_cast<std::size_t>(written) >= spare) {
        // Did not fit: grow once to the exact need and format again.
        if (Reserve(size_ + static_cast<std::size_t>(written))) {
            spare = capacity_ - size_;
            int again = std::vsnprintf(data_ + size_, spare, format, retry);
            if (again != written)
                written = -1;
        } else {
            va_end(retry);
            return false;
        }
    }
    va_end(retry);
    if (written < 0) {
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
    std::memcpy(data_ + size_, data, length);
    size_ += length;
    data_[size_] = '\0';
    return true;
}

} // namespace hxm_console
