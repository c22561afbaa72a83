/*
 * The page actions (see actions.h): markers and file-name codec, the three
 * actions over a path or decoded body, the outcome's log line and page line.
 *
 * Notes:
 * - A connection number is read as the page wrote it, "%d" of the unsigned
 *   number: an optional "-" and up to ten digits, within 32 bits. Anything
 *   else between the markers is noted as not understood, never read as a
 *   prefix of itself (that would act on another connection).
 * - Only the first kKept items of each kind are kept whole, so a refused
 *   close of a whole volume still makes one page line and one log line.
 */
#include "pages/common/actions.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include <utf8proc.h>
#include <zentra/afpstat.h>

#include "base/bounded_copy.h"
#include "core/localisation.h"
#include "core/page_writer.h"
#include "core/post_body.h"
#include "core/redirect.h"
#include "history/action_spool.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "monitor/actions.h"
#include "monitor/open_files.h"
#include "pages/common/failure_lines.h"

namespace hxm2afp {
namespace {

constexpr char kFileField[] = "FILENAME";
constexpr char kNameStart[] = "<filename>";
constexpr char kNameEnd[] = "</filename>";
// Neither holds the plain markers, and an encoded name holds no "<".
constexpr char kEncodedNameStart[] = "<encodedfilename>";
constexpr char kEncodedNameEnd[] = "</encodedfilename>";
// "-" and the ten digits of 2^32 - 1.
constexpr size_t kLongestNumber = 11;
constexpr size_t kSentenceSize = 1024;
// The log line's bound, as the line was always cut.
constexpr int kLogLineLongest = 4095;

void keep(ActionItem *item, ActionKind kind, bool understood, uint32_t number, const char *text,
          size_t length, int status) {
    item->kind = kind;
    item->understood = understood;
    item->connectionNumber = number;
    copy_bounded(item->text, text, length < sizeof item->text ? length : sizeof item->text - 1);
    item->status = status;
}

// Counts one item that succeeded.
void count_done(ActionOutcome *outcome, ActionKind kind, uint32_t number) {
    switch (kind) {
    case ActionKind::kClearConnection:
        if (outcome->cleared++ == 0)
            outcome->firstCleared = number;
        break;
    case ActionKind::kCloseConnectionFiles:
        ++outcome->emptied;
        outcome->emptiedConnection = number;
        break;
    case ActionKind::kCloseFile:
        ++outcome->closed;
        break;
    }
}

// Notes one item; `text` (length bytes) is the path or the unread value.
void note(ActionOutcome *outcome, ActionKind kind, bool understood, uint32_t number,
          const char *text, size_t length, int status) {
    if (outcome->asked < ActionOutcome::kKept)
        keep(&outcome->askedItems[outcome->asked], kind, understood, number, text, length, status);
    ++outcome->asked;
    static_assert(static_cast<int>(ActionKind::kCloseFile) ==
                  static_cast<int>(history::ActionKind::kCloseFile));
    if (understood)
        history::note_console_action(
            static_cast<history::ActionKind>(kind),
            kind == ActionKind::kCloseFile ? -1 : int64_t{number},
            kind == ActionKind::kCloseFile ? std::string(text, length) : "", status);
    if (understood && status == AFPSTAT_OK) {
        count_done(outcome, kind, number);
        return;
    }
    if (outcome->failed < ActionOutcome::kKept)
        keep(&outcome->failedItems[outcome->failed], kind, understood, number, text, length,
             status);
    ++outcome->failed;
}

void note_not_understood(ActionOutcome *outcome, ActionKind kind, const char *text, size_t length) {
    if (Logger *logger = hxm_log)
        logger->debug("not a connection number: [%s]", LogText(text, length).c_str());
    note(outcome, kind, false, 0, text, length, AFPSTAT_ERR_ARGUMENT);
}

// The number text[0..length) spells as the page wrote it, or false.
bool read_number(const char *text, size_t length, uint32_t *number) {
    const bool negative = length > 0 && text[0] == '-';
    const size_t first = negative ? 1 : 0;
    if (length == first || length > kLongestNumber || (!negative && length == kLongestNumber))
        return false;
    uint64_t value = 0;
    for (size_t i = first; i < length; ++i) {
        if (!isdigit(static_cast<unsigned char>(text[i])))
            return false;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (negative ? value == 0 || value > (uint64_t{1} << 31) : value > UINT32_MAX)
        return false;
    *number = static_cast<uint32_t>(negative ? (uint64_t{1} << 32) - value : value);
    return true;
}

// The next marked text from `from`: *text and *length between the markers,
// the text after the end marker returned. Null when no start marker is left;
// with a start marker but no end, *text holds the rest and null *after.
const char *find_marked(const char *from, const char *start, const char *end, const char **text,
                        size_t *length, bool *ended) {
    const char *open = strstr(from, start);
    if (open == nullptr)
        return nullptr;
    open += strlen(start);
    const char *close = strstr(open, end);
    *text = open;
    *ended = close != nullptr;
    *length = close != nullptr ? static_cast<size_t>(close - open) : strlen(open);
    return close != nullptr ? close + strlen(end) : open + *length;
}

// An encoded name is what escape_url_path writes: "%XY" escapes of no NUL,
// and no "+" (which the body decoder would read as a space).
bool is_encoded_name(const char *text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '+')
            return false;
        if (text[i] != '%')
            continue;
        if (i + 2 >= length || !isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            !isxdigit(static_cast<unsigned char>(text[i + 2])) ||
            (text[i + 1] == '0' && text[i + 2] == '0'))
            return false;
        i += 2;
    }
    return true;
}

void close_one_name(const char *name, bool whole, ActionOutcome *outcome) {
    HXM_DEBUG("file name is %s", LogText(name).c_str());
    HXM_DEBUG("file to close %s", LogText(name).c_str());
    bool repeated = false;
    const int status = outcome->round.close(name, whole, &repeated);
    if (repeated)
        return; // the first naming stands for it
    note(outcome, ActionKind::kCloseFile, true, 0, name, strlen(name), status);
    if (status != 0)
        HXM_DEBUG("Close File Operation failed for file:%s", LogText(name).c_str());
}

const char *kind_words(ActionKind kind) {
    switch (kind) {
    case ActionKind::kClearConnection:
        return "clear connection";
    case ActionKind::kCloseConnectionFiles:
        return "close all files of connection";
    case ActionKind::kCloseFile:
        return "close file";
    }
    return "";
}

void append_items(PageWriter &line, const ActionItem *items, int total, bool withStatus) {
    const int kept = total < ActionOutcome::kKept ? total : ActionOutcome::kKept;
    for (int i = 0; i < kept; ++i) {
        const ActionItem &item = items[i];
        line.format("%s%s ", i == 0 ? "" : ", ", kind_words(item.kind));
        if (!item.understood) {
            line.format("not understood: \"%s\"", LogText(item.text).c_str());
            continue;
        }
        if (item.kind == ActionKind::kCloseFile)
            line.format("\"%s\"", LogText(item.text).c_str());
        else
            line.format("%u", static_cast<unsigned>(item.connectionNumber));
        if (withStatus)
            line.format(" (status %d: %s)", item.status, action_words(item.status));
    }
    if (total > kept)
        line.format(" and %d more", total - kept);
}

// One item that did not succeed, for the page: what it named, then why.
void send_item(PageWriter &out, const ActionItem &item) {
    char sentence[kSentenceSize];
    if (!item.understood) {
        // The sentence is the catalogue's: the value goes where it says.
        PageWriter value(nullptr);
        value.html(item.text);
        out.format(lnxMSG("not understood: %s"), value.c_str());
        return;
    }
    if (item.kind == ActionKind::kClearConnection)
        out.format("%u", static_cast<unsigned>(item.connectionNumber));
    else if (item.kind == ActionKind::kCloseConnectionFiles)
        out.format(lnxMSG("all files of connection %u"),
                   static_cast<unsigned>(item.connectionNumber));
    else
        out.html(item.text);
    out.literal(" (").text(status_text(item.status, sentence, sizeof sentence)).literal(")");
}

// What the actions did, one sentence per kind that succeeded; "" for none.
std::string done_text(const ActionReport &outcome) {
    char sentence[kSentenceSize];
    std::string done;
    const auto add = [&done, &sentence] {
        done += (done.empty() ? "" : " ") + std::string(sentence);
    };
    if (outcome.cleared == 1) {
        snprintf(sentence, sizeof sentence, lnxMSG("Cleared: connection %u"),
                 static_cast<unsigned>(outcome.firstCleared));
        add();
    } else if (outcome.cleared > 1) {
        const auto count = static_cast<unsigned long>(outcome.cleared);
        snprintf(sentence, sizeof sentence,
                 lnxMSGN("Cleared: %lu connection", "Cleared: %lu connections", count), count);
        add();
    }
    if (outcome.emptied > 0) {
        snprintf(sentence, sizeof sentence, lnxMSG("Closed all files of connection %u"),
                 static_cast<unsigned>(outcome.emptiedConnection));
        add();
    }
    if (outcome.closed > 0) {
        const auto count = static_cast<unsigned long>(outcome.closed);
        snprintf(sentence, sizeof sentence, lnxMSGN("Closed: %lu file", "Closed: %lu files", count),
                 count);
        add();
    }
    return done;
}

// Whether `text` is valid UTF-8: a browser posts a form's values back as
// UTF-8, so any other byte would come back as U+FFFD, naming no file.
bool is_utf8(const char *text, size_t length) {
    const auto *at = reinterpret_cast<const utf8proc_uint8_t *>(text);
    const utf8proc_uint8_t *end = at + length;
    while (at < end) {
        // Eight plain ASCII bytes at a time: most paths hold nothing else.
        if (end - at >= 8) {
            uint64_t eight = 0;
            memcpy(&eight, at, sizeof eight);
            if ((eight & 0x8080808080808080ull) == 0) {
                at += sizeof eight;
                continue;
            }
        }
        if (*at < 0x80) {
            ++at;
            continue;
        }
        utf8proc_int32_t point = 0;
        const utf8proc_ssize_t taken = utf8proc_iterate(at, end - at, &point);
        if (taken <= 0)
            return false;
        at += taken;
    }
    return true;
}

} // namespace

void send_close_name(PageWriter &out, const char *path, PageWriter::Piece *escapedPath) {
    if (escapedPath != nullptr)
        *escapedPath = PageWriter::Piece();
    if (path == nullptr)
        path = "";
    // Both markers start with "<", which most paths never hold: one quick
    // scan settles them before any search for the markers themselves.
    const size_t length = strlen(path);
    if (length < HXM_OPEN_FILE_PATH_SIZE - 1 &&
        (strchr(path, '<') == nullptr ||
         (strstr(path, kNameStart) == nullptr && strstr(path, kNameEnd) == nullptr)) &&
        is_utf8(path, length)) {
        out.literal(kNameStart);
        const size_t at = out.length();
        out.html(path);
        if (escapedPath != nullptr)
            *escapedPath = out.since(at);
        out.literal(kNameEnd);
        return;
    }
    PageWriter encoded(nullptr);
    encoded.url_path(path);
    out.literal(kEncodedNameStart).html(encoded.c_str()).literal(kEncodedNameEnd);
}

bool holds_markers(const char *text, const char *start, const char *end) {
    return text != nullptr && strstr(text, start) != nullptr && strstr(text, end) != nullptr;
}

void clear_marked_connections(const char *text, ActionOutcome *outcome) {
    const char *cursor = text;
    while (cursor != nullptr && *cursor != '\0') {
        const char *value = nullptr;
        size_t length = 0;
        bool ended = false;
        cursor = find_marked(cursor, kClearStart, kClearEnd, &value, &length, &ended);
        if (cursor == nullptr)
            break;
        uint32_t number = 0;
        if (!ended || !read_number(value, length, &number)) {
            note_not_understood(outcome, ActionKind::kClearConnection, value, length);
            continue;
        }
        bool repeated = false;
        const int status = outcome->round.clear(number, &repeated);
        if (repeated)
            continue;
        note(outcome, ActionKind::kClearConnection, true, number, "", 0, status);
        HXM_DEBUG("\nClearing Connection :%d", static_cast<int>(number));
        if (status != 0)
            HXM_DEBUG("\nClear Connection Failed:%d", static_cast<int>(number));
    }
}

void close_marked_connection_files(const char *text, ActionOutcome *outcome) {
    if (text == nullptr)
        return;
    const char *value = nullptr;
    size_t length = 0;
    bool ended = false;
    if (find_marked(text, kCloseAllStart, kCloseAllEnd, &value, &length, &ended) == nullptr) {
        // Only the end marker: what stands before it is the unread value.
        const char *end = strstr(text, kCloseAllEnd);
        if (end != nullptr)
            note_not_understood(outcome, ActionKind::kCloseConnectionFiles, text,
                                static_cast<size_t>(end - text));
        return;
    }
    uint32_t number = 0;
    if (!ended || !read_number(value, length, &number)) {
        note_not_understood(outcome, ActionKind::kCloseConnectionFiles, value, length);
        return;
    }
    HXM_DEBUG("Clear all files called for connection#:%d", static_cast<int>(number));
    bool repeated = false;
    const int status = outcome->round.close_files_of(number, &repeated);
    if (repeated)
        return;
    note(outcome, ActionKind::kCloseConnectionFiles, true, number, "", 0, status);
    if (status != 0)
        HXM_DEBUG("Clear all files called for Connection Failed:%d", status);
}

void close_named_files(const char *decoded, ActionOutcome *outcome) {
    const char *cursor = decoded;
    while (cursor != nullptr && *cursor != '\0') {
        // Whichever kind of name stands first; each ends at its own marker.
        const char *plain = strstr(cursor, kNameStart);
        const char *encoded = strstr(cursor, kEncodedNameStart);
        const bool isEncoded = encoded != nullptr && (plain == nullptr || encoded < plain);
        const char *start = isEncoded ? kEncodedNameStart : kNameStart;
        const char *end = isEncoded ? kEncodedNameEnd : kNameEnd;
        const char *name = nullptr;
        size_t length = 0;
        bool ended = false;
        cursor = find_marked(cursor, start, end, &name, &length, &ended);
        if (cursor == nullptr)
            break;
        if (!ended) {
            note(outcome, ActionKind::kCloseFile, false, 0, name - strlen(start),
                 length + strlen(start), AFPSTAT_ERR_ARGUMENT);
            break;
        }
        if (!isEncoded) {
            const std::string whole(name, length);
            close_one_name(whole.c_str(), false, outcome);
            continue;
        }
        char *decodedName = nullptr;
        if (is_encoded_name(name, length))
            decodePostDataString(name, length, &decodedName);
        if (decodedName == nullptr) {
            note(outcome, ActionKind::kCloseFile, false, 0, name, length, AFPSTAT_ERR_ARGUMENT);
            continue;
        }
        close_one_name(decodedName, true, outcome);
        free(decodedName);
    }
}

void close_ticked_files(const char *body, ActionOutcome *outcome) {
    const size_t nameLength = strlen(kFileField);
    for (const char *field = body; field != nullptr && *field != '\0';) {
        const size_t fieldLength = strcspn(field, "&");
        if (fieldLength > nameLength && strncmp(field, kFileField, nameLength) == 0 &&
            field[nameLength] == '=') {
            char *decoded = nullptr;
            decodePostDataString(field + nameLength + 1, fieldLength - nameLength - 1, &decoded);
            const char *value = decoded != nullptr ? decoded : "";
            if (strstr(value, kNameStart) == nullptr && strstr(value, kEncodedNameStart) == nullptr)
                note(outcome, ActionKind::kCloseFile, false, 0, value, strlen(value),
                     AFPSTAT_ERR_ARGUMENT);
            else
                close_named_files(value, outcome);
            free(decoded);
        }
        field += fieldLength;
        if (*field == '&')
            ++field;
    }
}

ActionAnswer::ActionAnswer(void *request, const ActionReport &report, const std::string &location,
                           const char *body) {
    // The fields that say where the page stood (criteria, volume, order),
    // without the names that acted.
    std::string fields;
    const size_t nameLength = strlen(kFileField);
    for (const char *field = body; field != nullptr && *field != '\0';) {
        const size_t fieldLength = strcspn(field, "&");
        if (!(fieldLength > nameLength && strncmp(field, kFileField, nameLength) == 0 &&
              field[nameLength] == '='))
            fields.append(fields.empty() ? "" : "&").append(field, fieldLength);
        field += fieldLength;
        if (*field == '&')
            ++field;
    }
    const uint64_t token = carry_outcome(&report, sizeof report, fields.c_str());
    if (token == 0)
        return;
    char tail[64];
    snprintf(tail, sizeof tail, "/%s/%016llx", kCarriedCommand,
             static_cast<unsigned long long>(token));
    redirect_next_page(request, (location + tail).c_str());
}

ActionAnswer::~ActionAnswer() {
    cancel_redirect();
}

void log_action_outcome(const ActionReport &outcome) {
    Logger *logger = hxm_log;
    if (logger == nullptr || outcome.asked == 0)
        return;
    PageWriter line(nullptr);
    line.format("action outcome: asked %d: ", outcome.asked);
    append_items(line, outcome.askedItems, outcome.asked, false);
    line.format("; failed %d%s", outcome.failed, outcome.failed ? ": " : "");
    append_items(line, outcome.failedItems, outcome.failed, true);
    logger->error("%.*s", kLogLineLongest, line.c_str());
}

void send_action_outcome(PageWriter &out, const ActionReport *outcome) {
    if (outcome == nullptr)
        return;
    const std::string done = done_text(*outcome);
    if (!done.empty())
        out.literal("<DIV CLASS=NORMAL id=\"actionDone\" style=\"font-weight:bold;\">")
            .text(done.c_str())
            .literal("</DIV>\n");
    if (outcome->failed == 0)
        return;
    const ActionItem &first = outcome->failedItems[0];
    out.literal("<DIV CLASS=NORMAL id=\"actionOutcome\" "
                "style=\"color:#b00000;font-weight:bold;\">");
    out.text(first.kind == ActionKind::kClearConnection ? lnxMSG("Connections not cleared:")
                                                        : lnxMSG("Files not closed:"));
    const int kept = outcome->failed < ActionReport::kKept ? outcome->failed : ActionReport::kKept;
    for (int i = 0; i < kept; ++i) {
        out.text(i == 0 ? " " : ", ");
        send_item(out, outcome->failedItems[i]);
    }
    if (outcome->failed > kept)
        out.literal(" ").format(lnxMSG("and %d more"), outcome->failed - kept);
    out.literal("</DIV>\n");
}

} // namespace hxm2afp

int closeAFPFiles(const char *fileName) {
    HXM_DEBUG("file to close %s", hxm2afp::LogText(fileName).c_str());
    return hxm2afp::close_file(fileName);
}

int parseDataToCloseAFPFiles(const char *decoded) {
    hxm2afp::ActionOutcome outcome;
    hxm2afp::close_named_files(decoded, &outcome);
    hxm2afp::log_action_outcome(outcome);
    return 0;
}
