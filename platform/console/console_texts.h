/*
 * The console's own words around plug-in pages (the home link, the default
 * help link, the home page's title), in the language the locale asks for.
 */
#ifndef HXM_PLATFORM_CONSOLE_CONSOLE_TEXTS_H
#define HXM_PLATFORM_CONSOLE_CONSOLE_TEXTS_H

namespace hxm_console {

// `english` translated through the console's catalogue, hxm-console.mo
// under $ZENTRA_ROOT/opt/zentra/hxm/locale (bound once, at the first call,
// so after the console has set ZENTRA_ROOT); `english` itself when there is
// no catalogue for the language or it lacks the text. Thread-safe.
const char *ConsoleText(const char *english);

} // namespace hxm_console

#endif
