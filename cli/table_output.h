/*
 * The command's three output formats for a list: aligned text for a
 * terminal, one JSON document, RFC 4180 CSV with a header. Rows are written
 * as they come (text alone waits for the last row, to align the columns).
 */
#ifndef HXM_CLI_TABLE_OUTPUT_H
#define HXM_CLI_TABLE_OUTPUT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include <memory>
#include <string>

#include "cli/cli.h"

namespace hxm2afp::cli {

enum class CellKind {
    kText,   // a text, as given
    kNumber, // an unsigned number
    kSigned, // a signed number, stored as its two's complement
    kTime    // seconds since 1970, written in ISO 8601 (UTC); 0 for none
};

/* One column: its JSON member and CSV heading, its text heading, its kind. */
struct Column {
    const char *key;
    const char *heading;
    CellKind kind;
};

/* One cell: `text` for a text column, `number` for the others. */
struct Cell {
    const char *text = nullptr;
    uint64_t number = 0;
};

class TableWriter {
  public:
    virtual ~TableWriter() = default;
    /* Writes one row: one cell per column. */
    virtual void row(const Cell *cells) = 0;
    /* Ends the output; false when standard output could not be written. */
    virtual bool finish() = 0;
};

/* A writer of `format` to `out` for `count` columns; JSON wraps the rows in
 * one object under the member `documentKey`. */
std::unique_ptr<TableWriter> make_table_writer(Format format, FILE *out, const char *documentKey,
                                               const Column *columns, size_t count);

/* A time in ISO 8601, UTC ("2024-05-01T09:30:00Z"); empty for 0. */
std::string iso_time(uint64_t seconds);

/* A text safe to print on a terminal: control characters as \xNN. */
std::string terminal_text(const char *text);

/* A text as one JSON string, quotes included (bytes that are not UTF-8
 * become U+FFFD). */
std::string json_text(const char *text);

/* A text as one CSV field, quoted when it holds a comma, quote or line end. */
std::string csv_field(const char *text);

} // namespace hxm2afp::cli

#endif
