/*
 * History events in the systemd journal, one structured entry each, so the
 * journal forwarding a site already runs carries them to wherever its logs
 * go. Fields: HXM2AFP_EVENT (clear, close-all, close for actions; login,
 * logout, opened, closed for what the recorder saw), HXM2AFP_PATH,
 * HXM2AFP_VOLUME, HXM2AFP_USER (the AFP user), HXM2AFP_CONNECTION, and for
 * actions HXM2AFP_ACTOR, HXM2AFP_SOURCE, HXM2AFP_STATUS, HXM2AFP_OUTCOME.
 */
#ifndef HXM_HISTORY_JOURNAL_H
#define HXM_HISTORY_JOURNAL_H

#include <stdint.h>

#include <string>

namespace hxm2afp::history {

struct JournalEvent {
    const char *event = "";
    std::string path, volume, user;
    int64_t connection = -1; // -1: none
    std::string actor, source, outcome;
    int64_t status = 0; // for an action (a source given)
};

/* Sends one entry; false when the journal refused it (no journal running:
 * the caller says so once). */
bool journal_event(const JournalEvent &event);

} // namespace hxm2afp::history

#endif
