/*
 * Answering an action so that a browser's reload or back never runs it
 * again: the page the action leads to is sent with a 303 to the page itself
 * without the action (the page, for a client that does not follow, as
 * before), and what came of the action is carried to that page for one
 * showing.
 */
#ifndef HXM_CORE_REDIRECT_H
#define HXM_CORE_REDIRECT_H

#include <stddef.h>
#include <stdint.h>

namespace hxm2afp {

/* The path components that carry a token: "/<kCarriedCommand>/<16 hex>"
 * at the end of a page's path. */
constexpr char kCarriedCommand[] = "AFPOutcome";
/* The most bytes a carried outcome, and the carried form fields (the
 * request's body without its action fields), may take. */
constexpr size_t kCarriedDataBytes = size_t{12} * 1024;
constexpr size_t kCarriedFieldsBytes = size_t{8} * 1024;

/* Keeps `size` bytes of `data` and the form fields `fields` (null: none)
 * for the page a redirect leads to; returns the token that names them
 * (never 0), or 0 when they do not fit. The oldest kept outcome gives way
 * to a new one. */
uint64_t carry_outcome(const void *data, size_t size, const char *fields);

/* What `token` carries: its form fields (terminated, always while it is
 * kept) into fields[fieldsSize], and, the first time only, its data into
 * data[size] with *first set. False for a token not kept (never made, or
 * given way). */
bool collect_outcome(uint64_t token, void *data, size_t size, char *fields, size_t fieldsSize,
                     bool *first);

/* Cuts a trailing "/AFPOutcome/<16 hex>" off `path` in place and stores
 * its token in *token; 0 and the path untouched when there is none. */
void cut_carried_token(char *path, uint64_t *token);

/* Makes the next page this thread opens for `request` (open_page_response)
 * a 303 to `location` instead of a 200; `location` is a path of this
 * console, sent as it stands. False, and a 200 as before, when it does not
 * fit a header line. */
bool redirect_next_page(void *request, const char *location);

/* Forgets what redirect_next_page asked for on this thread, if anything. */
void cancel_redirect();

/* Opens the response of a page: the 303 redirect_next_page asked for this
 * request, else a 200; HTML either way. True when the host took it. */
bool open_page_status(void *request);

} // namespace hxm2afp

#endif
