#include "command_line.h"

#include <string_view>

namespace panel {
namespace {

// The option's name as typed, without its value.
std::string long_name(std::string_view element) { return std::string(element.substr(0, element.find('='))); }

}  // namespace

std::string option_error(const int result, const option* const long_options, char* const* const argv) {
    // A refused argument or a missing one ends its element, so getopt_long
    // has stepped past it; an invalid letter in a cluster does not.
    const std::string_view element = optind > 0 ? argv[optind - 1] : "";
    const bool long_form = element.starts_with("--");
    if (result == ':') {
        if (long_form) {
            return "option '" + long_name(element) + "' requires an argument";
        }
        return std::string("option requires an argument -- '") + static_cast<char>(optopt) + "'";
    }
    if (optopt == 0) {
        return "unrecognized option '" + std::string(element) + "'";
    }
    for (const option* o = long_options; o->name != nullptr; ++o) {
        if (o->val == optopt && o->has_arg == no_argument && long_form) {
            return "option '" + long_name(element) + "' doesn't allow an argument";
        }
    }
    return std::string("invalid option -- '") + static_cast<char>(optopt) + "'";
}

}  // namespace panel
