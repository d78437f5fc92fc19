#include "command_line.h"

namespace panel {

std::string option_error(const int result, const int long_index, const option* const long_options,
                         char* const* const argv) {
    if (result == ':') {
        if (long_index >= 0) {
            return std::string("option '--") + long_options[long_index].name + "' requires an argument";
        }
        return std::string("option requires an argument -- '") + static_cast<char>(optopt) + "'";
    }
    if (optopt != 0) {
        return std::string("invalid option -- '") + static_cast<char>(optopt) + "'";
    }
    // An unknown long option: getopt_long has stepped past it.
    return std::string("unrecognized option '") + argv[optind - 1] + "'";
}

}  // namespace panel
