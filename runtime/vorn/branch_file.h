#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "vorn/iroot.h"

namespace vorn {

// ".vorn" files: an object and everything it embeds or references, as JSON
//   {"format": "vorn-branch", "version": 1, "root": 0, "objects": [ ... ]}
// Each object appears once, by index, so shared objects and cycles survive a round trip.
// Objects registered in the running object table (other than the root) are stored by moniker.

// The largest branch file that is read: far above any real scene, well below the memory of
// a machine that runs one.
constexpr std::size_t kBranchFileLimit = std::size_t{256} << 20;

// Serialises the graph below `root`. False with a reason when an object cannot be stored.
bool WriteBranch(IRoot* root, std::string* json, std::string* why);

// Rebuilds a graph from file text. Returns the root with one reference, or null with a reason.
// Nothing is written anywhere; bad text never crashes.
IRoot* LoadBranch(std::string_view json, std::string* why);

}  // namespace vorn
