#pragma once

#include "base/memory.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

// Bytes on their way into a file: collected in a buffer that is written out whenever it fills, so that
// a large image never needs a second complete copy in memory. Failures raise TException("TSafeFile", errno).
class TFileWriter
{
public:
    static constexpr size_t DefaultBufferSize = size_t { 256 } * 1024;

    explicit TFileWriter(int fd, size_t bufferSize = DefaultBufferSize);
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;

    void write(const void* data, size_t size);
    void flush();
    uint64_t written() const noexcept { return m_written; }

private:
    int m_fd;
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    uint64_t m_written = 0;
};

// Writes a file so that a failure or a crash never leaves it half-written: `fill` streams the image into a
// temporary file in the target's folder, which is synced and renamed over the target, and the folder is
// synced. The temporary file has no name until it is complete (O_TMPFILE); where the file system cannot do
// that, it is "name.tmpXXXXXX" beside the target. A symbolic link is followed to its final target, which is
// what gets replaced, so the link stays. On any failure the temporary file is removed, the old file stays
// untouched and the exception (TException("TSafeFile", errno) for the file system's) is raised again.
// A new file gets `mode`; an existing one keeps its mode unless that is wider than `mode` allows.
void writeFileSafely(const std::string& path, const std::function<void(TFileWriter&)>& fill, mode_t mode = 0600);
void writeFileSafely(const std::string& path, const void* data, size_t size, mode_t mode = 0600);

// Removes the named temporary files that writes of `path` left behind when they were killed; returns how
// many. Only for a file no other process is writing: the settings file while its folder's lock is held.
size_t removeLeftoverTemporaries(const std::string& path);

// For tests: with false, every write takes the named temporary file, as on a file system without O_TMPFILE.
void setUnnamedTemporaryFilesAllowed(bool allowed);

// A file size limit (RLIMIT_FSIZE) then makes a write fail with EFBIG instead of killing the process.
// Called first by every program that writes files, and by writeFileSafely itself; a handler the program
// installed for SIGXFSZ is left alone.
void ignoreFileSizeSignal();

// Reads a whole file into memory with one read; raises TException on any failure.
TMemory readWholeFile(const std::string& path);
