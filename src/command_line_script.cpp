// The command line's part that reads key scripts: the trace program and the
// explorer use it, the panel does not, so it is a unit apart and the panel
// links none of the scripts' reader.
#include <cstdio>
#include <cstdlib>

#include "command_line.h"
#include "key_script.h"

namespace panel {

void check_script_end(const char* program, const char* name, const ScriptReader& reader) {
    if (reader.read_error() != 0) {
        io_error(program, name, reader.read_error());
    }
    if (const auto& error = reader.error()) {
        (void)std::fprintf(stderr, "%s:%zu:%zu: %s\n", name, error->line, error->column,
                           error->message.c_str());
        std::exit(STATUS_USAGE);
    }
}

}  // namespace panel
