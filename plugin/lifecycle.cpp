/*
 * The plug-in's load and unload entries: the dynamic loader runs _init when
 * the host loads the object and _fini when it unloads it.
 *
 * Notes:
 * - The object is linked without the C runtime's own _init/_fini (see
 *   core/CMakeLists.txt), so these are its DT_INIT and DT_FINI. _init runs
 *   before any C++ dynamic initialiser of the object and _fini after its
 *   static destructors, so no global of the plug-in may need a constructor
 *   or destructor: everything is constant-initialised (a build check holds
 *   the object to that).
 * - Both entries run on the thread that loads or unloads the object, before
 *   the first and after the last request; the guard is still atomic so that
 *   a stray second call from another thread cannot race.
 */
#include <string.h>
#include <time.h>

#include <atomic>

#include <zentra/hxm_host.h>

#include "base/export.h"
#include "core/localisation.h"
#include "core/page_globals.h"
#include "core/page_text.h"
#include "core/server_paths.h"
#include "core/startup_config.h"
#include "history/acting_user.h"
#include "logger/logger.h"
#include "monitor/login_times.h"
#include "pages/connections/dispatch.h"
#include "pages/logs/dispatch.h"
#include "pages/openfiles/dispatch.h"

extern "C" {
HXM_EXPORT void _init(void);
HXM_EXPORT void _fini(void);
}

namespace {

/* Registration flags the host expects from this plug-in. */
constexpr unsigned int kRegistrationFlags = 0x4000d;

/* One keyword of the plug-in: its link text (looked up at use), the exported
 * keyword global (read at use) and its service method. */
struct ServiceEntry {
    const char *linkText;
    const char *const *keyword;
    HxmServiceMethod method;
};

/* In registration order. */
constexpr ServiceEntry kServices[] = {
    {HXM_TRANSLATABLE("Manage Connections"), &keyword_afpdcons, afpconsMethod},
    {HXM_TRANSLATABLE("View Logs"), &keyword_afpdlogs, afpLogsMethod},
    {HXM_TRANSLATABLE("Manage Open Files"), &keyword_afpofm, afpofmMethod},
};

/* Indexes into kServices in the order the unload entry removes them. */
constexpr int kDeregistrationOrder[] = {0, 2, 1};

std::atomic<bool> plugin_initialised{false};

/* One record serves every registration; the host copies what it keeps. */
HxmServiceGroup service_group;

int keyword_length(const char *keyword) {
    return static_cast<int>(strlen(keyword));
}

} // namespace

void _init(void) {
    time_t loadTime = time(nullptr);
    if (plugin_initialised.exchange(true))
        return;

    hxm2afp::load_server_paths(logfilename);
    const char *logFile = hxm2afp::log_file_path();
    hxm_log = Logger_init(logFile[0] != '\0' ? logFile : nullptr, HXM_LOG_DEBUG);
    memset(&service_group, 0, sizeof service_group);
    hxm2afp::apply_startup_configuration(loadTime);
    hxm2afp::history::find_host_user_call();
    hxm_log->error("Going to initialize afp plugin");

    // A translation longer than the title field is cut at a character boundary.
    hxm2afp::copy_cut(service_group.title, sizeof service_group.title,
                      lnxMSG("Manage AFP Services"));

    for (const ServiceEntry &service : kServices) {
        service_group.word1 = 0;
        int outCode = 0;
        const char *keyword = *service.keyword;
        if (RegisterServiceMethodEx(lnxMSG(service.linkText), keyword, keyword_length(keyword),
                                    &service_group, kRegistrationFlags, 0, service.method, 0,
                                    &outCode) == 0) {
            hxm_log->error("RegisterServiceMethodEx(Connections) failed rc=%d", outCode);
            hxm_log->error("Failed to initalize afp plugin");
            _fini();
            return;
        }
    }
}

void _fini(void) {
    if (!plugin_initialised.exchange(false))
        return;

    // Every keyword is attempted, even after a partial registration.
    for (int index : kDeregistrationOrder) {
        const ServiceEntry &service = kServices[index];
        const char *keyword = *service.keyword;
        int outCode = 0;
        DeRegisterServiceMethod(lnxMSG(service.linkText), keyword, keyword_length(keyword),
                                service.method, 0, &outCode);
    }

    hxm2afp::release_login_times();
    if (hxm_log != nullptr)
        hxm_log->closestream();
    hxm_log = nullptr;
    // The object is about to be unmapped: release the logger's name buffers
    // too, or every unload would leak them (and a later load entry in the
    // same mapping would find a logger without its stream).
    Logger_deinit();
}
