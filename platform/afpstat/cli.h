/*
 * The `afpstat` command's pieces: argument reading, the commands, and the
 * generator of plausible users, addresses and paths shared by `demo` and
 * `simulate`.
 */
#ifndef HXM_PLATFORM_AFPSTAT_CLI_H
#define HXM_PLATFORM_AFPSTAT_CLI_H

#include "platform/afpstat/store_writer.h"

#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace afpstat::cli {

/* Bad command-line arguments: the command prints usage and exits 2. */
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/* Walks a command's arguments; accepts "--name value" and "--name=value". */
class Args {
  public:
    explicit Args(std::vector<std::string> args) : args_(std::move(args)) {}
    bool more() const { return index_ < args_.size(); }
    /* The next argument; for "--name=value" the name, with the value kept
     * for value(). */
    std::string next();
    /* The value of the option just read by next(). */
    std::string value(const std::string &option);
    /* Throws UsageError unless the option just read had no "=value". */
    void no_value(const std::string &option) const;

  private:
    std::vector<std::string> args_;
    size_t index_ = 0;
    bool has_inline_ = false;
    std::string inline_value_;
};

/* Decimal number 0..max; throws UsageError naming what when text is not one. */
uint64_t parse_unsigned(const std::string &text, uint64_t max, const char *what);

/* What every command gets: the store's path. */
struct Context {
    std::string storePath;
};

int command_init(const Context &context, Args &args);
int command_connect(const Context &context, Args &args);
int command_open(const Context &context, Args &args);
int command_volume(const Context &context, Args &args);
int command_list(const Context &context, Args &args);
int command_demo(const Context &context, Args &args);
int command_simulate(const Context &context, Args &args);

/* Deterministic random choices for a seed (mt19937_64's sequence is fixed
 * by the standard; the reduction below is ours, so it is fixed too). */
class Random {
  public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    /* Uniform-enough in [0, bound); bound > 0. */
    uint64_t below(uint64_t bound) { return engine_() % bound; }
    /* True with the given chance in percent. */
    bool chance(unsigned percent) { return below(100) < percent; }
    template <typename T, size_t N> const T &pick(const T (&items)[N]) { return items[below(N)]; }

  private:
    std::mt19937_64 engine_;
};

/* Plausible values for a simulated population. */
std::string make_user_name(Random &random);
std::string make_address(Random &random);
std::vector<std::string> make_equivalences(Random &random);
ConnectionRecord make_connection(Random &random, uint64_t now);
std::string make_volume_name(size_t index);
std::string make_path(Random &random, const std::string &volume, const std::string &user);

} // namespace afpstat::cli

#endif
