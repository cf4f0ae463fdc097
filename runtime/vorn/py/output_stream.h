#pragma once

#include <Python.h>

#include "vorn/pyos.h"

namespace vorn {

// Text streams that stand in for sys.stdout and sys.stderr while an event sink is set: each
// write goes to the sink's Output in the order it was made.
class OutputStreams {
public:
    bool Init();
    // Installs streams that write to `sink` (one reference is kept), or restores the
    // interpreter's own streams when `sink` is null.
    bool SetSink(IRoot* sink);
    void Clear();

private:
    IRoot* mSink = nullptr;
    PyObject* mSavedOut = nullptr;
    PyObject* mSavedErr = nullptr;
};

}  // namespace vorn
