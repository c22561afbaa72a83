/*
 * The service method for "/afplogs..." requests.
 */
#ifndef HXM_PAGES_LOGS_DISPATCH_H
#define HXM_PAGES_LOGS_DISPATCH_H

/* Declines (returns 0, sends nothing) for callers the log pages are hidden
 * from, checks the access flags and answers the request; returns the HTTP
 * status sent. Matches HxmServiceMethod. */
extern "C" int afpLogsMethod(void *request, unsigned int hostWord1, unsigned int hostWord2,
                             unsigned int accessFlags);

#endif
