/*
 * A tiny plug-in for the console's tests. On load it registers "echo"; its
 * method answers with what it was given, one "name=value" line each, so a
 * test can read it back:
 *
 *   method=2
 *   path=/echo/a
 *   flags=0x9
 *   components=1        (components of the path after "/echo")
 *   body=...            (the post body, last because it may span lines)
 *
 * Paths after "/echo": "/decline" declines (the console answers 404),
 * "/frame" wraps the lines in the console frame with a script block,
 * "/redirect" answers 302 to "/echo", "/allowclear" answers
 * "allowclear=N" with the exported AllowClearConn the console may set,
 * "/stdout" also writes "echo on stdout" to standard output. On unload it deregisters
 * and, when ZENTRA_ROOT is set, leaves the empty file "$ZENTRA_ROOT/echo-unloaded".
 */
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <zentra/hxm_host.h>

namespace {

constexpr char kKeyword[] = "echo";
constexpr int kKeywordLength = sizeof kKeyword - 1;
bool registered = false;

} // namespace

// The clearing-power switch a console sets after loading, as in real plug-ins.
extern "C" {
__attribute__((visibility("default"))) int AllowClearConn = 1;
}

namespace {

void WriteScript(void *request) {
    HttpSendDataSprintf(request, "<script type=\"text/javascript\">var echo = 1;</script>\n");
}

int Redirect(void *request) {
    const char location[] = "Location: /echo\r\n";
    if (HttpOpenResponseHeaderTag(request, 302) != 0 ||
        HttpAddResponseHeaderTags(request, location, sizeof location - 1) != 0 ||
        HttpSendResponseHeader(request) != 0 || HttpEndDataResponse(request) != 0)
        return 500;
    return 302;
}

int EchoMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    int method = -1;
    char *path = nullptr;
    if (HttpReturnRequestMethod(request, &method) != 1 ||
        HttpReturnPathBuffers(request, nullptr, &path, nullptr) != 0)
        return 0;
    const char *rest = path + 1 + kKeywordLength;
    if (std::strcmp(rest, "/decline") == 0)
        return 0;
    if (std::strcmp(rest, "/redirect") == 0)
        return Redirect(request);
    if (std::strcmp(rest, "/stdout") == 0) {
        std::printf("echo on stdout\n");
        std::fflush(stdout);
    }
    if (std::strcmp(rest, "/allowclear") == 0) {
        if (HttpSendSuccessfulResponse(request, "text/plain; charset=utf-8") != 0)
            return 500;
        HttpSendDataSprintf(request, "allowclear=%d\n", AllowClearConn);
        HttpEndDataResponse(request);
        return 200;
    }

    std::string components(rest);
    int count = ConvertToComponentPath(&components[0]);
    std::string body;
    char *post = nullptr;
    unsigned long length = 0;
    if (HttpReturnPostDataBuffer(request, &post, &length) == 0)
        body.assign(post, length);

    bool framed = std::strcmp(rest, "/frame") == 0;
    if (HttpSendSuccessfulResponse(request, framed ? HttpReturnString(5)
                                                   : "text/plain; charset=utf-8") != 0) {
        HttpSendErrorResponse(request, 500);
        return 500;
    }
    if (framed) {
        BuildAndSendHeader(request, "Echo", "Echo", 0, 0, 4, WriteScript, "Echo Help",
                           "/echo/help");
        HttpSendDataSprintf(request, "<pre>\n");
    }
    HttpSendDataSprintf(request, "method=%d\npath=%s\nflags=0x%x\ncomponents=%d\nbody=%.*s\n",
                        method, path, accessFlags, count, static_cast<int>(body.size()),
                        body.c_str());
    if (framed)
        HttpSendDataSprintf(request, "</pre>\n</BODY></HTML>");
    HttpEndDataResponse(request);
    return 200;
}

__attribute__((constructor)) void LoadEcho() {
    HxmServiceGroup group{};
    std::snprintf(group.title, sizeof group.title, "%s", "Test Tools");
    int code = 0;
    registered = RegisterServiceMethodEx("Echo", kKeyword, kKeywordLength, &group, 0x4000d, 0,
                                         EchoMethod, 0, &code) != 0;
    if (!registered)
        std::fprintf(stderr, "echo plug-in: registration refused, code %d\n", code);
}

__attribute__((destructor)) void UnloadEcho() {
    if (registered) {
        int code = 0;
        DeRegisterServiceMethod("Echo", kKeyword, kKeywordLength, EchoMethod, 0, &code);
        registered = false;
    }
    const char *root = std::getenv("ZENTRA_ROOT");
    if (root == nullptr || root[0] == '\0')
        return;
    std::string marker = std::string(root) + "/echo-unloaded";
    if (std::FILE *file = std::fopen(marker.c_str(), "w"))
        std::fclose(file);
}

} // namespace
