#include "compare.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace panel::trace {

int CsvReader::get() {
    if (at_ == end_) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
            if (n >= 0) {
                at_ = 0;
                end_ = static_cast<std::size_t>(n);
                break;
            }
            if (errno != EINTR) {
                read_error_ = errno;
                return -1;
            }
        }
        if (end_ == 0) {
            return -1;
        }
    }
    return static_cast<unsigned char>(buffer_[at_++]);
}

bool CsvReader::next(std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    std::size_t length = 0;
    bool quoted = false;      // inside a quoted field
    bool was_quoted = false;  // the field's quotes are closed: only a comma or the line end may follow
    int c = get();
    if (c < 0) {
        return false;
    }
    ++line_;
    auto fail = [this](std::string message) {
        error_ = std::move(message);
        return false;
    };
    for (;; c = get()) {
        if (c < 0) {
            if (read_error_ != 0) {
                return false;
            }
            if (quoted) {
                return fail("the quote is not closed");
            }
            return true;  // the last line without its line end
        }
        if (++length > MAX_LINE) {
            return fail("a line longer than " + std::to_string(MAX_LINE) + " bytes");
        }
        if (quoted) {
            if (c != '"') {
                fields.back() += static_cast<char>(c);
                continue;
            }
            // A doubled quote stands for one; a single one closes the field.
            const int after = get();
            if (after == '"') {
                fields.back() += '"';
                continue;
            }
            quoted = false;
            was_quoted = true;
            if (after < 0) {
                return read_error_ == 0;
            }
            c = after;
        }
        if (c == '\r') {
            const int after = get();
            if (after == '\n' || after < 0) {
                return read_error_ == 0;
            }
            return fail("a carriage return inside a line");
        }
        if (c == '\n') {
            return true;
        }
        if (c == ',') {
            fields.emplace_back();
            was_quoted = false;
        } else if (was_quoted) {
            return fail("text after a quoted field");
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else {
            fields.back() += static_cast<char>(c);
        }
    }
}

std::optional<std::string> read_header(const std::vector<std::string>& header, std::vector<std::size_t>& columns) {
    columns.clear();
    for (const std::string& name : header) {
        const auto* const at = std::find_if(std::begin(CSV_FIELDS), std::end(CSV_FIELDS),
                                            [&name](Field f) { return field_name(f) == name; });
        if (at == std::end(CSV_FIELDS)) {
            std::string known;
            for (const Field f : CSV_FIELDS) {
                known += known.empty() ? "" : ", ";
                known += field_name(f);
            }
            std::string message = "unknown column '";
            message += name;
            message += "' (";
            message += known;
            message += ")";
            return message;
        }
        const auto column = static_cast<std::size_t>(at - std::begin(CSV_FIELDS));
        if (std::find(columns.begin(), columns.end(), column) != columns.end()) {
            return "column '" + name + "' named twice";
        }
        columns.push_back(column);
    }
    if (columns.empty() || columns[0] != 0) {
        return "the first column must be cycle";
    }
    return std::nullopt;
}

std::optional<std::string> check_lines(CsvReader& reader, std::size_t columns) {
    std::vector<std::string> fields;
    while (reader.next(fields)) {
        if (fields.size() != columns) {
            return std::to_string(reader.line()) + ": " + std::to_string(fields.size()) + " fields, expected " +
                   std::to_string(columns);
        }
    }
    if (reader.error()) {
        return std::to_string(reader.line()) + ": " + *reader.error();
    }
    return std::nullopt;
}

void Comparison::say(const std::string& text) {
    if (differences_++ == 0 || all_) {
        report_.put(text);
        report_.put('\n');
    }
}

void Comparison::cycle(const TraceRecord& ours) {
    ++ours_;
    if (theirs_ended_ || !theirs_.next(fields_)) {
        theirs_ended_ = true;
        return;
    }
    ++their_lines_;
    const std::string at = name_ + ":" + std::to_string(theirs_.line()) + ": cycle " + std::to_string(ours.cycle) + ": ";
    CsvCell cell;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const std::string_view expected = csv_value(CSV_FIELDS[columns_[i]], ours, cell);
        const std::string& got = fields_[i];
        if (got != expected) {
            say(at + std::string(field_name(CSV_FIELDS[columns_[i]])) + ": expected " + csv_field(expected) + ", got " +
                csv_field(got));
        }
    }
}

void Comparison::finish() {
    while (!theirs_ended_ && theirs_.next(fields_)) {
        ++their_lines_;
    }
    if (their_lines_ != ours_) {
        say(name_ + ": " + std::to_string(their_lines_) + " cycles, expected " + std::to_string(ours_));
    }
}

}  // namespace panel::trace
