/*
 * The command's history: `record` (the recorder).
 */
#ifndef HXM_CLI_HISTORY_COMMANDS_H
#define HXM_CLI_HISTORY_COMMANDS_H

#include "cli/cli.h"

namespace hxm2afp::cli {

int command_record(const Invocation &invocation);

} // namespace hxm2afp::cli

#endif
