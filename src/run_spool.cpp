#include "run_spool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "output_sink.h"

namespace panel {

RunSpool::~RunSpool() {
    if (file_ >= 0) {
        ::close(file_);
    }
}

bool RunSpool::add(const ScriptStep run) {
    cycles_ += run.key == CHECK ? 0 : run.count;  // a check's count is its index
    runs_.push_back(run);
    if (runs_.size() < WINDOW) {
        return true;
    }
    if (file_ < 0) {
        // Unlinked from the start: it goes when the program does.
        const char* dir = std::getenv("TMPDIR");
        file_ = ::open(dir != nullptr && *dir != '\0' ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC,
                       S_IRUSR | S_IWUSR);
        if (file_ < 0) {
            return false;
        }
    }
    if (!write_all(file_, reinterpret_cast<const char*>(runs_.data()), runs_.size() * sizeof(ScriptStep))) {
        return false;
    }
    spilled_ += runs_.size();
    runs_.clear();
    return true;
}

bool RunSpool::load(const std::uint64_t first, std::vector<ScriptStep>& block) const {
    block.resize(static_cast<std::size_t>(std::min<std::uint64_t>(WINDOW, spilled_ - first)));
    const std::size_t size = block.size() * sizeof(ScriptStep);
    auto* bytes = reinterpret_cast<char*>(block.data());
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = ::pread(file_, bytes + done, size - done,
                                  static_cast<off_t>(first * sizeof(ScriptStep) + done));
        if (n == 0) {
            errno = EIO;
        }
        if (n <= 0 && !(n < 0 && errno == EINTR)) {
            return false;
        }
        done += n > 0 ? static_cast<std::size_t>(n) : 0;
    }
    return true;
}

}  // namespace panel
