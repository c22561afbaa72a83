/*
 * The plug-in's functions for the logger and helper tests; see plugin_api.h.
 */
#include "tests/support/plugin_api.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <regex>

#include "tests/support/plugin_host.h"

namespace hxm_test {
namespace {

// Mangling of the va_list parameter in this ABI.
#if defined(__x86_64__)
constexpr const char *kVaListMangling = "P13__va_list_tag";
#else
constexpr const char *kVaListMangling = "Pc";
#endif

/* The root and the plug-in loaded under it, for the whole test program. */
struct ProgramPlugin {
    TempRoot root{"hxm-logger-test"};
    // Never unloaded: the tests keep its functions to the end of the program.
    LoadedPlugin *plugin = nullptr;
};

ProgramPlugin &Loaded() {
    static ProgramPlugin loaded;
    return loaded;
}

template <typename T> void resolve(const LoadedPlugin *plugin, T &slot, const std::string &name) {
    void *symbol = plugin->Symbol(name.c_str());
    if (symbol == nullptr)
        ADD_FAILURE() << "the plug-in does not export " << name;
    slot = reinterpret_cast<T>(symbol);
}

PluginApi load() {
    ProgramPlugin &loaded = Loaded();
    // The root stays set after the load: the path helpers read it per call.
    setenv("ZENTRA_ROOT", loaded.root.path().c_str(), 1);
    // The load entry writes its log file into the root's log directory.
    loaded.root.MakeLogDirectory();
    loaded.plugin = new LoadedPlugin(loaded.root);
    const LoadedPlugin *handle = loaded.plugin;
    PluginApi api{};
    const std::string va = kVaListMangling;
    resolve(handle, api.log, "log");
    resolve(handle, api.logfilename, "logfilename");
    resolve(handle, api.liveInstance, "_my_local_instance");
    resolve(handle, api.dummyInstance, "_dummy_logger_instance");
    resolve(handle, api.getInstance, "_Z18Logger_getInstancev");
    resolve(handle, api.init, "_Z11Logger_initPKci");
    resolve(handle, api.deinit, "_Z13Logger_deinitv");
    resolve(handle, api.errormessage, "_Z19Logger_errormessagePKc");
    resolve(handle, api.writeAlways, "_Z18Logger_writeAlwaysPKc" + va);
    resolve(handle, api.syslogAndFile, "_Z20Logger_SyslogAndFilePKc" + va);
    resolve(handle, api.flushstream, "_Z18Logger_flushstreamv");
    resolve(handle, api.getStreamSize, "_Z20Logger_getStreamSizev");
    resolve(handle, api.truncateFileStream, "_Z18TruncateFileStreamP8_IO_FILE");
    resolve(handle, api.openFileStream, "_Z14OpenFileStreamPcx");
    resolve(handle, api.processLogLevel, "_Z15ProcessLogLevelPKc");
    resolve(handle, api.processLogLevelWOLogging, "_Z24ProcessLogLevelWOLoggingPKc");
    resolve(handle, api.convertLogLevelToString, "_Z23ConvertLogLevelToStringv");
    resolve(handle, api.setupLogRotateControlFile, "SetupLogRotateControlFile");
    resolve(handle, api.pathCheck, "path_check");
    resolve(handle, api.makeLinuxPath, "_Z13MakeLinuxPathPKc");
    resolve(handle, api.makePath, "_Z9make_pathPKcj");
    resolve(handle, api.postGetString, "POST_GET_STRING");
    resolve(handle, api.postGetUrl, "POST_GET_URL");
    resolve(handle, api.postGetInt, "POST_GET_INT");
    resolve(handle, api.postCheckbox, "POST_CHECKBOX");
    resolve(handle, api.postRadiobutton, "POST_RADIOBUTTON");
    resolve(handle, api.compressUri, "compressURI");
    resolve(handle, api.strupr, "_strupr");
    resolve(handle, api.createStringWithCommas, "CreateStringWithCommas");
    resolve(handle, api.createLargeNumberStringWithCommas, "CreateLargeNumberStringWithCommas");
    resolve(handle, api.convertDalmoraDataAndTimeToLinux, "ConvertDalmoraDataAndTimeToLinux");
    resolve(handle, api.dalmoraDataAndTimeToTimeBuffer, "DalmoraDataAndTimeToTimeBuffer");
    resolve(handle, api.makeParentPath, "MakeParentPath");
    resolve(handle, api.verifyLinuxPath, "VerifyLinuxPath");
    resolve(handle, api.createLinuxPath, "CreateLinuxPath");
    resolve(handle, api.pkgDirBuild, "_Z13pkg_dir_buildPKcj");
    resolve(handle, api.makeLinuxFolder, "_Z15MakeLinuxFolderPc");
    return api;
}

} // namespace

const PluginApi &Plugin() {
    static const PluginApi api = load();
    return api;
}

const std::string &Root() {
    Plugin();
    return Loaded().root.path();
}

std::string FreshDirectory(const char *name) {
    static int counter = 0;
    std::string path = Root() + "/test-" + name + "-" + std::to_string(++counter);
    if (mkdir(path.c_str(), 0755) != 0)
        ADD_FAILURE() << "cannot make " << path;
    return path;
}

std::vector<std::string> LoggerExportNames() {
    std::vector<std::string> names;
    std::ifstream list(HXM_LOGGER_EXPORTS_LIST);
    std::string line;
    while (std::getline(list, line)) {
        if (line.empty() || line[0] == '#')
            continue;
            // The va_list functions are listed in both ABIs' spellings.
#if defined(__x86_64__)
        bool otherAbi = line.size() > 5 && line.compare(line.size() - 5, 5, "PKcPc") == 0;
#else
        bool otherAbi = line.find("P13__va_list_tag") != std::string::npos;
#endif
        if (!otherAbi)
            names.push_back(line);
    }
    return names;
}

std::string WithoutStamps(const std::string &text) {
    static const std::regex stamp("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    return std::regex_replace(text, stamp, "T");
}

} // namespace hxm_test
