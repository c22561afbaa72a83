/*
 * Reading the `afpstat` command's arguments.
 */
#include "platform/afpstat/cli.h"

#include <cerrno>
#include <cstdlib>

namespace afpstat::cli {

std::string Args::next() {
    std::string arg = args_[index_++];
    has_inline_ = false;
    size_t equals = arg.find('=');
    if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        has_inline_ = true;
        inline_value_ = arg.substr(equals + 1);
        arg.resize(equals);
    }
    return arg;
}

std::string Args::value(const std::string &option) {
    if (has_inline_) {
        has_inline_ = false;
        return inline_value_;
    }
    if (!more()) {
        throw UsageError(option + " needs a value");
    }
    return args_[index_++];
}

void Args::no_value(const std::string &option) const {
    if (has_inline_) {
        throw UsageError(option + " takes no value");
    }
}

uint64_t parse_unsigned(const std::string &text, uint64_t max, const char *what) {
    bool digits = !text.empty() && text.size() <= 20 &&
                  text.find_first_not_of("0123456789") == std::string::npos;
    errno = 0;
    unsigned long long value = digits ? strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || errno == ERANGE || value > max) {
        throw UsageError(std::string(what) + " must be a number from 0 to " + std::to_string(max) +
                         ", not \"" + text + "\"");
    }
    return value;
}

} // namespace afpstat::cli
