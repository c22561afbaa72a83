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
#include "core/page_writer.h"
#include "monitor/actions.h"

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

/* What one request's actions came to, as plain data (a page carries it
 * across a redirect). The first kKept asked items and the first kKept that
 * did not succeed are kept whole; the rest are only counted. A thing the
 * request names twice counts once, as what its first naming came to. */
struct ActionReport {
    static constexpr int kKept = 8;
    int asked = 0;
    int failed = 0;
    ActionItem askedItems[kKept];
    ActionItem failedItems[kKept];
    // What succeeded: connections cleared (the first of them), files closed,
    // connections whose files were all closed (the last of them).
    int cleared = 0;
    uint32_t firstCleared = 0;
    int closed = 0;
    int emptied = 0;
    uint32_t emptiedConnection = 0;
};

/* The report of one request and the record that lets its actions act on
 * each thing once. */
struct ActionOutcome : ActionReport {
    ActionRound round;
};

/* Writes how a page names one file for closing, as an HTML attribute
 * value: the path between "<filename>" and "</filename>", HTML-escaped. A
 * path that holds a file-name marker of its own, that is not valid UTF-8
 * (a browser would post its other bytes back as U+FFFD), or that is as long
 * as a cut record path or longer, goes URL-encoded between "<encodedfilename>"
 * markers instead: none of its own texts can end it or start another, and
 * it is known to be whole (a page that cut paths never wrote it so). A null
 * path reads as "". */
/* With `escapedPath`, the path's HTML text is left there when it went
 * plain, for a row to write it again (PageWriter::repeat); else its
 * length is 0. */
void send_close_name(PageWriter &out, const char *path, PageWriter::Piece *escapedPath = nullptr);

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
 * Names are passed whole: a cut name could name another file. A start
 * marker with no end after it is noted as a value not understood. */
void close_named_files(const char *decoded, ActionOutcome *outcome);

/* Closes the files a raw form body's FILENAME fields name, each field
 * decoded and read on its own (close_named_files), in body order; a field
 * that holds no name between markers is noted as a value not understood.
 * Only FILENAME fields close files: a marker in another field closes
 * nothing. */
void close_ticked_files(const char *body, ActionOutcome *outcome);

/* Answers a request that acted, while it lives: carries the report, and
 * the body's fields but its FILENAME fields (null body: none), to
 * `location` (a path of this console, escaped for a URL) for their one
 * showing there, and makes the page the request writes next a 303 to it,
 * the page itself its body. Without room to carry them the page is a 200
 * as before. */
class ActionAnswer {
  public:
    ActionAnswer(void *request, const ActionReport &report, const std::string &location,
                 const char *body);
    ~ActionAnswer();
    ActionAnswer(const ActionAnswer &) = delete;
    ActionAnswer &operator=(const ActionAnswer &) = delete;
};

/* Writes the one error-level line of an outcome with anything asked: what
 * was asked and what did not succeed, names escaped for the log. */
void log_action_outcome(const ActionReport &outcome);

/* Writes the page's outcome lines: what the actions did ("Cleared:
 * connection 243", "Closed: 2 files"), then what they could not clear or
 * close, or could not read, and why. Nothing when no action ran (a null
 * outcome, or one that asked nothing). */
void send_action_outcome(PageWriter &out, const ActionReport *outcome);

} // namespace hxm2afp

#endif
