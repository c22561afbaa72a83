/*
 * The command's three output formats: aligned text for a terminal, one JSON
 * document, RFC 4180 CSV with a header. Text and CSV show every text made
 * visible (base/visible_text.h); CSV also quotes every text cell and puts
 * an apostrophe before one that a spreadsheet would take for a formula
 * (one starting with = + - @, tab or CR). JSON holds the exact texts. A list is a table, one row
 * per item; a record (one item shown field by field) is one row written down the page. Rows are
 * written as they come (text alone waits for the last row, to align the columns).
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
    kNumber, // an integer
    kTime,   // seconds since 1970, written in ISO 8601 (UTC); none for 0
             // and for times past 9999
    kTexts   // a list of texts: a JSON array; in a record, one line each
};

/* One column: its JSON member and CSV heading, its text heading, its kind. */
struct Column {
    const char *key;
    const char *heading;
    CellKind kind;
};

/* One cell: `text` for a text column, `texts` and `count` for a list
 * (null texts are passed over), `number` for the others. */
struct Cell {
    const char *text = nullptr;
    WideNumber number = 0;
    const char *const *texts = nullptr;
    size_t count = 0;
};

class TableWriter {
  public:
    virtual ~TableWriter() = default;
    /* Writes one row: one cell per column. */
    virtual void row(const Cell *cells) = 0;
    /* Ends the output; false when standard output could not be written. */
    virtual bool finish() = 0;
};

/* A column of a list of `Row` records: how it is shown, and how a row
 * fills its cell (texts must outlive the row's writing). A list's columns
 * are one table of these, so a new column is one more row of it. */
template <typename Row> struct Field {
    Column column;
    void (*fill)(const Row &row, Cell *cell);
};

/* A writer of `format` to `out` for `count` columns; JSON wraps the rows in
 * one object under the member `documentKey`. In a table, text and CSV join
 * a list's items with ", ". */
std::unique_ptr<TableWriter> make_table_writer(Format format, FILE *out, const char *documentKey,
                                               const Column *columns, size_t count);

/* A writer of one record (one row) of `count` columns: JSON writes the row's
 * object as the document; text writes one line per field, its heading and
 * its value, and CSV a "field,value" header and one row per field, keyed as
 * in JSON. A list gives one line or row per item, its heading repeated. */
std::unique_ptr<TableWriter> make_record_writer(Format format, FILE *out, const Column *columns,
                                                size_t count);

/* make_table_writer (documentKey set) or make_record_writer (null) for the
 * columns of `fields`. */
template <typename Row, size_t N>
std::unique_ptr<TableWriter> make_writer(Format format, FILE *out, const char *documentKey,
                                         const Field<Row> (&fields)[N]) {
    Column columns[N];
    for (size_t i = 0; i < N; ++i)
        columns[i] = fields[i].column;
    if (documentKey == nullptr)
        return make_record_writer(format, out, columns, N);
    return make_table_writer(format, out, documentKey, columns, N);
}

/* Writes one row of `fields` from `row`. */
template <typename Row, size_t N>
void write_row(TableWriter &writer, const Field<Row> (&fields)[N], const Row &row) {
    Cell cells[N];
    for (size_t i = 0; i < N; ++i)
        fields[i].fill(row, &cells[i]);
    writer.row(cells);
}

/* A number in decimal, "-" before a negative one. */
std::string number_text(WideNumber number);

/* A time in ISO 8601, UTC ("2024-05-01T09:30:00Z"); empty for 0 and for
 * times past the end of 9999, which four year digits cannot write. JSON
 * writes null for an empty time. */
std::string iso_time(uint64_t seconds);

/* A text as one JSON string, quotes included (bytes that are not UTF-8
 * become U+FFFD). */
std::string json_text(const char *text);

} // namespace hxm2afp::cli

#endif
