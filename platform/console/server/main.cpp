/*
 * hxm-console: the console's HTTP server. Reads its command line, loads the
 * plug-ins, serves until SIGINT or SIGTERM, then stops serving and unloads
 * the plug-ins so their unload entries run.
 *
 * Exit status: 0 after a clean stop, 1 when the server cannot start (a
 * plug-in, the address, the access log) or did not stop cleanly in time, 2
 * for a bad command line or users file.
 *
 * Notes: nothing the console writes may stall it, so its standard error,
 * the access log and the plug-ins' standard output each go through an
 * output channel (see output_channel.h). Standard error is taken over only
 * when it is not a regular file: a file never makes a writer wait, and
 * what a crashing process writes there last stays readable.
 */
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/visible_text.h"
#include "platform/console/hxm_console.h"
#include "platform/console/memory_settings.h"
#include "platform/console/server/access_log.h"
#include "platform/console/server/http_server.h"
#include "platform/console/server/options.h"
#include "platform/console/server/output_channel.h"
#include "platform/console/server/plugins.h"
#include "platform/console/server/tls_identity.h"
#include "platform/console/server/users.h"

namespace {

using namespace hxm_server;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// A stop that takes longer than this (a plug-in or a request that hangs)
// ends the process at once, as does a second stop signal.
constexpr time_t kStopSeconds = 5;
constexpr std::chrono::milliseconds kFlushPatience{1000};

int Fail(int status, const std::string &message) {
    Notice(message);
    return status;
}

// Reads one line from stdin without echo when it is a terminal.
bool ReadPassword(std::string *password) {
    bool terminal = isatty(STDIN_FILENO) != 0;
    struct termios saved;
    if (terminal && tcgetattr(STDIN_FILENO, &saved) == 0) {
        struct termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        fputs("Password: ", stderr);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        bool ok = static_cast<bool>(std::getline(std::cin, *password));
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        fputs("\n", stderr);
        return ok;
    }
    if (!std::getline(std::cin, *password))
        return false;
    if (!password->empty() && password->back() == '\r')
        password->pop_back();
    return true;
}

int PrintPasswordHash() {
    std::string password;
    if (!ReadPassword(&password))
        return Fail(kExitFailure, "no password on standard input");
    if (password.empty())
        return Fail(kExitUsage, "an empty password is not accepted");
    std::string hash;
    std::string error;
    if (!HashPassword(password, &hash, &error))
        return Fail(kExitFailure, error);
    printf("%s\n", hash.c_str());
    return 0;
}

// The root every server path is taken under: --root, else $ZENTRA_ROOT,
// else none. Made absolute, because plug-ins build links from it and the
// log viewer accepts only absolute paths.
bool ResolveRoot(const std::string &given, std::string *root, std::string *error) {
    std::string wanted = given;
    if (wanted.empty()) {
        const char *environment = getenv("ZENTRA_ROOT");
        wanted = environment != nullptr ? environment : "";
    }
    if (wanted.empty()) {
        root->clear();
        return true;
    }
    std::unique_ptr<char, decltype(&free)> resolved(realpath(wanted.c_str(), nullptr), &free);
    struct stat status;
    if (!resolved || stat(resolved.get(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        *error = "root " + wanted + " is not a directory";
        return false;
    }
    *root = resolved.get();
    return true;
}

// The console's own standard error, as a channel that never blocks; made
// once and never destroyed (threads left writing may still use it).
bool OpenNotices(std::string *error) {
    auto *notices = new OutputChannel("standard error");
    notices->EscapeForTerminal(); // plug-ins may write names there too
    struct stat status;
    if (!notices->UseDescriptor(STDERR_FILENO, error) ||
        (fstat(STDERR_FILENO, &status) == 0 && !S_ISREG(status.st_mode) &&
         !notices->Capture(STDERR_FILENO, error)))
        return false;
    SetNoticeChannel(notices);
    return true;
}

// Ends the process if the stop in progress has not ended it within
// kStopSeconds, or at a second stop signal.
void WatchTheStop(sigset_t stopSignals) {
    std::thread([stopSignals] {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kStopSeconds);
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            timespec patience{static_cast<time_t>(left.count() / 1000000000),
                              static_cast<long>(left.count() % 1000000000)};
            if (sigtimedwait(&stopSignals, nullptr, &patience) > 0 || errno != EINTR)
                break;
        }
        static const char kMessage[] = "hxm-console: not stopped in time; ending now\n";
        if (write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
            // Nothing more to try: the process ends all the same.
        }
        _exit(kExitFailure);
    }).detach();
}

int Run(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "hxm-console: %s\n%s",
                hxm2afp::visible_text(error, hxm2afp::LineBreaks::kEscaped).c_str(), UsageText());
        return kExitUsage;
    }
    if (options.help) {
        fputs(UsageText(), stdout);
        return 0;
    }
    if (options.hashPassword)
        return PrintPasswordHash();
    if (options.usersFile.empty() && !IsLoopback(options.listen)) {
        return Fail(kExitUsage, "refusing to listen on " +
                                    FormatAddress(options.listen, ListenPort(options.listen)) +
                                    " without --users: every client there would get the "
                                    "console without a password; use a loopback address or "
                                    "give a users file");
    }

    Transport transport = Transport::kPlainHttp;
    if (!ChooseTransport(options, &transport, &error))
        return Fail(kExitUsage, error);

    std::string root;
    if (!ResolveRoot(options.root, &root, &error))
        return Fail(kExitUsage, error);
    // Before any plug-in loads: they read it once, at load.
    if (!root.empty() && setenv("ZENTRA_ROOT", root.c_str(), 1) != 0)
        return Fail(kExitFailure, "cannot set ZENTRA_ROOT");

    // Before any thread starts: every thread (the channels', plug-ins', the
    // daemon's) inherits this mask, so the signals reach only sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    if (!OpenNotices(&error))
        return Fail(kExitFailure, error);

    UserTable users;
    if (!options.usersFile.empty() && !users.Load(options.usersFile, &error))
        return Fail(kExitUsage, error);
    if (!options.usersFile.empty() && users.empty())
        Notice("the users file " + options.usersFile +
               " names no user yet: nobody can log in until one is added (see "
               "hxm-console --hash-password)");
    AccessLog accessLog;
    if (!accessLog.Open(options.accessLog, &error))
        return Fail(kExitFailure, error);
    TlsIdentity tls;
    if (transport == Transport::kGivenTls &&
        !LoadTlsIdentity(options.tlsCertificate, options.tlsKey, &tls, &error))
        return Fail(kExitFailure, error);
    if (transport == Transport::kSelfSignedTls) {
        std::string listenHost = FormatAddress(options.listen, 0);
        listenHost = listenHost.substr(0, listenHost.rfind(':'));
        if (!listenHost.empty() && listenHost[0] == '[')
            listenHost = listenHost.substr(1, listenHost.size() - 2);
        std::vector<std::string> named;
        if (listenHost != "0.0.0.0" && listenHost != "::")
            named.push_back(listenHost); // a wildcard names no host
        if (!SelfSignedTlsIdentity(root + "/etc/zentra", named, &tls, &error))
            return Fail(kExitFailure, error);
        // Clients have no authority to ask: the administrator compares this
        // with what the browser shows before trusting the certificate.
        Notice(std::string(tls.made ? "made a" : "using the") + " self-signed certificate " + root +
               "/etc/zentra/hxm-console-tls.crt");
        Notice("its SHA-256 fingerprint: " + tls.fingerprint);
    }

    // Plug-ins may write to standard output as they please; a pipe nobody
    // drains must not stall a request thread, nor a flood fill a terminal.
    // The console's own lines keep the original output.
    int consoleOutput = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    OutputChannel pluginOutput("plug-in output");
    if (consoleOutput < 0 || !pluginOutput.OpenFile(options.pluginOutput, 0640, &error) ||
        !pluginOutput.Capture(STDOUT_FILENO, &error))
        return Fail(kExitFailure,
                    consoleOutput < 0 ? std::string("cannot keep standard output") : error);
    FILE *console = fdopen(consoleOutput, "w");
    if (console == nullptr)
        return Fail(kExitFailure, "cannot keep the console's output");

    PluginSet plugins;
    for (const std::string &plugin : options.plugins) {
        size_t before = hxm::Registrations().size();
        if (!plugins.Load(plugin, !options.usersFile.empty(), &error))
            return Fail(
                kExitFailure,
                std::string("cannot load plug-in ").append(plugin).append(": ").append(error));
        if (hxm::Registrations().size() == before)
            Notice("warning: plug-in " + plugin + " registered no service");
    }

    ServerSettings settings;
    settings.listen = options.listen;
    settings.threads = options.threads;
    settings.accessFlags = options.accessFlags;
    std::unique_ptr<LoginGuard> logins;
    if (!options.usersFile.empty()) {
        HashBudget budget;
        budget.strangersPerSecond = options.strangerHashesPerSecond;
        budget.strangersBurst = 8.0 * options.strangerHashesPerSecond;
        logins.reset(new LoginGuard(options.usersFile, std::move(users), budget));
    }
    settings.logins = logins.get();
    settings.accessLog = &accessLog;
    settings.locations = LocationsForRoot(root);
    settings.requestSeconds = options.requestSeconds;
    settings.trustedProxies.insert(options.trustedProxies.begin(), options.trustedProxies.end());
    settings.tlsCertificatePem = tls.certificatePem;
    settings.tlsKeyPem = tls.keyPem;
    HttpServer server;
    if (!server.Start(settings, &error))
        return Fail(kExitFailure, error);
    fprintf(console, "listening on %s://%s/\n", settings.UsesTls() ? "https" : "http",
            FormatAddress(options.listen, server.Port()).c_str());
    fflush(console);

    int received = 0;
    while (sigwait(&stopSignals, &received) != 0) {
    }
    WatchTheStop(stopSignals);
    Notice(std::string("stopping on ") + (received == SIGINT ? "SIGINT" : "SIGTERM"));
    server.Stop();
    plugins.UnloadAll();
    fflush(stdout);
    accessLog.Stop(kFlushPatience);
    pluginOutput.Stop(kFlushPatience);
    for (auto dropped : {std::make_pair("access log", accessLog.Dropped()),
                         std::make_pair("plug-in output", pluginOutput.Dropped())}) {
        if (dropped.second != 0)
            Notice(std::string(dropped.first) + ": " + std::to_string(dropped.second) +
                   " lines dropped while it was not read");
    }
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    // Before any thread exists: threads read the allocator's settings unlocked.
    hxm_console::KeepFreedMemory();
    setlocale(LC_ALL, "");
    int status = kExitFailure;
    try {
        status = Run(argc, argv);
    } catch (const std::exception &failure) {
        Notice(failure.what());
    }
    StopNotices(kFlushPatience);
    return status;
}
