#pragma once

#include <string>

#include "vorn/ranges.h"

namespace vorn {

// VnCheckMemberValue with the reason as a string ("shininess takes 1 to 256, not 1000").
bool CheckMemberValue(const VnMemberDescriptor* member, const void* value, std::string* why);

}  // namespace vorn
