/*
 * The exported globals the pages share, and those exported for the
 * console's other page modules. Pointer globals are writable and hold the
 * address of a constant text: read them each time they are used.
 */
#ifndef HXM_CORE_PAGE_GLOBALS_H
#define HXM_CORE_PAGE_GLOBALS_H

#include <stdint.h>

#include "base/export.h"

/* Sizes of the exported buffers, terminator included. */
enum {
    HXM_ICON_FOLDER_SIZE = 512,
    HXM_ATTRIBUTE_BIT_SIZE = 3,
    HXM_HELP_URL_SIZE = 512,
    HXM_MESSAGE_BUFFER_SIZE = 256
};

/* Path keywords. */
extern HXM_EXPORT const char *keyword_afpdcons; /* "afpcons" */
extern HXM_EXPORT const char *keyword_afpdlogs; /* "afplogs" */
extern HXM_EXPORT const char *keyword_afpofm;   /* "afpofm" */
extern HXM_EXPORT const char *keyword_help;     /* "help" */
extern HXM_EXPORT const char *keyword_info;     /* "_info_" */
extern HXM_EXPORT const char *keyword_create;
extern HXM_EXPORT const char *keyword_cancel;

/* Row attribute texts of the log table (and the header row colour). */
extern HXM_EXPORT const char *lpzheader;
extern HXM_EXPORT const char *lpzdark;
extern HXM_EXPORT const char *lpzlight;

/* Messages of the error page. */
extern HXM_EXPORT const char *estr_page_access_denied;
extern HXM_EXPORT const char *estr_page_bad_method;
extern HXM_EXPORT const char *estr_page_missing_http_data;
extern HXM_EXPORT const char *estr_bad_http_request;
extern HXM_EXPORT const char *estr_out_of_resources;
extern HXM_EXPORT const char *estr_modify_server_parameter_failed;

/* URL folder of the console's status images. */
extern HXM_EXPORT char icon_folder[HXM_ICON_FOLDER_SIZE];

/* With access bit 0x400 set, connections may be cleared only while this is 1. */
extern HXM_EXPORT int AllowClearConn;

/* Tag and attribute texts for the console's other page modules. */
extern HXM_EXPORT const char *pzFileIRMTag;
extern HXM_EXPORT const char *pzFolderIRMTag;
extern HXM_EXPORT const char *pzFileAttrTag;
extern HXM_EXPORT const char *pzFileDateAndTimeTag;
extern HXM_EXPORT const char *pzDateAndTimeTag;
extern HXM_EXPORT const char *pzLockTag;
extern HXM_EXPORT const char *pzDirInfoTag;
extern HXM_EXPORT const char *pzOn;
extern HXM_EXPORT const char *pzOff;
extern HXM_EXPORT const char *pzNull;
extern HXM_EXPORT const char *pzChecked;
extern HXM_EXPORT const char *PortalDotCharString;
extern HXM_EXPORT const char *pCompressedBit;

/* Two-letter attribute abbreviations. */
extern HXM_EXPORT char pImmediateCompressBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pPurgeImmediateBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pExecuteOnlyBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pTransactionBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pDontSubAllocBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pDontMigrateBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pDontCompressBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pRenameInhibitBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pDeleteInhibitBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pCopyInhibitBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pShareableBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pReadWriteBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pReadOnlyBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pArchiveBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pHiddenBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pSystemBit[HXM_ATTRIBUTE_BIT_SIZE];
extern HXM_EXPORT char pNotSet[HXM_ATTRIBUTE_BIT_SIZE];

/* Help URLs and message buffers of the console's browse pages, empty here. */
extern HXM_EXPORT char kdpbrowseHelpURL[HXM_HELP_URL_SIZE];
extern HXM_EXPORT char kdpbrowseHelpFileAttrURL[HXM_HELP_URL_SIZE];
extern HXM_EXPORT char kdpbrowseHelpFolderAttrURL[HXM_HELP_URL_SIZE];
extern HXM_EXPORT char kdpbrowseHelpFileInfoURL[HXM_HELP_URL_SIZE];
extern HXM_EXPORT char kdpbrowseHelpFolderInfoURL[HXM_HELP_URL_SIZE];
extern HXM_EXPORT char messageFileBuff[HXM_MESSAGE_BUFFER_SIZE];
extern HXM_EXPORT char messageFolderBuff[HXM_MESSAGE_BUFFER_SIZE];
extern HXM_EXPORT char messageFolderInfoBuff[HXM_MESSAGE_BUFFER_SIZE];
extern HXM_EXPORT uint32_t altTextInit;

#endif
