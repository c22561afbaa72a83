/*
 * Definitions of the exported page globals. Every one is constant-initialised
 * data: nothing here may need a constructor (see lifecycle.cpp).
 */
#include "core/page_globals.h"

const char *keyword_afpdcons = "afpcons";
const char *keyword_afpdlogs = "afplogs";
const char *keyword_afpofm = "afpofm";
const char *keyword_help = "help";
const char *keyword_info = "_info_";
const char *keyword_create = "create";
const char *keyword_cancel = "cancel";

const char *lpzheader = "bgcolor=#cccc99";
const char *lpzdark = "bgcolor=#efeee9";
const char *lpzlight = "bgcolor=#ffffff";

const char *estr_page_access_denied = "Unauthorized access denied";
const char *estr_page_bad_method = "Bad Http method";
const char *estr_page_missing_http_data = "Http request missing data";
const char *estr_bad_http_request = "Bad Http request";
const char *estr_out_of_resources = "Internal Resource failure";
const char *estr_modify_server_parameter_failed = "Unable to change selected server parameter";

char icon_folder[HXM_ICON_FOLDER_SIZE] = "/opt/zentra/hxm";

int AllowClearConn = 1;

const char *pzFileIRMTag = "FILEEDITMASK";
const char *pzFolderIRMTag = "DIREDITMASK";
const char *pzFileAttrTag = "FATTR";
const char *pzFileDateAndTimeTag = "FDATEANDTIME";
const char *pzDateAndTimeTag = "DATEANDTIME";
const char *pzLockTag = "LOCK";
const char *pzDirInfoTag = "INFO";
const char *pzOn = "ON";
const char *pzOff = "OFF";
const char *pzNull = "";
const char *pzChecked = "CHECKED";
const char *PortalDotCharString = "&#8226";
const char *pCompressedBit = "Co";

char pImmediateCompressBit[HXM_ATTRIBUTE_BIT_SIZE] = "Ic";
char pPurgeImmediateBit[HXM_ATTRIBUTE_BIT_SIZE] = "Pi";
char pExecuteOnlyBit[HXM_ATTRIBUTE_BIT_SIZE] = "X-";
char pTransactionBit[HXM_ATTRIBUTE_BIT_SIZE] = "T-";
char pDontSubAllocBit[HXM_ATTRIBUTE_BIT_SIZE] = "Ds";
char pDontMigrateBit[HXM_ATTRIBUTE_BIT_SIZE] = "Dm";
char pDontCompressBit[HXM_ATTRIBUTE_BIT_SIZE] = "Dc";
char pRenameInhibitBit[HXM_ATTRIBUTE_BIT_SIZE] = "Ri";
char pDeleteInhibitBit[HXM_ATTRIBUTE_BIT_SIZE] = "Di";
char pCopyInhibitBit[HXM_ATTRIBUTE_BIT_SIZE] = "Ci";
char pShareableBit[HXM_ATTRIBUTE_BIT_SIZE] = "Sh";
char pReadWriteBit[HXM_ATTRIBUTE_BIT_SIZE] = "Rw";
char pReadOnlyBit[HXM_ATTRIBUTE_BIT_SIZE] = "Ro";
char pArchiveBit[HXM_ATTRIBUTE_BIT_SIZE] = "A-";
char pHiddenBit[HXM_ATTRIBUTE_BIT_SIZE] = "H-";
char pSystemBit[HXM_ATTRIBUTE_BIT_SIZE] = "Sy";
char pNotSet[HXM_ATTRIBUTE_BIT_SIZE] = "--";

char kdpbrowseHelpURL[HXM_HELP_URL_SIZE];
char kdpbrowseHelpFileAttrURL[HXM_HELP_URL_SIZE];
char kdpbrowseHelpFolderAttrURL[HXM_HELP_URL_SIZE];
char kdpbrowseHelpFileInfoURL[HXM_HELP_URL_SIZE];
char kdpbrowseHelpFolderInfoURL[HXM_HELP_URL_SIZE];
char messageFileBuff[HXM_MESSAGE_BUFFER_SIZE];
char messageFolderBuff[HXM_MESSAGE_BUFFER_SIZE];
char messageFolderInfoBuff[HXM_MESSAGE_BUFFER_SIZE];
uint32_t altTextInit;
