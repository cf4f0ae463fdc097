#pragma once

#include <cstddef>

#include "vorn/export.h"
#include "vorn/iroot.h"

// Branch file text in memory: what `Branch` writes to a file and reads back, without a file or
// a registration.

// The graph below `root` as branch file text, an `Alloc`ed copy the caller gives back with
// `Free`; `size` receives its length. Python values that a branch file cannot hold are left
// out. Null with the pending error when an object cannot be stored.
VORN_API char* VnBranchText(IRoot* root, std::size_t* size);

// The graph rebuilt from branch file text (any format version): its root with one reference,
// or null with the pending error.
VORN_API IRoot* VnLoadBranchText(const char* text, std::size_t size);
