#include "weak_registry.h"

#include <unordered_map>

namespace vorn {

namespace {

using Blocks = std::unordered_map<IRoot*, VnWeakBlock*>;

// Never destroyed: objects released by static destructors at exit still find it.
Blocks& TheBlocks() {
    static Blocks* blocks = new Blocks();
    return *blocks;
}

}  // namespace

VnWeakBlock* WeakRegistry::BlockOf(IRoot* identity) {
    VnWeakBlock*& block = TheBlocks()[identity];
    if (!block) block = new VnWeakBlock{identity, 1};  // the count the living object holds
    ++block->holders;
    return block;
}

void WeakRegistry::Clear(IRoot* identity) {
    Blocks& blocks = TheBlocks();
    if (blocks.empty()) return;
    auto found = blocks.find(identity);
    if (found == blocks.end()) return;
    VnWeakBlock* block = found->second;
    blocks.erase(found);
    block->identity = nullptr;
    if (--block->holders == 0) delete block;
}

}  // namespace vorn
