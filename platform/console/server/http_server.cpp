/*
 * The libmicrohttpd daemon and its callbacks.
 *
 * Notes: a request's state is made when its request line arrives (the URI
 * callback, which also sees the target exactly as sent) and is freed, after
 * its access log line, when the daemon reports the request complete. A
 * request without a body is answered on the handler's second call: answering
 * on the first would make the daemon close the connection, losing
 * keep-alive. A request with a body is checked (credentials, then size)
 * before its body is read, so an unauthenticated client cannot make us
 * read it at all. A login that needs a password hash suspends its
 * connection while the login worker hashes, so the threads that serve
 * connections never wait on one.
 *
 * libmicrohttpd 0.9.75 answers a few faults of a complete head itself (no
 * Host, a Content-Length it cannot read, a Cookie too large for its pool)
 * and then writes that answer's header block twice. Its log message is the
 * only sign, and it comes on the thread that reads the head: the server
 * keeps, per thread, the heads not yet handed to it, finds the one whose
 * head is complete, writes its own single answer there and shuts the
 * socket for writing, so the daemon's doubled block never leaves.
 */
#include "platform/console/server/http_server.h"

#include <arpa/inet.h>

#include <errno.h>
#include <microhttpd.h>
#include <netdb.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include <gnutls/gnutls.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <exception>
#include <map>
#include <mutex>
#include <new>
#include <thread>

#include "platform/console/memory_settings.h"
#include "platform/console/server/output_channel.h"
#include "platform/console/server/request_checks.h"
#include "platform/console/server/routes.h"
#include "platform/console/server/tls_identity.h"

namespace hxm_server {
namespace {

// One address may hold a thirty-second of the connections and one network
// an eighth, so a handful of clients trickling heads or reading slowly
// cannot take every slot.
constexpr unsigned kConnectionLimit = 512;
constexpr unsigned kPerAddressConnectionLimit = kConnectionLimit / 32;
constexpr unsigned kPerNetworkConnectionLimit = kConnectionLimit / 8;
constexpr unsigned kConnectionTimeoutSeconds = 30;
constexpr size_t kConnectionMemoryLimit = size_t{64} * 1024; // request line and headers
constexpr char kRealm[] = "hxm-console";

// Where a request's login stands while its hash is away on the login worker.
enum LoginStage { kNoLogin, kHashing, kHashed };

struct RequestState {
    ConnectionWatch *watch = nullptr;
    std::string target; // as sent
    std::string remoteAddress;
    std::string method;
    std::string user;
    std::string body;
    std::string note; // why the request was refused, for the access log
    unsigned int accessFlags = 0;
    bool started = false;
    bool overTls = false;
    bool authorized = false;
    bool bodyTooLarge = false;
    bool headChecked = false; // every check of the head passed
    // Written by the login worker before it resumes the connection.
    std::atomic<int> login{kNoLogin};
    LoginGuard::Verdict hashed = LoginGuard::Verdict::kRefused;
    unsigned int hashedFlags = 0;
    std::string loginName;
    int status = 0;
    uint64_t bytes = 0;
};

std::string NumericAddress(const sockaddr *address) {
    if (address == nullptr)
        return std::string();
    socklen_t length = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    char host[NI_MAXHOST];
    if (getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0)
        return std::string();
    return host;
}

std::string RemoteAddress(MHD_Connection *connection) {
    const MHD_ConnectionInfo *info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info != nullptr ? NumericAddress(info->client_addr) : std::string();
}

MHD_Result CollectHeader(void *list, MHD_ValueKind, const char *name, const char *value) {
    try {
        static_cast<HeaderList *>(list)->emplace_back(name != nullptr ? name : "",
                                                      value != nullptr ? value : "");
    } catch (const std::exception &) {
        return MHD_NO;
    }
    return MHD_YES;
}

HeaderList RequestHeaders(MHD_Connection *connection) {
    HeaderList headers;
    MHD_get_connection_values(connection, MHD_HEADER_KIND, CollectHeader, &headers);
    return headers;
}

// The client behind a trusted proxy: the last address it appended.
std::string ForwardedFor(const HeaderList &headers) {
    const std::string *forwarded = FindHeader(headers, "X-Forwarded-For");
    if (forwarded == nullptr)
        return std::string();
    size_t comma = forwarded->rfind(',');
    std::string last = comma == std::string::npos ? *forwarded : forwarded->substr(comma + 1);
    size_t begin = last.find_first_not_of(" \t");
    size_t end = last.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    last = last.substr(begin, end - begin + 1);
    // Only an address counts: any other text would stand in the access log
    // as a client of the sender's choosing and key a throttle entry of its
    // own.
    unsigned char parsed[sizeof(in6_addr)];
    if (inet_pton(AF_INET, last.c_str(), parsed) != 1 &&
        inet_pton(AF_INET6, last.c_str(), parsed) != 1)
        return std::string();
    return last;
}

// A short page for a request refused as started by another site.
Reply CrossSiteReply() {
    Reply reply;
    reply.status = 403;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html>\n<html><head><title>403 Forbidden</title></head><body>\n"
                 "<h1>Forbidden</h1>\n<p>This request came from another site and was not "
                 "carried out. To use the console, open it directly: "
                 "<a href=\"/\">console home</a>.</p>\n</body></html>\n";
    return reply;
}

// The 401 page while the users file names nobody: the administrator who
// opens the console first learns how to let someone in.
Reply NoUserYetReply() {
    Reply reply;
    reply.status = 401;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = "<!DOCTYPE html>\n<html><head><title>401 No user yet</title></head><body>\n"
                 "<h1>No user exists yet</h1>\n<p>The console's users file names nobody, so "
                 "nobody can log in. To add a user, run this on the server and type the "
                 "password:</p>\n<pre>/opt/zentra/bin/hxm-console --hash-password</pre>\n"
                 "<p>then append a line <code>name:HASH:0xf</code> (the printed hash in place of "
                 "HASH) to the users file, <code>/etc/zentra/hxm-console.users</code> on a "
                 "packaged install. The console reads it again within a second; no restart "
                 "is needed.</p>\n</body></html>\n";
    return reply;
}

const char *HeaderValue(MHD_Connection *connection, const char *name) {
    return MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
}

// Content-Length as a number; ULLONG_MAX when it is not one, so a garbled
// length counts as too large rather than as none.
unsigned long long ContentLength(const char *text) {
    if (text == nullptr || !(*text >= '0' && *text <= '9'))
        return ULLONG_MAX;
    errno = 0;
    char *end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    return (errno != 0 || *end != '\0') ? ULLONG_MAX : value;
}

// A body at least this large makes the allocator hand its free pages back
// once the response is gone: a page of many rows leaves megabytes of freed
// records and copies behind, which would otherwise stay resident for good.
constexpr std::size_t kReturnMemoryAfterBytes = std::size_t{4} * 1024 * 1024;

void DeleteString(void *text) {
    auto *body = static_cast<std::string *>(text);
    bool large = body->size() >= kReturnMemoryAfterBytes;
    delete body;
    if (large)
        hxm_console::ReturnFreedMemory();
}

// Turns the reply into a response and queues it with its status.
MHD_Result QueueReply(MHD_Connection *connection, RequestState *state, Reply reply,
                      bool askForCredentials) {
    MHD_Response *response = nullptr;
    uint64_t bytes = 0;
    if (reply.HasFile()) {
        bytes = reply.FileSize();
        int fd = reply.ReleaseFile();
        response = MHD_create_response_from_fd64(bytes, fd); // owns fd from here on
        if (response == nullptr)
            close(fd);
    } else {
        std::string *body = new (std::nothrow) std::string(std::move(reply.body));
        if (body == nullptr)
            return MHD_NO;
        bytes = body->size();
        response = MHD_create_response_from_buffer_with_free_callback_cls(
            body->size(), body->data(), DeleteString, body);
        if (response == nullptr)
            delete body;
    }
    if (response == nullptr)
        return MHD_NO;
    if (!reply.contentType.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    // No page of the console may be framed by another, which would let that
    // page trick an administrator into clicking.
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, "Content-Security-Policy", "frame-ancestors 'none'");
    // A browser that once reached the console over HTTPS never again sends
    // its credentials to it in clear text.
    if (state->overTls)
        MHD_add_response_header(response, "Strict-Transport-Security", "max-age=31536000");
    for (const auto &header : reply.headers) {
        // The daemon refuses names or values with line breaks; such a header
        // is dropped rather than allowed to split the response.
        MHD_add_response_header(response, header.first.c_str(), header.second.c_str());
    }
    MHD_Result queued;
    if (askForCredentials) {
        queued = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
        state->status = MHD_HTTP_UNAUTHORIZED;
    } else {
        queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
        state->status = reply.status;
    }
    MHD_destroy_response(response);
    state->bytes = state->method == "HEAD" ? 0 : bytes;
    if (queued == MHD_YES)
        state->watch->ResponseQueued(connection, state->bytes);
    return queued;
}

MHD_Result QueueStatus(MHD_Connection *connection, RequestState *state, int status) {
    return QueueReply(connection, state, StatusReply(status), false);
}

// The reply as bytes on the wire, for the one answer the server writes
// itself (see the notes above); the connection ends with it.
std::string WireReply(const Reply &reply) {
    const char *phrase = MHD_get_reason_phrase_for(static_cast<unsigned>(reply.status));
    char date[64] = "";
    time_t now = time(nullptr);
    struct tm utc;
    if (gmtime_r(&now, &utc) != nullptr)
        strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    std::string wire = "HTTP/1.1 " + std::to_string(reply.status) + " " + phrase +
                       "\r\nDate: " + date +
                       "\r\nConnection: close\r\nContent-Type: " + reply.contentType +
                       "\r\nX-Frame-Options: DENY\r\nContent-Security-Policy: frame-ancestors "
                       "'none'\r\nContent-Length: " +
                       std::to_string(reply.body.size()) + "\r\n\r\n";
    return wire + reply.body;
}

// Answers a head refused before its body is read; `closing`: the
// connection ends with it, since what follows cannot be read as a request.
MHD_Result RefuseHead(MHD_Connection *connection, RequestState *state, Reply reply,
                      std::string note, bool closing) {
    state->note = std::move(note);
    if (closing)
        reply.headers.emplace_back("Connection", "close");
    return QueueReply(connection, state, std::move(reply), false);
}

// How the daemon says it answers a request itself; its first argument is
// the status.
constexpr char kDaemonAnswers[] = "Error processing request (HTTP response code is %u";

} // namespace

void HttpServer::DaemonLogged(void *cls, const char *format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    if (strncmp(format, kDaemonAnswers, sizeof kDaemonAnswers - 1) == 0)
        static_cast<HttpServer *>(cls)->AnswerForDaemon(va_arg(copy, unsigned));
    va_end(copy);
    char text[1024];
    vsnprintf(text, sizeof text, format, arguments);
    size_t length = strlen(text);
    if (length != 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';
    Notice(text);
}

void HttpServer::AnswerForDaemon(unsigned status) {
    MHD_Connection *connection = nullptr;
    RequestState *state = nullptr;
    {
        std::lock_guard<std::mutex> lock(headsMutex_);
        const std::thread::id self = std::this_thread::get_id();
        for (const auto &head : heads_) {
            // Only this thread's connections may be asked: their owner is
            // the caller. A complete head has a size; one still arriving
            // has none.
            if (head.second.thread != self)
                continue;
            auto *candidate = static_cast<MHD_Connection *>(const_cast<void *>(head.first));
            const MHD_ConnectionInfo *size =
                MHD_get_connection_info(candidate, MHD_CONNECTION_INFO_REQUEST_HEADER_SIZE);
            if (size != nullptr && size->header_size != 0) {
                connection = candidate;
                state = static_cast<RequestState *>(head.second.state);
                heads_.erase(head.first);
                break;
            }
        }
    }
    if (connection == nullptr)
        return; // a fault before the head was whole: its answer comes once
    try {
        HeaderList headers = RequestHeaders(connection);
        // The daemon gives no version here, and asks a Host only of HTTP/1.1.
        HeadFault fault = FramingFault("HTTP/1.1", headers);
        Reply reply = StatusReply(fault.status != 0 ? fault.status : static_cast<int>(status));
        state->status = reply.status;
        state->note = fault.status != 0 ? fault.reason
                      : status == 413   ? "body-too-large"
                      : status == 431   ? "head-too-large"
                                        : "refused-by-daemon";
        std::string wire = WireReply(reply);
        const MHD_ConnectionInfo *fd =
            MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (fd == nullptr)
            return;
        if (settings_.UsesTls()) {
            const MHD_ConnectionInfo *tls =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_GNUTLS_SESSION);
            if (tls != nullptr)
                gnutls_record_send(static_cast<gnutls_session_t>(tls->tls_session), wire.data(),
                                   wire.size());
        } else if (send(fd->connect_fd, wire.data(), wire.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <
                   0) {
            state->status = 0; // not sent: the client sees the connection end
        }
        state->bytes = reply.body.size();
        shutdown(fd->connect_fd, SHUT_WR);
    } catch (const std::exception &) {
        // Out of memory: the daemon's own answer goes out as it is.
    }
}

struct HttpServer::Callbacks {
    enum class Access { kGranted, kRefused, kWaiting };

    // Checks the request's credentials once; on success the state carries
    // the user and flag word the plug-in will see. Otherwise the refusal
    // (401, or 429 while the address must wait or the hashes are spent) is
    // queued into *result, and the connection ends with it: nothing more
    // of it is read. kWaiting: the connection is suspended while the login
    // worker hashes; the daemon calls again once it is resumed.
    static Access Authorize(HttpServer *server, MHD_Connection *connection, RequestState *state,
                            MHD_Result *result) {
        if (state->authorized)
            return Access::kGranted;
        LoginGuard *logins = server->settings_.logins;
        if (logins == nullptr) {
            state->accessFlags = server->settings_.accessFlags;
            state->authorized = true;
            return Access::kGranted;
        }
        std::string name;
        unsigned int flags = 0;
        unsigned retrySeconds = 0;
        LoginGuard::Verdict verdict = LoginGuard::Verdict::kRefused;
        bool given = false;
        if (state->login.load(std::memory_order_acquire) == kHashed) {
            given = true;
            name = state->loginName;
            verdict = state->hashed;
            flags = state->hashedFlags;
        } else {
            const char *header = HeaderValue(connection, MHD_HTTP_HEADER_AUTHORIZATION);
            std::string password;
            given = header != nullptr && ParseBasicCredentials(header, &name, &password);
            LoginGuard::PendingLogin pending;
            if (given)
                verdict = logins->Begin(state->remoteAddress, name, password, &flags, &retrySeconds,
                                        &pending);
            if (verdict == LoginGuard::Verdict::kHashNeeded) {
                state->loginName = name;
                state->login.store(kHashing, std::memory_order_relaxed);
                MHD_suspend_connection(connection);
                server->loginWorker_.Submit(
                    pending.known, [logins, connection, state, pending, password]() mutable {
                        state->hashed = logins->Finish(pending, password, &state->hashedFlags);
                        explicit_bzero(&password[0], password.size());
                        state->login.store(kHashed, std::memory_order_release);
                        MHD_resume_connection(connection);
                    });
            }
            if (!password.empty())
                explicit_bzero(&password[0], password.size());
            if (verdict == LoginGuard::Verdict::kHashNeeded) {
                *result = MHD_YES;
                return Access::kWaiting;
            }
        }
        if (verdict == LoginGuard::Verdict::kAdmitted) {
            state->user = name;
            state->accessFlags = flags;
            state->authorized = true;
            return Access::kGranted;
        }
        Reply reply;
        if (verdict == LoginGuard::Verdict::kThrottled || verdict == LoginGuard::Verdict::kBusy) {
            state->note =
                std::string(verdict == LoginGuard::Verdict::kBusy ? "login-busy user "
                                                                  : "login-throttled user ") +
                name;
            reply = StatusReply(429);
            reply.headers.emplace_back("Retry-After", std::to_string(retrySeconds));
        } else {
            if (given)
                state->note = "login-failed user " + name;
            reply = logins->HasUsers() ? StatusReply(401) : NoUserYetReply();
        }
        reply.headers.emplace_back("Connection", "close");
        *result = QueueReply(connection, state, std::move(reply),
                             verdict == LoginGuard::Verdict::kRefused);
        return Access::kRefused;
    }

    static void *StartRequest(void *cls, const char *uri, MHD_Connection *connection) {
        auto *server = static_cast<HttpServer *>(cls);
        try {
            auto *state = new RequestState;
            state->watch = server->watch_.get();
            state->overTls = server->settings_.UsesTls();
            state->target = uri != nullptr ? uri : "";
            state->remoteAddress = RemoteAddress(connection);
            server->watch_->RequestStarted(connection);
            std::lock_guard<std::mutex> lock(server->headsMutex_);
            server->heads_[connection] = Head{std::this_thread::get_id(), state};
            return state;
        } catch (const std::exception &) {
            return nullptr; // the handler then drops the connection
        }
    }

    static void HeadTaken(HttpServer *server, MHD_Connection *connection) {
        std::lock_guard<std::mutex> lock(server->headsMutex_);
        server->heads_.erase(connection);
    }

    static MHD_Result AdmitConnection(void *cls, const sockaddr *address, socklen_t) {
        auto *server = static_cast<HttpServer *>(cls);
        try {
            return server->watch_->Admit(NumericAddress(address)) ? MHD_YES : MHD_NO;
        } catch (const std::exception &) {
            return MHD_NO;
        }
    }

    static void NotifyConnection(void *cls, MHD_Connection *connection, void **,
                                 MHD_ConnectionNotificationCode code) {
        auto *server = static_cast<HttpServer *>(cls);
        try {
            if (code == MHD_CONNECTION_NOTIFY_CLOSED) {
                // A connection cut before any request of it was logged (a
                // head that never came whole) gets a line of its own.
                AccessRecord record;
                if (server->watch_->Closed(connection, &record.remoteAddress, &record.note)) {
                    record.note = "cut " + record.note;
                    server->settings_.accessLog->Write(record);
                }
                return;
            }
            const MHD_ConnectionInfo *info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            if (info != nullptr)
                server->watch_->Opened(connection, info->connect_fd, RemoteAddress(connection));
        } catch (const std::exception &) {
            // Unwatched (or unlogged): the daemon's silence timeout still applies.
        }
    }

    static void CompleteRequest(void *cls, MHD_Connection *connection, void **context,
                                MHD_RequestTerminationCode) {
        auto *server = static_cast<HttpServer *>(cls);
        auto *state = static_cast<RequestState *>(*context);
        HeadTaken(server, connection);
        try {
            std::string cut = server->watch_->TakeCutReason(connection);
            server->watch_->RequestDone(connection);
            if (state == nullptr)
                return;
            *context = nullptr;
            AccessRecord record;
            record.remoteAddress = state->remoteAddress;
            record.user = state->user;
            record.method = state->method;
            record.target = state->target;
            record.status = state->status;
            record.bytes = state->bytes;
            record.note = state->note;
            if (!cut.empty())
                record.note += (record.note.empty() ? "cut " : "; cut ") + cut;
            server->settings_.accessLog->Write(record);
        } catch (const std::exception &) {
            // Out of memory for the log line; the request itself is done.
        }
        delete state;
    }

    // The first call, with the head whole: every check that needs no body.
    // Returns MHD_YES with nothing queued when the request goes on. Called
    // again when a login hash suspended it: every step before the login
    // gives the same answer again.
    static MHD_Result CheckHead(HttpServer *server, MHD_Connection *connection, RequestState *state,
                                const char *version) {
        HeaderList headers = RequestHeaders(connection);
        if (server->watch_->IsTrusted(state->remoteAddress)) {
            std::string client = ForwardedFor(headers);
            if (!client.empty())
                state->remoteAddress = client;
        }
        HeadFault fault = FramingFault(version != nullptr ? version : "", headers);
        if (fault.status != 0)
            return RefuseHead(connection, state, StatusReply(fault.status), fault.reason, true);
        // The daemon is told to be lenient about blanks in the target so that
        // such a request line gets an answer (it would drop the connection
        // without one): here it gets its 400.
        if (state->target.find_first_of(" \t") != std::string::npos)
            return RefuseHead(connection, state, StatusReply(400), "target-blank", true);
        const char *length = HeaderValue(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
        // Framing allows no coding by now: a body is a Content-Length.
        bool hasBody = length != nullptr && ContentLength(length) != 0;
        const char *host = HeaderValue(connection, MHD_HTTP_HEADER_HOST);
        if (server->settings_.logins == nullptr && host != nullptr && !NamesLoopback(host))
            return RefuseHead(connection, state, StatusReply(421),
                              std::string("foreign-host ") + host, hasBody);
        std::string crossSite = CrossSiteReason(headers, state->overTls ? "https" : "http",
                                                host != nullptr ? host : "");
        if (!crossSite.empty())
            return RefuseHead(connection, state, CrossSiteReply(), "cross-site " + crossSite,
                              hasBody);
        server->watch_->HeadArrived(connection, hasBody);
        if (!hasBody) {
            state->headChecked = true;
            return MHD_YES;
        }
        // Whoever has not logged in gets no byte of a body read, whatever
        // its length.
        MHD_Result result = MHD_NO;
        if (Authorize(server, connection, state, &result) != Access::kGranted)
            return result;
        state->headChecked = true;
        if (ContentLength(length) > kMaxBodyBytes) {
            // Closing on a body still arriving resets the connection, and
            // the client loses the 413 with it: a body of a size someone
            // may really send is read and dropped first.
            if (ContentLength(length) > kDrainedBodyBytes)
                return RefuseHead(connection, state, StatusReply(MHD_HTTP_CONTENT_TOO_LARGE),
                                  "body-too-large", true);
            state->bodyTooLarge = true;
        }
        return MHD_YES;
    }

    static MHD_Result HandleAccess(void *cls, MHD_Connection *connection, const char *,
                                   const char *method, const char *version, const char *uploadData,
                                   size_t *uploadDataSize, void **context) {
        auto *server = static_cast<HttpServer *>(cls);
        auto *state = static_cast<RequestState *>(*context);
        if (state == nullptr)
            return MHD_NO;
        try {
            if (!state->started) {
                HeadTaken(server, connection);
                state->started = true;
                state->method = method;
            }
            if (!state->headChecked)
                return CheckHead(server, connection, state, version);
            if (*uploadDataSize != 0) {
                server->watch_->BodyArrived(connection, *uploadDataSize);
                if (!state->bodyTooLarge)
                    state->body.append(uploadData, *uploadDataSize);
                *uploadDataSize = 0;
                return MHD_YES;
            }
            server->watch_->HeadArrived(connection, false); // the body, if any, is in
            if (state->bodyTooLarge)
                return QueueStatus(connection, state, MHD_HTTP_CONTENT_TOO_LARGE);
            MHD_Result result = MHD_NO;
            if (Authorize(server, connection, state, &result) != Access::kGranted)
                return result;
            RouteRequest request;
            request.method = state->method;
            request.target = state->target;
            const char *contentType = HeaderValue(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
            request.contentType = contentType != nullptr ? contentType : "";
            request.body = std::move(state->body);
            request.accessFlags = state->accessFlags;
            request.user = state->user;
            return QueueReply(connection, state,
                              Route(std::move(request), server->settings_.locations), false);
        } catch (const std::exception &) {
            return MHD_NO; // out of memory: drop the connection
        }
    }
};

bool HttpServer::Start(const ServerSettings &settings, std::string *error) {
    Stop();
    settings_ = settings;
    ConnectionWatch::Limits limits;
    limits.perAddress = kPerAddressConnectionLimit;
    limits.perNetwork = kPerNetworkConnectionLimit;
    limits.headTime = std::chrono::seconds(settings.requestSeconds);
    limits.trusted = settings.trustedProxies;
    watch_.reset(new ConnectionWatch(std::move(limits)));
    watch_->Start();
    loginWorker_.Start();
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_USE_ERROR_LOG |
                     MHD_ALLOW_SUSPEND_RESUME;
    if (settings.listen.isIPv6)
        flags |= MHD_USE_IPv6;
    // The daemon reads the key and certificate at start; they stay in
    // settings_ until it stops all the same.
    MHD_OptionItem tlsOptions[] = {
        {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char *>(settings_.tlsKeyPem.c_str())},
        {MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char *>(settings_.tlsCertificatePem.c_str())},
        {MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char *>(kTlsPriorities)},
        {MHD_OPTION_END, 0, nullptr},
    };
    if (settings_.UsesTls())
        flags |= MHD_USE_TLS;
    else
        tlsOptions[0].option = MHD_OPTION_END;
    auto port = static_cast<uint16_t>(ListenPort(settings.listen));
    errno = 0;
    // The logger goes first so the daemon's own start-up messages use it.
    daemon_ = MHD_start_daemon(
        flags, port, &Callbacks::AdmitConnection, this, &Callbacks::HandleAccess, this,
        MHD_OPTION_EXTERNAL_LOGGER, &HttpServer::DaemonLogged, this, MHD_OPTION_SOCK_ADDR,
        reinterpret_cast<const sockaddr *>(&settings.listen.storage), MHD_OPTION_THREAD_POOL_SIZE,
        settings.threads, MHD_OPTION_CONNECTION_LIMIT, kConnectionLimit,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::NotifyConnection, this,
        MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemoryLimit, MHD_OPTION_URI_LOG_CALLBACK,
        &Callbacks::StartRequest, this, MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::CompleteRequest,
        this, MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, MHD_OPTION_STRICT_FOR_CLIENT, 0,
        MHD_OPTION_ARRAY, tlsOptions, MHD_OPTION_END);
    if (daemon_ == nullptr) {
        loginWorker_.Stop();
        watch_->Stop();
        *error = "cannot listen on " + FormatAddress(settings.listen, port);
        if (errno != 0)
            *error += std::string(": ") + strerror(errno);
        return false;
    }
    return true;
}

unsigned HttpServer::Port() const {
    if (daemon_ == nullptr)
        return 0;
    const MHD_DaemonInfo *info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
    return info != nullptr ? info->port : 0;
}

void HttpServer::Stop() {
    if (daemon_ == nullptr)
        return;
    // Logins being hashed resume their connections first: the daemon
    // cannot stop with a connection suspended. A login that comes after
    // this is hashed on its own thread.
    loginWorker_.Stop();
    MHD_stop_daemon(daemon_);
    daemon_ = nullptr;
    watch_->Stop();
}

} // namespace hxm_server
