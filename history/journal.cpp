/*
 * History events in the journal (see journal.h), through libsystemd's
 * sd_journal_sendv: one entry of FIELD=value items, values any bytes.
 */
#include "history/journal.h"

#include <sys/uio.h>
#include <syslog.h>

#include <vector>

#include <systemd/sd-journal.h>

namespace hxm2afp::history {

bool journal_event(const JournalEvent &event) {
    std::vector<std::string> items;
    std::string message = std::string("hxm2afp ") + event.event;
    if (event.connection >= 0)
        message += " connection " + std::to_string(event.connection);
    if (!event.user.empty())
        message += " user " + event.user;
    if (!event.path.empty())
        message += " " + event.volume + ":" + event.path;
    if (!event.actor.empty())
        message += " by " + event.actor;
    if (!event.source.empty())
        message += ": " + event.outcome;
    items.push_back("MESSAGE=" + message);
    items.push_back("PRIORITY=" + std::to_string(event.status != 0 && !event.source.empty()
                                                     ? LOG_WARNING
                                                     : LOG_INFO));
    items.push_back("SYSLOG_IDENTIFIER=hxm2afp");
    items.push_back(std::string("HXM2AFP_EVENT=") + event.event);
    const std::pair<const char *, const std::string *> texts[] = {
        {"HXM2AFP_PATH=", &event.path},     {"HXM2AFP_VOLUME=", &event.volume},
        {"HXM2AFP_USER=", &event.user},     {"HXM2AFP_ACTOR=", &event.actor},
        {"HXM2AFP_SOURCE=", &event.source}, {"HXM2AFP_OUTCOME=", &event.outcome},
    };
    for (const auto &[field, value] : texts) {
        if (!value->empty())
            items.push_back(field + *value);
    }
    if (event.connection >= 0)
        items.push_back("HXM2AFP_CONNECTION=" + std::to_string(event.connection));
    if (!event.source.empty())
        items.push_back("HXM2AFP_STATUS=" + std::to_string(event.status));
    std::vector<struct iovec> vector;
    vector.reserve(items.size());
    for (std::string &item : items)
        vector.push_back({item.data(), item.size()});
    return sd_journal_sendv(vector.data(), static_cast<int>(vector.size())) >= 0;
}

} // namespace hxm2afp::history
