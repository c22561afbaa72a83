/*
 * The note every action of the command leaves in the history: what was
 * asked, by which Unix user, and what came of it.
 */
#include <stdio.h>
#include <string.h>

#include "cli/history_commands.h"
#include "history/acting_user.h"
#include "history/action_spool.h"

namespace hxm2afp::cli {

void note_command_action(const char *verb, const std::string &argument, int status) {
    const bool clearing = strcmp(verb, "clear connection") == 0;
    unsigned number = 0;
    const bool numbered = clearing && read_connection_number(argument, &number);
    const int error = history::note_action(
        "command", history::unix_user(),
        clearing ? history::ActionKind::kClearConnection : history::ActionKind::kCloseFile,
        numbered ? static_cast<int64_t>(number) : -1, clearing ? "" : argument, status);
    if (error != 0)
        fprintf(stderr, "hxm2afp: the action was done but not noted in the history: %s\n",
                strerror(error));
}

} // namespace hxm2afp::cli
