#pragma once

#include <initializer_list>

#include "vorn/py_ref.h"

class IRoot;

// The object of the Python module "navigation" that receives the 3D window's input: what
// `navigation.Navigation(device)` made, or none.
class TNavigation {
public:
    // Imports "navigation" (reloading it when asked) and makes the object for the device. A
    // failed import or reload is printed and answers false; a failed call leaves no object
    // without a word.
    bool Make(IRoot* device, bool reload);
    // Calls the object's Destroy() and lets go of it; an error is printed.
    void Destroy();
    // Calls a method with plain integers; the result is dropped, an error printed.
    void Call(const char* method, std::initializer_list<int> args);
    explicit operator bool() const { return static_cast<bool>(mObject); }

private:
    PyRef mObject;
};
