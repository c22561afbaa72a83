/*
 * The plug-in's binary interface as another console module sees it: every
 * exported name resolves with dlsym, the exported data holds its fixed
 * values and sizes, and the data symbol `log` leaves the math function alone.
 */
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "logger/logger.h"
#include "tests/support/plugin_fixture.h"

namespace hxm_test {
namespace {

class Exports : public SuitePluginTest<> {
  protected:
    /* The symbol's size in the object's symbol table, or 0. */
    static size_t SymbolSize(const char *name) {
        void *address = plugin_->Symbol(name);
        Dl_info info;
        void *entry = nullptr;
        if (address == nullptr || dladdr1(address, &info, &entry, RTLD_DL_SYMENT) == 0 ||
            entry == nullptr)
            return 0;
        return static_cast<const ElfW(Sym) *>(entry)->st_size;
    }
};

/* The other ABI's spelling of a name mangled with a va_list parameter
 * (x86-64 "P13__va_list_tag", i386 "Pc"), or "". */
std::string VaListTwin(const std::string &name) {
    const std::string wide = "P13__va_list_tag";
    size_t at = name.find(wide);
    if (at != std::string::npos)
        return name.substr(0, at) + "Pc" + name.substr(at + wide.size());
    if (name.size() > 2 && name.compare(name.size() - 2, 2, "Pc") == 0)
        return name.substr(0, name.size() - 2) + wide;
    return "";
}

/* The names the load entry, configuration and error page parts export. */
const char *const kCoreNames[] = {
    "_init",
    "_fini",
    "_Z16ConfigFileExistsPKcPi",
    "_Z19ReadConfigFileValuePKcS0_PcPiS0_",
    "generate_error_page",
    "log",
    "logfilename",
    "_dummy_logger_instance",
};

TEST_F(Exports, EveryListedNameResolves) {
    std::vector<std::string> names = ExportedNames();
    ASSERT_GT(names.size(), 60u);
    for (const std::string &name : names) {
        if (plugin_->Symbol(name.c_str()) != nullptr)
            continue;
        // Functions taking a va_list are listed in both ABIs' spellings.
        std::string twin = VaListTwin(name);
        bool twinListed = std::find(names.begin(), names.end(), twin) != names.end();
        EXPECT_TRUE(twinListed && plugin_->Symbol(twin.c_str()) != nullptr) << name;
    }
    for (const char *name : kCoreNames) {
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
        EXPECT_NE(plugin_->Symbol(name), nullptr) << name;
    }
}

TEST_F(Exports, InternalNamesStayHidden) {
    const char *const kHidden[] = {"lnxMSG",        "_Z6lnxMSGPKc", "afpconsMethod",
                                   "afpLogsMethod", "afpofmMethod", "plugin_initialised"};
    for (const char *name : kHidden)
        EXPECT_EQ(plugin_->Symbol(name), nullptr) << name;
}

TEST_F(Exports, PointerGlobalsHoldTheirTexts) {
    const struct {
        const char *name;
        const char *text;
    } kTexts[] = {
        {"keyword_afpdcons", "afpcons"},
        {"keyword_afpdlogs", "afplogs"},
        {"keyword_afpofm", "afpofm"},
        {"keyword_help", "help"},
        {"keyword_info", "_info_"},
        {"keyword_create", "create"},
        {"keyword_cancel", "cancel"},
        {"lpzheader", "bgcolor=#cccc99"},
        {"lpzdark", "bgcolor=#efeee9"},
        {"lpzlight", "bgcolor=#ffffff"},
        {"estr_page_access_denied", "Unauthorized access denied"},
        {"estr_page_bad_method", "Bad Http method"},
        {"estr_page_missing_http_data", "Http request missing data"},
        {"estr_bad_http_request", "Bad Http request"},
        {"estr_out_of_resources", "Internal Resource failure"},
        {"estr_modify_server_parameter_failed", "Unable to change selected server parameter"},
        {"pzFileIRMTag", "FILEEDITMASK"},
        {"pzFolderIRMTag", "DIREDITMASK"},
        {"pzFileAttrTag", "FATTR"},
        {"pzFileDateAndTimeTag", "FDATEANDTIME"},
        {"pzDateAndTimeTag", "DATEANDTIME"},
        {"pzLockTag", "LOCK"},
        {"pzDirInfoTag", "INFO"},
        {"pzOn", "ON"},
        {"pzOff", "OFF"},
        {"pzNull", ""},
        {"pzChecked", "CHECKED"},
        {"PortalDotCharString", "&#8226"},
        {"pCompressedBit", "Co"},
        {"logfilename", "/var/opt/zentra/log/libhxm2afp.log"},
    };
    for (const auto &entry : kTexts) {
        SCOPED_TRACE(entry.name);
        auto **pointer = static_cast<const char **>(plugin_->Symbol(entry.name));
        ASSERT_NE(pointer, nullptr);
        ASSERT_NE(*pointer, nullptr);
        EXPECT_STREQ(*pointer, entry.text);
        EXPECT_EQ(SymbolSize(entry.name), sizeof(const char *));
    }
}

TEST_F(Exports, ArrayGlobalsHoldTheirTextsAndSizes) {
    const struct {
        const char *name;
        const char *text;
        size_t size;
    } kArrays[] = {
        {"icon_folder", "/opt/zentra/hxm", 512},
        {"pImmediateCompressBit", "Ic", 3},
        {"pPurgeImmediateBit", "Pi", 3},
        {"pExecuteOnlyBit", "X-", 3},
        {"pTransactionBit", "T-", 3},
        {"pDontSubAllocBit", "Ds", 3},
        {"pDontMigrateBit", "Dm", 3},
        {"pDontCompressBit", "Dc", 3},
        {"pRenameInhibitBit", "Ri", 3},
        {"pDeleteInhibitBit", "Di", 3},
        {"pCopyInhibitBit", "Ci", 3},
        {"pShareableBit", "Sh", 3},
        {"pReadWriteBit", "Rw", 3},
        {"pReadOnlyBit", "Ro", 3},
        {"pArchiveBit", "A-", 3},
        {"pHiddenBit", "H-", 3},
        {"pSystemBit", "Sy", 3},
        {"pNotSet", "--", 3},
        {"kdpbrowseHelpURL", "", 512},
        {"kdpbrowseHelpFileAttrURL", "", 512},
        {"kdpbrowseHelpFolderAttrURL", "", 512},
        {"kdpbrowseHelpFileInfoURL", "", 512},
        {"kdpbrowseHelpFolderInfoURL", "", 512},
        {"messageFileBuff", "", 256},
        {"messageFolderBuff", "", 256},
        {"messageFolderInfoBuff", "", 256},
    };
    for (const auto &entry : kArrays) {
        SCOPED_TRACE(entry.name);
        const char *bytes = static_cast<const char *>(plugin_->Symbol(entry.name));
        ASSERT_NE(bytes, nullptr);
        ASSERT_EQ(SymbolSize(entry.name), entry.size);
        std::string expected(entry.size, '\0');
        std::memcpy(&expected[0], entry.text, std::strlen(entry.text));
        EXPECT_EQ(std::string(bytes, entry.size), expected) << "the text, then zeros";
    }
}

TEST_F(Exports, WordGlobalsHoldTheirValues) {
    auto *allowClear = static_cast<const int *>(plugin_->Symbol("AllowClearConn"));
    auto *altText = static_cast<const uint32_t *>(plugin_->Symbol("altTextInit"));
    ASSERT_NE(allowClear, nullptr);
    ASSERT_NE(altText, nullptr);
    EXPECT_EQ(*allowClear, 1);
    EXPECT_EQ(*altText, 0u);
    EXPECT_EQ(SymbolSize("AllowClearConn"), 4u);
    EXPECT_EQ(SymbolSize("altTextInit"), 4u);
}

TEST_F(Exports, LogPointsAtTheLiveLoggerAndTheDummyIsInert) {
    auto **logPointer = static_cast<Logger **>(plugin_->Symbol("log"));
    ASSERT_NE(logPointer, nullptr);
    EXPECT_EQ(*logPointer, plugin_->Symbol("_my_local_instance"));
    EXPECT_EQ(SymbolSize("log"), sizeof(Logger *));

    auto *dummy = static_cast<Logger *>(plugin_->Symbol("_dummy_logger_instance"));
    ASSERT_NE(dummy, nullptr);
    EXPECT_EQ(SymbolSize("_dummy_logger_instance"), sizeof(Logger));
    EXPECT_EQ(dummy->level, 0);
    EXPECT_EQ(dummy->initialized, 0);
    EXPECT_EQ(dummy->f_output, nullptr);
    EXPECT_EQ(dummy->f_output_filename, nullptr);
    EXPECT_EQ(dummy->logname, nullptr);
    ASSERT_NE(dummy->openstream, nullptr);
    EXPECT_EQ(dummy->openstream("/nowhere"), -1);
    EXPECT_EQ(dummy->setMode(3), -1);
    EXPECT_EQ(dummy->status(), -1);
    EXPECT_EQ(dummy->getStreamSize(), 0);
    dummy->debug("ignored %d", 1);
}

TEST_F(Exports, MathLogStillComputesLogarithms) {
    // The program never defines a data symbol `log`; libm's function stays.
    volatile double e = M_E;
    EXPECT_DOUBLE_EQ(std::log(e), 1.0);
    double (*mathLog)(double) = ::log;
    EXPECT_DOUBLE_EQ(mathLog(e * e), 2.0);
}

} // namespace

} // namespace hxm_test
