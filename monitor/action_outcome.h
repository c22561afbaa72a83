/*
 * What one request's clear or close action asked of the monitoring library
 * and what the library refused, for the page that follows and the log.
 *
 * The exported close loops keep their fixed signatures and return values,
 * so they cannot hand their results back; instead the service method opens
 * a CollectingOutcome for the request and the loops note each call into it
 * (a request runs on one thread from start to end).
 */
#ifndef HXM_MONITOR_ACTION_OUTCOME_H
#define HXM_MONITOR_ACTION_OUTCOME_H

#include <stddef.h>
#include <stdint.h>

namespace hxm2afp {

enum class ActionKind { kClearConnection, kCloseConnectionFiles, kCloseFile };

/* One call of an action: the connection or the file path it named. */
struct ActionItem {
    ActionKind kind;
    uint32_t connectionNumber; // clear and close-all
    char path[512];            // close one file; terminated
    int status;                // the library's status
};

/* The calls of one request. The first kKept asked items and the first
 * kKept refused ones are kept whole; the rest are only counted. */
struct ActionOutcome {
    static constexpr int kKept = 8;
    int asked = 0;
    int failed = 0;
    ActionItem askedItems[kKept];
    ActionItem failedItems[kKept];
};

/* Notes one action call into the outcome the current thread collects
 * into; does nothing when none is open. `path` may be null. */
void note_action(ActionKind kind, uint32_t connectionNumber, const char *path, int status);

/* The outcome the current thread collects into, or null. */
const ActionOutcome *collected_outcome();

/* Collects the current thread's action calls into `outcome` while it lives;
 * at its end, an outcome with anything asked is logged at error level (what
 * was asked and what failed, names escaped for the log). */
class CollectingOutcome {
  public:
    explicit CollectingOutcome(ActionOutcome *outcome);
    ~CollectingOutcome();
    CollectingOutcome(const CollectingOutcome &) = delete;
    CollectingOutcome &operator=(const CollectingOutcome &) = delete;

  private:
    ActionOutcome *outcome_;
    ActionOutcome *previous_;
};

/* The monitoring library's status in words, untranslated (a catalogue
 * text: look it up with lnxMSG). */
const char *status_words(int status);

} // namespace hxm2afp

#endif
