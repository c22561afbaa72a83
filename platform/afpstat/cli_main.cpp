/*
 * afpstat: creates and fills the monitoring store, lists it, and simulates
 * the AFP service.
 *
 * Exit status: 0 done, 1 the store failed or refused the change, 2 bad
 * arguments (with usage on stderr).
 */
#include "platform/afpstat/cli.h"
#include "platform/afpstat/store_path.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

using namespace afpstat::cli;

struct CommandEntry {
    const char *name;
    int (*run)(const Context &, Args &);
    const char *synopsis;
};

constexpr CommandEntry kCommands[] = {
    {"init", command_init, "init"},
    {"demo", command_demo,
     "demo [--connections N] [--files M] [--volumes V] [--seed S] [--now EPOCH]"},
    {"connect", command_connect,
     "connect USER ADDRESS [--number N] [--login-time EPOCH] [--requests N] [--read N]\n"
     "        [--written N] [--status TEXT] [--privileges TEXT] [--equiv NAME]..."},
    {"open", command_open, "open CONNECTION VOLUME PATH"},
    {"volume", command_volume, "volume NAME"},
    {"list", command_list, "list [--json]"},
    {"simulate", command_simulate, "simulate [--seconds S] [--speed N] [--report S] [--seed S]"},
};

void print_usage(FILE *stream) {
    fprintf(stream, "usage: afpstat [--db FILE] COMMAND [ARGUMENTS]\n\ncommands:\n");
    for (const CommandEntry &command : kCommands) {
        fprintf(stream, "  %s\n", command.synopsis);
    }
    fprintf(stream, "\nThe store is FILE, else $AFPSTAT_DB, else "
                    "$ZENTRA_ROOT/var/opt/zentra/afpstat/afpstat.db.\n"
                    "simulate appends to $ZENTRA_ROOT/var/opt/zentra/log/afpsvc.log.\n"
                    "Exit status: 0 done, 1 store error or refused change, 2 bad arguments.\n");
}

int usage_error(const char *message) {
    fprintf(stderr, "afpstat: %s\n\n", message);
    print_usage(stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    Context context;
    int index = 1;
    while (index < argc && strncmp(argv[index], "--", 2) == 0) {
        const char *option = argv[index++];
        if (strcmp(option, "--help") == 0) {
            print_usage(stdout);
            return 0;
        }
        if (strcmp(option, "--db") == 0 && index < argc && argv[index][0] != '\0') {
            context.storePath = argv[index++];
        } else if (strncmp(option, "--db=", 5) == 0 && option[5] != '\0') {
            context.storePath = option + 5;
        } else {
            return usage_error(strcmp(option, "--db") == 0 ? "--db needs a file name"
                                                           : "unknown option");
        }
    }
    if (index >= argc) {
        return usage_error("no command given");
    }
    if (context.storePath.empty()) {
        char path[PATH_MAX];
        if (afpstat::resolve_store_path(path, sizeof path) != 0) {
            fprintf(stderr, "afpstat: the store's path is too long\n");
            return 1;
        }
        context.storePath = path;
    }
    const CommandEntry *chosen = nullptr;
    for (const CommandEntry &command : kCommands) {
        if (strcmp(argv[index], command.name) == 0) {
            chosen = &command;
        }
    }
    if (chosen == nullptr) {
        return usage_error("unknown command");
    }
    Args args(std::vector<std::string>(argv + index + 1, argv + argc));
    try {
        return chosen->run(context, args);
    } catch (const UsageError &error) {
        return usage_error(error.what());
    } catch (const afpstat::InvalidValue &error) {
        return usage_error(error.what());
    } catch (const std::exception &error) {
        fprintf(stderr, "afpstat %s: %s\n", chosen->name, error.what());
        return 1;
    }
}
