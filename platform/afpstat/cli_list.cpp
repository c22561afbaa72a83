/*
 * `afpstat list`: the whole store as a table or as JSON. The table shows
 * names made visible (base/visible_text.h): they are chosen by whoever
 * connects and must not act on the terminal that lists them.
 */
#include "platform/afpstat/cli.h"

#include <nlohmann/json.hpp>

#include "base/visible_text.h"

#include <cstdio>
#include <ctime>

namespace afpstat::cli {

namespace {

std::string local_time_text(uint64_t seconds) {
    time_t when = static_cast<time_t>(seconds);
    struct tm parts;
    char text[64] = "?";
    if (localtime_r(&when, &parts) != nullptr) {
        strftime(text, sizeof text, "%F %T", &parts);
    }
    return text;
}

/* Where one connection's files stand in a population's openFiles. */
struct FileRange {
    size_t begin;
    size_t end;
};

/* The files of connection number, looked for from index from on. Files are
 * ordered by connection like the connections themselves: any before the
 * range (of a connection not listed) are passed over, and the next
 * connection's files start at its end. */
FileRange files_of(const Population &population, uint32_t number, size_t from) {
    const std::vector<OpenFileRecord> &files = population.openFiles;
    FileRange range{from, from};
    while (range.begin < files.size() && files[range.begin].connection < number) {
        ++range.begin;
    }
    range.end = range.begin;
    while (range.end < files.size() && files[range.end].connection == number) {
        ++range.end;
    }
    return range;
}

nlohmann::json to_json(const Population &population) {
    nlohmann::json connections = nlohmann::json::array();
    size_t file = 0;
    for (const ConnectionRecord &record : population.connections) {
        nlohmann::json open_files = nlohmann::json::array();
        FileRange range = files_of(population, *record.number, file);
        for (file = range.begin; file < range.end; ++file) {
            open_files.push_back({{"volume", population.openFiles[file].volume},
                                  {"path", population.openFiles[file].path}});
        }
        connections.push_back({{"number", *record.number},
                               {"user", record.user},
                               {"address", record.address},
                               {"login_time", record.loginTime},
                               {"requests", record.requests},
                               {"bytes_read", record.bytesRead},
                               {"bytes_written", record.bytesWritten},
                               {"login_status", record.loginStatus},
                               {"privileges", record.privileges},
                               {"security_equivalences", record.equivalences},
                               {"open_files", std::move(open_files)}});
    }
    return {{"connections", std::move(connections)}, {"volumes", population.volumes}};
}

std::string shown(const std::string &name) {
    std::string visible;
    hxm2afp::append_visible_text(&visible, name.data(), name.size());
    return visible;
}

void print_table(const Population &population) {
    printf("Connections: %zu\n", population.connections.size());
    if (!population.connections.empty()) {
        printf("%10s  %-24s %-16s %-19s %10s %14s %14s  %-10s %s\n", "Number", "User", "Address",
               "Login time", "Requests", "Read", "Written", "Status", "Privileges");
    }
    size_t file = 0;
    for (const ConnectionRecord &record : population.connections) {
        printf("%10u  %-24s %-16s %-19s %10u %14llu %14llu  %-10s %s\n", *record.number,
               shown(record.user).c_str(), shown(record.address).c_str(),
               local_time_text(record.loginTime).c_str(), record.requests,
               (unsigned long long)record.bytesRead, (unsigned long long)record.bytesWritten,
               shown(record.loginStatus).c_str(), shown(record.privileges).c_str());
        if (!record.equivalences.empty()) {
            std::string joined;
            for (const std::string &name : record.equivalences) {
                joined += (joined.empty() ? "" : ", ") + shown(name);
            }
            printf("%12s%s %s\n", "", "equivalent to:", joined.c_str());
        }
        FileRange range = files_of(population, *record.number, file);
        for (file = range.begin; file < range.end; ++file) {
            printf("%12s%s %-10s %s\n", "",
                   "open:", shown(population.openFiles[file].volume).c_str(),
                   shown(population.openFiles[file].path).c_str());
        }
    }
    printf("Volumes: %zu\n", population.volumes.size());
    for (const std::string &volume : population.volumes) {
        printf("  %s\n", shown(volume).c_str());
    }
}

} // namespace

int command_list(const Context &context, Args &args) {
    bool json = false;
    while (args.more()) {
        std::string arg = args.next();
        if (arg == "--json") {
            args.no_value(arg);
            json = true;
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    Store store = Store::open(context.storePath);
    Population population = store.read_population();
    if (json) {
        // Names are bytes from the service; keep the output valid JSON.
        std::string text =
            to_json(population).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        printf("%s\n", text.c_str());
    } else {
        print_table(population);
    }
    return 0;
}

} // namespace afpstat::cli
