/*
 * The per-request action outcome (see action_outcome.h).
 */
#include "monitor/action_outcome.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include "base/bounded_copy.h"
#include "core/localisation.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include <zentra/afpstat.h>

namespace hxm2afp {
namespace {

// Constant-initialised, so the plug-in keeps no initialiser of its own.
thread_local ActionOutcome *tCollecting = nullptr;

constexpr size_t kLogLineSize = 4096;

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

// Appends to line[*used..] without ever running past `size`.
void append(char *line, size_t size, size_t *used, const char *format, ...)
    __attribute__((format(printf, 4, 5)));
void append(char *line, size_t size, size_t *used, const char *format, ...) {
    if (*used >= size - 1)
        return;
    va_list args;
    va_start(args, format);
    const int written = vsnprintf(line + *used, size - *used, format, args);
    va_end(args);
    if (written > 0)
        *used += static_cast<size_t>(written) < size - *used ? static_cast<size_t>(written)
                                                             : size - *used - 1;
}

void append_items(char *line, size_t size, size_t *used, const ActionItem *items, int total,
                  bool withStatus) {
    const int kept = total < ActionOutcome::kKept ? total : ActionOutcome::kKept;
    for (int i = 0; i < kept; ++i) {
        const ActionItem &item = items[i];
        append(line, size, used, "%s%s ", i == 0 ? "" : ", ", kind_words(item.kind));
        if (item.kind == ActionKind::kCloseFile) {
            append(line, size, used, "\"%s\"", LogText(item.path).c_str());
        } else {
            append(line, size, used, "%u", static_cast<unsigned>(item.connectionNumber));
        }
        if (withStatus)
            append(line, size, used, " (status %d: %s)", item.status, status_words(item.status));
    }
    if (total > kept)
        append(line, size, used, " and %d more", total - kept);
}

void log_outcome(const ActionOutcome &outcome) {
    Logger *logger = hxm_log;
    if (logger == nullptr || outcome.asked == 0)
        return;
    char line[kLogLineSize];
    size_t used = 0;
    line[0] = '\0';
    append(line, sizeof line, &used, "action outcome: asked %d: ", outcome.asked);
    append_items(line, sizeof line, &used, outcome.askedItems, outcome.asked, false);
    append(line, sizeof line, &used, "; failed %d%s", outcome.failed, outcome.failed ? ": " : "");
    append_items(line, sizeof line, &used, outcome.failedItems, outcome.failed, true);
    logger->error("%s", line);
}

void keep(ActionItem *item, ActionKind kind, uint32_t connectionNumber, const char *path,
          int status) {
    item->kind = kind;
    item->connectionNumber = connectionNumber;
    copy_bounded(item->path, path != nullptr ? path : "", sizeof item->path - 1);
    item->status = status;
}

} // namespace

void note_action(ActionKind kind, uint32_t connectionNumber, const char *path, int status) {
    ActionOutcome *outcome = tCollecting;
    if (outcome == nullptr)
        return;
    if (outcome->asked < ActionOutcome::kKept)
        keep(&outcome->askedItems[outcome->asked], kind, connectionNumber, path, status);
    ++outcome->asked;
    if (status == AFPSTAT_OK)
        return;
    if (outcome->failed < ActionOutcome::kKept)
        keep(&outcome->failedItems[outcome->failed], kind, connectionNumber, path, status);
    ++outcome->failed;
}

const ActionOutcome *collected_outcome() {
    return tCollecting;
}

CollectingOutcome::CollectingOutcome(ActionOutcome *outcome)
    : outcome_(outcome), previous_(tCollecting) {
    tCollecting = outcome;
}

CollectingOutcome::~CollectingOutcome() {
    if (outcome_ != nullptr)
        log_outcome(*outcome_);
    tCollecting = previous_;
}

const char *status_words(int status) {
    switch (status) {
    case AFPSTAT_OK:
        return HXM_TRANSLATABLE("done");
    case AFPSTAT_ERR_STORE:
        return HXM_TRANSLATABLE("the monitoring store is missing, unreadable or busy");
    case AFPSTAT_ERR_NOT_FOUND:
        return HXM_TRANSLATABLE("no longer there");
    case AFPSTAT_ERR_NO_MEMORY:
        return HXM_TRANSLATABLE("out of memory");
    case AFPSTAT_ERR_ARGUMENT:
        return HXM_TRANSLATABLE("a malformed request");
    default:
        return HXM_TRANSLATABLE("an unknown error");
    }
}

} // namespace hxm2afp
