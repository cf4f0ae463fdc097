#pragma once

#include <cstddef>
#include <string>

namespace vorn {

// Replaces the file at `path` with `data` so that a reader sees either the old file or the
// whole new one, never a part: write a temporary file beside it, flush it to disk, rename it
// over the old one, then flush the directory. Missing parent directories are created.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* why);

// Reads a whole file; false with a reason when it cannot.
bool ReadWholeFile(const std::string& path, std::string* data, std::string* why);

// Reads a regular file of at most `limit` bytes. Folders, pipes, devices and sockets are refused
// without being read or waited for; false with a reason ("Cannot read PATH: ...") when it cannot.
bool ReadRegularFile(const std::string& path, std::size_t limit, std::string* out,
                     std::string* why);

}  // namespace vorn
