/*
 * The script block of the open-file pages.
 */
#ifndef HXM_PAGES_OPENFILES_SCRIPT_H
#define HXM_PAGES_OPENFILES_SCRIPT_H

#include "base/export.h"

/* Writes the three script blocks the open-file pages use (select-all, close
 * confirmation, filter and sort posts, volume choice) into the response
 * body. Handed to BuildAndSendHeader as its script writer. */
HXM_EXPORT void AddJavaScriptOFMCode(void *request);

#endif
