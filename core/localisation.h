/*
 * The message-catalogue lookup every user-visible text of every page goes
 * through.
 */
#ifndef HXM_CORE_LOCALISATION_H
#define HXM_CORE_LOCALISATION_H

/* The catalogue domain and where its catalogues live (under ZENTRA_ROOT). */
#define HXM2AFP_TEXT_DOMAIN "libhxm2afp"

/* Marks a text for the catalogue template where it is written down, for a
 * lookup with lnxMSG later (xgettext reads this keyword too). */
#define HXM_TRANSLATABLE(text) text

/* Returns the translation of `text` in the domain "libhxm2afp" for the
 * process's locale, or `text` itself when the catalogue has none (or the
 * empty text for a null `text`). The first call binds the domain to the
 * locale directory, once for the life of the process, whichever thread makes
 * it. The result belongs to the catalogue: never freed, never changed. */
const char *lnxMSG(const char *text) __attribute__((format_arg(1)));

/* lnxMSG for a text that names a count: `one` or `other` translated by the
 * catalogue's plural rule for `count`. */
const char *lnxMSGN(const char *one, const char *other, unsigned long count)
    __attribute__((format_arg(1))) __attribute__((format_arg(2)));

#endif
