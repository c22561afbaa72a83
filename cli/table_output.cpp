/*
 * The command's output formats (see table_output.h).
 *
 * Notes: JSON strings go through the JSON library's own escaping, invalid
 * UTF-8 replaced rather than refused, so a hostile name can neither break
 * the document nor stop it. Text output escapes control characters: a file
 * name must not move the cursor or recolour the administrator's terminal.
 */
#include "cli/table_output.h"

#include <string.h>
#include <time.h>

#include <vector>

#include <nlohmann/json.hpp>

namespace hxm2afp::cli {
namespace {

std::string number_text(uint64_t number, CellKind kind = CellKind::kNumber) {
    char text[24];
    if (kind == CellKind::kSigned)
        snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
    else
        snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(number));
    return text;
}

// One cell as text: numbers and times as they print, texts through `quote`
// (escaped for the terminal, or quoted for CSV).
std::string cell_text(const Cell &cell, CellKind kind, std::string (*quote)(const char *)) {
    switch (kind) {
    case CellKind::kText:
        return quote(cell.text);
    case CellKind::kTime:
        return iso_time(cell.number);
    case CellKind::kNumber:
    case CellKind::kSigned:
        break;
    }
    return number_text(cell.number, kind);
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
    TextWriter(FILE *out, const Column *columns, size_t count)
        : out_(out), columns_(columns), count_(count), widths_(count) {
        std::vector<std::string> headings;
        for (size_t i = 0; i < count; ++i)
            headings.emplace_back(columns[i].heading);
        add(std::move(headings));
    }

    void row(const Cell *cells) override {
        std::vector<std::string> texts;
        texts.reserve(count_);
        for (size_t i = 0; i < count_; ++i)
            texts.push_back(cell_text(cells[i], columns_[i].kind, terminal_text));
        add(std::move(texts));
    }

    bool finish() override {
        std::string line;
        for (const std::vector<std::string> &texts : rows_) {
            line.clear();
            for (size_t i = 0; i < count_; ++i) {
                const size_t pad = widths_[i] - width_of(texts[i]);
                const bool last = i + 1 == count_;
                if (columns_[i].kind == CellKind::kNumber || columns_[i].kind == CellKind::kSigned)
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
    const Column *columns_;
    size_t count_;
    std::vector<size_t> widths_;
    std::vector<std::vector<std::string>> rows_;
};

class JsonWriter : public TableWriter {
  public:
    JsonWriter(FILE *out, const char *documentKey, const Column *columns, size_t count)
        : out_(out), columns_(columns), count_(count) {
        line_ = "{" + json_text(documentKey) + ":[";
        // Member names are fixed: quoted once.
        for (size_t i = 0; i < count; ++i)
            keys_.push_back(json_text(columns[i].key) + ":");
    }

    void row(const Cell *cells) override {
        line_.append(first_ ? "\n{" : ",\n{");
        first_ = false;
        for (size_t i = 0; i < count_; ++i) {
            if (i != 0)
                line_.push_back(',');
            line_.append(keys_[i]);
            switch (columns_[i].kind) {
            case CellKind::kText:
                line_.append(json_text(cells[i].text));
                break;
            case CellKind::kNumber:
            case CellKind::kSigned:
                line_.append(number_text(cells[i].number, columns_[i].kind));
                break;
            case CellKind::kTime:
                line_.append(cells[i].number == 0 ? "null"
                                                  : "\"" + iso_time(cells[i].number) + "\"");
                break;
            }
        }
        line_.push_back('}');
        flush_if_full();
    }

    bool finish() override {
        line_.append("\n]}\n");
        fwrite(line_.data(), 1, line_.size(), out_);
        return fflush(out_) == 0 && !ferror(out_);
    }

  private:
    void flush_if_full() {
        if (line_.size() < size_t{64} * 1024)
            return;
        fwrite(line_.data(), 1, line_.size(), out_);
        line_.clear();
    }

    FILE *out_;
    const Column *columns_;
    size_t count_;
    std::vector<std::string> keys_;
    std::string line_;
    bool first_ = true;
};

class CsvWriter : public TableWriter {
  public:
    CsvWriter(FILE *out, const Column *columns, size_t count)
        : out_(out), columns_(columns), count_(count) {
        for (size_t i = 0; i < count; ++i)
            line_.append(i == 0 ? "" : ",").append(columns[i].key);
        line_.append("\r\n");
    }

    void row(const Cell *cells) override {
        for (size_t i = 0; i < count_; ++i) {
            if (i != 0)
                line_.push_back(',');
            line_.append(cell_text(cells[i], columns_[i].kind, csv_field));
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
    const Column *columns_;
    size_t count_;
    std::string line_;
};

} // namespace

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

std::string iso_time(uint64_t seconds) {
    if (seconds == 0)
        return "";
    const time_t when = static_cast<time_t>(seconds);
    struct tm parts;
    char text[32];
    if (gmtime_r(&when, &parts) == nullptr ||
        strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts) == 0)
        return "";
    return text;
}

std::string terminal_text(const char *text) {
    std::string safe;
    if (text == nullptr)
        return safe;
    for (const char *at = text; *at != '\0'; ++at) {
        const unsigned char byte = static_cast<unsigned char>(*at);
        if (byte >= 0x20 && byte != 0x7F) {
            safe.push_back(*at);
            continue;
        }
        char escaped[8];
        snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        safe.append(escaped);
    }
    return safe;
}

std::string json_text(const char *text) {
    return nlohmann::json(text != nullptr ? text : "")
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string csv_field(const char *text) {
    if (text == nullptr)
        return "";
    if (strpbrk(text, ",\"\r\n") == nullptr)
        return text;
    std::string quoted = "\"";
    for (const char *at = text; *at != '\0'; ++at) {
        if (*at == '"')
            quoted.push_back('"');
        quoted.push_back(*at);
    }
    return quoted.append("\"");
}

} // namespace hxm2afp::cli
