// The panel's one output stream: a small fixed buffer in front of standard
// output. Bytes are held until flush(), which hands them on in one piece; the
// drawing flushes only right after a cursor-positioning sequence, so the flush
// points are part of what the panel does. Tests install a handler that records
// each flushed batch instead of writing to a descriptor.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace panel {

// Receives one flushed batch. It must not keep the pointer.
using FlushHandler = void (*)(void* context, const char* bytes, std::size_t size);

class OutputSink {
public:
    // A cycle writes well under a hundred bytes between two flushes.
    static constexpr std::size_t CAPACITY = 128;

    // Inline: the drawing puts a few dozen bytes a cycle.
    void put(char byte) {
        if (length_ == CAPACITY) {
            flush();
        }
        buffer_[length_++] = byte;
    }
    void put(const char* bytes, std::size_t size) {
        if (size <= CAPACITY - length_) {  // the usual case: it fits as it is
            std::memcpy(buffer_ + length_, bytes, size);
            length_ += size;
            return;
        }
        put_in_pieces(bytes, size);
    }
    // Plain decimal, no padding.
    void put_decimal(std::int32_t value) {
        if (value >= 0 && value < 100) {  // rows, columns and colour codes
            if (value >= 10) {
                put(static_cast<char>('0' + value / 10));
            }
            put(static_cast<char>('0' + value % 10));
            return;
        }
        put_long_decimal(value);
    }
    void flush();
    // Forgets the bytes held back, unsent.
    void drop() { length_ = 0; }

    // Route flushed batches to handler (or back to standard output with nullptr).
    void set_handler(FlushHandler new_handler, void* new_context);

    [[nodiscard]] std::size_t pending() const { return length_; }
    [[nodiscard]] FlushHandler handler() const { return handler_; }
    [[nodiscard]] void* context() const { return context_; }

private:
    void put_in_pieces(const char* bytes, std::size_t size);
    void put_long_decimal(std::int32_t value);

    char buffer_[CAPACITY] = {};
    std::size_t length_ = 0;
    FlushHandler handler_ = nullptr;
    void* context_ = nullptr;
};

// The sink the drawing and the beeper write through: that of the panel whose
// cycle runs on this thread (each panel owns one, so two panels never share
// a buffer or a handler, whatever order they are made and ended in), and
// outside a cycle the thread's own.
OutputSink& panel_output();

// While alive, panel_output() on this thread is sink; the one before comes
// back at the end. A cycle binds its panel's sink so.
class OutputBinding {
public:
    explicit OutputBinding(OutputSink& sink);
    ~OutputBinding();
    OutputBinding(const OutputBinding&) = delete;
    OutputBinding& operator=(const OutputBinding&) = delete;

private:
    OutputSink* saved_;
};

// A handler that drops every batch.
void discard_output(void* context, const char* bytes, std::size_t size);

// Writes all of bytes to fd, retrying after signals; a failing descriptor
// (closed, a pipe without a reader) loses the rest: false then, with errno
// telling why. The panel ignores the result; the trace program reports it.
bool write_all(int fd, const char* bytes, std::size_t size);

}  // namespace panel
