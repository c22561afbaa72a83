/*
 * afpofmMethod: the open-file area's entry. Access check, path analysis
 * (which may answer with the help page), request method, post body, the
 * action the first component names (close files, file details, or a volume
 * with an optional filter), then the page.
 *
 * Paths, after "/afpofm":
 *   (nothing)                         volume selection page
 *   /help[/help]                      open-file help (any leading part, any case)
 *   [/SORT]/VOLUME                    open files of VOLUME; a posted FILTER filters them
 *   [/SORT]/AFPCloseFiles/VOLUME      close the posted <filename> files, then the list
 *   [/SORT]/AFPBrowseFile/VOLUME/PATH file-details page for /PATH
 *   [/SORT]/AFPFindFiles[/...]        open files found on every volume (find_page.h)
 *   /AFPFindHistory[/...]             who had files open when, timelines (history_page.h)
 * SORT is ConnectionNumber, UserName or FileName in any case; a component that
 * only begins with one (UserNames) is a volume name.
 */
#include "pages/openfiles/dispatch.h"

#include <stdio.h>
#include <string.h>

#include <iterator>
#include <type_traits>

#include <zentra/hxm_host.h>

#include "core/error_page.h"
#include "core/page_globals.h"
#include "core/page_writer.h"
#include "core/post_body.h"
#include "logger/log_text.h"
#include "logger/logger.h"
#include "pages/common/actions.h"
#include "pages/common/request.h"
#include "pages/help/help.h"
#include "pages/openfiles/columns.h"
#include "pages/openfiles/file_info_page.h"
#include "pages/openfiles/find_page.h"
#include "pages/openfiles/frame.h"
#include "pages/openfiles/history_page.h"
#include "pages/openfiles/list_page.h"

namespace {

using hxm2afp::Component;
using hxm2afp::ComponentPath;
using hxm2afp::HeapText;

constexpr int kBadPath = 400;
constexpr size_t kFilterSize = 256;

constexpr const char kBrowseFile[] = "AFPBrowseFile";
constexpr const char kCloseFiles[] = "AFPCloseFiles";
constexpr const char kFilterField[] = "FILTER";

/* Copies the value of the first FILTER in a decoded body into filter
 * (kFilterSize bytes), when it holds 1 to 255 characters. */
void read_filter(const char *decoded, char *filter) {
    const char *found = strstr(decoded, kFilterField);
    if (found == nullptr)
        return;
    const char *value = found + strlen(kFilterField);
    if (*value != '\0')
        ++value; // the "="
    const size_t length = strlen(value);
    HXM_DEBUG("filter string len[%d] string [%s]", static_cast<int>(length),
              hxm2afp::LogText(value).c_str());
    if (length == 0 || length > kFilterSize - 1) {
        HXM_DEBUG("%s", "filter value len is greater than 255 or equal to zero");
        return;
    }
    memcpy(filter, value, length + 1);
}

/* Logs what is left of the component path, length bytes shown as "/". */
void log_remaining_components(int count, Component component) {
    Logger *logger = hxm_log;
    if (logger == nullptr)
        return;
    if (count == 0 || component.at() == nullptr) {
        logger->error("Component count = %d path=null", count);
        return;
    }
    char path[1024];
    char text[256];
    size_t written = 0;
    // An empty component reads like the path's end: the log stops there.
    for (Component at = component; at.at()[0] != '\0' && written + 1 < sizeof path;
         at = at.next()) {
        path[written++] = '/';
        for (size_t i = 0; i < at.length() && written + 1 < sizeof path; ++i)
            path[written++] = at.text()[i];
    }
    path[written] = '\0';
    memcpy(text, component.text(), component.length());
    text[component.length()] = '\0';
    logger->error("Component count = %d path=%s %s", count, hxm2afp::LogText(path, written).c_str(),
                  hxm2afp::LogText(text).c_str());
}

/* Reads the path after "/afpofm": the help token, or a sort keyword (the
 * whole component) and the components after it. Returns 0 to go on, or 400
 * for a path that cannot be read or no memory for *pathCopy, the heap copy
 * of the slash-separated path after the keyword (none when pathCopy is
 * null: the service method rebuilds what it needs from the components). */
int read_open_files_path(void *request, ComponentPath *path, HeapText *pathCopy) {
    if (hxm2afp::read_component_path(request, keyword_afpofm, path) != 0)
        return kBadPath;
    HXM_DEBUG("URL = %s", hxm2afp::LogText(path->path).c_str());
    char *rest = path->afterKeyword;
    if (rest == nullptr)
        return 0;
    if (pathCopy != nullptr && !(*pathCopy = hxm2afp::copy_text(rest))) {
        HXM_DEBUG("%s", "memory alloc failed in fun GetComponentCountAndSortTypeForOFM");
        return kBadPath;
    }
    return hxm2afp::read_sorted_components(path, hxm2afp::kOpenFileColumns,
                                           hxm2afp::SortMatch::kWhole);
}

/* The open-file help for a path that asks for it: its status. */
int send_help(void *request, const ComponentPath &path) {
    static char noComponent[] = "";
    const Component topic = path.helpTopic;
    if (topic.at() == nullptr)
        return generate_afp_ofm_help(request, 0, noComponent, 0);
    return generate_afp_ofm_help(request, path.helpCount, topic.text(),
                                 static_cast<int>(topic.length()));
}

} // namespace

// The host stores it as an HxmServiceMethod.
static_assert(std::is_same_v<decltype(&afpofmMethod), HxmServiceMethod>);

int GetComponentCount(void *request, int *count) {
    ComponentPath path;
    if (hxm2afp::read_component_path(request, keyword_afpofm, &path) != 0)
        return kBadPath;
    HXM_DEBUG("URL = %s", hxm2afp::LogText(path.path).c_str());
    char *rest = path.afterKeyword;
    *count = rest == nullptr ? 0 : ConvertToComponentPath(rest);
    HXM_DEBUG("count = %d check for help token toke= %s", *count,
              hxm2afp::LogText(rest == nullptr ? "" : rest + 1).c_str());
    return 0;
}

int GetComponentCountAndSortTypeForOFM(void *request, int *count, AfpSortType *sortType,
                                       char *sortText, char **component, char **pathCopy) {
    *sortType = AFP_SORT_CONNECTION_NUMBER;
    ComponentPath path;
    HeapText copy;
    const int status = read_open_files_path(request, &path, &copy);
    if (copy)
        *pathCopy = copy.release();
    if (status != 0)
        return status;
    if (path.afterKeyword == nullptr) {
        *count = 0;
        return 0;
    }
    if (path.help)
        return send_help(request, path);
    if (path.sort != nullptr) {
        *sortType = path.sort->sortType;
        snprintf(sortText, HXM_OFM_SORT_TEXT_SIZE, "%s", path.sort->keyword);
    }
    *count = path.count;
    *component = path.first.at();
    return 0;
}

namespace {

AfpSortType sort_type_of(const ComponentPath &path) {
    return path.sort != nullptr ? path.sort->sortType : AFP_SORT_CONNECTION_NUMBER;
}

// What every request that reaches a list leaves in the log: its body, the
// clearing power, the components left from `component` on and the action's
// outcome.
void log_request(const hxm2afp::Request &front, int count, Component component,
                 const hxm2afp::ActionOutcome &outcome) {
    if (Logger *logger = hxm_log) {
        if (front.bodyLength != 0)
            logger->error("post count = %d content=%s", static_cast<int>(front.bodyLength),
                          hxm2afp::LogText(front.body, front.bodyLength).c_str());
    }
    HXM_DEBUG("Connection clearing power is = %d", front.clearingPower ? 1 : 0);
    log_remaining_components(count, component);
    hxm2afp::log_action_outcome(outcome);
}

// AFPBrowseFile/VOLUME/PATH: the file-details page.
int answer_browse_file(void *request, const hxm2afp::Request &front) {
    const ComponentPath &path = front.path;
    // The file name: what follows the command and the volume.
    const HeapText fileName =
        path.count > 2 ? hxm2afp::slash_text(path.first.next().next(), path.count - 2) : HeapText();
    const char *name = fileName ? fileName.get() : "";
    HXM_DEBUG("file name = %s", hxm2afp::LogText(name).c_str());
    return displayAFPFileDetails(request, name);
}

// AFPCloseFiles/VOLUME: closes the files the body names, then the volume's
// list.
int answer_close_files(void *request, const hxm2afp::Request &front) {
    const Component named = front.path.first.next();
    const char *volume = named.at(); // no volume: the empty text
    if (named.at()[0] != '\0') {
        named.text()[named.length()] = '\0';
        volume = named.text();
    }
    const char *decoded = front.decoded.get();
    HXM_DEBUG("Set of file names to close = %s", hxm2afp::LogText(decoded).c_str());
    hxm2afp::ActionOutcome outcome;
    hxm2afp::close_ticked_files(front.body, &outcome);
    log_request(front, 1, named, outcome);
    // A reload shows the volume's list and closes nothing.
    const hxm2afp::SortKeyword *sort = front.path.sort;
    hxm2afp::PageWriter location(nullptr);
    location.literal("/").text(keyword_afpofm).literal("/");
    if (sort != nullptr)
        location.text(sort->keyword).literal("/");
    location.url_component(volume);
    const hxm2afp::ActionAnswer answer(request, outcome, location.c_str(), front.body);
    return hxm2afp::send_open_files_page(request, volume, sort_type_of(front.path), "", &outcome);
}

// VOLUME: its open files, filtered by a posted FILTER. A longer path is the
// selection page to a GET and a bad request to a post.
int answer_volume(void *request, const hxm2afp::Request &front) {
    const ComponentPath &path = front.path;
    char filter[kFilterSize] = {};
    if (front.decoded)
        read_filter(front.decoded.get(), filter);
    log_request(front, path.count, path.first, hxm2afp::ActionOutcome());
    if (path.count == 1)
        return hxm2afp::send_open_files_page(request, path.first.text(), sort_type_of(path), filter,
                                             hxm2afp::carried_outcome(front));
    if (front.method == HXM_METHOD_GET)
        return generate_main_ofm_page(request);
    return generate_error_page(request, HXM_ERROR_BAD_REQUEST);
}

// Nothing after the keyword (or a sort keyword alone): the selection page.
int answer_volume_selection(void *request, const hxm2afp::Request &front) {
    log_request(front, front.path.count, front.path.first, hxm2afp::ActionOutcome());
    return generate_main_ofm_page(request);
}

// Closing files needs only the area's access: no command here clears.
constexpr hxm2afp::AreaCommand kOpenFileCommands[] = {
    {hxm2afp::kFindFilesCommand, hxm2afp::CommandMatch::kEquals, false, hxm2afp::answer_find_files},
    {hxm2afp::kFindHistoryCommand, hxm2afp::CommandMatch::kEquals, false,
     hxm2afp::answer_find_history},
    {kBrowseFile, hxm2afp::CommandMatch::kBeginsWith, false, answer_browse_file},
    {kCloseFiles, hxm2afp::CommandMatch::kBeginsWith, false, answer_close_files},
    {nullptr, hxm2afp::CommandMatch::kComponent, false, answer_volume},
    {nullptr, hxm2afp::CommandMatch::kAnything, false, answer_volume_selection},
};

constexpr hxm2afp::AreaFront kOpenFilesFront = {read_open_files_path, send_help, kOpenFileCommands,
                                                std::size(kOpenFileCommands)};

} // namespace

int afpofmMethod(void *request, unsigned int, unsigned int, unsigned int accessFlags) {
    return hxm2afp::answer_request(request, accessFlags, kOpenFilesFront);
}
