/*
 * lnxMSG: gettext lookups in the plug-in's own domain. The locale itself is
 * the host's business; the plug-in only binds its domain, lazily and once.
 */
#include "core/localisation.h"

#include <errno.h>
#include <libintl.h>
#include <stdio.h>

#include <mutex>

#include "core/server_paths.h"
#include "logger/logger.h"

namespace {

// Constant-initialised (constexpr constructor, trivial destructor): safe to
// use from the load entry, which runs before any dynamic initialiser.
std::once_flag domain_bound;

/* Binds the domain to the locale directory; failures leave lookups
 * untranslated and are never retried. */
void bind_domain() {
    const char *directory = hxm2afp::locale_directory();
    HXM_DEBUG("setup localization filename=%s path=%s", HXM2AFP_TEXT_DOMAIN, directory);
    // An empty directory means ZENTRA_ROOT was refused: bind nothing rather
    // than look in the server's real catalogue folder.
    if (directory[0] == '\0')
        errno = ENOENT;
    if (directory[0] == '\0' || bindtextdomain(HXM2AFP_TEXT_DOMAIN, directory) == nullptr) {
        printf("\nlibhxm2kdp error binding message domain: %d\n", errno);
        fflush(stdout);
        HXM_DEBUG("setup localization failed rc=%d", 0);
        return;
    }
    // Pages are sent as UTF-8, whatever the locale's own character set.
    bind_textdomain_codeset(HXM2AFP_TEXT_DOMAIN, "UTF-8");
}

} // namespace

const char *lnxMSG(const char *text) {
    if (text == nullptr)
        return "";
    std::call_once(domain_bound, bind_domain);
    return dgettext(HXM2AFP_TEXT_DOMAIN, text);
}

const char *lnxMSGN(const char *one, const char *other, unsigned long count) {
    if (one == nullptr || other == nullptr)
        return "";
    std::call_once(domain_bound, bind_domain);
    return dngettext(HXM2AFP_TEXT_DOMAIN, one, other, count);
}
