#include "script/script_object.h"

#include <cstring>
#include <string>

#include "shell/ishell.h"

void AddScriptObject(PyObject* module, const char* name, IRoot* object) {
    VnOS->RegisterClass({object->GetTypeInfo(), nullptr});  // a second time is refused quietly
    VnOS->SetError(0, nullptr, nullptr);
    PyRef wrapper = PyRef::Steal(PyOS->Wrap(object, -1));
    if (!module || !wrapper || PyDict_SetItemString(PyModule_GetDict(module), name, wrapper.get()))
        PyOS->ReportError(0);
}

const char* InterfaceName(const VnIID* iid) {
    static thread_local std::string name;
    name = iid ? std::string(iid->name, strnlen(iid->name, sizeof iid->name)) : std::string();
    return name.c_str();
}

PyObject* MemberDictionary(const VnMemberDescriptor* member, bool named) {
    PyRef dict = PyRef::Steal(PyDict_New());
    if (!dict) return nullptr;
    auto put = [&](const char* key, PyObject* value) {
        PyRef held = PyRef::Steal(value);
        return held && PyDict_SetItemString(dict.get(), key, held.get()) == 0;
    };
    const bool ok =
        (!named || put("name", PyUnicode_FromString(member->name ? member->name : ""))) &&
        put("type", PyLong_FromUnsignedLong(member->type)) &&
        put("iid_name", PyUnicode_FromString(InterfaceName(member->iid))) &&
        put("iid_ver", PyLong_FromLong(member->iid ? member->iid->version : 0)) &&
        put("description",
            PyUnicode_DecodeUTF8(
                member->description ? member->description : "",
                static_cast<Py_ssize_t>(strlen(member->description ? member->description : "")),
                "replace")) &&
        put("editflags", PyLong_FromUnsignedLong(member->editflags));
    return ok ? dict.release() : nullptr;
}

const char* MethodDocText(const VnMethodDef& method) {
    static constexpr char kEnd[] = ")\n--\n\n";
    const char* doc = method.doc ? method.doc : "";
    const size_t name = strlen(method.name);
    if (strncmp(doc, method.name, name) != 0 || doc[name] != '(') return doc;
    // as CPython reads it: the block ends at the marker, and a blank line before it means none
    for (const char* p = doc + name; *p; ++p) {
        if (strncmp(p, kEnd, sizeof kEnd - 1) == 0) return p + sizeof kEnd - 1;
        if (p[0] == '\n' && p[1] == '\n') return doc;
    }
    return doc;
}

PyObject* RaiseToolClosing() {
    PyErr_SetString(PyExc_RuntimeError, "the tool is closing");
    return nullptr;
}

bool NoAnswerInBatch(const IShell& shell, const QString& question) {
    if (!shell.IsBatchRun()) return false;
    const QByteArray said = (question + " (batch: no answer)\n").toUtf8();
    PySys_FormatStdout("%s", said.constData());
    return true;
}
