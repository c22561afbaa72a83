/*
 * The action spool (see action_spool.h).
 *
 * A line: eight fields separated by tabs, ended by a newline; texts escape
 * "\", tab, newline and carriage return as \\, \t, \n and \r, so a path may
 * hold any byte but NUL.
 */
#include "history/action_spool.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "base/root_paths.h"
#include "history/acting_user.h"
#include "logger/logger.h"
#include "monitor/actions.h"

namespace hxm2afp::history {
namespace {

constexpr size_t kFields = 8;
// A spool nobody empties (the recorder stopped for good) stops growing here;
// each action refused then is said in the caller's log.
constexpr off_t kSpoolLimitBytes = off_t{64} * 1024 * 1024;

struct Escape {
    char byte;
    char letter;
};
constexpr Escape kEscapes[] = {{'\\', '\\'}, {'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}};

void append_escaped(std::string *line, const std::string &text) {
    for (char byte : text) {
        char letter = 0;
        for (const Escape &escape : kEscapes)
            letter = byte == escape.byte ? escape.letter : letter;
        if (letter != 0)
            line->append(1, '\\').append(1, letter);
        else
            line->push_back(byte);
    }
}

std::string unescaped(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char byte = text[i];
        if (byte == '\\' && i + 1 < text.size()) {
            ++i;
            for (const Escape &escape : kEscapes)
                byte = text[i] == escape.letter ? escape.byte : byte;
        }
        out.push_back(byte);
    }
    return out;
}

bool read_line(const std::string &line, SpooledAction *action) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        fields.push_back(line.substr(start, tab - start));
    fields.push_back(line.substr(start));
    if (fields.size() != kFields)
        return false;
    char *end = nullptr;
    action->time = strtoll(fields[0].c_str(), &end, 10);
    action->source = unescaped(fields[1]);
    action->actor = unescaped(fields[2]);
    action->kind = unescaped(fields[3]);
    action->connection = strtoll(fields[4].c_str(), &end, 10);
    action->status = static_cast<int>(strtol(fields[5].c_str(), &end, 10));
    action->outcome = unescaped(fields[6]);
    action->path = unescaped(fields[7]);
    return action->time > 0 && !action->kind.empty();
}

// Writes all of `text`, retrying after a signal; false on failure.
bool write_all(int fd, const std::string &text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = write(fd, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        if (result <= 0)
            return false;
        written += static_cast<size_t>(result);
    }
    return true;
}

} // namespace

const char *action_kind_word(ActionKind kind) {
    switch (kind) {
    case ActionKind::kClearConnection:
        return "clear";
    case ActionKind::kCloseConnectionFiles:
        return "close-all";
    case ActionKind::kCloseFile:
        return "close";
    }
    return "";
}

std::string spool_file_path() {
    char path[PATH_MAX];
    return root_path(kFixedSpoolFile, path, sizeof path) != nullptr ? path : "";
}

int spool_action(const SpooledAction &action) {
    const std::string path = spool_file_path();
    if (path.empty())
        return ENAMETOOLONG;
    // The recorder makes the folder when it first opens its store: a server
    // (or a test, or a benchmark) that keeps no history gets no spool.
    struct stat folder;
    if (stat(path.substr(0, path.rfind('/')).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return 0;
    std::string line = std::to_string(action.time ? action.time : time(nullptr)) + "\t";
    const std::string *texts[] = {&action.source, &action.actor, &action.kind};
    for (const std::string *text : texts) {
        append_escaped(&line, *text);
        line += '\t';
    }
    line += std::to_string(action.connection) + "\t" + std::to_string(action.status) + "\t";
    append_escaped(&line, action.outcome);
    line += '\t';
    append_escaped(&line, action.path);
    line += '\n';
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0)
        return errno;
    struct stat spool;
    int error = flock(fd, LOCK_EX) != 0 || fstat(fd, &spool) != 0 ? errno : 0;
    if (error == 0 && spool.st_size >= kSpoolLimitBytes)
        error = EFBIG;
    if (error == 0 && !write_all(fd, line))
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

int note_action(const char *source, const std::string &actor, ActionKind kind, int64_t connection,
                const std::string &path, int status) {
    SpooledAction action;
    action.source = source;
    action.actor = actor;
    action.kind = action_kind_word(kind);
    action.connection = connection;
    action.path = path;
    action.status = status;
    action.outcome = action_words(status);
    return spool_action(action);
}

void note_console_action(ActionKind kind, int64_t connection, const std::string &path, int status) {
    const int error = note_action("console", request_actor(), kind, connection, path, status);
    if (error != 0 && hxm_log != nullptr)
        hxm_log->error("history: an action was done but not noted: %s", strerror(error));
}

int take_spooled_actions(const char *path, std::vector<SpooledAction> *actions) {
    const int fd = open(path, O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? 0 : errno;
    int error = flock(fd, LOCK_EX) == 0 ? 0 : errno;
    std::string text;
    char buffer[65536];
    ssize_t got = 0;
    while (error == 0 && (got = read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0 && errno != EINTR)
            error = errno;
        else if (got > 0)
            text.append(buffer, static_cast<size_t>(got));
    }
    if (error == 0 && !text.empty() && ftruncate(fd, 0) != 0)
        error = errno;
    close(fd);
    if (error != 0)
        return error;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        SpooledAction action;
        if (read_line(text.substr(start, end - start), &action))
            actions->push_back(std::move(action));
    }
    return 0;
}

} // namespace hxm2afp::history
