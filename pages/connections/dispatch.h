/*
 * The service method for "/afpcons..." requests.
 */
#ifndef HXM2AFP_CONNECTIONS_DISPATCH_H
#define HXM2AFP_CONNECTIONS_DISPATCH_H

/* Checks the caller's access flags and answers the request; returns the HTTP
 * status sent. Matches HxmServiceMethod. */
extern "C" int afpconsMethod(void *request, unsigned int hostWord1, unsigned int hostWord2,
                             unsigned int accessFlags);

#endif
