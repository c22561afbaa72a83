/*
 * The actions on their way to the history: every clear and close asked from
 * the pages or the command, with who asked and what came of it, appended as
 * one line to a spool file beside the store. The recorder moves the lines
 * into the store (and the journal) at its next cycle, so the console and the
 * command need neither the store's library nor the journal's, and an action
 * is never held up by the store: the recorder is the store's one writer.
 *
 * A line is written whole by one write(2) under an exclusive lock of the
 * file; the recorder takes the same lock to read the lines and empty it.
 */
#ifndef HXM_HISTORY_ACTION_SPOOL_H
#define HXM_HISTORY_ACTION_SPOOL_H

#include <stdint.h>

#include <string>
#include <vector>

namespace hxm2afp::history {

inline constexpr char kFixedSpoolFile[] = "/var/opt/zentra/history/actions.spool";

/* What was asked. */
enum class ActionKind { kClearConnection, kCloseConnectionFiles, kCloseFile };

/* The kind's word in the store and the journal: "clear", "close-all",
 * "close". */
const char *action_kind_word(ActionKind kind);

struct SpooledAction {
    int64_t time = 0;
    std::string source;      // "console" or "command"
    std::string actor;       // the console user or the Unix user; "" when unknown
    std::string kind;        // action_kind_word
    int64_t connection = -1; // -1 for a close by path
    std::string path;        // "" for clear and close-all
    int status = 0;          // the monitoring layer's status (0 done)
    std::string outcome;     // the status in words
};

/* Appends one action to the spool under the root. Nothing is written (and 0
 * returned) where the history's folder does not exist, as on a server that
 * keeps no history; a spool past 64 MiB, which no recorder empties, refuses
 * with EFBIG. Returns 0, or the errno of what failed. */
int spool_action(const SpooledAction &action);

/* Spools an action done now by `actor` from `source`, its outcome in the
 * monitoring layer's words. Returns 0, or the errno of what failed. */
int note_action(const char *source, const std::string &actor, ActionKind kind, int64_t connection,
                const std::string &path, int status);

/* note_action for the pages: the console user of the request this thread
 * serves (see acting_user.h); a failure goes to the plug-in's log. */
void note_console_action(ActionKind kind, int64_t connection, const std::string &path, int status);

/* Takes every line from the spool at `path`, emptying it: the actions in
 * *actions, in the order they were written; a line that cannot be read is
 * skipped. Returns 0 (also when there is no spool), or the errno of what
 * failed, with the spool left as it was. */
int take_spooled_actions(const char *path, std::vector<SpooledAction> *actions);

/* The spool file's path under the root, or "" when it does not fit. */
std::string spool_file_path();

} // namespace hxm2afp::history

#endif
