/*
 * The hxm2afp command: the open-file area's and the connection area's lists
 * and actions from the shell, read through the plug-in's own monitor layer
 * (its sorts, its find, its actions and their outcome words).
 *
 * This header holds what the command's files share: the exit codes, the
 * options one invocation carries, and the commands.
 */
#ifndef HXM_CLI_CLI_H
#define HXM_CLI_CLI_H

#include <stdint.h>
#include <stdio.h>

#include <zentra/afpstat.h>

#include "monitor/node_list.h"

#include <string>
#include <vector>

namespace hxm2afp::cli {

/* Exit codes, as the man page lists them. */
enum ExitCode {
    kExitDone = 0,
    kExitNotDone = 1,   // an action or a write failed, or was not confirmed
    kExitUsage = 2,     // a bad command line
    kExitUnknown = 3,   // no such connection or volume
    kExitUnreadable = 4 // the monitoring service could not be read
};

enum class Format { kText, kJson, kCsv };

/* One invocation: the command's words and options, checked against what the
 * command accepts before it runs. */
struct Invocation {
    std::vector<std::string> arguments; // the words after the command
    Format format = Format::kText;
    std::string sort;     // empty: the command's default
    std::string volume;   // files --volume
    std::string name;     // files --name
    std::string user;     // files --user
    std::string textfile; // metrics --textfile
    bool yes = false;     // clear and close act only with it
};

int command_connections(const Invocation &invocation);
int command_show(const Invocation &invocation);
int command_volumes(const Invocation &invocation);
int command_files(const Invocation &invocation);
int command_clear(const Invocation &invocation);
int command_close(const Invocation &invocation);
int command_metrics(const Invocation &invocation);

/* Wide enough for any 64-bit count, signed or not, and for sums of
 * billions of them: what the library counts in 64 bits is summed here
 * without wrapping. */
using WideNumber = __int128;

/* One connection as the library reports it: the whole user name, the byte
 * counters summed without wrapping. */
struct ConnectionRow {
    ConnectionRow *next;
    uint32_t number;
    uint32_t requests;
    WideNumber bytes; // read and written
    uint64_t loginTime;
    char address[AFPSTAT_ADDRESS_SIZE + 1];
    char user[AFPSTAT_CONN_USER_NAME_SIZE + 1];
};

/* Reads every connection into *head, in the library's order (nodes from
 * `pool`). Returns AFPSTAT_OK, or the library's status; a failure that
 * still came with a list leaves what was read in *head. */
int read_connection_rows(NodePool<ConnectionRow> *pool, ConnectionRow **head);

/* One volume and the files open on it. */
struct VolumeRow {
    VolumeRow *next;
    char name[AFPSTAT_VOLUME_NAME_SIZE + 1];
    uint64_t openFiles;
};

/* Reads every volume, in the library's order, with its open files counted
 * into *head (nodes from `pool`). Returns AFPSTAT_OK, or the status of the
 * list that could not be read, named in *what. */
int read_volume_rows(NodePool<VolumeRow> *pool, VolumeRow **head, const char **what);

/* Prints "hxm2afp: " and the message on standard error; returns `code`. */
int fail(int code, const char *format, ...) __attribute__((format(printf, 2, 3)));

/* The exit code and message for a monitoring status that kept a list from
 * being read: `what` names the list ("the connections"). */
int fail_reading(int status, const char *what);

/* Says on standard error which store the monitoring library tried and how
 * to choose another: for a store that is missing or unreadable. */
void explain_store();

/* Reads a connection number as written in the lists: decimal, 0 to
 * 4294967295. False for anything else. */
bool read_connection_number(const std::string &text, unsigned *number);

} // namespace hxm2afp::cli

#endif
