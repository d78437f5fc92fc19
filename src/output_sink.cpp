#include "output_sink.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace panel {

bool write_all(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written > 0) {
            bytes += written;
            size -= static_cast<std::size_t>(written);
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else {
            return false;  // lost: the panel goes on whatever standard output does
        }
    }
    return true;
}

void OutputSink::put_in_pieces(const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        put(bytes[i]);
    }
}

void OutputSink::put_long_decimal(std::int32_t value) {
    // The magnitude goes through 64 bits so that the most negative value
    // prints correctly too.
    char digits[11];
    std::size_t count = 0;
    std::int64_t magnitude = value;
    if (magnitude < 0) {
        put('-');
        magnitude = -magnitude;
    }
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    while (count > 0) {
        put(digits[--count]);
    }
}

void OutputSink::flush() {
    if (length_ == 0) {
        return;
    }
    if (handler_ != nullptr) {
        handler_(context_, buffer_, length_);
    } else {
        write_all(STDOUT_FILENO, buffer_, length_);
    }
    length_ = 0;
}

void OutputSink::set_handler(FlushHandler new_handler, void* new_context) {
    handler_ = new_handler;
    context_ = new_context;
}

namespace {
constinit thread_local OutputSink thread_output;
constinit thread_local OutputSink* bound_output = nullptr;
}  // namespace

OutputSink& panel_output() { return bound_output != nullptr ? *bound_output : thread_output; }

OutputBinding::OutputBinding(OutputSink& sink) : saved_(bound_output) { bound_output = &sink; }

OutputBinding::~OutputBinding() { bound_output = saved_; }

void discard_output(void* /*context*/, const char* /*bytes*/, std::size_t /*size*/) {}

}  // namespace panel
