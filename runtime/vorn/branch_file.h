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
// Python values (members of type 11, script attributes) that JSON holds exactly are stored as
// JSON, attributes under "attributes"; a file with any is version 2, one without stays 1.

// The largest branch file that is read: far above any real scene, well below the memory of
// a machine that runs one.
constexpr std::size_t kBranchFileLimit = std::size_t{256} << 20;

// Serialises the graph below `root`. False with a reason when an object cannot be stored.
// Python values that JSON cannot hold are left out; `leftOut` (optional) then names each one's
// member and type, one per line, and the rest is written.
bool WriteBranch(IRoot* root, std::string* json, std::string* why, std::string* leftOut = nullptr);

// Rebuilds a graph from file text. Returns the root with one reference, or null with a reason.
// Nothing is written anywhere; bad text never crashes.
IRoot* LoadBranch(std::string_view json, std::string* why);

}  // namespace vorn
