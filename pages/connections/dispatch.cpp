/*
 * afpconsMethod: access check, path grammar, the clear and close actions,
 * then one page.
 *
 * Notes:
 * - Clearing needs the clearing power (the shared front refuses it);
 *   closing files runs for every caller the area lets in. The actions and
 *   their markers are pages/common/actions.h's; their outcome goes to the
 *   page that follows and to the log.
 * - The form fields FILTER, volume and sorttype are read from the body as
 *   posted and each value decoded on its own, so a volume or filter holding
 *   "&" or "=" arrives whole; a value is at most 63 bytes once decoded.
 * - Keywords and commands match a component only when the component is at
 *   least as long as they are, so a comparison never runs into the next
 *   component.
 */
#include "pages/connections/dispatch.h"

#include <stdio.h>
#include <string.h>

#include <iterator>
#include <string>
#include <type_traits>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/form.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "core/post_body.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "pages/common/actions.h"
#include "pages/common/request.h"
#include "pages/connections/columns.h"
#include "pages/connections/detail_page.h"
#include "pages/connections/list_page.h"
#include "pages/help/help.h"

namespace {

using hxm2afp::Component;
using hxm2afp::ComponentPath;
using hxm2afp::HeapText;

constexpr size_t kFieldSize = 64;

constexpr char kCloseConnectionsCommand[] = "AFPCloseConnections";
constexpr char kCloseFilesCommand[] = "AFPCloseFiles";

// Reads one form field of the posted body into a 64-byte buffer, decoded.
void read_field(const char *body, const char *name, char (&value)[kFieldSize],
                const char *missingFormat) __attribute__((format(printf, 4, 0)));
void read_field(const char *body, const char *name, char (&value)[kFieldSize],
                const char *missingFormat) {
    const hxm2afp::FormField found = hxm2afp::read_form_field(body, name, value, sizeof value);
    if (found != hxm2afp::FormField::kValue)
        HXM_DEBUG(missingFormat, static_cast<int>(found));
}

struct FormFields {
    char filter[kFieldSize] = {};
    char volume[kFieldSize] = {};
    char sortType[kFieldSize] = {};
};

void read_fields(const char *body, FormFields *fields) {
    read_field(body, "FILTER", fields->filter, "error: failed to get filter  errcode[%d] ");
    read_field(body, "volume", fields->volume, "error: failed to get volume name  errcode[%d] ");
    read_field(body, "sorttype", fields->sortType, "error: failed to get sorttype  errcode[%d] ");
}

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpconsMethod), HxmServiceMethod>);

int AFPCloseSelectedConnections(const char *text) {
    hxm2afp::ActionOutcome outcome;
    hxm2afp::clear_marked_connections(text, &outcome);
    hxm2afp::log_action_outcome(outcome);
    return 0;
}

int closeAFPFilesForThisConnection(const char *text) {
    hxm2afp::ActionOutcome outcome;
    hxm2afp::close_marked_connection_files(text, &outcome);
    hxm2afp::log_action_outcome(outcome);
    return 0;
}

namespace {

/* Reads the path after "/afpcons": the help token, or a sort keyword (by
 * its first letters) and the components after it. Returns 0 to go on, or
 * 400 for a path that cannot be read or no memory for *pathCopy, the heap
 * copy of the slash-separated path after the keyword (none when pathCopy is
 * null: the service method rebuilds what it needs from the components). */
int read_connections_path(void *request, ComponentPath *path, HeapText *pathCopy) {
    const int status = hxm2afp::read_component_path(request, keyword_afpdcons, path);
    if (status != 0)
        return status;
    HXM_DEBUG("URL = %s", hxm2afp::LogText(path->path).c_str());
    char *rest = path->afterKeyword;
    if (rest == nullptr)
        return 0; // "/afpcons" alone: the list page
    const size_t length = strlen(rest);
    if (pathCopy != nullptr && !(*pathCopy = hxm2afp::copy_text(rest))) {
        HXM_DEBUG("%s", "memory alloc failed in fun GetComponentCountAndSortType");
        return 400;
    }
    HXM_DEBUG("In fun GetComponentCountAndSortType len of componentPath =  %d",
              static_cast<int>(length));
    HXM_DEBUG("In fun GetComponentCountAndSortType len of pPath =  %s",
              hxm2afp::LogText(rest).c_str());
    HXM_DEBUG("In fun GetComponentCountAndSortType val of componentPath =  %s",
              hxm2afp::LogText(rest).c_str());
    return hxm2afp::read_sorted_components(path, hxm2afp::kConnectionColumns,
                                           hxm2afp::SortMatch::kBeginsWith);
}

/* The connections help for a path that asks for it: its status. */
int send_help(void *request, const ComponentPath &path) {
    static char noComponent[] = "";
    const Component topic = path.helpTopic;
    return generate_connections_help(request, path.count - 1,
                                     topic.at() != nullptr ? topic.text() : noComponent,
                                     static_cast<int>(topic.length()));
}

} // namespace

int GetComponentCountAndSortType(void *request, int *count, AfpSortType *sortType,
                                 char *sortKeyword, char **position, char **pathCopy) {
    *sortType = AFP_SORT_CONNECTION_NUMBER;
    *count = 0;
    *position = nullptr;
    *pathCopy = nullptr;
    ComponentPath path;
    HeapText copy;
    const int status = read_connections_path(request, &path, &copy);
    *pathCopy = copy.release();
    if (status != 0)
        return status;
    *count = path.count;
    if (path.help)
        return send_help(request, path);
    if (path.afterKeyword == nullptr)
        return 0;
    *position = path.first.at();
    if (path.sort != nullptr) {
        *sortType = path.sort->sortType;
        snprintf(sortKeyword, HXM_SORT_KEYWORD_SIZE, "%s", path.sort->keyword);
    }
    return 0;
}

namespace {

// Without a sort keyword the list sorts by the first column.
const hxm2afp::SortKeyword &sort_of(const ComponentPath &path) {
    return path.sort != nullptr ? *path.sort : hxm2afp::kConnectionColumns[0].sort;
}

// The list page, with the outcome lines of the action that ran first.
int send_list(void *request, const hxm2afp::Request &front, const hxm2afp::ActionReport *outcome) {
    const hxm2afp::SortKeyword &sort = sort_of(front.path);
    return hxm2afp::send_connections_page(request, 1, 1, front.accessFlags, sort.sortType,
                                          sort.keyword, outcome);
}

// A connection's page (the component at `connection`), with the fields the
// open-file pages post to come back to them.
int send_connection(void *request, const hxm2afp::Request &front, char *connection,
                    const FormFields &fields, const hxm2afp::ActionReport *outcome) {
    return hxm2afp::send_connection_page(request, front.clearingPower ? 1 : 0, 1, 1, connection,
                                         sort_of(front.path).keyword, fields.volume,
                                         fields.sortType, fields.filter, outcome);
}

// Where a reload after an action goes: the list, or with a connection
// component (length-prefixed, as the path holds it) that connection's page.
std::string page_after_action(const hxm2afp::Request &front, const char *connection) {
    std::string location = std::string("/") + keyword_afpdcons + "/" + sort_of(front.path).keyword;
    if (connection != nullptr && connection[0] != '\0') {
        const std::string component(connection + 1, static_cast<unsigned char>(connection[0]));
        hxm2afp::PageWriter escaped(nullptr);
        escaped.url_component(component.c_str());
        location.append("/").append(escaped.c_str());
    }
    return location;
}

// AFPCloseConnections: clears the connections the path marks (else the
// body's), then the list.
int answer_clear_connections(void *request, const hxm2afp::Request &front) {
    const ComponentPath &path = front.path;
    const char *decoded = front.decoded.get();
    // The whole path after the keyword, as the request had it.
    const HeapText url = hxm2afp::slash_text(Component(path.afterKeyword), path.total);
    const char *urlText = url ? url.get() : "";
    HXM_DEBUG("connections to be closed url[%s] postdata[%s]", hxm2afp::LogText(urlText).c_str(),
              hxm2afp::LogText(decoded).c_str());
    const bool marked = hxm2afp::holds_markers(urlText, hxm2afp::kClearStart, hxm2afp::kClearEnd);
    hxm2afp::ActionOutcome outcome;
    hxm2afp::clear_marked_connections(marked ? urlText : decoded, &outcome);
    hxm2afp::log_action_outcome(outcome);
    const hxm2afp::ActionAnswer answer(request, outcome, page_after_action(front, nullptr),
                                       front.body);
    return send_list(request, front, &outcome);
}

// AFPCloseFiles[/CONNECTION[/...]]: closes all files of the connection the
// rest of the path marks, else the files the body names; then the
// connection's page.
int answer_close_files(void *request, const hxm2afp::Request &front) {
    static char emptyComponent[] = "";
    const ComponentPath &path = front.path;
    const char *decoded = front.decoded.get();
    HeapText remainder;
    char *connection = emptyComponent;
    if (path.count >= 2) {
        const Component named = path.first.next();
        const Component after = named.next();
        // The text after the connection component, as the path had it.
        remainder = hxm2afp::slash_text(after, path.count - 2);
        connection = named.at();
        *after.at() = '\0';
    }
    const char *remainderText = remainder ? remainder.get() : "";
    HXM_DEBUG("Set of file names to close url[%s] postdata[%s]",
              hxm2afp::LogText(remainderText).c_str(), hxm2afp::LogText(decoded).c_str());
    FormFields fields;
    if (decoded != nullptr)
        read_fields(front.body, &fields);
    hxm2afp::ActionOutcome outcome;
    if (strstr(remainderText, hxm2afp::kCloseAllStart) != nullptr ||
        strstr(remainderText, hxm2afp::kCloseAllEnd) != nullptr)
        hxm2afp::close_marked_connection_files(remainderText, &outcome);
    else
        hxm2afp::close_ticked_files(front.body, &outcome);
    hxm2afp::log_action_outcome(outcome);
    const hxm2afp::ActionAnswer answer(request, outcome, page_after_action(front, connection),
                                       front.body);
    return send_connection(request, front, connection, fields, &outcome);
}

// CONNECTION: the connection's page; the posted fields lead back to the
// open-file page the request came from. More components are a bad request.
int answer_connection(void *request, const hxm2afp::Request &front) {
    FormFields fields;
    if (front.decoded) {
        read_fields(front.body, &fields);
        HXM_DEBUG("Post parameters: filter  [%s] volName [%s] sortType [%s]",
                  hxm2afp::LogText(fields.filter).c_str(), hxm2afp::LogText(fields.volume).c_str(),
                  hxm2afp::LogText(fields.sortType).c_str());
    }
    if (front.path.count != 1)
        return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
    return send_connection(request, front, front.path.first.at(), fields,
                           hxm2afp::carried_outcome(front));
}

int answer_list(void *request, const hxm2afp::Request &front) {
    return send_list(request, front, hxm2afp::carried_outcome(front));
}

// Clearing needs the clearing power; closing files runs for every caller
// the area lets in.
constexpr hxm2afp::AreaCommand kConnectionCommands[] = {
    {kCloseConnectionsCommand, hxm2afp::CommandMatch::kBeginsWith, true, answer_clear_connections},
    {kCloseFilesCommand, hxm2afp::CommandMatch::kBeginsWith, false, answer_close_files},
    {nullptr, hxm2afp::CommandMatch::kComponent, false, answer_connection},
    {nullptr, hxm2afp::CommandMatch::kAnything, false, answer_list},
};

constexpr hxm2afp::AreaFront kConnectionsFront = {
    read_connections_path, send_help, kConnectionCommands, std::size(kConnectionCommands)};

} // namespace

int afpconsMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    return hxm2afp::answer_request(request, accessFlags, kConnectionsFront);
}
