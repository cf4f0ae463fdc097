#pragma once

#include "vorn/iroot.h"

namespace vorn {

// Destroys objects whose last reference went without nesting one destruction in another: an
// object released while another one is being destroyed on the same thread waits in a queue
// that the outermost destruction empties, one object after the other. So chains of any length
// (a list in a list in a list..., models holding the next through a Python member) are freed
// in constant stack, and each destructor still runs while its own members are intact.
class Trashcan {
public:
    static void Destroy(IRoot* object, void (*destroy)(IRoot*));
};

}  // namespace vorn
