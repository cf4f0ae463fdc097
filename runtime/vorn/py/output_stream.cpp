#include "output_stream.h"

#include <structmember.h>

#include <cstring>
#include <string>

#include "vorn/py_ref.h"
#include "vorn/ref.h"

namespace vorn {

namespace {

constexpr char kNulSymbol[] = "\xE2\x90\x80";  // U+2400, the symbol for null, in UTF-8

struct StreamObject {
    PyObject_HEAD int error;
    IPythonEvents* sink;  // one reference: a stream kept by a script stays usable
};

PyObject* StreamWrite(PyObject* self, PyObject* arg) {
    auto* s = reinterpret_cast<StreamObject*>(self);
    if (!PyUnicode_Check(arg)) {
        return PyErr_Format(PyExc_TypeError, "write() argument must be str, not %s",
                            Py_TYPE(arg)->tp_name);
    }
    Py_ssize_t length = 0;
    const char* text = PyUnicode_AsUTF8AndSize(arg, &length);
    if (!text) return nullptr;
    if (s->sink && length > 0) {
        const auto size = static_cast<size_t>(length);
        if (std::memchr(text, 0, size)) {
            // the sink takes C strings: each NUL goes as U+2400, so the text after it is kept
            std::string shown;
            shown.reserve(size + 8);
            for (size_t i = 0; i < size; ++i) {
                if (text[i])
                    shown += text[i];
                else
                    shown += kNulSymbol;
            }
            s->sink->Output(s->error, shown.c_str());
        } else {
            s->sink->Output(s->error, text);
        }
    }
    return PyLong_FromSsize_t(PyUnicode_GetLength(arg));
}

PyObject* StreamWriteLines(PyObject* self, PyObject* lines) {
    PyRef it = PyRef::Steal(PyObject_GetIter(lines));
    if (!it) return nullptr;
    while (PyRef line = PyRef::Steal(PyIter_Next(it.get()))) {
        PyRef r = PyRef::Steal(StreamWrite(self, line.get()));
        if (!r) return nullptr;
    }
    if (PyErr_Occurred()) return nullptr;
    Py_RETURN_NONE;
}

PyObject* StreamNone(PyObject*, PyObject*) { Py_RETURN_NONE; }
PyObject* StreamFalse(PyObject*, PyObject*) { Py_RETURN_FALSE; }
PyObject* StreamTrue(PyObject*, PyObject*) { Py_RETURN_TRUE; }

PyObject* StreamFileno(PyObject*, PyObject*) {
    PyRef io = PyRef::Steal(PyImport_ImportModule("io"));
    PyRef unsupported =
        PyRef::Steal(io ? PyObject_GetAttrString(io.get(), "UnsupportedOperation") : nullptr);
    PyErr_SetString(unsupported ? unsupported.get() : PyExc_OSError,
                    "the output stream has no file descriptor");
    return nullptr;
}

PyObject* StreamGetName(PyObject* self, void*) {
    return PyUnicode_FromString(reinterpret_cast<StreamObject*>(self)->error ? "<stderr>"
                                                                             : "<stdout>");
}
PyObject* StreamGetEncoding(PyObject*, void*) { return PyUnicode_FromString("utf-8"); }
PyObject* StreamGetErrors(PyObject*, void*) { return PyUnicode_FromString("strict"); }
PyObject* StreamGetClosed(PyObject*, void*) { Py_RETURN_FALSE; }
PyObject* StreamGetLineBuffering(PyObject*, void*) { Py_RETURN_TRUE; }

PyMethodDef kStreamMethods[] = {
    {"write", StreamWrite, METH_O, "Writes the text; answers its length."},
    {"writelines", StreamWriteLines, METH_O, "Writes each text of the iterable."},
    {"flush", StreamNone, METH_NOARGS, "Nothing is held back, so nothing to flush."},
    {"isatty", StreamFalse, METH_NOARGS, nullptr},
    {"writable", StreamTrue, METH_NOARGS, nullptr},
    {"readable", StreamFalse, METH_NOARGS, nullptr},
    {"seekable", StreamFalse, METH_NOARGS, nullptr},
    {"fileno", StreamFileno, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef kStreamGetSets[] = {
    {"name", StreamGetName, nullptr, nullptr, nullptr},
    {"encoding", StreamGetEncoding, nullptr, nullptr, nullptr},
    {"errors", StreamGetErrors, nullptr, nullptr, nullptr},
    {"closed", StreamGetClosed, nullptr, nullptr, nullptr},
    {"line_buffering", StreamGetLineBuffering, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* gStreamType = nullptr;  // a heap type, made when the interpreter starts

PyObject* NewStream(int error, IPythonEvents* sink) {
    auto* s = PyObject_New(StreamObject, gStreamType);
    if (!s) return nullptr;
    s->error = error;
    s->sink = sink;
    sink->AddRef();
    return reinterpret_cast<PyObject*>(s);
}

void StreamDealloc(PyObject* self) {
    auto* s = reinterpret_cast<StreamObject*>(self);
    PyTypeObject* type = Py_TYPE(self);
    if (s->sink) s->sink->Release();
    PyObject_Free(self);
    Py_DECREF(type);
}

char kStreamDoc[] = "A text stream whose writes go to the program's output sink.";

PyType_Slot kStreamSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(StreamDealloc)},
    {Py_tp_methods, kStreamMethods},
    {Py_tp_getset, kStreamGetSets},
    {Py_tp_doc, kStreamDoc},
    {0, nullptr},
};

PyType_Spec kStreamSpec = {"vorn.OutputStream", sizeof(StreamObject), 0,
                           Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION, kStreamSlots};

}  // namespace

bool OutputStreams::Init() {
    Py_CLEAR(gStreamType);
    gStreamType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kStreamSpec));
    return gStreamType != nullptr;
}

bool OutputStreams::SetSink(IRoot* sink) {
    VnRef<IPythonEvents> events;
    if (sink) {
        events = VnQuery<IPythonEvents>(sink, 0);
        if (!events) return false;
    }
    if (!mSavedOut) {
        mSavedOut = Py_XNewRef(PySys_GetObject("stdout"));
        mSavedErr = Py_XNewRef(PySys_GetObject("stderr"));
    }
    IRoot* old = mSink;
    mSink = events ? static_cast<IRoot*>(events.detach()) : nullptr;
    if (mSink) {
        auto* target = static_cast<IPythonEvents*>(mSink);
        PyRef out = PyRef::Steal(NewStream(0, target));
        PyRef err = PyRef::Steal(NewStream(1, target));
        PySys_SetObject("stdout", out.get());
        PySys_SetObject("stderr", err.get());
    } else {
        PySys_SetObject("stdout", mSavedOut);
        PySys_SetObject("stderr", mSavedErr);
    }
    if (old) old->Release();
    return true;
}

void OutputStreams::Clear() {
    if (mSink) SetSink(nullptr);
    Py_CLEAR(mSavedOut);
    Py_CLEAR(mSavedErr);
    Py_CLEAR(gStreamType);
}

}  // namespace vorn
