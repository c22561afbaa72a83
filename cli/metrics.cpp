/*
 * `hxm2afp metrics`: the AFP service's measures in the Prometheus text
 * format, on standard output or written atomically as DIR/hxm2afp.prom for
 * the node exporter's textfile collector.
 *
 * Notes: when the monitoring service cannot be read the output still comes,
 * holding only hxm2afp_up 0, so a scrape tells "down" from "gone stale";
 * the exit code says it too. The byte and request sums are over the current
 * connections, so they fall when a connection goes: gauges, not counters.
 */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <zentra/afpstat.h>

#include "base/visible_text.h"
#include "cli/cli.h"
#include "cli/table_output.h"
#include "monitor/node_list.h"

namespace hxm2afp::cli {
namespace {

constexpr char kTextfileName[] = "hxm2afp.prom";

struct Family {
    const char *name;
    const char *help;
};

constexpr Family kUp = {"hxm2afp_up",
                        "Whether the AFP monitoring service could be read (1) or not (0)."};
constexpr Family kConnections = {"hxm2afp_connections", "Current AFP connections."};
constexpr Family kOpenFiles = {"hxm2afp_open_files",
                               "Files open on each AFP volume, one per connection and file."};
constexpr Family kBytes = {"hxm2afp_connection_bytes",
                           "Bytes read and written by the current AFP connections."};
constexpr Family kRequests = {"hxm2afp_connection_requests",
                              "AFP requests made by the current AFP connections."};

void family(std::string *out, const Family &family) {
    out->append("# HELP ").append(family.name).append(" ").append(family.help).append("\n");
    out->append("# TYPE ").append(family.name).append(" gauge\n");
}

// Values are written as exact integers, however large: the format reads
// them as 64-bit floats, as it reads any number.
void sample(std::string *out, const Family &family, WideNumber value) {
    out->append(family.name).append(" ").append(number_text(value)).append("\n");
}

/* A label value: backslash, quote and line end escaped, bytes that are not
 * UTF-8 replaced by U+FFFD (the format is UTF-8). */
std::string label_value(const char *text) {
    std::string value;
    const auto *at = reinterpret_cast<const unsigned char *>(text);
    while (*at != '\0') {
        const size_t length = utf8_sequence_length(at);
        if (length == 0) {
            value.append("\xEF\xBF\xBD");
            ++at;
        } else if (*at == '\\' || *at == '"') {
            value.push_back('\\');
            value.push_back(static_cast<char>(*at++));
        } else if (*at == '\n') {
            value.append("\\n");
            ++at;
        } else {
            value.append(reinterpret_cast<const char *>(at), length);
            at += length;
        }
    }
    return value;
}

/* The whole exposition; false when something could not be read (the text
 * then says hxm2afp_up 0 alone). */
bool exposition(std::string *out) {
    NodePool<ConnectionRow> connectionPool;
    ConnectionRow *connections = nullptr;
    const char *what = "the connections";
    int status = read_connection_rows(&connectionPool, &connections);
    NodePool<VolumeRow> volumePool;
    VolumeRow *volumes = nullptr;
    if (status == AFPSTAT_OK)
        status = read_volume_rows(&volumePool, &volumes, &what);
    family(out, kUp);
    if (status != AFPSTAT_OK) {
        sample(out, kUp, 0);
        fail_reading(status, what);
        return false;
    }
    sample(out, kUp, 1);
    WideNumber count = 0, bytes = 0, requests = 0;
    for (const ConnectionRow *row = connections; row != nullptr; row = row->next) {
        ++count;
        bytes += row->bytes;
        requests += row->requests;
    }
    family(out, kConnections);
    sample(out, kConnections, count);
    family(out, kOpenFiles);
    for (const VolumeRow *volume = volumes; volume != nullptr; volume = volume->next) {
        out->append(kOpenFiles.name).append("{volume=\"").append(label_value(volume->name));
        out->append("\"} ").append(std::to_string(volume->openFiles)).append("\n");
    }
    family(out, kBytes);
    sample(out, kBytes, bytes);
    family(out, kRequests);
    sample(out, kRequests, requests);
    return true;
}

/* Writes `text` as DIR/hxm2afp.prom through a temporary file in DIR and a
 * rename, so a reader sees the old file or the new one, never a part. */
bool write_textfile(const std::string &directory, const std::string &text) {
    const std::string target = directory + "/" + kTextfileName;
    std::string temporary = directory + "/." + kTextfileName + ".XXXXXX";
    const int fd = mkstemp(&temporary[0]);
    if (fd < 0) {
        fail(kExitNotDone, "cannot write %s: %s", target.c_str(), strerror(errno));
        return false;
    }
    size_t written = 0;
    bool ok = true;
    while (ok && written < text.size()) {
        const ssize_t result = write(fd, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR)
            continue;
        ok = result > 0;
        if (ok)
            written += static_cast<size_t>(result);
    }
    ok = ok && fchmod(fd, 0644) == 0 && fsync(fd) == 0;
    const int saved = errno;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(temporary.c_str(), target.c_str()) != 0) {
        const int reason = ok ? errno : saved;
        unlink(temporary.c_str());
        fail(kExitNotDone, "cannot write %s: %s", target.c_str(), strerror(reason));
        return false;
    }
    return true;
}

} // namespace

int command_metrics(const Invocation &invocation) {
    std::string text;
    const bool read = exposition(&text);
    if (!invocation.textfile.empty()) {
        if (!write_textfile(invocation.textfile, text))
            return kExitNotDone;
    } else {
        fwrite(text.data(), 1, text.size(), stdout);
        if (fflush(stdout) != 0 || ferror(stdout))
            return fail(kExitNotDone, "cannot write the output");
    }
    return read ? kExitDone : kExitUnreadable;
}

} // namespace hxm2afp::cli
