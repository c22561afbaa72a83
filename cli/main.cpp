/*
 * hxm2afp's entry: the command table, option reading, usage.
 *
 *   hxm2afp connections | show N | volumes | files [--volume V] [--name PART]
 *           [--user U] | clear N... | close PATH... | metrics [--textfile DIR]
 *   hxm2afp --help | --version
 *
 * Every option belongs to the commands the table names; anything else is a
 * usage error (exit 2) before the monitoring library is asked anything.
 */
#include <stdio.h>
#include <string.h>

#include <string>

#include "base/visible_text.h"
#include "cli/cli.h"
#include "cli/history_commands.h"
#include "cli/table_output.h"

namespace hxm2afp::cli {
namespace {

enum Option : unsigned {
    kFormat = 1u << 0,
    kSort = 1u << 1,
    kVolume = 1u << 2,
    kName = 1u << 3,
    kUser = 1u << 4,
    kYes = 1u << 5,
    kTextfile = 1u << 6,
    kInterval = 1u << 7,
    kOnce = 1u << 8,
    kConnection = 1u << 9,
    kAt = 1u << 10,
    kSince = 1u << 11,
    kUntil = 1u << 12
};

struct OptionRow {
    const char *name;
    Option option;
    std::string Invocation::*value; // null for a flag
};

const OptionRow kOptions[] = {
    {"--format", kFormat, nullptr}, // read into Invocation::format below
    {"--sort", kSort, &Invocation::sort},
    {"--volume", kVolume, &Invocation::volume},
    {"--name", kName, &Invocation::name},
    {"--user", kUser, &Invocation::user},
    {"--yes", kYes, nullptr},
    {"--textfile", kTextfile, &Invocation::textfile},
    {"--interval", kInterval, &Invocation::interval},
    {"--once", kOnce, nullptr},
    {"--connection", kConnection, &Invocation::connection},
    {"--at", kAt, &Invocation::at},
    {"--since", kSince, &Invocation::since},
    {"--until", kUntil, &Invocation::until},
};

struct CommandRow {
    const char *name;
    int (*run)(const Invocation &);
    unsigned options;
    size_t leastArguments;
    size_t mostArguments;
    const char *usage;
};

constexpr size_t kAny = static_cast<size_t>(-1);

const CommandRow kCommands[] = {
    {"connections", command_connections, kFormat | kSort, 0, 0,
     "connections [--sort connection|user|login|bytes|requests] [--format F]"},
    {"show", command_show, kFormat, 1, 1, "show N [--format F]"},
    {"volumes", command_volumes, kFormat | kSort, 0, 0,
     "volumes [--sort volume|files] [--format F]"},
    {"files", command_files, kFormat | kSort | kVolume | kName | kUser, 0, 0,
     "files [--volume V] [--name PART] [--user PART]\n"
     "        [--sort volume|connection|user|path] [--format F]"},
    {"clear", command_clear, kFormat | kYes, 1, kAny, "clear N... --yes [--format F]"},
    {"close", command_close, kFormat | kYes, 1, kAny, "close PATH... --yes [--format F]"},
    {"metrics", command_metrics, kTextfile, 0, 0, "metrics [--textfile DIR]"},
    {"record", command_record, kInterval | kOnce, 0, 0, "record [--interval SECONDS] [--once]"},
    {"history", command_history,
     kFormat | kName | kUser | kVolume | kConnection | kAt | kSince | kUntil, 0, 0,
     "history [--name PART] [--user PART] [--volume V] [--connection N]\n"
     "        [--at TIME | --since TIME --until TIME] [--format F]"},
};

struct FormatRow {
    const char *name;
    Format format;
};

constexpr FormatRow kFormats[] = {
    {"text", Format::kText}, {"json", Format::kJson}, {"csv", Format::kCsv}};

void print_usage(FILE *stream) {
    fprintf(stream, "usage: hxm2afp COMMAND [ARGUMENTS] [OPTIONS]\n"
                    "       hxm2afp --help | --version\n\ncommands:\n");
    for (const CommandRow &command : kCommands)
        fprintf(stream, "  %s\n", command.usage);
    fprintf(stream, "\nF is text (the default), json or csv. See hxm2afp(1).\n");
}

int usage_error(const char *format, const char *text) {
    fputs("hxm2afp: ", stderr);
    fprintf(stderr, format, text);
    fputs("\n", stderr);
    print_usage(stderr);
    return kExitUsage;
}

const CommandRow *find_command(const char *name) {
    for (const CommandRow &command : kCommands) {
        if (strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

bool read_format(const std::string &text, Format *format) {
    for (const FormatRow &row : kFormats) {
        if (text == row.name) {
            *format = row.format;
            return true;
        }
    }
    return false;
}

const OptionRow *find_option(const std::string &name) {
    for (const OptionRow &candidate : kOptions) {
        if (name == candidate.name)
            return &candidate;
    }
    return nullptr;
}

/* Keeps an option's value: 0, or the exit code of the usage error it
 * reported. */
int keep_value(const OptionRow &row, const std::string &value, Invocation *invocation) {
    if (row.option == kFormat) {
        if (!read_format(value, &invocation->format))
            return usage_error("unknown format %s (text, json or csv)",
                               visible_text(value.c_str()).c_str());
        return 0;
    }
    if (value.empty() && row.option != kName && row.option != kUser)
        return usage_error("%s needs a value", row.name);
    invocation->*(row.value) = value;
    return 0;
}

/* Reads the words after the command into `invocation`: 0, or the exit code
 * of the usage error it reported. */
int read_invocation(const CommandRow &command, int argc, char **argv, Invocation *invocation) {
    bool optionsEnded = false;
    for (int index = 0; index < argc; ++index) {
        const std::string word = argv[index];
        if (optionsEnded || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            invocation->arguments.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true; // a path may begin with "--"
            continue;
        }
        const size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const OptionRow *row = find_option(name);
        if (row == nullptr || (command.options & row->option) == 0)
            return usage_error("unknown option %s", visible_text(name.c_str()).c_str());
        if (row->option == kYes || row->option == kOnce) {
            if (equals != std::string::npos)
                return usage_error("%s takes no value", row->name);
            (row->option == kYes ? invocation->yes : invocation->once) = true;
            continue;
        }
        std::string value;
        if (equals != std::string::npos)
            value = word.substr(equals + 1);
        else if (index + 1 < argc)
            value = argv[++index];
        else
            return usage_error("%s needs a value", row->name);
        if (const int error = keep_value(*row, value, invocation))
            return error;
    }
    const size_t count = invocation->arguments.size();
    if (count < command.leastArguments || count > command.mostArguments)
        return usage_error("wrong number of arguments for %s", command.name);
    return 0;
}

} // namespace
} // namespace hxm2afp::cli

int main(int argc, char **argv) {
    using namespace hxm2afp;
    using namespace hxm2afp::cli;
    if (argc < 2)
        return usage_error("%s", "no command given");
    if (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "help") == 0) {
        print_usage(stdout);
        return kExitDone;
    }
    if (strcmp(argv[1], "--version") == 0) {
        printf("hxm2afp %s\n", HXM_VERSION);
        return kExitDone;
    }
    const CommandRow *command = find_command(argv[1]);
    if (command == nullptr)
        return usage_error("unknown command %s", visible_text(argv[1]).c_str());
    Invocation invocation;
    const int error = read_invocation(*command, argc - 2, argv + 2, &invocation);
    if (error != 0)
        return error;
    return command->run(invocation);
}
