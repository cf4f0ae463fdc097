#pragma once

#include <string>

#include "vorn/iroot.h"

namespace vorn {

// The object behind any of its interfaces, so that two pointers to one object compare equal.
// No reference is kept.
IRoot* Identity(IRoot* object);

// "module.Class.version" of the object's class, or "(unknown)".
std::string ClassOf(IRoot* object);

// An environment variable's text, empty when it is not set.
std::string EnvText(const char* name);

// The user's home folder: $HOME, else the account's entry.
std::string HomeDir();

}  // namespace vorn
