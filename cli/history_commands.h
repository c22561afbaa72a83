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

/* One column of the history beside a live list's own fields, present only
 * when the history store can be read (without it the list is as it was). */
class HistoryColumn {
  public:
    explicit HistoryColumn(const Column &column);
    bool present() const { return present_; }
    const Column &column() const { return column_; }
    const history::CurrentState &state() const { return state_; }
    /* Seconds since the connection's request count last moved, to within
     * one recorder interval (0 for one the recorder has not seen yet). */
    uint64_t idle_seconds(uint32_t connection) const;
    /* When the recorder first saw the file open (0 when it has not yet). */
    uint64_t open_since(const char *volume, const char *path, uint32_t connection) const;

  private:
    Column column_;
    bool present_ = false;
    history::CurrentState state_;
    int64_t now_ = 0;
};

/* A table writer for `fields` and, when present, the history's column. */
template <typename Row, size_t N>
std::unique_ptr<TableWriter> make_history_writer(Format format, FILE *out, const char *documentKey,
                                                 const Field<Row> (&fields)[N],
                                                 const HistoryColumn &history) {
    Column columns[N + 1];
    for (size_t i = 0; i < N; ++i)
        columns[i] = fields[i].column;
    columns[N] = history.column();
    return make_table_writer(format, out, documentKey, columns, history.present() ? N + 1 : N);
}

/* Writes one row of `fields` from `row`, and `value` in the history's
 * column (a writer without it takes no more than its own columns). */
template <typename Row, size_t N>
void write_history_row(TableWriter &writer, const Field<Row> (&fields)[N], const Row &row,
                       uint64_t value) {
    Cell cells[N + 1];
    for (size_t i = 0; i < N; ++i)
        fields[i].fill(row, &cells[i]);
    cells[N].number = value;
    writer.row(cells);
}

/* Seconds since 1970 from a time as the command takes it: "now", "@SECONDS",
 * ISO 8601 "YYYY-MM-DDTHH:MM[:SS]" (local time, or UTC with "Z") or a date
 * "YYYY-MM-DD" (its local midnight). False for anything else. */
bool read_time(const std::string &text, int64_t *seconds);

} // namespace hxm2afp::cli

#endif
