#pragma once

#include "store/memory.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

// Writes the whole image to a temporary file beside `path`, flushes and syncs it, renames it over `path`
// and syncs the folder. On any failure the temporary file is removed, the old file stays untouched,
// and TException("TSafeFile", errno) is raised. A new file gets `mode`; an existing one keeps its mode
// unless that is wider than `mode` allows.
void writeFileSafely(const std::string& path, const void* data, size_t size, mode_t mode = 0600);

// Reads a whole file into memory with one read; raises TException on any failure.
TMemory readWholeFile(const std::string& path);
