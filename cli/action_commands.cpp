/*
 * The command's actions: clearing connections and closing files by path,
 * through the monitor layer's calls, told with the pages' outcome words.
 * Nothing is done without --yes; every item is tried and reported, and the
 * exit code says whether anything was not done.
 */
#include <stdlib.h>

#include <iterator>

#include <zentra/afpstat.h>

#include "base/visible_text.h"
#include "cli/cli.h"
#include "cli/table_output.h"
#include "monitor/actions.h"

namespace hxm2afp::cli {
namespace {

constexpr Column kClearColumns[] = {
    {"connection", "CONNECTION", CellKind::kNumber},
    {"status", "STATUS", CellKind::kNumber},
    {"outcome", "OUTCOME", CellKind::kText},
};

constexpr Column kCloseColumns[] = {
    {"path", "PATH", CellKind::kText},
    {"status", "STATUS", CellKind::kNumber},
    {"outcome", "OUTCOME", CellKind::kText},
};

/* Runs `act` on every argument (already checked) and writes one row each. */
template <typename Act>
int run_all(const Invocation &invocation, const char *documentKey, const Column *columns,
            const char *verb, Act act) {
    if (!invocation.yes) {
        for (const std::string &argument : invocation.arguments)
            fprintf(stderr, "hxm2afp: would %s %s\n", verb, visible_text(argument.c_str()).c_str());
        return fail(kExitNotDone, "nothing done: add --yes to %s", verb);
    }
    auto writer = make_table_writer(invocation.format, stdout, documentKey, columns, 3);
    bool allDone = true;
    for (const std::string &argument : invocation.arguments) {
        const int status = act(argument);
        Cell cells[3];
        cells[0].text = argument.c_str();
        unsigned number = 0;
        if (columns[0].kind == CellKind::kNumber && read_connection_number(argument, &number))
            cells[0].number = number;
        // The plug-in's own outcomes are negative, the library's not.
        cells[1].number = status;
        cells[2].text = action_words(status);
        writer->row(cells);
        allDone = allDone && status == AFPSTAT_OK;
    }
    if (!writer->finish())
        return fail(kExitNotDone, "cannot write the output");
    return allDone ? kExitDone : kExitNotDone;
}

} // namespace

bool read_connection_number(const std::string &text, unsigned *number) {
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long value = strtoull(text.c_str(), nullptr, 10);
    if (value > 0xFFFFFFFFull)
        return false;
    *number = static_cast<unsigned>(value);
    return true;
}

int command_clear(const Invocation &invocation) {
    for (const std::string &argument : invocation.arguments) {
        unsigned number = 0;
        if (!read_connection_number(argument, &number))
            return fail(kExitUsage, "not a connection number: \"%s\" (nothing done)",
                        visible_text(argument.c_str()).c_str());
    }
    return run_all(invocation, "cleared", kClearColumns, "clear connection",
                   [](const std::string &argument) {
                       unsigned number = 0;
                       read_connection_number(argument, &number);
                       return clear_connection(number);
                   });
}

int command_close(const Invocation &invocation) {
    for (const std::string &argument : invocation.arguments) {
        if (argument.empty())
            return fail(kExitUsage, "an empty path (nothing done)");
    }
    return run_all(invocation, "closed", kCloseColumns, "close",
                   [](const std::string &argument) { return close_file(argument.c_str()); });
}

} // namespace hxm2afp::cli
