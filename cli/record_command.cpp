/*
 * `hxm2afp record`: the recorder. Every interval it runs one cycle of the
 * history's recorder (see history/recorder.h) and sleeps until the next;
 * SIGTERM or SIGINT ends it after the cycle under way.
 *
 * Notes: a store that cannot be opened or written (a full disk, a broken
 * file) and a monitoring service that cannot be read are each said once on
 * standard error (the journal, under the unit), with a line again when it
 * works again; the recorder keeps trying every interval meanwhile.
 */
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <memory>

#include <zentra/afpstat.h>

#include "base/root_paths.h"
#include "base/visible_text.h"
#include "cli/history_commands.h"
#include "cli/table_output.h"
#include "core/server_paths.h"
#include "history/action_spool.h"
#include "history/recorder.h"
#include "monitor/actions.h"

namespace hxm2afp::cli {
namespace {

volatile sig_atomic_t stop_requested = 0;

void request_stop(int) {
    stop_requested = 1;
}

/* Says a failure when it starts and when it ends, not every interval. */
class Trouble {
  public:
    Trouble(const char *what, bool once) : what_(what), once_(once) {}
    void failed(const std::string &why) {
        if (!failing_)
            fprintf(stderr, "hxm2afp record: %s: %s%s\n", what_, why.c_str(),
                    once_ ? "" : "; trying again every interval");
        failing_ = true;
    }
    void worked() {
        if (failing_)
            fprintf(stderr, "hxm2afp record: %s: working again\n", what_);
        failing_ = false;
    }
    bool failing() const { return failing_; }

  private:
    const char *what_;
    bool once_;
    bool failing_ = false;
};

void sleep_until(int64_t when) {
    while (!stop_requested && time(nullptr) < when) {
        struct timespec pause = {0, 200L * 1000 * 1000};
        nanosleep(&pause, nullptr);
    }
}

/* Reads the settings file and --interval into *settings: 0, or the exit
 * code of the failure it reported. */
int read_record_settings(const Invocation &invocation, history::Settings *settings) {
    char configFile[PATH_MAX];
    std::string error;
    if (root_path(kFixedConfigFile, configFile, sizeof configFile) == nullptr)
        return fail(kExitUsage, "the settings file's path does not fit under ZENTRA_ROOT");
    if (!history::read_settings(configFile, settings, &error))
        return fail(kExitUsage, "%s", error.c_str());
    if (invocation.interval.empty())
        return 0;
    const std::string &text = invocation.interval;
    const long long interval =
        text.size() <= 4 && text.find_first_not_of("0123456789") == std::string::npos
            ? atoll(text.c_str())
            : 0;
    if (interval < 1 || interval > 3600)
        return fail(kExitUsage, "--interval: \"%s\" is not a number of seconds from 1 to 3600",
                    visible_text(text.c_str()).c_str());
    settings->intervalSeconds = interval;
    return 0;
}

/* Says what one cycle's report holds that went wrong or right again, and
 * returns the exit code it stands for. */
int report_cycle(const history::CycleReport &report, const std::string &storePath,
                 const history::Settings &settings, Trouble *storeTrouble,
                 Trouble *serviceTrouble) {
    int code = kExitDone;
    if (report.libraryStatus != AFPSTAT_OK) {
        serviceTrouble->failed(std::string(action_words(report.libraryStatus)) + " (status " +
                               std::to_string(report.libraryStatus) + ")");
        code = kExitUnreadable;
    } else {
        serviceTrouble->worked();
    }
    if (!report.stored) {
        storeTrouble->failed(storePath + ": " + report.storeError);
        code = kExitNotDone;
    } else {
        storeTrouble->worked();
    }
    if (report.overSizeCap)
        fprintf(stderr,
                "hxm2afp record: the history store passed its size cap (%lld "
                "bytes): the oldest closed files were dropped\n",
                static_cast<long long>(settings.maximumBytes));
    return code;
}

} // namespace

int command_record(const Invocation &invocation) {
    history::Settings settings;
    if (const int code = read_record_settings(invocation, &settings))
        return code;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = request_stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    const std::string storePath = history::store_file_path();
    const std::string spoolPath = history::spool_file_path();
    Trouble storeTrouble("the history store", invocation.once);
    Trouble serviceTrouble("the AFP monitoring service", invocation.once);
    std::unique_ptr<history::Store> store;
    std::unique_ptr<history::Recorder> recorder;
    std::string error;
    int code = kExitDone;
    while (!stop_requested) {
        const int64_t started = time(nullptr);
        if (recorder == nullptr) {
            store = history::Store::open(storePath, history::Store::Access::kWrite, &error);
            if (store != nullptr) {
                recorder = std::make_unique<history::Recorder>(store.get(), settings, spoolPath);
                if (!recorder->load(&error)) {
                    recorder.reset();
                    store.reset();
                }
            }
        }
        if (recorder == nullptr) {
            storeTrouble.failed(error);
            code = kExitNotDone;
        } else {
            code = report_cycle(recorder->cycle(started), storePath, settings, &storeTrouble,
                                &serviceTrouble);
        }
        if (invocation.once)
            break;
        sleep_until(started + settings.intervalSeconds);
    }
    return code;
}

} // namespace hxm2afp::cli
