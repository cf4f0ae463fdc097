#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace vorn {

// Judges a flushed temporary file before it replaces the old one: false with a reason keeps
// the old file.
using TemporaryCheck = std::function<bool(const std::string& temporary, std::string* why)>;

// Replaces the file at `path` with `data` so that a reader sees either the old file or the
// whole new one, never a part: write a temporary file beside it, flush it to disk, let `check`
// (when given) judge it, rename it over the old one, then flush the directory. Missing parent
// directories are created. What is not a regular file, or a read-only file, is never replaced.
bool WriteFileAtomically(const std::string& path, const std::string& data, std::string* why,
                         const TemporaryCheck& check = nullptr);

// Removes the temporary files ("PATH.tmp-PID-N") that writers of `path` left when they died.
void RemoveStaleTemporaries(const std::string& path);

// Reads a regular file of at most `limit` bytes. Folders, pipes, devices and sockets are refused
// without being read or waited for; false with a reason ("Cannot read PATH: ...") when it cannot.
bool ReadRegularFile(const std::string& path, std::size_t limit, std::string* out,
                     std::string* why);

}  // namespace vorn
