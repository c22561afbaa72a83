/*
 * The actions the pages offer: clearing connections, closing all files of
 * one connection, closing files by name.
 *
 * This module owns how a page names what to act on (the markers around a
 * connection number, the file-name codec), reads it back from a path or a
 * decoded post body, asks the monitoring layer, and returns what came of
 * every item as a value: the dispatcher hands it to the page that follows
 * (its outcome line) and to the log (one error-level line).
 */
#ifndef HXM_PAGES_COMMON_ACTIONS_H
#define HXM_PAGES_COMMON_ACTIONS_H

#include <stdint.h>

#include "base/export.h"

/* Closes, in order, every file a decoded body names between the file-name
 * markers (see send_close_name); failures are logged and skipped. A null or
 * empty body closes nothing. Always returns 0. */
HXM_EXPORT int parseDataToCloseAFPFiles(const char *decoded);

/* Closes the file with this full path for every connection holding it;
 * returns the monitoring layer's status (0 when closed). */
HXM_EXPORT int closeAFPFiles(const char *fileName);

namespace hxm2afp {

/* The markers a page writes around a connection number ("%d" of it, so
 * negative past 2^31) to clear it, or to close all of its files. */
constexpr char kClearStart[] = "<closeconn>";
constexpr char kClearEnd[] = "</closeconn>";
constexpr char kCloseAllStart[] = "<closeallfiles>";
constexpr char kCloseAllEnd[] = "</closeallfiles>";

enum class ActionKind { kClearConnection, kCloseConnectionFiles, kCloseFile };

/* One item an action was asked for and what came of it. */
struct ActionItem {
    ActionKind kind;
    bool understood;           // false: the page's value could not be read
    uint32_t connectionNumber; // clear and close-all
    char text[512];            // the file path, or the value not understood (cut, terminated)
    int status;                // the monitoring layer's status (monitor/actions.h)
};

/* The items of one request. The first kKept asked items and the first kKept
 * that did not succeed are kept whole; the rest are only counted. */
struct ActionOutcome {
    static constexpr int kKept = 8;
    int asked = 0;
    int failed = 0;
    ActionItem askedItems[kKept];
    ActionItem failedItems[kKept];
};

class PageWriter;

/* Writes how a page names one file for closing, as an HTML attribute
 * value: the path between "<filename>" and "</filename>", HTML-escaped. A
 * path that holds a file-name marker of its own goes URL-encoded between
 * "<encodedfilename>" markers instead, so none of its own texts can end it
 * or start another. A null path reads as "". */
void send_close_name(PageWriter &out, const char *path);

/* Whether `text` holds both markers of a pair. */
bool holds_markers(const char *text, const char *start, const char *end);

/* Clears every connection named between kClearStart and kClearEnd in
 * `text` (null: nothing), in text order. */
void clear_marked_connections(const char *text, ActionOutcome *outcome);

/* Closes all files of the connection named between kCloseAllStart and
 * kCloseAllEnd in `text` (null: nothing); a text with only one of the
 * markers is noted as not understood. */
void close_marked_connection_files(const char *text, ActionOutcome *outcome);

/* Closes every file a decoded body names (see send_close_name), in body order.
 * Names are passed whole: a cut name could name another file. */
void close_named_files(const char *decoded, ActionOutcome *outcome);

/* Writes the one error-level line of an outcome with anything asked: what
 * was asked and what did not succeed, names escaped for the log. */
void log_action_outcome(const ActionOutcome &outcome);

/* Writes the page's outcome line: what the action could not clear or close,
 * or could not read, and why. Nothing when everything succeeded or no
 * action ran (a null outcome). */
void send_action_outcome(PageWriter &out, const ActionOutcome *outcome);

} // namespace hxm2afp

#endif
