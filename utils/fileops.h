// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

// Stream functions over the system library's FILE*. Each returns an errno-style
// status: 0 on success, EINVAL when a required pointer is null (nothing
// else is done then), otherwise the errno of the failed call or, where said,
// that call's own non-zero result.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>

namespace InternalUtils {

// fopen(path, mode) into *stream. *stream is null unless 0 is returned. The
// caller closes the stream with closefile. A read-only mode ("r" without "+")
// never waits for a FIFO's writer: a FIFO that has none, not even one waiting
// to open it, reads as an empty file; one with a writer reads as a stream.
int openfile(FILE** stream, const char* path, const char* mode);

// openfile, then unbuffered. Returns setvbuf's own result if that fails (the
// stream is then closed again and *stream is null).
int openfile_unbuffered(FILE** stream, const char* path, const char* mode);

// Closes the stream: 0, or fclose's -1 with errno set.
int closefile(FILE* stream);

struct FileCloser {
    void operator()(FILE* stream) const { closefile(stream); }
};
// An open stream that closefile closes when it goes.
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// Stores the byte length of the stream's file in *size. The position is the
// same afterwards. Returns fgetpos's result if that fails (*size untouched),
// otherwise the result of seeking to the end (0 or -1).
int getfilesize(FILE* stream, long* size);

// Writes count items of size bytes; 0 when all were written.
int writefile(const void* buffer, size_t size, size_t count, FILE* stream);

// Reads count items of size bytes; 0 when all were read or the end of file
// came first.
// How many were read is not reported.
int readfile(void* buffer, size_t size, size_t count, FILE* stream);

// fgets of at most capacity - 1 bytes, up to and including a newline; the
// buffer is always NUL-terminated. 0 when anything was read, -1 at end of file
// (buffer then empty), errno on a read error. EINVAL for a capacity of 0.
int readline(char* buffer, size_t capacity, FILE* stream);

// Hands what the stream buffers to the system: 0, or fflush's -1 with errno
// set.
int flushfile(FILE* stream);

}  // namespace InternalUtils
