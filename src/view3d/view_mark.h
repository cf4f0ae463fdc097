#pragma once

#include "vorn/iroot.h"

namespace view3d {

// Has the render device "kx:/dev" mark `object` in what it draws when it is a model, and mark
// nothing otherwise (also for null); false when there is no device.
bool MarkInView(IRoot* object);

}  // namespace view3d
