// What the command-line programs share: GNU's wording for an option that
// getopt_long refused.
#pragma once

#include <getopt.h>

#include <string>

namespace panel {

// The message for getopt_long's '?' or ':' (with ':' leading the option
// string): long_index is what getopt_long stored (set it to -1 before each
// call), so a long option is named in full and a short one from optopt, also
// inside a cluster of short options.
std::string option_error(int result, int long_index, const option* long_options, char* const* argv);

}  // namespace panel
