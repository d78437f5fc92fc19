#include "screen.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

namespace panel::trace {
namespace {

constexpr char ESC = '\x1b';
constexpr char BEL = '\a';

// Bytes of the UTF-8 character a lead byte starts; 1 for anything else.
std::size_t utf8_length(unsigned char lead) {
    if ((lead & 0xE0U) == 0xC0U) {
        return 2;
    }
    if ((lead & 0xF0U) == 0xE0U) {
        return 3;
    }
    if ((lead & 0xF8U) == 0xF0U) {
        return 4;
    }
    return 1;
}

std::uint32_t code_point(const char* bytes, std::size_t size) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    std::uint32_t value = size == 1 ? lead : lead & (0x7FU >> size);
    for (std::size_t i = 1; i < size; ++i) {
        value = (value << 6) | (static_cast<unsigned char>(bytes[i]) & 0x3FU);
    }
    return value;
}

// Terminals draw Hangul, the CJK blocks and the full-width forms two columns wide.
constexpr std::pair<std::uint32_t, std::uint32_t> WIDE[] = {{0x1100, 0x115F}, {0x2E80, 0xA4CF},
                                                            {0xAC00, 0xD7A3}, {0xF900, 0xFAFF},
                                                            {0xFF00, 0xFF60}, {0xFFE0, 0xFFE6}};

int columns_of(std::uint32_t cp) {
    if (cp < WIDE[0].first) {
        return 1;  // ASCII and the rest of the narrow start
    }
    const bool wide = std::any_of(std::begin(WIDE), std::end(WIDE), [cp](const auto& range) {
        return cp >= range.first && cp <= range.second;
    });
    return wide ? 2 : 1;
}

}  // namespace

void Screen::feed(const std::string_view bytes) {
    for (const char byte : bytes) {
        const auto u = static_cast<unsigned char>(byte);
        if (mode_ == Mode::ESCAPE) {
            mode_ = byte == '[' ? Mode::CSI : Mode::TEXT;
            params_.fill(0);
            param_count_ = 1;
        } else if (mode_ == Mode::CSI) {
            if (byte >= '0' && byte <= '9') {
                std::int32_t& p = params_[param_count_ - 1];
                p = std::min(p, 9999) * 10 + (byte - '0');
            } else if (byte == ';') {
                // Past the last slot, each further parameter replaces the last one.
                param_count_ = std::min(param_count_ + 1, params_.size());
                params_[param_count_ - 1] = 0;
            } else {
                mode_ = Mode::TEXT;
                control_sequence(byte);
            }
        } else if (pending_need_ > 0 && (u & 0xC0U) == 0x80U) {
            pending_[pending_size_++] = byte;
            if (pending_size_ == pending_need_) {
                put_character();
            }
        } else {
            pending_need_ = 0;  // a character cut short is dropped
            if (byte == ESC) {
                mode_ = Mode::ESCAPE;
            } else if (byte == BEL) {
                ++bells_;
            } else if (u >= 0x20 && u != 0x7F) {
                std::memset(pending_, 0, sizeof pending_);  // unused bytes stay 0, so cells compare whole
                pending_[0] = byte;
                pending_size_ = 1;
                pending_need_ = utf8_length(u);
                if (pending_need_ == 1) {
                    put_character();
                }
            }
        }
    }
}

void Screen::control_sequence(const char final_byte) {
    if (final_byte == 'f' || final_byte == 'H') {
        // Rows and columns count from 1; 0 or nothing means 1.
        row_ = std::clamp(params_[0], 1, ROWS) - 1;
        column_ = std::clamp(params_[1], 1, COLUMNS) - 1;
    } else if (final_byte == 'm') {
        for (std::size_t i = 0; i < param_count_; ++i) {
            color_ = params_[i];
        }
    }
}

// Blanks the whole character that covers (row, column).
void Screen::clear(int row, int column) {
    auto& line = cells_[static_cast<std::size_t>(row)];
    auto at = static_cast<std::size_t>(column);
    if (line[at].width == 0) {
        --at;  // the right half: the character starts one column earlier
    }
    const std::size_t end = at + line[at].width;
    for (std::size_t c = at; c < end; ++c) {
        line[c] = Cell{};
    }
}

void Screen::put_character() {
    const std::size_t size = pending_need_;
    pending_need_ = 0;
    const int width = columns_of(code_point(pending_, size));
    if (column_ + width > COLUMNS) {
        return;  // no room left on the row: the panel never gets here
    }
    auto& line = cells_[static_cast<std::size_t>(row_)];
    const auto at = static_cast<std::size_t>(column_);
    column_ += width;
    Cell& cell = line[at];
    // The panel redraws the same characters every cycle, often in another
    // colour: then only the colour changes, and the row's text stays.
    // (A wide character's right half is always blanked together with it.)
    const bool same =
        cell.size == size && cell.width == width && std::memcmp(pending_, cell.bytes, sizeof pending_) == 0;
    if (!same) {
        for (int c = column_ - width; c < column_; ++c) {
            clear(row_, c);
        }
        std::memcpy(cell.bytes, pending_, sizeof pending_);
        cell.size = static_cast<std::uint8_t>(size);
        cell.width = static_cast<std::uint8_t>(width);
        if (width == 2) {
            line[at + 1] = Cell{{}, 0, 0};  // the right half: no text, and no colour anyone reads
        }
        changed_[static_cast<std::size_t>(row_)] = true;
    }
    cell.color = color_;
}

std::string_view Screen::text(const int row) {
    const auto r = static_cast<std::size_t>(row - 1);
    std::string& text = texts_[r];
    if (changed_[r] || text.empty()) {
        changed_[r] = false;
        text.clear();
        for (const Cell& cell : cells_[r]) {
            text.append(cell.bytes, cell.size);
        }
        const std::size_t first = text.find_first_not_of(' ');
        text = first == std::string::npos ? std::string()
                                          : text.substr(first, text.find_last_not_of(' ') + 1 - first);
        text.push_back(' ');  // never empty once made; left out below
    }
    return std::string_view(text).substr(0, text.size() - 1);
}

std::int32_t Screen::color(const int row) const {
    const auto& line = cells_[static_cast<std::size_t>(row - 1)];
    const auto* shown = std::find_if(line.begin(), line.end(), [](const Cell& cell) {
        return cell.width != 0 && !(cell.size == 1 && cell.bytes[0] == ' ');
    });
    return shown == line.end() ? 0 : shown->color;
}

}  // namespace panel::trace
