/*
 * The command's output formats (see table_output.h).
 *
 * Notes: JSON strings go through the JSON library's own escaping, invalid
 * UTF-8 replaced rather than refused, so a hostile name can neither break
 * the document nor stop it: JSON is the exact format for scripts. Text and
 * CSV show names made visible (base/visible_text.h), whether or not the
 * output is a terminal: a file name must not move the cursor, retitle or
 * recolour the administrator's terminal, nor run in a spreadsheet that
 * opens the CSV.
 */
#include "cli/table_output.h"

#include <string.h>
#include <time.h>

#include <vector>

#include <nlohmann/json.hpp>

#include "base/visible_text.h"

namespace hxm2afp::cli {
namespace {

bool is_text(CellKind kind) {
    return kind == CellKind::kText || kind == CellKind::kTexts;
}

// A number or time cell as it prints.
std::string scalar_text(const Cell &cell, CellKind kind) {
    return kind == CellKind::kTime ? iso_time(static_cast<uint64_t>(cell.number))
                                   : number_text(cell.number);
}

// One cell as a person reads it: texts made visible (a list's items joined
// with ", "), numbers and times as they print.
std::string visible_cell(const Cell &cell, CellKind kind) {
    if (kind == CellKind::kText)
        return visible_text(cell.text);
    if (kind != CellKind::kTexts)
        return scalar_text(cell, kind);
    std::string joined;
    for (size_t i = 0; cell.texts != nullptr && i < cell.count; ++i) {
        if (cell.texts[i] == nullptr)
            continue;
        joined.append(joined.empty() ? "" : ", ");
        append_visible_text(&joined, cell.texts[i], strlen(cell.texts[i]));
    }
    return joined;
}

// Characters that make a spreadsheet read a cell as a formula (OWASP's CSV
// injection list).
constexpr char kFormulaStarts[] = "=+-@\t\r";

// A visible text as one CSV field: always quoted, so neither a comma nor a
// spreadsheet's other separators split it; a formula start neutralised by a
// leading apostrophe, which spreadsheets take as "this is text".
void append_csv_field(std::string *line, const std::string &visible) {
    line->push_back('"');
    if (!visible.empty() && strchr(kFormulaStarts, visible[0]) != nullptr)
        line->push_back('\'');
    for (char byte : visible) {
        if (byte == '"')
            line->push_back('"');
        line->push_back(byte);
    }
    line->push_back('"');
}

// A time as a JSON value: an ISO 8601 string, or null for none.
std::string time_value(uint64_t seconds) {
    const std::string text = iso_time(seconds);
    return text.empty() ? "null" : "\"" + text + "\"";
}

// Display width of a UTF-8 text: one column per character.
size_t width_of(const std::string &text) {
    size_t width = 0;
    for (unsigned char byte : text)
        width += (byte & 0xC0) != 0x80;
    return width;
}

class TextWriter : public TableWriter {
  public:
    TextWriter(FILE *out, const Column *columns, size_t count, bool headings = true)
        : out_(out), columns_(columns, columns + count), count_(count), widths_(count) {
        if (!headings)
            return;
        std::vector<std::string> texts;
        for (size_t i = 0; i < count; ++i)
            texts.emplace_back(columns[i].heading);
        add(std::move(texts));
    }

    void row(const Cell *cells) override {
        std::vector<std::string> texts;
        texts.reserve(count_);
        for (size_t i = 0; i < count_; ++i)
            texts.push_back(visible_cell(cells[i], columns_[i].kind));
        add(std::move(texts));
    }

    bool finish() override {
        std::string line;
        for (const std::vector<std::string> &texts : rows_) {
            line.clear();
            // Empty cells at the end of a row leave no trailing spaces.
            size_t used = count_;
            while (used > 1 && texts[used - 1].empty())
                --used;
            for (size_t i = 0; i < used; ++i) {
                const size_t pad = widths_[i] - width_of(texts[i]);
                const bool last = i + 1 == used;
                if (columns_[i].kind == CellKind::kNumber)
                    line.append(pad, ' ').append(texts[i]);
                else if (last)
                    line.append(texts[i]);
                else
                    line.append(texts[i]).append(pad, ' ');
                if (!last)
                    line.append("  ");
            }
            line.push_back('\n');
            fwrite(line.data(), 1, line.size(), out_);
        }
        return fflush(out_) == 0 && !ferror(out_);
    }

  private:
    void add(std::vector<std::string> texts) {
        for (size_t i = 0; i < count_; ++i) {
            const size_t width = width_of(texts[i]);
            if (width > widths_[i])
                widths_[i] = width;
        }
        rows_.push_back(std::move(texts));
    }

    FILE *out_;
    std::vector<Column> columns_; // a copy: the caller's table may be made for the call
    size_t count_;
    std::vector<size_t> widths_;
    std::vector<std::vector<std::string>> rows_;
};

class JsonWriter : public TableWriter {
  public:
    // Without a documentKey the one row is the document.
    JsonWriter(FILE *out, const char *documentKey, const Column *columns, size_t count)
        : out_(out), columns_(columns, columns + count), count_(count),
          table_(documentKey != nullptr) {
        if (table_)
            line_ = "{" + json_text(documentKey) + ":[";
        // Member names are fixed: quoted once.
        for (size_t i = 0; i < count; ++i)
            keys_.push_back(json_text(columns[i].key) + ":");
    }

    void row(const Cell *cells) override {
        if (table_)
            line_.append(first_ ? "\n" : ",\n");
        line_.push_back('{');
        first_ = false;
        for (size_t i = 0; i < count_; ++i) {
            if (i != 0)
                line_.push_back(',');
            line_.append(keys_[i]);
            switch (columns_[i].kind) {
            case CellKind::kText:
                line_.append(json_text(cells[i].text));
                break;
            case CellKind::kTexts:
                append_array(cells[i]);
                break;
            case CellKind::kNumber:
                line_.append(number_text(cells[i].number));
                break;
            case CellKind::kTime:
                line_.append(time_value(static_cast<uint64_t>(cells[i].number)));
                break;
            }
        }
        line_.push_back('}');
        flush_if_full();
    }

    bool finish() override {
        line_.append(table_ ? "\n]}\n" : "\n");
        fwrite(line_.data(), 1, line_.size(), out_);
        return fflush(out_) == 0 && !ferror(out_);
    }

  private:
    void append_array(const Cell &cell) {
        line_.push_back('[');
        bool first = true;
        for (size_t i = 0; cell.texts != nullptr && i < cell.count; ++i) {
            if (cell.texts[i] == nullptr)
                continue;
            line_.append(first ? "" : ",").append(json_text(cell.texts[i]));
            first = false;
        }
        line_.push_back(']');
    }

    void flush_if_full() {
        if (line_.size() < size_t{64} * 1024)
            return;
        fwrite(line_.data(), 1, line_.size(), out_);
        line_.clear();
    }

    FILE *out_;
    std::vector<Column> columns_; // a copy: the caller's table may be made for the call
    size_t count_;
    std::vector<std::string> keys_;
    bool table_;
    std::string line_;
    bool first_ = true;
};

class CsvWriter : public TableWriter {
  public:
    CsvWriter(FILE *out, const Column *columns, size_t count)
        : out_(out), columns_(columns, columns + count), count_(count) {
        for (size_t i = 0; i < count; ++i)
            line_.append(i == 0 ? "" : ",").append(columns[i].key);
        line_.append("\r\n");
    }

    void row(const Cell *cells) override {
        for (size_t i = 0; i < count_; ++i) {
            if (i != 0)
                line_.push_back(',');
            const std::string visible = visible_cell(cells[i], columns_[i].kind);
            if (is_text(columns_[i].kind))
                append_csv_field(&line_, visible);
            else
                line_.append(visible);
        }
        line_.append("\r\n");
        if (line_.size() >= size_t{64} * 1024) {
            fwrite(line_.data(), 1, line_.size(), out_);
            line_.clear();
        }
    }

    bool finish() override {
        fwrite(line_.data(), 1, line_.size(), out_);
        return fflush(out_) == 0 && !ferror(out_);
    }

  private:
    FILE *out_;
    std::vector<Column> columns_; // a copy: the caller's table may be made for the call
    size_t count_;
    std::string line_;
};

// A record written down the page: each field becomes a row of a two-column
// table, its label and its value as text, which the table's own writer
// escapes or quotes.
class RecordWriter : public TableWriter {
  public:
    RecordWriter(Format format, FILE *out, const Column *columns, size_t count)
        : columns_(columns, columns + count), count_(count), csv_(format == Format::kCsv) {
        if (csv_)
            table_ = std::make_unique<CsvWriter>(out, kFieldColumns, 2);
        else
            table_ = std::make_unique<TextWriter>(out, kFieldColumns, 2, false);
    }

    void row(const Cell *cells) override {
        for (size_t i = 0; i < count_; ++i) {
            const Column &column = columns_[i];
            const char *label = csv_ ? column.key : column.heading;
            if (column.kind == CellKind::kText) {
                field(label, cells[i].text);
                continue;
            }
            if (column.kind != CellKind::kTexts) {
                field(label, scalar_text(cells[i], column.kind).c_str());
                continue;
            }
            for (size_t item = 0; cells[i].texts != nullptr && item < cells[i].count; ++item) {
                if (cells[i].texts[item] != nullptr)
                    field(label, cells[i].texts[item]);
            }
        }
    }

    bool finish() override { return table_->finish(); }

  private:
    static constexpr Column kFieldColumns[] = {{"field", "FIELD", CellKind::kText},
                                               {"value", "VALUE", CellKind::kText}};

    void field(const char *label, const char *value) {
        Cell pair[2];
        pair[0].text = label;
        pair[1].text = value;
        table_->row(pair);
    }

    std::vector<Column> columns_; // a copy: the caller's table may be made for the call
    size_t count_;
    bool csv_;
    std::unique_ptr<TableWriter> table_;
};

} // namespace

std::unique_ptr<TableWriter> make_record_writer(Format format, FILE *out, const Column *columns,
                                                size_t count) {
    if (format == Format::kJson)
        return std::make_unique<JsonWriter>(out, nullptr, columns, count);
    return std::make_unique<RecordWriter>(format, out, columns, count);
}

std::unique_ptr<TableWriter> make_table_writer(Format format, FILE *out, const char *documentKey,
                                               const Column *columns, size_t count) {
    switch (format) {
    case Format::kJson:
        return std::make_unique<JsonWriter>(out, documentKey, columns, count);
    case Format::kCsv:
        return std::make_unique<CsvWriter>(out, columns, count);
    case Format::kText:
        break;
    }
    return std::make_unique<TextWriter>(out, columns, count);
}

std::string number_text(WideNumber number) {
    char digits[48];
    char *at = digits + sizeof digits;
    *--at = '\0';
    // Negated as unsigned: the most negative number has no positive twin.
    unsigned __int128 magnitude = static_cast<unsigned __int128>(number);
    if (number < 0)
        magnitude = -magnitude;
    do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0)
        *--at = '-';
    return at;
}

std::string iso_time(uint64_t seconds) {
    // The last second ISO 8601 writes with four year digits; a later time
    // (a counter gone wrong, a value near 2^64) has no honest form.
    constexpr uint64_t kLastSecond = 253402300799; // 9999-12-31T23:59:59Z
    if (seconds == 0 || seconds > kLastSecond)
        return "";
    const time_t when = static_cast<time_t>(seconds);
    struct tm parts;
    char text[32];
    if (gmtime_r(&when, &parts) == nullptr ||
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return "";
    return text;
}

std::string json_text(const char *text) {
    return nlohmann::json(text != nullptr ? text : "")
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace hxm2afp::cli
