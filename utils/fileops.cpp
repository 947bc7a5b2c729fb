// SPDX-FileCopyrightText: 2026 The libTrelvo developers
// SPDX-License-Identifier: MIT

#include "utils/fileops.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace InternalUtils {
namespace {

// The errno of a call that reported failure. A failure that left errno at 0
// must not read as success, so it becomes EIO.
int _failure() { return errno != 0 ? errno : EIO; }

bool _IsReadOnly(const char* mode) { return mode[0] == 'r' && strchr(mode, '+') == nullptr; }

// fopen would wait in open for a FIFO's writer, forever if none comes. Opened
// without waiting and then switched back to blocking, the stream reads what
// any writer sends; with no writer at all it is at its end at once.
FILE* _OpenForReading(const char* path, const char* mode) {
    const int flags = O_RDONLY | O_NONBLOCK | (strchr(mode, 'e') != nullptr ? O_CLOEXEC : 0);
    const int fd = open(path, flags);
    if (fd < 0) return nullptr;
    FILE* opened = nullptr;
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0) opened = fdopen(fd, mode);
    if (opened == nullptr) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return opened;
}

}  // namespace

int openfile(FILE** stream, const char* path, const char* mode) {
    if (stream == nullptr || path == nullptr || mode == nullptr) return EINVAL;
    *stream = nullptr;
    errno = 0;
    FILE* opened = _IsReadOnly(mode) ? _OpenForReading(path, mode) : fopen(path, mode);
    if (opened == nullptr) return _failure();
    *stream = opened;
    return 0;
}

int openfile_unbuffered(FILE** stream, const char* path, const char* mode) {
    const int status = openfile(stream, path, mode);
    if (status != 0) return status;
    const int buffering = setvbuf(*stream, nullptr, _IONBF, 0);
    if (buffering != 0) {
        fclose(*stream);
        *stream = nullptr;
    }
    return buffering;
}

int closefile(FILE* stream) {
    if (stream == nullptr) return EINVAL;
    return fclose(stream);
}

int getfilesize(FILE* stream, long* size) {
    if (stream == nullptr || size == nullptr) return EINVAL;
    fpos_t saved;
    const int saving = fgetpos(stream, &saved);
    if (saving != 0) return saving;
    const int seeking = fseek(stream, 0, SEEK_END);
    if (seeking == 0) *size = ftell(stream);
    fsetpos(stream, &saved);
    return seeking;
}

int writefile(const void* buffer, size_t size, size_t count, FILE* stream) {
    if (buffer == nullptr || stream == nullptr) return EINVAL;
    errno = 0;
    if (fwrite(buffer, size, count, stream) == count || size == 0) return 0;
    return _failure();
}

int readfile(void* buffer, size_t size, size_t count, FILE* stream) {
    if (buffer == nullptr || stream == nullptr) return EINVAL;
    errno = 0;
    if (fread(buffer, size, count, stream) == count || size == 0 || feof(stream)) return 0;
    return _failure();
}

int readline(char* buffer, size_t capacity, FILE* stream) {
    if (buffer == nullptr || stream == nullptr || capacity == 0) return EINVAL;
    buffer[0] = '\0';
    const int limit = capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
    errno = 0;
    if (fgets(buffer, limit, stream) != nullptr) return 0;
    if (ferror(stream)) return _failure();
    return -1;
}

int flushfile(FILE* stream) {
    if (stream == nullptr) return EINVAL;
    return fflush(stream);
}

}  // namespace InternalUtils
