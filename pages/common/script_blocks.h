/*
 * The pieces both areas' script writers share: the script block around
 * their functions, and the dialog that confirms clearing every connection
 * not logged in.
 */
#ifndef HXM_PAGES_COMMON_SCRIPT_BLOCKS_H
#define HXM_PAGES_COMMON_SCRIPT_BLOCKS_H

namespace hxm2afp {

class PageWriter;

/* Opens a script block, its text hidden from browsers without scripts. */
void open_script_block(PageWriter &out);

/* Closes the block open_script_block opened. */
void close_script_block(PageWriter &out);

/* Writes ConfirmClearAll(ClearAllURL), which goes to the URL through
 * `navigate` (the script's "location" or "location.href") once the user
 * confirms. */
void send_confirm_clear_all(PageWriter &out, const char *navigate);

} // namespace hxm2afp

#endif
