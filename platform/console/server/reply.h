/*
 * What a route answers, before it becomes an HTTP response: a status, a
 * content type, extra headers and either a body in memory or an open file.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_REPLY_H
#define HXM_PLATFORM_CONSOLE_SERVER_REPLY_H

#include <unistd.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace hxm_server {

class Reply {
  public:
    Reply() = default;
    Reply(int status, std::string contentType, std::string body)
        : status(status), contentType(std::move(contentType)), body(std::move(body)) {}
    Reply(Reply &&other) noexcept { *this = std::move(other); }
    Reply &operator=(Reply &&other) noexcept {
        if (this != &other) {
            CloseFile();
            status = other.status;
            contentType = std::move(other.contentType);
            headers = std::move(other.headers);
            body = std::move(other.body);
            file_ = other.file_;
            fileSize_ = other.fileSize_;
            other.file_ = -1;
        }
        return *this;
    }
    Reply(const Reply &) = delete;
    Reply &operator=(const Reply &) = delete;
    ~Reply() { CloseFile(); }

    // Makes the body the first `size` bytes of the open file `fd`, which
    // the reply then owns.
    void SetFile(int fd, uint64_t size) {
        CloseFile();
        file_ = fd;
        fileSize_ = size;
    }
    bool HasFile() const { return file_ >= 0; }
    uint64_t FileSize() const { return fileSize_; }
    // Hands the file over; the caller closes it from now on.
    int ReleaseFile() {
        int fd = file_;
        file_ = -1;
        return fd;
    }

    int status = 500;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;

  private:
    void CloseFile() {
        if (file_ >= 0)
            close(file_);
        file_ = -1;
    }
    int file_ = -1;
    uint64_t fileSize_ = 0;
};

// A short HTML page for a status the console answers itself (404, 405, ...).
Reply StatusReply(int status);

} // namespace hxm_server

#endif
