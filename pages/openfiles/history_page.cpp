/*
 * The history page of the open-file area (see history_page.h).
 *
 * Paths, after "/afpofm":
 *   /AFPFindHistory[/SORT][/Connection/N | /User/NAME | /File/VOLUME/PATH]
 * SORT is VolumeName, ConnectionNumber, UserName, FileName or OpenSince, in
 * any case. A heading's sort link posts the criteria form again, so the
 * order changes and the question stays.
 *
 * Notes:
 * - The store is opened for reading only: the recorder is its one writer
 *   and, in WAL mode, a reader never holds it up. A store that is missing,
 *   broken or busy past its wait gives the lists' failure row.
 * - "Idle for" is known only of a connection the recorder still holds; a
 *   file closed since has no idle time to tell.
 */
#include "pages/openfiles/history_page.h"

#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include <algorithm>
#include <string>
#include <vector>

#include <zentra/afpstat.h>
#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/form.h"
#include "core/localisation.h"
#include "core/page_frame.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "history/query.h"
#include "history/store.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "pages/common/failure_lines.h"
#include "pages/openfiles/frame.h"

namespace hxm2afp {
namespace {

constexpr char kFromField[] = "HISTFROM";
constexpr char kUntilField[] = "HISTUNTIL";
constexpr size_t kFieldSize = 256;
constexpr size_t kTimeSize = 32;
constexpr int kColumnCount = 7;

enum class HistoryColumn { kVolume, kConnection, kUser, kPath, kOpenSince };

/* The sortable columns, in page order: the path keyword, the heading, its
 * sort link's image text and id. */
struct SortColumn {
    const char *keyword;
    HistoryColumn column;
    const char *label;
    const char *linkText;
    const char *imageId;
};

constexpr SortColumn kSortColumns[] = {
    {"VolumeName", HistoryColumn::kVolume, HXM_TRANSLATABLE("Volume"),
     HXM_TRANSLATABLE("Sort By Volume"), "volName"},
    {"ConnectionNumber", HistoryColumn::kConnection, HXM_TRANSLATABLE("Connection"),
     HXM_TRANSLATABLE("Sort By Connection"), "connNum"},
    {"UserName", HistoryColumn::kUser, HXM_TRANSLATABLE("Username"),
     HXM_TRANSLATABLE("Sort By Username"), "usrName"},
    {"FileName", HistoryColumn::kPath, HXM_TRANSLATABLE("File Path"),
     HXM_TRANSLATABLE("Sort By File Path"), "fileName"},
    {"OpenSince", HistoryColumn::kOpenSince, HXM_TRANSLATABLE("Open since"),
     HXM_TRANSLATABLE("Sort By Open since"), "openSince"},
};
constexpr const SortColumn *kDefaultSort = &kSortColumns[4];

const SortColumn *sort_column(Component at) {
    for (const SortColumn &column : kSortColumns) {
        if (at.equals(column.keyword))
            return &column;
    }
    return nullptr;
}

/* The timelines a path may ask for, by their path word. */
enum class Timeline { kNone, kConnection, kUser, kFile };
struct TimelineWord {
    const char *word;
    Timeline timeline;
    int components; // after the word: at least this many
};
constexpr TimelineWord kTimelineWords[] = {
    {"Connection", Timeline::kConnection, 1},
    {"User", Timeline::kUser, 1},
    {"File", Timeline::kFile, 2},
};

/* What the request asks the history page for. */
struct HistoryAsk {
    const SortColumn *sort = kDefaultSort;
    Timeline timeline = Timeline::kNone;
    std::string timelinePart; // the path after the command and SORT, as it came
    std::string exactPath;    // a file's timeline: its path exactly
    history::HistoryQuery query;
    char name[kFieldSize] = {}, user[kFieldSize] = {};
    char from[kFieldSize] = {}, until[kFieldSize] = {};
    bool badField = false;
};

std::string component_text(Component at) {
    return std::string(at.text(), at.length());
}

/* Reads the path after the command: 0, or the error page code. */
int read_history_path(const Request &front, HistoryAsk *ask) {
    Component at = front.path.first.next();
    int left = front.path.count - 1;
    if (left > 0) {
        if (const SortColumn *column = sort_column(at)) {
            ask->sort = column;
            at = at.next();
            --left;
        }
    }
    if (left == 0)
        return 0;
    const TimelineWord *word = nullptr;
    for (const TimelineWord &candidate : kTimelineWords) {
        if (at.equals(candidate.word))
            word = &candidate;
    }
    if (word == nullptr || left - 1 < word->components ||
        (word->timeline != Timeline::kFile && left - 1 != word->components))
        return HXM_ERROR_BAD_REQUEST;
    ask->timeline = word->timeline;
    const HeapText rest = slash_text(at, left);
    if (!rest)
        return HXM_ERROR_OUT_OF_RESOURCES;
    ask->timelinePart = rest.get();
    const Component value = at.next();
    if (word->timeline == Timeline::kConnection) {
        const std::string number = component_text(value);
        char *end = nullptr;
        const long long parsed = strtoll(number.c_str(), &end, 10);
        if (number.empty() || *end != '\0' || parsed < 0)
            return HXM_ERROR_BAD_REQUEST;
        ask->query.connection = parsed;
    } else if (word->timeline == Timeline::kUser) {
        ask->query.user = component_text(value);
    } else {
        ask->query.volume = component_text(value);
        const HeapText path = slash_text(value.next(), left - 2);
        if (!path)
            return HXM_ERROR_OUT_OF_RESOURCES;
        ask->exactPath = path.get();
    }
    return 0;
}

/* "YYYY-MM-DD HH:MM[:SS]" in local time as seconds since 1970: false when
 * the text reads otherwise. An empty text leaves *seconds as it was. */
bool read_time(const char *text, int64_t *seconds) {
    if (*text == '\0')
        return true;
    struct tm parts = {};
    const char *end = strptime(text, "%Y-%m-%d %H:%M:%S", &parts);
    if (end == nullptr) {
        parts = {};
        end = strptime(text, "%Y-%m-%d %H:%M", &parts);
    }
    if (end == nullptr || *end != '\0')
        return false;
    parts.tm_isdst = -1;
    const time_t local = mktime(&parts);
    if (local == static_cast<time_t>(-1))
        return false;
    *seconds = local;
    return true;
}

void read_fields(const char *body, HistoryAsk *ask) {
    struct Field {
        const char *name;
        char *out;
    };
    const Field fields[] = {{kNameField, ask->name},
                            {kUserField, ask->user},
                            {kFromField, ask->from},
                            {kUntilField, ask->until}};
    for (const Field &field : fields) {
        if (read_form_field(body, field.name, field.out, kFieldSize) == FormField::kTooLong)
            ask->badField = true;
    }
    int64_t since = -1, until = -1;
    if (!read_time(ask->from, &since) || !read_time(ask->until, &until) ||
        (since < 0 && until >= 0))
        ask->badField = true;
    if (since >= 0) {
        ask->query.since = since;
        ask->query.until = until >= 0 ? until : since;
        if (ask->query.until < since)
            ask->badField = true;
    }
    if (ask->name[0] != '\0')
        ask->query.name = ask->name;
    if (ask->user[0] != '\0' && ask->timeline != Timeline::kUser)
        ask->query.user = ask->user;
}

const char *time_text(int64_t seconds, char *out) {
    const time_t value = static_cast<time_t>(seconds);
    struct tm parts;
    if (localtime_r(&value, &parts) == nullptr ||
        strftime(out, kTimeSize, "%Y-%m-%d %H:%M:%S", &parts) == 0)
        snprintf(out, kTimeSize, "%lld", static_cast<long long>(seconds));
    return out;
}

const char *duration_text(int64_t seconds, char *out) {
    const long long value = seconds < 0 ? 0 : seconds;
    snprintf(out, kTimeSize, "%lld:%02lld:%02lld", value / 3600, value / 60 % 60, value % 60);
    return out;
}

bool row_before(const history::HistoryRow &a, const history::HistoryRow &b, HistoryColumn column) {
    switch (column) {
    case HistoryColumn::kVolume:
        return std::tie(a.volume, a.openSince) < std::tie(b.volume, b.openSince);
    case HistoryColumn::kConnection:
        return std::tie(a.connection, a.openSince) < std::tie(b.connection, b.openSince);
    case HistoryColumn::kUser:
        return std::tie(a.user, a.openSince) < std::tie(b.user, b.openSince);
    case HistoryColumn::kPath:
        return std::tie(a.path, a.openSince) < std::tie(b.path, b.openSince);
    case HistoryColumn::kOpenSince:
        break;
    }
    return std::tie(a.openSince, a.path) < std::tie(b.openSince, b.path);
}

/* Asks the store; false when it cannot be read (the reason logged). */
bool read_history(const HistoryAsk &ask, std::vector<history::HistoryRow> *rows,
                  history::CurrentState *state) {
    std::string error;
    const std::string file = history::store_file_path();
    std::unique_ptr<history::Store> store =
        file.empty() ? nullptr : history::Store::open(file, history::Store::Access::kRead, &error);
    bool read = store != nullptr && history::query_history(store.get(), ask.query, rows, &error) &&
                history::read_current_state(store.get(), state, &error);
    if (!read) {
        HXM_DEBUG("history not read: %s", LogText(error.c_str()).c_str());
        return false;
    }
    if (!ask.exactPath.empty())
        rows->erase(std::remove_if(
                        rows->begin(), rows->end(),
                        [&](const history::HistoryRow &row) { return row.path != ask.exactPath; }),
                    rows->end());
    std::stable_sort(rows->begin(), rows->end(),
                     [&](const history::HistoryRow &a, const history::HistoryRow &b) {
                         return row_before(a, b, ask.sort->column);
                     });
    return true;
}

void send_criteria_form(PageWriter &out, const HistoryAsk &ask) {
    out.format("<FORM method=\"post\" action=\"/%s/%s/%s", keyword_afpofm, kFindHistoryCommand,
               ask.sort->keyword)
        .url_path(ask.timelinePart.c_str())
        .literal("\" id=\"filterForm\"><table><tr>");
    struct Input {
        const char *label, *field, *id, *title, *value;
    };
    const Input inputs[] = {
        {HXM_TRANSLATABLE("File name"), kNameField, "findName",
         HXM_TRANSLATABLE("Part of a file name, * and ? as wildcards"), ask.name},
        {HXM_TRANSLATABLE("User"), kUserField, "findUser",
         HXM_TRANSLATABLE("Part of a user name (optional)"), ask.user},
        {HXM_TRANSLATABLE("At or from"), kFromField, "histFrom",
         HXM_TRANSLATABLE("YYYY-MM-DD HH:MM:SS, local time (empty: the whole history)"), ask.from},
        {HXM_TRANSLATABLE("Until"), kUntilField, "histUntil",
         HXM_TRANSLATABLE("YYYY-MM-DD HH:MM:SS (empty: the moment of the first time)"), ask.until},
    };
    for (const Input &input : inputs) {
        out.literal("<td><label>").text(lnxMSG(input.label)).literal(" : </label></td><td><input ");
        out.format("name=\"%s\" id=\"%s\" type=\"text\" maxlength=\"255\" title=\"", input.field,
                   input.id);
        out.html(lnxMSG(input.title)).literal("\" value=\"").html(input.value);
        out.literal("\" style=\"width: 147px; \" /></td>");
    }
    out.format("<td><input type='submit' value=\"%s\" /></td></tr></table></FORM>\n",
               lnxMSG("Find"));
}

void send_heading_row(PageWriter &out, const HistoryAsk &ask) {
    out.literal("<TR class=tablesubhead NOWRAP>");
    for (const SortColumn &column : kSortColumns) {
        out.literal("<TD align=center>").text(lnxMSG(column.label)).literal(" <A HREF=\"/");
        out.text(keyword_afpofm).literal("/").text(kFindHistoryCommand).literal("/");
        out.text(column.keyword).url_path(ask.timelinePart.c_str());
        out.literal("\" onclick=\"return sortedFilterFormSubmit(this);\">");
        out.literal("<img id=").text(column.imageId).literal(" border=0 alt='");
        out.text(lnxMSG(column.linkText)).literal("' src='/opt/zentra/hxm/");
        out.text(&column == ask.sort ? "sorted.png" : "sortdown.png").literal("' ></a></TD>");
    }
    out.format("<TD align=center>%s</TD><TD align=center>%s</TD></TR>", lnxMSG("Closed"),
               lnxMSG("Idle for"));
}

/* A link to a timeline: "/afpofm/AFPFindHistory/WORD/" and what follows. */
PageWriter &start_timeline_link(PageWriter &out, const char *word) {
    return out.literal("<a href=\"/")
        .text(keyword_afpofm)
        .literal("/")
        .text(kFindHistoryCommand)
        .literal("/")
        .text(word)
        .literal("/");
}

void send_row(PageWriter &out, const history::HistoryRow &row, const history::CurrentState &state,
              const char *stripe) {
    char since[kTimeSize], closed[kTimeSize], idle[kTimeSize] = "";
    if (row.closed == 0) {
        const auto active = state.activeAt.find(row.connection);
        if (active != state.activeAt.end())
            duration_text(state.lastCycle - active->second, idle);
    }
    out.literal("<TR ").text(stripe).literal("><td class=\"tablecol\" align=left>");
    out.html(row.volume.c_str()).literal("</td><td class=\"tablecol\" align=center>");
    start_timeline_link(out, "Connection").decimal(row.connection).literal("\">");
    out.decimal(row.connection).literal("</a></td><td class=\"tablecol\" align=center>");
    start_timeline_link(out, "User").url_component(row.user.c_str()).literal("\">");
    out.html(row.user.c_str()).literal("</a></td><td class=\"tablecol\" align=left>");
    start_timeline_link(out, "File").url_component(row.volume.c_str());
    out.url_path(row.path.c_str()).literal("\">").html(row.path.c_str());
    out.literal("</a></td><td class=\"tablecol\" align=center>")
        .text(time_text(row.openSince, since));
    out.literal("</td><td class=\"tablecol\" align=center>");
    if (row.closed != 0)
        out.text(time_text(row.closed, closed));
    else
        out.text(lnxMSG("still open"));
    if (!row.closedBy.empty())
        out.literal(" (").html(row.closedBy.c_str()).literal(")");
    out.literal("</td><td class=\"tablecol\" align=center>").text(idle).literal("</td></TR>");
}

/* A timeline's events besides the opens, sorted by time. */
struct EventWord {
    const char *event;
    const char *label;
};
constexpr EventWord kEventWords[] = {
    {"login", HXM_TRANSLATABLE("Login")},
    {"logout", HXM_TRANSLATABLE("Logout")},
    {"idle", HXM_TRANSLATABLE("Idle until")},
    {"action", HXM_TRANSLATABLE("Action")},
};
constexpr int kEventColumnCount = 5;

void send_event_row(PageWriter &out, const history::HistoryEvent &event, const char *stripe) {
    char time[kTimeSize], until[kTimeSize];
    const char *label = event.event.c_str();
    for (const EventWord &word : kEventWords) {
        if (event.event == word.event)
            label = lnxMSG(word.label);
    }
    out.literal("<TR ").text(stripe).literal("><td class=\"tablecol\" align=center>");
    out.text(time_text(event.time, time)).literal("</td><td class=\"tablecol\" align=left>");
    out.html(label);
    if (event.until != 0)
        out.literal(" ").text(time_text(event.until, until));
    out.literal("</td><td class=\"tablecol\" align=center>").decimal(event.connection);
    out.literal("</td><td class=\"tablecol\" align=center>").html(event.user.c_str());
    out.literal("</td><td class=\"tablecol\" align=left>").html(event.detail.c_str());
    out.literal("</td></TR>");
}

void send_events(PageWriter &out, const HistoryAsk &ask) {
    std::vector<history::HistoryEvent> events;
    std::string error;
    const std::string file = history::store_file_path();
    std::unique_ptr<history::Store> store =
        file.empty() ? nullptr : history::Store::open(file, history::Store::Access::kRead, &error);
    const bool read = store != nullptr &&
                      history::query_events(store.get(), ask.query, ask.exactPath, &events, &error);
    out.format("<table border=0 style=\"width: 850px;\" ><tr class=tablehead><TD "
               "align=center colspan=%d>%s</TD></tr><TR class=tablesubhead NOWRAP>",
               kEventColumnCount, lnxMSG("Events"));
    const char *const headings[] = {HXM_TRANSLATABLE("Time"), HXM_TRANSLATABLE("Event"),
                                    HXM_TRANSLATABLE("Connection"), HXM_TRANSLATABLE("Username"),
                                    HXM_TRANSLATABLE("Details")};
    for (const char *heading : headings)
        out.literal("<TD align=center>").text(lnxMSG(heading)).literal("</TD>");
    out.literal("</TR>");
    bool light = true;
    for (const history::HistoryEvent &event : events) {
        send_event_row(out, event, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
    if (!read || events.empty())
        send_list_status_row(out, read ? AFPSTAT_OK : AFPSTAT_ERR_STORE, kEventColumnCount);
    out.literal("</table>");
}

void send_table(PageWriter &out, const HistoryAsk &ask) {
    std::vector<history::HistoryRow> rows;
    history::CurrentState state;
    const bool read = read_history(ask, &rows, &state);
    out.format("<table border=0 style=\"width: 850px;\" ><tr class=tablehead><TD "
               "align=center colspan=%d>%s</TD></tr>",
               kColumnCount, lnxMSG("Open Files in the History"));
    send_heading_row(out, ask);
    bool light = true;
    for (const history::HistoryRow &row : rows) {
        send_row(out, row, state, light ? pzSTRIPE_LIGHT : pzSTRIPE_DARK);
        light = !light;
    }
    if (!read || rows.empty())
        send_list_status_row(out, read ? AFPSTAT_OK : AFPSTAT_ERR_STORE, kColumnCount);
    out.literal("</table>");
}

int send_history_page(void *request, const HistoryAsk &ask) {
    const int started = begin_open_file_page(request, lnxMSG("Open File History"));
    if (started != 0)
        return started;
    PageWriter out(request);
    send_criteria_form(out, ask);
    if (ask.badField)
        out.literal("<DIV CLASS=NORMAL id=\"findFailure\" "
                    "style=\"color:#b00000;font-weight:bold;\">")
            .text(lnxMSG("Nothing was searched: a time reads YYYY-MM-DD HH:MM:SS, an until "
                         "time needs a first time and comes after it, and a text holds at most "
                         "255 characters."))
            .literal("</DIV>\n");
    else
        send_table(out, ask);
    if (!ask.badField && ask.timeline != Timeline::kNone)
        send_events(out, ask);
    out.literal("</BODY></HTML>\n");
    return end_page(out);
}

} // namespace

int answer_find_history(void *request, const Request &front) {
    HistoryAsk ask;
    const int pathError = read_history_path(front, &ask);
    if (pathError != 0)
        return generate_error_page(request, pathError);
    read_fields(front.body, &ask);
    return send_history_page(request, ask);
}

} // namespace hxm2afp
