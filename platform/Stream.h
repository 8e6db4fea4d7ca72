#pragma once

#include <cstdint>

namespace quill {

// Seek origins, as numbers so that callers may pass 0, 1 or 2.
enum TSeekOrigin : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// A sequence of bytes with a position. Positions and sizes are 64-bit.
class TStream {
  public:
    virtual ~TStream() = default;

    // Reads up to count bytes; answers how many were read (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; answers how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; answers the new position.
    virtual int64_t Seek(int64_t offset, int origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }
    virtual int64_t Size();
    virtual void SetSize(int64_t size);

    // Like Read and Write, but a short transfer raises EReadError / EWriteError.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);

  protected:
    // Raises the error of a short write: a stream that knows the cause names it.
    [[noreturn]] virtual void FailWrite();
};

}  // namespace quill
