#pragma once

#include "vorn/weak.h"

namespace vorn {

// The weak reference blocks of the objects that have any, keyed by identity. An entry goes as
// its object's last reference goes, so a later object at the same address starts afresh.
class WeakRegistry {
public:
    // The object's block, made on first use, with one more holder counted for the caller.
    static VnWeakBlock* BlockOf(IRoot* identity);
    // Clears the object's block, if it has one, so its weak references answer nothing.
    static void Clear(IRoot* identity);
};

}  // namespace vorn
