#include "script/name_completion.h"

#include "vorn/py_ref.h"
#include "vorn/pyos.h"

namespace {

// Runs inside the interpreter as the module below; it reads no property and subscripts nothing.
constexpr char kSource[] = R"PY(
import inspect
import itertools
import re
import rlcompleter
import types

# what binding an attribute may run without running any of the script's own code
_PLAIN = (types.FunctionType, types.BuiltinFunctionType, types.MethodDescriptorType,
          types.WrapperDescriptorType, types.GetSetDescriptorType, types.MemberDescriptorType,
          types.ClassMethodDescriptorType, classmethod, staticmethod)


class Unsafe(Exception):
    pass


def _python_lookup(kind):
    return any(isinstance(vars(k).get(name), types.FunctionType)
               for k in kind.__mro__ for name in ("__getattr__", "__getattribute__"))


def _read(obj, name):
    try:
        static = inspect.getattr_static(obj, name)
    except AttributeError:
        if _python_lookup(type(obj)):
            raise Unsafe(name)
        return getattr(obj, name)  # the type's own lookup in C, as the runtime's objects have
    if hasattr(type(static), "__get__"):
        if not isinstance(static, _PLAIN):
            raise Unsafe(name)  # a property or another descriptor written in Python
        return getattr(obj, name)
    return static


def _globals(word, namespace, limit):
    # only the first `limit` matching globals are looked at: a huge namespace costs one scan
    matching = itertools.islice((n for n in namespace if n.startswith(word)), limit)
    few = {n: namespace[n] for n in matching}
    return rlcompleter.Completer(few).global_matches(word)[:limit]


def _jedi(code, word, namespace, limit):
    import jedi

    class Interpreter(jedi.Interpreter):
        _allow_descriptor_getattr_default = False  # the same switch before jedi 0.19

    jedi.settings.allow_unsafe_interpreter_executions = False
    used = {n: namespace[n] for n in set(re.findall(r"[^\W\d]\w*", code)) if n in namespace}
    found = []
    for c in Interpreter(code, [used]).complete():
        if c.name.startswith(word) and c.name.isidentifier():
            found.append(c.name + "(" if c.type in ("function", "class") else c.name)
            if len(found) >= limit:
                break
    return found


def _rlcompleter(head, word, namespace, limit):
    path = re.search(r"(?<![\w.)\]])[^\W\d]\w*(?:\.[^\W\d]\w*)*$", head)
    if not path:
        return []
    first, *rest = path.group().split(".")
    if first not in namespace:
        return []
    obj = namespace[first]
    for name in rest:
        obj = _read(obj, name)
    matches = rlcompleter.Completer({"_obj": obj}).attr_matches("_obj." + word)
    return [m[len("_obj."):] for m in matches[:limit]]


def complete(code, namespace, limit):
    word = re.search(r"\w*$", code).group()
    head = code[:len(code) - len(word)]
    if not head.endswith("."):
        return _globals(word, namespace, limit) if word else []
    try:
        found = _jedi(code, word, namespace, limit)
    except Exception:
        found = []
    return found or _rlcompleter(head[:-1], word, namespace, limit)
)PY";

// The module holding `complete`, made once per interpreter; borrowed, or null with an error.
PyObject* CompletionModule() {
    PyObject* module = PyImport_AddModule("mosswick_completion");  // borrowed
    if (!module) return nullptr;
    PyObject* dict = PyModule_GetDict(module);
    if (PyDict_GetItemString(dict, "complete")) return module;
    PyDict_SetItemString(dict, "__builtins__", PyEval_GetBuiltins());
    PyRef ran = PyRef::Steal(PyRun_String(kSource, Py_file_input, dict, dict));
    return ran ? module : nullptr;
}

}  // namespace

QStringList CompleteNames(const QString& code) {
    QStringList found;
    PyObject* module = CompletionModule();
    PyObject* main = PyImport_AddModule("__main__");  // borrowed
    if (!module || !main) return found;
    const QByteArray utf8 = code.toUtf8();
    PyRef text = PyRef::Steal(PyUnicode_FromStringAndSize(utf8.constData(), utf8.size()));
    PyRef names = PyRef::Steal(text ? PyObject_CallMethod(module, "complete", "OOi", text.get(),
                                                          PyModule_GetDict(main), kMaxNames)
                                    : nullptr);
    if (!names || !PyList_Check(names.get())) return found;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(names.get()); ++i) {
        const char* name = PyUnicode_Check(PyList_GET_ITEM(names.get(), i))
                               ? PyUnicode_AsUTF8(PyList_GET_ITEM(names.get(), i))
                               : nullptr;
        if (name) found << QString::fromUtf8(name);
    }
    return found;
}
