/*
 * The console frame every plug-in page starts with (BuildAndSendHeader), the
 * console home, and the console's own error pages. Everything that comes from
 * a plug-in (titles, captions, group titles, link texts, the help URL) is
 * escaped here; keywords need no escaping, the registry admits only URL-safe
 * ones.
 */
#include "platform/console/page_frame.h"

#include <cstdio>
#include <new>

#include "platform/console/console_texts.h"
#include "platform/console/html_escape.h"
#include "platform/console/hxm_console.h"
#include "platform/console/registry.h"
#include "platform/console/request_state.h"

namespace hxm_console {

const char kHtmlDescriptor[] = "text/html; charset=utf-8";

namespace {

// Options value under which BuildAndSendHeader runs the script writer.
constexpr unsigned int kOptionScriptWriter = 4;

constexpr char kStyleSheet[] =
    "<style type=\"text/css\">\n"
    "body { font-family: sans-serif; font-size: 10pt; margin: 0; }\n"
    // Pages have no doctype: in that mode tables do not inherit the font.
    "table { font: inherit; }\n"
    ".hxm-banner { background: #4a5a7a; color: #ffffff; padding: 6px 12px; }\n"
    ".hxm-heading { font-size: 14pt; font-weight: bold; }\n"
    ".hxm-caption { margin-left: 16px; }\n"
    ".hxm-help { float: right; color: #ffffff; }\n"
    ".hxm-nav { background: #efeee9; padding: 4px 12px; border-bottom: 1px solid #cccc99; }\n"
    ".hxm-group { font-weight: bold; margin-right: 8px; }\n"
    ".hxm-nav a { margin-right: 12px; }\n"
    ".hxm-home h2 { font-size: 12pt; }\n"
    ".tablehead { background: #cccc99; font-weight: bold; }\n"
    ".tablesubhead { background: #e6e6cc; font-weight: bold; }\n"
    ".tablecol { padding: 2px 6px; }\n"
    ".stripelight { background: #ffffff; }\n"
    ".stripedark { background: #efeee9; }\n"
    "</style>\n";

// The navigation: each group's title, then its links.
void AppendNavigation(std::string *out) {
    out->append("<div class=\"hxm-nav\"><a href=\"/\">");
    AppendHtmlEscaped(out, ConsoleText("Home"));
    out->append("</a>");
    for (const NavigationGroup &group : NavigationGroups()) {
        out->append("<span class=\"hxm-group\">");
        AppendHtmlEscaped(out, group.title);
        out->append("</span>");
        for (const hxm::Registration &link : group.links) {
            out->append("<a href=\"/");
            out->append(link.keyword);
            out->append("\">");
            AppendHtmlEscaped(out, link.linkText);
            out->append("</a>");
        }
    }
    out->append("</div>\n");
}

struct StatusText {
    int status;
    const char *reason;
};

constexpr StatusText kReasons[] = {
    {200, "OK"},
    {302, "Found"},
    {304, "Not Modified"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {408, "Request Timeout"},
    {413, "Content Too Large"},
    {414, "URI Too Long"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
};

} // namespace

const char *ReasonPhrase(int status) {
    for (const StatusText &entry : kReasons) {
        if (entry.status == status)
            return entry.reason;
    }
    return "Error";
}

std::string ErrorPage(int status) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "<HTML><HEAD><TITLE>%d %s</TITLE></HEAD><BODY><H1>%d %s</H1></BODY></HTML>\n",
                  status, ReasonPhrase(status), status, ReasonPhrase(status));
    return text;
}

} // namespace hxm_console

namespace hxm {

std::string RenderHome() {
    using namespace hxm_console;
    const char *title = ConsoleText("Server Console");
    std::string page = "<HTML><HEAD><TITLE>";
    AppendHtmlEscaped(&page, title);
    page.append("</TITLE>\n");
    page.append(kStyleSheet);
    page.append("</HEAD><BODY>\n<div class=\"hxm-banner\"><span class=\"hxm-heading\">");
    AppendHtmlEscaped(&page, title);
    page.append("</span></div>\n<div class=\"hxm-home\">\n");
    for (const NavigationGroup &group : NavigationGroups()) {
        page.append("<h2>");
        AppendHtmlEscaped(&page, group.title);
        page.append("</h2>\n<ul>\n");
        for (const Registration &link : group.links) {
            page.append("<li><a href=\"/");
            page.append(link.keyword);
            page.append("\">");
            AppendHtmlEscaped(&page, link.linkText);
            page.append("</a></li>\n");
        }
        page.append("</ul>\n");
    }
    page.append("</div>\n</BODY></HTML>\n");
    return page;
}

} // namespace hxm

// Writes the head and the frame; BODY stays open for the page. A null title
// or heading is written as empty. Fails when the request has no open body.
extern "C" int BuildAndSendHeader(void *request, const char *title, const char *heading,
                                  unsigned int /*reserved*/, unsigned int /*reserved2*/,
                                  unsigned int options, HxmScriptWriter scriptWriter,
                                  const char *caption, const char *helpUrl) {
    using namespace hxm_console;
    RequestState *state = FromHandle(request);
    if (state == nullptr || state->phase != ResponsePhase::kOpen)
        return 1;
    try {
        std::string head = "<HTML><HEAD><TITLE>";
        AppendHtmlEscaped(&head, title);
        head.append("</TITLE>\n<meta http-equiv=\"Content-Type\" content=\"");
        head.append(kHtmlDescriptor);
        head.append("\">\n");
        head.append(kStyleSheet);
        if (!state->body.Append(head.data(), head.size()))
            return 1;
        if (options == kOptionScriptWriter && scriptWriter != nullptr)
            scriptWriter(request);

        std::string frame = "</HEAD><BODY>\n<div class=\"hxm-banner\">";
        if (helpUrl != nullptr) {
            // The caption names the help the link leads to.
            frame.append("<a class=\"hxm-help\" href=\"");
            AppendHtmlEscaped(&frame, helpUrl);
            frame.append("\">");
            AppendHtmlEscaped(&frame, caption != nullptr ? caption : ConsoleText("Help"));
            frame.append("</a>");
        }
        frame.append("<span class=\"hxm-heading\">");
        AppendHtmlEscaped(&frame, heading);
        frame.append("</span>");
        if (caption != nullptr && helpUrl == nullptr) {
            frame.append("<span class=\"hxm-caption\">");
            AppendHtmlEscaped(&frame, caption);
            frame.append("</span>");
        }
        frame.append("</div>\n");
        AppendNavigation(&frame);
        return state->body.Append(frame.data(), frame.size()) ? 0 : 1;
    } catch (const std::bad_alloc &) {
        return 1;
    }
}
