#pragma once

// Python's headers for code that also uses Qt: Qt's "slots" keyword is a member name in them,
// so it is hidden while they are read and any include order works.
#pragma push_macro("slots")
#undef slots
#include <Python.h>
#pragma pop_macro("slots")
