// What the command-line programs share: GNU's wording for an option that
// getopt_long refused.
#pragma once

#include <getopt.h>

#include <string>

namespace panel {

// The message for getopt_long's '?' or ':' (with ':' leading the option
// string), naming a long option in full and a short one from optopt, also
// inside a cluster of short options. Long options without a short form must
// have codes above 255, so that optopt never mistakes one for the other.
std::string option_error(int result, const option* long_options, char* const* argv);

}  // namespace panel
