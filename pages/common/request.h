/*
 * The shared request front of the page areas: what a request brings (its
 * path, method, raw and decoded body, access flags) in one record, read
 * through the host the same way for every area.
 */
#ifndef HXM_PAGES_COMMON_REQUEST_H
#define HXM_PAGES_COMMON_REQUEST_H

#include "history/acting_user.h"
#include "pages/common/actions.h"
#include "pages/common/component_path.h"

namespace hxm2afp {

/* What a request brings; the holder frees what it owns. */
struct Request {
    ComponentPath path;
    int method = -1;
    char *body = nullptr;         // the raw post body, terminated; null without one
    unsigned long bodyLength = 0; // 0 without a body
    HeapText decoded;             // the decoded body; null without one or without memory
    unsigned int accessFlags = 0;
    bool clearingPower = false;
    history::RequestActor actor; // who acts, for the history's note of an action
    // What an action redirected here carries: its report, for the one
    // showing (`carried`), and its form fields, which stand in for the body.
    bool carried = false;
    ActionOutcome carriedOutcome;
    HeapText carriedFields;
};

/* Reads the request method: 0 when it is GET or a form post, else the
 * error page code that answers it (missing data when the host cannot say,
 * bad request for another method). */
int read_method(void *request, Request *record);

/* For a form post, reads the host's post buffer, terminates it at its
 * length and, when `decode` is set, decodes it. Without a readable buffer
 * the body stays null and nothing is decoded. */
void read_body(void *request, Request *record, bool decode);

/* How a row of an area's command table takes the path after the keyword
 * and any sort keyword. */
enum class CommandMatch {
    kBeginsWith, // a first component that begins with the command, in any case
    kEquals,     // a first component that is the command, in any case
    kComponent,  // any first component (no command)
    kAnything,   // every path, one without components too: the table's last row
};

/* One row of an area's command table: the command, how it matches, whether
 * it clears connections (the clearing power is needed: the front refuses it
 * to anyone else before anything is read or done), and what answers it
 * (returning the status of the page it sent). */
struct AreaCommand {
    const char *command;
    CommandMatch match;
    bool clears;
    int (*answer)(void *request, const Request &front);
};

/* How an area reads its path (see ComponentPath) and writes its help page
 * (each returns 0 or 200 when it went well, else the error page code), and
 * its command table, tried in order; the last row matches kAnything. */
struct AreaFront {
    int (*read_path)(void *request, ComponentPath *path, HeapText *pathCopy);
    int (*send_help)(void *request, const ComponentPath &path);
    const AreaCommand *commands;
    size_t commandCount;
};

/* The first row of the area's table that takes the path as read. */
const AreaCommand &command_for(const ComponentPath &path, const AreaFront &area);

/* The steps every request of the connections and open-file areas takes
 * first: checks the access flags, reads the path (a help path is answered
 * with the help page; a trailing "/AFPOutcome/<token>" is taken off and
 * what it carries collected, see core/redirect.h), refuses a clearing
 * command to a caller without the clearing power (the access-denied page,
 * before anything is read or done), reads the method and the body, decoded
 * (a GET that carries form fields reads them as its body). Returns 0 with
 * `record` filled to go on, or the status of the page that already answered
 * the request (the help page or the error page). */
int open_request(void *request, unsigned int accessFlags, const AreaFront &area, Request *record);

/* An area's service method: open_request, then the row of its command
 * table that takes the path answers. Returns the status of the page sent. */
int answer_request(void *request, unsigned int accessFlags, const AreaFront &area);

/* The report of an action carried to this request for its one showing, or
 * null. */
inline const ActionReport *carried_outcome(const Request &front) {
    return front.carried ? &front.carriedOutcome : nullptr;
}

} // namespace hxm2afp

#endif
