// Holding a script's runs between reading and using them, in bounded memory.
#pragma once

#include <cstdint>
#include <vector>

#include "key_script.h"

namespace panel {

// The runs of a script held for a second pass: in memory up to a bound and
// past it in an unlinked temporary file, so that a script of any length costs
// bounded memory and can be checked whole before anything is written.
class RunSpool {
public:
    RunSpool() = default;
    ~RunSpool();
    RunSpool(const RunSpool&) = delete;
    RunSpool& operator=(const RunSpool&) = delete;

    // False, with errno saying why, when the temporary file cannot be made
    // or written.
    [[nodiscard]] bool add(ScriptStep run);
    // The cycles of the runs of keys held (checks may run more).
    [[nodiscard]] std::uint64_t cycles() const { return cycles_; }
    [[nodiscard]] bool empty() const { return spilled_ == 0 && runs_.empty(); }

    // Calls each(run) for every run in order, until it returns false. False,
    // with errno saying why, when the temporary file cannot be read back.
    template <typename Each>
    [[nodiscard]] bool replay(Each each) {
        std::vector<ScriptStep> block;
        for (std::uint64_t at = 0; at < spilled_; at += WINDOW) {
            if (!load(at, block)) {
                return false;
            }
            for (const ScriptStep& run : block) {
                if (!each(run)) {
                    return true;
                }
            }
        }
        for (const ScriptStep& run : runs_) {
            if (!each(run)) {
                return true;
            }
        }
        return true;
    }

private:
    static constexpr std::size_t WINDOW = std::size_t{1} << 15;  // runs, 512 KiB
    bool load(std::uint64_t first, std::vector<ScriptStep>& block) const;

    std::vector<ScriptStep> runs_;  // those not in the file
    int file_ = -1;
    std::uint64_t spilled_ = 0;  // runs in the file
    std::uint64_t cycles_ = 0;
};

}  // namespace panel
