/*
 * The HTTP side of hxm-console: a libmicrohttpd daemon with a pool of worker
 * threads that authenticates each request, collects its body within a
 * limit, routes it and logs it.
 */
#ifndef HXM_PLATFORM_CONSOLE_SERVER_HTTP_SERVER_H
#define HXM_PLATFORM_CONSOLE_SERVER_HTTP_SERVER_H

#include <stdarg.h>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "platform/console/server/access_log.h"
#include "platform/console/server/connection_watch.h"
#include "platform/console/server/login_guard.h"
#include "platform/console/server/login_worker.h"
#include "platform/console/server/options.h"
#include "platform/console/server/static_files.h"

struct MHD_Daemon;

namespace hxm_server {

// Request bodies above this size are answered 413 and never reach a plug-in.
constexpr size_t kMaxBodyBytes = size_t{1024} * 1024;
// A logged-in client's declared body up to this size is read and dropped
// before its 413; a larger one is refused at once.
constexpr size_t kDrainedBodyBytes = 16 * kMaxBodyBytes;

struct ServerSettings {
    ListenAddress listen;
    unsigned threads = 4;
    unsigned int accessFlags = 0x9; // used when logins is null
    LoginGuard *logins = nullptr;   // null: no authentication
    const AccessLog *accessLog = nullptr;
    FileLocations locations;
    unsigned requestSeconds = 10;         // for a whole request head
    std::set<std::string> trustedProxies; // numeric addresses
    // Both set: HTTPS with this PEM certificate chain and key.
    std::string tlsCertificatePem;
    std::string tlsKeyPem;

    bool UsesTls() const { return !tlsCertificatePem.empty() && !tlsKeyPem.empty(); }
};

class HttpServer {
  public:
    HttpServer() = default;
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;
    ~HttpServer() { Stop(); }

    // Starts listening and serving on worker threads. The settings' logins
    // and access log must outlive the server. False, with *error set, when
    // the address cannot be bound.
    bool Start(const ServerSettings &settings, std::string *error);

    // The port actually bound (the chosen one when asked for port 0).
    unsigned Port() const;

    // Stops accepting, waits for the requests in progress, closes every
    // connection. Safe to call twice.
    void Stop();

    // Entry points of the daemon's callbacks; not for other callers.
    struct Callbacks;

  private:
    // A head being read: the daemon's thread that reads it and its state.
    struct Head {
        std::thread::id thread;
        void *state = nullptr;
    };
    static void DaemonLogged(void *cls, const char *format, va_list arguments);
    // The daemon is about to answer one of this thread's heads itself with
    // `status`: answers it once instead (see http_server.cpp).
    void AnswerForDaemon(unsigned status);

    ServerSettings settings_;
    LoginWorker loginWorker_;
    std::mutex headsMutex_;
    std::map<const void *, Head> heads_; // by connection
    std::unique_ptr<ConnectionWatch> watch_;
    MHD_Daemon *daemon_ = nullptr;
};

} // namespace hxm_server

#endif
