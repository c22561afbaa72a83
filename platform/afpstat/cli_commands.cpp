/*
 * The `afpstat` commands that create the store and add single records:
 * init, connect, open, volume.
 */
#include "platform/afpstat/cli.h"

#include <cstdio>
#include <ctime>

namespace afpstat::cli {

namespace {

/* Collects the positional arguments; any option is a usage error. */
std::vector<std::string> positionals(Args &args) {
    std::vector<std::string> values;
    while (args.more()) {
        std::string arg = args.next();
        if (arg.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + arg);
        }
        values.push_back(arg);
    }
    return values;
}

void expect_count(const std::vector<std::string> &values, size_t count, const char *command) {
    if (values.size() != count) {
        throw UsageError(std::string(command) + " takes " + std::to_string(count) +
                         (count == 1 ? " argument" : " arguments"));
    }
}

} // namespace

/* Creates the store and its folder; a current store is left as it is. */
int command_init(const Context &context, Args &args) {
    expect_count(positionals(args), 0, "init");
    Store::create(context.storePath);
    printf("%s\n", context.storePath.c_str());
    return 0;
}

/* Adds a connection and prints its number. */
int command_connect(const Context &context, Args &args) {
    ConnectionRecord record;
    record.loginTime = static_cast<uint64_t>(time(nullptr));
    std::vector<std::string> values;
    while (args.more()) {
        std::string arg = args.next();
        if (arg == "--number") {
            record.number = static_cast<uint32_t>(
                parse_unsigned(args.value(arg), UINT32_MAX, "the connection number"));
        } else if (arg == "--login-time") {
            record.loginTime = parse_unsigned(args.value(arg), INT64_MAX, "the login time");
        } else if (arg == "--requests") {
            record.requests =
                static_cast<uint32_t>(parse_unsigned(args.value(arg), UINT32_MAX, "--requests"));
        } else if (arg == "--read") {
            record.bytesRead = parse_unsigned(args.value(arg), UINT64_MAX, "--read");
        } else if (arg == "--written") {
            record.bytesWritten = parse_unsigned(args.value(arg), UINT64_MAX, "--written");
        } else if (arg == "--status") {
            record.loginStatus = args.value(arg);
        } else if (arg == "--privileges") {
            record.privileges = args.value(arg);
        } else if (arg == "--equiv") {
            record.equivalences.push_back(args.value(arg));
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError("unknown option " + arg);
        } else {
            values.push_back(arg);
        }
    }
    expect_count(values, 2, "connect");
    record.user = values[0];
    record.address = values[1];
    validate_connection(record);
    Store store = Store::open(context.storePath);
    printf("%u\n", store.add_connection(record));
    return 0;
}

/* Opens a file for a connection on a volume; both must exist already, so
 * that a typing mistake does not invent a volume. */
int command_open(const Context &context, Args &args) {
    std::vector<std::string> values = positionals(args);
    expect_count(values, 3, "open");
    auto connection =
        static_cast<uint32_t>(parse_unsigned(values[0], UINT32_MAX, "the connection number"));
    validate_volume_name(values[1]);
    validate_path(values[2]);
    Store store = Store::open(context.storePath);
    store.open_file(connection, values[1], values[2]);
    return 0;
}

/* Adds a volume; adding one that exists changes nothing. */
int command_volume(const Context &context, Args &args) {
    std::vector<std::string> values = positionals(args);
    expect_count(values, 1, "volume");
    validate_volume_name(values[0]);
    Store store = Store::open(context.storePath);
    store.add_volume(values[0]);
    return 0;
}

} // namespace afpstat::cli
