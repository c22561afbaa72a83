/*
 * The service method for "/afpofm..." requests and its path analysis.
 */
#ifndef HXM_PAGES_OPENFILES_DISPATCH_H
#define HXM_PAGES_OPENFILES_DISPATCH_H

#include <zentra/afpstat.h>

#include "base/export.h"

/* Room for the spelling of a sort keyword, terminator included. */
enum { HXM_OFM_SORT_TEXT_SIZE = 17 };

/* Checks the caller's access flags and answers the request; returns the HTTP
 * status sent. Matches HxmServiceMethod. */
extern "C" int afpofmMethod(void *request, unsigned int hostWord1, unsigned int hostWord2,
                            unsigned int accessFlags);

/* Takes the request path apart: stores the number of components after the
 * keyword and an optional sort keyword in *count, the sort type (default 1)
 * in *sortType and the keyword's spelling in sortText (at least 17 bytes),
 * the first component not consumed (length byte first) in *component, and a
 * heap copy of the slash-separated path after the keyword in *pathCopy
 * (whenever one was allocated; the caller frees it in every case). A first
 * component that is a leading part of "help" sends the open-file help.
 * Returns 0 to go on; 400 for a bad path or no memory; else the status of the
 * help page it sent. */
HXM_EXPORT int GetComponentCountAndSortTypeForOFM(void *request, int *count, AfpSortType *sortType,
                                                  char *sortText, char **component,
                                                  char **pathCopy);

/* The same path check and component count, without help, sort or copy:
 * 0 with *count stored, or 400. Converts the host's path buffer in place. */
HXM_EXPORT int GetComponentCount(void *request, int *count);

#endif
