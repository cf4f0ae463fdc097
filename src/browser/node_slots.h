#pragma once

#include "browser/browser_node.h"
#include "vorn/iroot.h"
#include "vorn/ref.h"

// What the browser's actions ask of a node: the slot a pointer member lives in, the object
// that stores a member, and the list an object is.
namespace browser {

// The slot of an object pointer member (the model's own root slot for the root node).
inline IRoot** PointerSlot(const TBrowserNode* node) {
    if (!node || !node->HasData() || node->value.desc->type != kVnObjectRef) return nullptr;
    return static_cast<IRoot**>(node->value.value);
}

// The object whose storage holds a member node's value; null for the root's own slot.
inline IRoot* StorageOwner(const TBrowserNode* node) {
    return node && node->kind == TBrowserNode::Kind::Member ? node->keep.get() : nullptr;
}

inline VnRef<IList> ListOf(IRoot* object) {
    return object ? VnQuery<IList>(object, 1) : VnRef<IList>();
}

}  // namespace browser
