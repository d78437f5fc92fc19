// What a terminal shows after the bytes the panel flushed to it: a grid of
// cells, each holding one UTF-8 character and the colour it was written in.
// It understands what the panel writes (cursor positioning ESC[r;cf or
// ESC[r;cH, colour ESC[nm, BEL and UTF-8 text, Korean syllables two columns
// wide) and ignores every other control byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace panel::trace {

class Screen {
public:
    static constexpr int ROWS = 24;
    static constexpr int COLUMNS = 80;

    void feed(std::string_view bytes);

    // Row's text (from 1) without its leading and trailing blanks; valid until
    // the next feed.
    std::string_view text(int row);
    // The colour code of row's first character that is not a blank, 0 if none.
    [[nodiscard]] std::int32_t color(int row) const;
    // BEL bytes received so far.
    [[nodiscard]] std::uint64_t bells() const { return bells_; }

private:
    struct Cell {
        char bytes[4] = {' '};
        std::uint8_t size = 1;
        std::uint8_t width = 1;  // 0: the right half of a wide character
        std::int32_t color = 0;
    };

    void control_sequence(char final_byte);
    void put_character();
    void clear(int row, int column);

    std::array<std::array<Cell, COLUMNS>, ROWS> cells_{};
    int row_ = 0;  // cursor, from 0
    int column_ = 0;
    std::int32_t color_ = 0;
    std::uint64_t bells_ = 0;

    enum class Mode : std::uint8_t { TEXT, ESCAPE, CSI } mode_ = Mode::TEXT;
    std::array<std::int32_t, 4> params_{};
    std::size_t param_count_ = 0;
    char pending_[4] = {};  // a UTF-8 character being received
    std::size_t pending_size_ = 0;
    std::size_t pending_need_ = 0;
    // Each row's text, made again only after a write changed the row.
    std::array<std::string, ROWS> texts_{};
    std::array<bool, ROWS> changed_{};
};

}  // namespace panel::trace
