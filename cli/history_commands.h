/*
 * The command's history: `record` (the recorder), `history` (who had what
 * open when), the history's columns beside the live lists, and the note of
 * every action the command takes.
 */
#ifndef HXM_CLI_HISTORY_COMMANDS_H
#define HXM_CLI_HISTORY_COMMANDS_H

#include <stdint.h>

#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/table_output.h"
#include "history/query.h"

namespace hxm2afp::cli {

int command_record(const Invocation &invocation);
int command_history(const Invocation &invocation);

/* Notes an action the command took (`verb` as the actions name it: "clear
 * connection" or "close") in the history, with the Unix user; a note that
 * cannot be written is said on standard error. */
void note_command_action(const char *verb, const std::string &argument, int status);

/* What the history holds as current; false when its store cannot be read. */
bool read_history_state(history::CurrentState *state);

/* A live list's columns with one column of the history added when its store
 * can be read (and only then: without a history the list is as it was). */
class HistoryColumn {
  public:
    HistoryColumn(const Column *columns, size_t count, const Column &extra);
    const Column *columns() const { return columns_.data(); }
    size_t count() const { return columns_.size(); }
    bool present() const { return present_; }
    const history::CurrentState &state() const { return state_; }
    int64_t now() const { return now_; }
    /* Seconds since the connection's request count last moved, to within
     * one recorder interval (0 for one the recorder has not seen yet). */
    uint64_t idle_seconds(uint32_t connection) const;
    /* When the recorder first saw the file open (0 when it has not yet). */
    uint64_t open_since(const char *volume, const char *path, uint32_t connection) const;

  private:
    std::vector<Column> columns_;
    bool present_ = false;
    history::CurrentState state_;
    int64_t now_ = 0;
};

/* Seconds since 1970 from a time as the command takes it: "now", "@SECONDS",
 * ISO 8601 "YYYY-MM-DDTHH:MM[:SS]" (local time, or UTC with "Z") or a date
 * "YYYY-MM-DD" (its local midnight). False for anything else. */
bool read_time(const std::string &text, int64_t *seconds);

} // namespace hxm2afp::cli

#endif
