#pragma once

#include <Python.h>

#include <string>
#include <unordered_map>

#include "output_stream.h"
#include "tasklets.h"
#include "vorn/pyos.h"

namespace vorn {

// The runtime's interpreter: its start and end, the wrappers of runtime objects, script
// attributes kept per object, tasklets and the output streams.
class PythonSide final : public IPyOS {
public:
    // Starts the interpreter (Debian's CPython) with the module "vorn". False with a reason.
    bool Start(std::string* why);
    // Ends every tasklet, then the interpreter. Nothing Python runs afterwards.
    void Stop();
    bool Running() const { return mRunning; }

    PyObject* Wrap(IRoot* object, int flags = -1) override;
    PyObject* Split(IRoot* object, int flags) override;
    bool SetEventSink(IRoot* sink) override;
    VnTasklet CurrentTasklet() override;
    PyObject* BlockTasklet(VnTasklet tasklet) override;
    bool ResumeTasklet(VnTasklet tasklet, PyObject* value) override;
    IRoot* Unwrap(PyObject* object) override;
    PyTypeObject* WrapperType() override;
    void ReportError(int flags) override;

    Tasklets& Tasks() { return mTasklets; }

    // Keeps sys.path in step with the resource directory's "scripts/" folder.
    void ResourceDirChanged(const std::string& resourceDir);

    // Wrappers and script attributes of live objects, by identity.
    void Forget(PyObject* wrapper, IRoot* identity);
    PyObject* AttributesOf(IRoot* identity, bool create);
    void ObjectDestroyed(IRoot* identity);
    // Lets go of the object's script attributes (the cycle collector breaks cycles this way).
    void DropAttributes(IRoot* identity);
    size_t WrapperCount() const { return mWrappers.size(); }

private:
    bool mRunning = false;
    Tasklets mTasklets;
    OutputStreams mStreams;
    std::string mScriptsPath;
    std::unordered_map<IRoot*, PyObject*> mWrappers;    // borrowed; a wrapper forgets itself
    std::unordered_map<IRoot*, PyObject*> mAttributes;  // one reference each
};

PythonSide& ThePythonSide();

}  // namespace vorn
