/*
 * The command's actions: clearing connections and closing files by path,
 * through the monitor layer's calls, told with the pages' outcome words.
 * Nothing is done without --yes; every item is tried once (an item named
 * twice is one item) and reported, and the exit code says what came of
 * them with the meanings every command shares.
 */
#include <stdlib.h>

#include <algorithm>
#include <iterator>

#include <zentra/afpstat.h>

#include "base/visible_text.h"
#include "cli/cli.h"
#include "cli/table_output.h"
#include "monitor/actions.h"

namespace hxm2afp::cli {
namespace {

/* What came of one item. */
struct Outcome {
    const std::string *item;
    int status; // the plug-in's own outcomes are negative, the library's not
};

void fill_status(const Outcome &outcome, Cell *cell) {
    cell->number = outcome.status;
}

void fill_words(const Outcome &outcome, Cell *cell) {
    cell->text = action_words(outcome.status);
}

constexpr Field<Outcome> kClearFields[] = {
    {{"connection", "CONNECTION", CellKind::kNumber},
     [](const Outcome &outcome, Cell *cell) {
         unsigned number = 0;
         read_connection_number(*outcome.item, &number); // checked before acting
         cell->number = number;
     }},
    {{"status", "STATUS", CellKind::kNumber}, fill_status},
    {{"outcome", "OUTCOME", CellKind::kText}, fill_words},
};

constexpr Field<Outcome> kCloseFields[] = {
    {{"path", "PATH", CellKind::kText},
     [](const Outcome &outcome, Cell *cell) { cell->text = outcome.item->c_str(); }},
    {{"status", "STATUS", CellKind::kNumber}, fill_status},
    {{"outcome", "OUTCOME", CellKind::kText}, fill_words},
};

/* One action: its document key and columns, the verb that tells it, what
 * it does to one item, and what to add on standard error after an item
 * that was not done (null: nothing). */
struct Action {
    const char *documentKey;
    const Field<Outcome> (&fields)[3];
    const char *verb;
    int (*act)(const std::string &item);
    void (*explain)(const std::string &item, int status);
};

/* The exit codes of an item's outcome, lightest first: the command exits
 * with the heaviest of its items', so a real failure is never hidden by an
 * item that was simply gone already. */
constexpr int kExitWeights[] = {kExitDone, kExitUnknown, kExitNotDone, kExitUnreadable};

// What an item's status means, as show and files say it too; any other
// status: not done.
constexpr struct {
    int status;
    int code;
} kItemExitCodes[] = {
    {AFPSTAT_OK, kExitDone},
    {AFPSTAT_ERR_NOT_FOUND, kExitUnknown},
    {AFPSTAT_ERR_STORE, kExitUnreadable},
};

int item_exit_code(int status) {
    for (const auto &meaning : kItemExitCodes) {
        if (meaning.status == status)
            return meaning.code;
    }
    return kExitNotDone;
}

int heavier(int code, int other) {
    const auto weight = [](int exit) {
        return std::find(std::begin(kExitWeights), std::end(kExitWeights), exit) -
               std::begin(kExitWeights);
    };
    return weight(other) > weight(code) ? other : code;
}

/* Runs the action on every item (already checked, each once) and writes
 * one row each. */
int run_all(const Invocation &invocation, const std::vector<std::string> &items,
            const Action &action) {
    if (!invocation.yes) {
        for (const std::string &item : items)
            fprintf(stderr, "hxm2afp: would %s %s\n", action.verb,
                    visible_text(item.c_str()).c_str());
        return fail(kExitNotDone, "nothing done: add --yes to %s", action.verb);
    }
    auto writer = make_writer(invocation.format, stdout, action.documentKey, action.fields);
    int code = kExitDone;
    bool storeFailed = false;
    for (const std::string &item : items) {
        const int status = action.act(item);
        write_row(*writer, action.fields, Outcome{&item, status});
        if (status != AFPSTAT_OK && action.explain != nullptr)
            action.explain(item, status);
        code = heavier(code, item_exit_code(status));
        storeFailed = storeFailed || status == AFPSTAT_ERR_STORE;
    }
    if (storeFailed)
        explain_store();
    if (!writer->finish())
        return fail(kExitNotDone, "cannot write the output");
    return code;
}

/* The items in the order given, each once. */
std::vector<std::string> each_once(std::vector<std::string> items) {
    std::vector<std::string> once;
    for (std::string &item : items) {
        if (std::find(once.begin(), once.end(), item) == once.end())
            once.push_back(std::move(item));
    }
    return once;
}

constexpr Action kClear = {"cleared", kClearFields, "clear connection",
                           [](const std::string &item) {
                               unsigned number = 0;
                               read_connection_number(item, &number);
                               return clear_connection(number);
                           },
                           nullptr};

constexpr Action kClose = {
    "closed", kCloseFields, "close",
    [](const std::string &item) { return close_file(item.c_str()); },
    [](const std::string &item, int status) {
        // Every open file's path is whole, from the volume's name on.
        if (status == AFPSTAT_ERR_NOT_FOUND && item[0] != '/')
            fprintf(stderr,
                    "hxm2afp: hint: a path begins with \"/\" and the volume's name: "
                    "did you mean /%s?\n",
                    visible_text(item.c_str()).c_str());
    }};

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
    std::vector<std::string> numbers;
    for (const std::string &argument : invocation.arguments) {
        unsigned number = 0;
        if (!read_connection_number(argument, &number))
            return fail(kExitUsage, "not a connection number: \"%s\" (nothing done)",
                        visible_text(argument.c_str()).c_str());
        numbers.push_back(std::to_string(number)); // "012" and "12" are one connection
    }
    return run_all(invocation, each_once(std::move(numbers)), kClear);
}

int command_close(const Invocation &invocation) {
    for (const std::string &argument : invocation.arguments) {
        if (argument.empty())
            return fail(kExitUsage, "an empty path (nothing done)");
    }
    return run_all(invocation, each_once(invocation.arguments), kClose);
}

} // namespace hxm2afp::cli
