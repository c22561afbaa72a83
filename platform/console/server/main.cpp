/*
 * hxm-console: the console's HTTP server. Reads its command line, loads the
 * plug-ins, serves until SIGINT or SIGTERM, then stops serving and unloads
 * the plug-ins so their unload entries run.
 *
 * Exit status: 0 after a clean stop, 1 when the server cannot start (a
 * plug-in, the address, the access log), 2 for a bad command line or users
 * file.
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
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "platform/console/hxm_console.h"
#include "platform/console/memory_settings.h"
#include "platform/console/server/access_log.h"
#include "platform/console/server/http_server.h"
#include "platform/console/server/options.h"
#include "platform/console/server/plugins.h"
#include "platform/console/server/tls_identity.h"
#include "platform/console/server/users.h"

namespace {

using namespace hxm_server;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int Fail(int status, const std::string &message) {
    fprintf(stderr, "hxm-console: %s\n", message.c_str());
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

int Run(int argc, char **argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        fprintf(stderr, "hxm-console: %s\n%s", error.c_str(), UsageText());
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

    UserTable users;
    if (!options.usersFile.empty() && !users.Load(options.usersFile, &error))
        return Fail(kExitUsage, error);
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
        fprintf(stderr,
                "hxm-console: %s self-signed certificate %s/etc/zentra/hxm-console-tls.crt\n"
                "hxm-console: its SHA-256 fingerprint: %s\n",
                tls.made ? "made a" : "using the", root.c_str(), tls.fingerprint.c_str());
    }

    // Every thread started from here on (plug-ins', the daemon's) inherits
    // this mask, so the signals reach only sigwait below.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // Plug-ins may write to standard output as they please; a pipe nobody
    // drains must not stall a request thread, nor a flood fill a terminal.
    // The console's own lines keep the original output.
    int consoleOutput = dup(STDOUT_FILENO);
    int pluginOutput =
        open(options.pluginOutput.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (consoleOutput < 0 || pluginOutput < 0 || dup2(pluginOutput, STDOUT_FILENO) < 0)
        return Fail(kExitFailure, "cannot send plug-in output to " + options.pluginOutput + ": " +
                                      strerror(errno));
    close(pluginOutput);
    FILE *console = fdopen(consoleOutput, "w");
    if (console == nullptr)
        return Fail(kExitFailure, "cannot keep the console's output");

    PluginSet plugins;
    for (const std::string &plugin : options.plugins) {
        size_t before = hxm::Registrations().size();
        if (!plugins.Load(plugin, !options.usersFile.empty(), &error))
            return Fail(kExitFailure, "cannot load plug-in " + plugin + ": " + error);
        if (hxm::Registrations().size() == before)
            fprintf(stderr, "hxm-console: warning: plug-in %s registered no service\n",
                    plugin.c_str());
    }

    ServerSettings settings;
    settings.listen = options.listen;
    settings.threads = options.threads;
    settings.accessFlags = options.accessFlags;
    std::unique_ptr<LoginGuard> logins;
    if (!options.usersFile.empty())
        logins.reset(new LoginGuard(options.usersFile, std::move(users)));
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
    fprintf(stderr, "hxm-console: stopping on %s\n", received == SIGINT ? "SIGINT" : "SIGTERM");
    server.Stop();
    plugins.UnloadAll();
    return 0;
}

} // namespace

int main(int argc, char **argv) {
    // Before any thread exists: threads read the allocator's settings unlocked.
    hxm_console::KeepFreedMemory();
    setlocale(LC_ALL, "");
    try {
        return Run(argc, argv);
    } catch (const std::exception &failure) {
        fprintf(stderr, "hxm-console: %s\n", failure.what());
        return kExitFailure;
    }
}
