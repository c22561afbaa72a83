/*
 * The host console's calls, as the plug-in sees them.
 *
 * The console owns every request: the plug-in gets an opaque handle, passes
 * it back unchanged to each call below, and writes its page through them.
 * These declarations are the whole contract between the two; the console
 * stand-in in platform/console includes this file to implement it.
 */
#ifndef ZENTRA_HXM_HOST_H
#define ZENTRA_HXM_HOST_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define HXM_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define HXM_PRINTF_LIKE(fmt, args)
#endif

/* Request method codes that HttpReturnRequestMethod reports. */
enum {
    HXM_METHOD_GET = 0,       /* no body: GET */
    HXM_METHOD_OTHER = 1,     /* a method the pages do not serve (HEAD, PUT, DELETE, ...) */
    HXM_METHOD_FORM_POST = 2, /* POST with a form body */
    HXM_METHOD_OTHER_POST = 3 /* POST with a body of another content type */
};

/* A service method: request handle, two host words the plug-in ignores,
 * the caller's access flag word. Returns the HTTP status it sent, or 0 to
 * decline the request (the console then answers 404). */
typedef int (*HxmServiceMethod)(void *request, unsigned int hostWord1, unsigned int hostWord2,
                                unsigned int accessFlags);

/* Writes the page's script block while BuildAndSendHeader writes the head. */
typedef void (*HxmScriptWriter)(void *request);

/* The group a registration belongs to: two 32-bit words (0 and 0 from the
 * plug-in) and the group title shown on the console home and navigation. */
#define HXM_GROUP_TITLE_SIZE 64
typedef struct HxmServiceGroup {
    uint32_t word0;
    uint32_t word1;
    char title[HXM_GROUP_TITLE_SIZE];
} HxmServiceGroup;

/* Out codes of a refused registration. */
enum {
    HXM_REGISTER_OK = 0,
    HXM_REGISTER_BAD_ARGUMENT = 1,
    HXM_REGISTER_DUPLICATE = 2,
    HXM_REGISTER_NOT_FOUND = 3,
    HXM_REGISTER_NO_MEMORY = 4
};

/* Registers keyword -> service method under the group. Non-zero on success;
 * 0 with *outCode set when refused (a keyword is registered once only). */
int RegisterServiceMethodEx(const char *linkText, const char *keyword, int keywordLength,
                            HxmServiceGroup *group, unsigned int flags, unsigned int reserved,
                            HxmServiceMethod method, unsigned int reserved2, int *outCode);

/* Removes a registration made for the same keyword and method. Non-zero on
 * success; 0 with *outCode set when nothing matched. */
int DeRegisterServiceMethod(const char *linkText, const char *keyword, int keywordLength,
                            HxmServiceMethod method, unsigned int reserved, int *outCode);

/* Stores the request's method code (HXM_METHOD_*); 1 on success, 0 on failure. */
int HttpReturnRequestMethod(void *request, int *methodCode);

/* Gives the request's post body: a writable buffer with room for a
 * terminator at index *length. 0 on success. */
int HttpReturnPostDataBuffer(void *request, char **buffer, unsigned long *length);

/* Gives the request's writable, percent-decoded path ("/keyword..."),
 * without the query. The first and last arguments are reserved (0). 0 on success. */
int HttpReturnPathBuffers(void *request, void *reserved, char **path, void *reserved2);

/* Copies the name of the user the console authenticated for the request,
 * terminated, into `name` (*length bytes). 0 on success; 1 when the request
 * carries no authenticated user (the console runs without a users file), the
 * handle is not a live request or an argument is null; 2 when the name does
 * not fit, with *length set to the size it needs. Added after the first
 * hosts: a plug-in looks it up with dlsym and works without it. */
int HttpReturnRequestUser(void *request, char *name, unsigned long *length);

/* Rewrites a slash-separated path in place: each "/" becomes one byte holding
 * the length of the component after it. Returns the number of components,
 * which is the number of slashes ("/" alone is one empty component). */
int ConvertToComponentPath(char *path);

/* Looks up field `name` in form data "name=value&...". On success copies the
 * still-encoded value, NUL-terminated, sets *length to its length and
 * returns 0. On entry *length is the longest value accepted; the buffer holds
 * *length + 1 bytes. A longer value is refused. Non-zero when absent or refused. */
int HttpFindNameAndValue(const char *postData, const char *name, char *value, int *length);

/* Decodes `length` bytes of form encoding ("+" and %XX) from source into
 * destination and terminates it. Returns the decoded length. */
int HttpUnConvertName(const char *source, char *destination, int length);

/* Host texts by index; 5 is the HTML response descriptor. Never null. */
const char *HttpReturnString(int index);

/* Starts a 200 response of the given descriptor. 0 on success. */
int HttpSendSuccessfulResponse(void *request, const char *descriptor);

/* Answers with the console's error response for `status`. 0 on success. */
int HttpSendErrorResponse(void *request, int status);
int HttpSendErrorPackageResponse(void *request, int status, const char *text, int length);

/* Writes the page head and console frame: title, stylesheet, the script
 * writer's block (options 4), banner with heading, caption and help link,
 * navigation of the registered groups. 0 on success. */
int BuildAndSendHeader(void *request, const char *title, const char *heading, unsigned int reserved,
                       unsigned int reserved2, unsigned int options, HxmScriptWriter scriptWriter,
                       const char *caption, const char *helpUrl);

/* Appends printf-formatted text to the response body. 0 on success. */
int HttpSendDataSprintf(void *request, const char *format, ...) HXM_PRINTF_LIKE(2, 3);

/* Ends the response body. 0 on success. */
int HttpEndDataResponse(void *request);

/* A response of its own status and header lines (a 302 redirect). 0 on success. */
int HttpOpenResponseHeaderTag(void *request, int status);
int HttpAddResponseHeaderTags(void *request, const char *text, int length);
int HttpSendResponseHeader(void *request);

/* Row attribute texts for light and dark table rows. */
extern const char *pzSTRIPE_LIGHT;
extern const char *pzSTRIPE_DARK;

#ifdef __cplusplus
}
#endif

#endif
