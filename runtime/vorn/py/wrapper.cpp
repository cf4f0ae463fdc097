#include "wrapper.h"

#include <structmember.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "../class_registry.h"
#include "../runtime.h"
#include "member_convert.h"
#include "name_cache.h"
#include "python_side.h"
#include "vorn/members.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/rot.h"
#include "writer_table.h"

namespace vorn {

namespace {

struct WrapperObject {
    PyObject_HEAD IRoot* object;  // the identity; one reference unless the object is static
    PyObject* weakrefs;
    // What the object answered for its implementation base while its type was `baseType`,
    // asked for on the first member access; an object does not move while the wrapper holds it.
    const VnTypeInfo* baseType;
    char* base;
    LastText lastText;  // of whichever text member was read last
};

PyTypeObject* gWrapperType = nullptr;  // a heap type, made when the interpreter starts

IRoot* Object(PyObject* self) { return reinterpret_cast<WrapperObject*>(self)->object; }

std::string ClassText(IRoot* object) {
    const VnTypeInfo* t = object->GetTypeInfo();
    return (t && t->clsid) ? ClassIdText(*t->clsid) : std::string("(unknown class)");
}

const VnMethodDef* FindMethod(const VnTypeInfo* type, const char* name) {
    for (const VnTypeInfo* t = type; t; t = t->base) {
        for (const VnMethodDef* m = t->methods; m && m->name; ++m)
            if (std::strcmp(m->name, name) == 0) return m;
    }
    return nullptr;
}

struct MemberHit {
    const VnMemberDescriptor* member = nullptr;
    void* storage = nullptr;
};

MemberHit FindMemberOf(IRoot* object, const char* name) {
    MemberHit hit;
    intptr_t adjustment = 0;
    hit.member = TheRuntime().FindMember(name, object->GetTypeInfo(), &adjustment);
    if (hit.member) hit.storage = VnMemberStorage(object, hit.member, adjustment);
    return hit;
}

VnRef<IList> ListOf(IRoot* object) { return VnQuery<IList>(object); }

// Tells the owner about a changed member when the member's flags ask for it.
bool NotifyOwner(IRoot* object, const VnMemberDescriptor* member, void* storage) {
    if (!(member->editflags & kVnEditNotify)) return true;
    VnRef<INotify> notify = VnQuery<INotify>(object);
    if (!notify || notify->MemberChanged(storage)) return true;
    RaisePendingError("the owner refused the change");
    return false;
}

PyObject* NotAList(IRoot* object) {
    return PyErr_Format(PyExc_TypeError, "an object of class %s is not a list",
                        ClassText(object).c_str());
}

// --- list protocol -------------------------------------------------------------------------

Py_ssize_t ListLength(PyObject* self) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) {
        NotAList(Object(self));
        return -1;
    }
    return list->GetCount();
}

PyObject* ListItem(PyObject* self, Py_ssize_t i) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) return NotAList(Object(self));
    if (i < 0 || i >= list->GetCount()) {
        PyErr_SetString(PyExc_IndexError, "list index out of range");
        return nullptr;
    }
    return ThePythonSide().Wrap(list->GetItem(static_cast<int>(i)));
}

int ListAssignItem(PyObject* self, Py_ssize_t i, PyObject* value) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) {
        NotAList(Object(self));
        return -1;
    }
    if (i < 0 || i >= list->GetCount()) {
        PyErr_SetString(PyExc_IndexError, "list assignment index out of range");
        return -1;
    }
    IRoot* item = nullptr;
    if (value) {
        item = ThePythonSide().Unwrap(value);
        if (!item) {
            PyErr_SetString(PyExc_TypeError, "list items are vorn.Object instances");
            return -1;
        }
        // add first, so a refused item leaves the list as it was
        if (!list->AddItem(static_cast<int>(i) + 1, item)) {
            RaisePendingError("the list refused the item");
            return -1;
        }
    }
    TheRuntime().Errors().Clear();  // only an error of this removal may be raised below
    list->RemoveItem(static_cast<int>(i));
    if (TheRuntime().Errors().Has(0)) {
        RaisePendingError(nullptr);
        if (value) {  // the item added above goes again; the refusal raised is the removal's
            list->RemoveItem(static_cast<int>(i) + 1);
            TheRuntime().Errors().Clear();
        }
        return -1;
    }
    return 0;
}

int ListContains(PyObject* self, PyObject* value) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) {
        NotAList(Object(self));
        return -1;
    }
    IRoot* wanted = ThePythonSide().Unwrap(value);
    if (!wanted) return 0;
    VnRef<IRoot> id = VnQuery<IRoot>(wanted);
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        VnRef<IRoot> item = VnQuery<IRoot>(list->GetItem(i));
        if (item.get() == id.get()) return 1;
    }
    return 0;
}

int IndexOf(IList* list, IRoot* wanted) {
    VnRef<IRoot> id = VnQuery<IRoot>(wanted);
    for (int i = 0, n = list->GetCount(); i < n; ++i) {
        VnRef<IRoot> item = VnQuery<IRoot>(list->GetItem(i));
        if (item.get() == id.get()) return i;
    }
    return -1;
}

PyObject* AddTo(PyObject* self, int position, PyObject* value) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) return NotAList(Object(self));
    IRoot* item = nullptr;
    if (value && value != Py_None) {
        item = ThePythonSide().Unwrap(value);
        if (!item) return PyErr_Format(PyExc_TypeError, "list items are vorn.Object instances");
    }
    if (!list->AddItem(position, item)) return RaisePendingError("the list refused the item");
    Py_RETURN_NONE;
}

PyObject* ListAppend(PyObject* self, PyObject* args) {
    PyObject* value = nullptr;
    if (!PyArg_ParseTuple(args, "|O:append", &value)) return nullptr;
    return AddTo(self, -1, value);
}

PyObject* ListInsert(PyObject* self, PyObject* args) {
    Py_ssize_t position = 0;
    PyObject* value = nullptr;
    if (!PyArg_ParseTuple(args, "nO:insert", &position, &value)) return nullptr;
    Py_ssize_t n = ListLength(self);
    if (n < 0) return nullptr;
    if (position < 0) position = std::max<Py_ssize_t>(0, position + n);
    return AddTo(self, static_cast<int>(std::min(position, n)), value);
}

PyObject* ListRemove(PyObject* self, PyObject* value) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) return NotAList(Object(self));
    IRoot* item = ThePythonSide().Unwrap(value);
    int at = item ? IndexOf(list.get(), item) : -1;
    if (at < 0) return PyErr_Format(PyExc_ValueError, "the object is not in the list");
    TheRuntime().Errors().Clear();  // only an error of this removal may be raised below
    list->RemoveItem(at);
    if (TheRuntime().Errors().Has(0)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyObject* ListClear(PyObject* self, PyObject*) {
    VnRef<IList> list = ListOf(Object(self));
    if (!list) return NotAList(Object(self));
    TheRuntime().Errors().Clear();
    list->RemoveItem(-1);
    if (TheRuntime().Errors().Has(0)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyObject* ListMove(PyObject* self, PyObject* args) {
    int from = 0, to = 0;
    if (!PyArg_ParseTuple(args, "ii:move", &from, &to)) return nullptr;
    VnRef<IList> list = ListOf(Object(self));
    if (!list) return NotAList(Object(self));
    TheRuntime().Errors().Clear();
    list->MoveItem(from, to);
    if (TheRuntime().Errors().Has(0)) return RaisePendingError(nullptr);
    Py_RETURN_NONE;
}

PyMethodDef kListMethods[] = {
    {"append", ListAppend, METH_VARARGS,
     "append([item]): adds the item at the end; without one the list makes a new item."},
    {"insert", ListInsert, METH_VARARGS, "insert(index, item): adds the item before index."},
    {"remove", ListRemove, METH_O, "remove(item): takes the item out of the list."},
    {"clear", ListClear, METH_NOARGS, "clear(): removes every item."},
    {"move", ListMove, METH_VARARGS, "move(from, to): moves one item."},
    {nullptr, nullptr, 0, nullptr},
};

const PyMethodDef* FindListMethod(const char* name) {
    for (const PyMethodDef* m = kListMethods; m->ml_name; ++m)
        if (std::strcmp(m->ml_name, name) == 0) return m;
    return nullptr;
}

// --- attributes -------------------------------------------------------------------------------

NameCache gNames;  // in use while the wrapper type exists; emptied before the interpreter ends

// What `name` stands for on objects of `type`, looked up in the type records.
NameMeaning LookUpName(const VnTypeInfo* type, const char* name) {
    NameMeaning meaning;
    meaning.special = std::strncmp(name, "__", 2) == 0;
    intptr_t adjustment = 0;
    meaning.member = TheRuntime().FindMember(name, type, &adjustment);
    if (meaning.member) {
        // as VnMemberStorage reckons it: the base sits at the own type's first interface
        intptr_t first = 0;
        if (type->interfaces && type->interfaces[0].iid) first = type->interfaces[0].offset;
        meaning.storageOffset = meaning.member->offset + adjustment - first;
        return meaning;
    }
    meaning.method = FindMethod(type, name);
    if (!meaning.method) meaning.listMethod = FindListMethod(name);
    return meaning;
}

// MeaningOf for a pair the cache does not answer at once.
const NameMeaning* WorkOutMeaning(const VnTypeInfo* type, PyObject* nameObject,
                                  NameMeaning* scratch) {
    // subclasses of str may hash and compare in ways of their own: they are never cached, nor
    // is anything once the wrapper type is gone at shutdown
    if (!type || !PyUnicode_CheckExact(nameObject) || !gWrapperType) {
        const char* name = PyUnicode_AsUTF8(nameObject);
        if (!name) return nullptr;
        *scratch = LookUpName(type, name);
        return scratch;
    }
    Py_hash_t hash = NameCache::HashOf(nameObject);
    if (hash == -1) return nullptr;
    if (const NameMeaning* known = gNames.Find(type, nameObject, hash)) return known;
    const char* name = PyUnicode_AsUTF8(nameObject);
    if (!name) return nullptr;
    return gNames.Add(type, nameObject, hash, LookUpName(type, name));
}

// What `nameObject` stands for on objects of `type`: the cache's entry when the pair was seen
// before, else worked out (into `scratch` when it is not cached). Valid only until the next
// look-up, since code run later in the same access (a finalizer, say) may change the cache.
// Null with a Python error when the name cannot be read as UTF-8. The cached case is inline:
// every attribute a script reads or writes comes through here.
inline const NameMeaning* MeaningOf(const VnTypeInfo* type, PyObject* nameObject,
                                    NameMeaning* scratch) {
    if (type && PyUnicode_CheckExact(nameObject) && gWrapperType) {
        const Py_hash_t hash = reinterpret_cast<PyASCIIObject*>(nameObject)->hash;
        if (hash != -1)
            if (const NameMeaning* known = gNames.Find(type, nameObject, hash)) return known;
    }
    return WorkOutMeaning(type, nameObject, scratch);
}

// Where the member of `meaning` lies in the wrapper's object of type `type`: what
// VnMemberStorage answers, without asking the object for its base on every access. Null when
// the object has no base.
void* MemberStorage(PyObject* self, const VnTypeInfo* type, const NameMeaning& meaning) {
    auto* w = reinterpret_cast<WrapperObject*>(self);
    if (!w->base || w->baseType != type) {
        w->base = VnImplementationBase(w->object);
        w->baseType = type;
        if (!w->base) return nullptr;
    }
    return w->base + meaning.storageOffset;
}

// The name for error texts; it was read as UTF-8 already when its meaning was found.
const char* NameText(PyObject* nameObject) {
    const char* name = PyUnicode_AsUTF8(nameObject);
    return name ? name : "?";
}

PyObject* GetAttr(PyObject* self, PyObject* nameObject) {
    IRoot* object = Object(self);
    const VnTypeInfo* type = object->GetTypeInfo();
    NameMeaning scratch;
    const NameMeaning* meaning = MeaningOf(type, nameObject, &scratch);
    if (!meaning) return nullptr;
    if (!meaning->special) {
        if (const VnMemberDescriptor* member = meaning->member)
            return MemberToPython(member, MemberStorage(self, type, *meaning),
                                  &reinterpret_cast<WrapperObject*>(self)->lastText);
        if (const VnMethodDef* method = meaning->method)
            return PyCFunction_NewEx(
                reinterpret_cast<PyMethodDef*>(const_cast<VnMethodDef*>(method)), self, nullptr);
        // the entry is read before calling out: what runs meanwhile may change the cache
        if (const PyMethodDef* listMethod = meaning->listMethod; listMethod && ListOf(object))
            return PyCFunction_NewEx(const_cast<PyMethodDef*>(listMethod), self, nullptr);
        if (PyObject* attrs = ThePythonSide().AttributesOf(object, false)) {
            if (PyObject* v = PyDict_GetItemWithError(attrs, nameObject)) return Py_NewRef(v);
            if (PyErr_Occurred()) return nullptr;
        }
    }
    return PyObject_GenericGetAttr(self, nameObject);
}

// The common case of a script setting a runtime text: an ASCII str without NULs written over a
// text whose block has room for it. False when the general conversion must do it.
bool WriteTextInPlace(void* storage, PyObject* value) {
    char* slot = *static_cast<char**>(storage);
    if (!slot || !PyUnicode_CheckExact(value) || !PyUnicode_IS_COMPACT_ASCII(value)) return false;
    const auto length = static_cast<std::size_t>(PyUnicode_GET_LENGTH(value));
    const char* text = static_cast<const char*>(PyUnicode_DATA(value));
    if (Allocator::Room(slot) <= length || std::memchr(text, 0, length)) return false;
    std::memcpy(slot, text, length);
    slot[length] = 0;
    return true;
}

// PythonToMember, with the writes scripts make most often done here without a call.
inline bool StoreFromScript(const VnMemberDescriptor* m, void* storage, PyObject* value) {
    if (m->type == kVnFloat && StorePlainFloat(m, storage, value)) return true;
    if (m->type == kVnVornString && WriteTextInPlace(storage, value)) return true;
    return PythonToMember(m, storage, value);
}

int SetAttr(PyObject* self, PyObject* nameObject, PyObject* value) {
    IRoot* object = Object(self);
    const VnTypeInfo* type = object->GetTypeInfo();
    NameMeaning scratch;
    const NameMeaning* meaning = MeaningOf(type, nameObject, &scratch);
    if (!meaning) return -1;
    if (const VnMemberDescriptor* member = meaning->member) {
        if (!value) {
            PyErr_Format(PyExc_AttributeError, "member '%s' cannot be deleted",
                         NameText(nameObject));
            return -1;
        }
        if (!(member->editflags & kVnEditable)) {
            PyErr_Format(PyExc_AttributeError, "member '%s' of %s is read-only",
                         NameText(nameObject), ClassText(object).c_str());
            return -1;
        }
        void* storage = MemberStorage(self, type, *meaning);
        if (!StoreFromScript(member, storage, value)) return -1;
        writer_table::RecordScript(object, member);
        return NotifyOwner(object, member, storage) ? 0 : -1;
    }
    // a stored value would be hidden by the method of the same name, so it is refused
    bool special = meaning->special;
    const PyMethodDef* listMethod = meaning->listMethod;
    if (meaning->method || (listMethod && ListOf(object))) {
        PyErr_Format(PyExc_AttributeError, "method '%s' cannot be replaced", NameText(nameObject));
        return -1;
    }
    if (special) return PyObject_GenericSetAttr(self, nameObject, value);
    PyObject* attrs = ThePythonSide().AttributesOf(object, value != nullptr);
    if (!value) {
        if (!attrs || PyDict_DelItem(attrs, nameObject) < 0) {
            PyErr_Clear();
            PyErr_Format(PyExc_AttributeError, "%s has no attribute '%s'",
                         ClassText(object).c_str(), NameText(nameObject));
            return -1;
        }
        return 0;
    }
    return attrs ? PyDict_SetItem(attrs, nameObject, value) : -1;
}

// --- names ------------------------------------------------------------------------------------

void AddMemberNames(IRoot* object, std::vector<std::string>* names) {
    VnForEachMember(object, [&](const VnMemberDescriptor* d, void*, const VnTypeInfo*) {
        names->push_back(d->name);
        return true;
    });
}

void AddMethodNames(IRoot* object, std::vector<std::string>* names) {
    for (const VnTypeInfo* t = object->GetTypeInfo(); t; t = t->base)
        for (const VnMethodDef* m = t->methods; m && m->name; ++m) names->push_back(m->name);
    if (ListOf(object))
        for (const PyMethodDef* m = kListMethods; m->ml_name; ++m) names->push_back(m->ml_name);
}

PyObject* NameList(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    PyRef list = PyRef::Steal(PyList_New(0));
    if (!list) return nullptr;
    for (const std::string& n : names) {
        PyRef s = PyRef::Steal(PyUnicode_FromString(n.c_str()));
        if (!s || PyList_Append(list.get(), s.get()) < 0) return nullptr;
    }
    return list.release();
}

void AddAttributeNames(IRoot* object, std::vector<std::string>* names) {
    PyObject* attrs = ThePythonSide().AttributesOf(object, false);
    if (!attrs) return;
    PyObject *key, *value;
    Py_ssize_t pos = 0;
    while (PyDict_Next(attrs, &pos, &key, &value))
        if (const char* k = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr)
            names->push_back(k);
    PyErr_Clear();
}

PyObject* WrapperDir(PyObject* self, PyObject*) {
    std::vector<std::string> names;
    AddMemberNames(Object(self), &names);
    AddMethodNames(Object(self), &names);
    AddAttributeNames(Object(self), &names);
    names.push_back("__class__");
    names.push_back("__doc__");
    return NameList(std::move(names));
}

PyMethodDef kWrapperMethods[] = {
    {"__dir__", WrapperDir, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// --- object protocol --------------------------------------------------------------------------

PyObject* Repr(PyObject* self) {
    IRoot* object = Object(self);
    std::string text = "<vorn.Object " + ClassText(object);
    if (VnROT) {
        if (const VnROTEntry* e = VnROT->EntryOf(object)) {
            text += std::string(" ") + e->scheme + "/" + e->name;
            if (e->ext && *e->ext) text += std::string(".") + e->ext;
        }
    }
    MemberHit name = FindMemberOf(object, "name");
    if (name.member && (name.member->type == kVnVornString || name.member->type == kVnString)) {
        const char* n = name.member->type == kVnString ? static_cast<char*>(name.storage)
                                                       : *static_cast<char**>(name.storage);
        if (n && *n) text += std::string(" \"") + n + "\"";
    }
    text += ">";
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

int Bool(PyObject* self) {
    VnRef<IList> list = ListOf(Object(self));
    return list ? list->GetCount() > 0 : 1;
}

// The wrapper owns what its object holds for Python (script attributes, Python object members)
// only while it holds the object's last reference; only then may the cycle collector see those
// as the wrapper's and break a cycle through them.
bool SoleOwner(IRoot* object) {
    if (!object || object->IsStatic()) return false;
    int count = object->AddRef();
    object->Release();
    return count == 2;
}

template <typename Fn>
void ForEachPythonRef(IRoot* object, Fn&& fn) {
    VnForEachMember(object, [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
        if (d->type == kVnPythonRef) fn(*static_cast<PyObject**>(storage));
        return true;
    });
}

int Traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    IRoot* object = Object(self);
    if (!SoleOwner(object)) return 0;
    Py_VISIT(ThePythonSide().AttributesOf(object, false));
    int failed = 0;
    ForEachPythonRef(object, [&](PyObject*& slot) {
        if (!failed && slot) failed = visit(slot, arg);
    });
    return failed;
}

int Clear(PyObject* self) {
    IRoot* object = Object(self);
    if (!SoleOwner(object)) return 0;
    ThePythonSide().DropAttributes(object);
    ForEachPythonRef(object, [](PyObject*& slot) { Py_CLEAR(slot); });
    return 0;
}

void Dealloc(PyObject* self) {
    auto* w = reinterpret_cast<WrapperObject*>(self);
    PyTypeObject* type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    if (w->weakrefs) PyObject_ClearWeakRefs(self);
    IRoot* object = w->object;
    w->object = nullptr;
    Py_CLEAR(w->lastText.text);
    ThePythonSide().Forget(self, object);
    type->tp_free(self);
    Py_DECREF(type);
    if (object && !object->IsStatic()) object->Release();
}

PyMemberDef kWrapperMembers[] = {
    {"__weaklistoffset__", T_PYSSIZET, offsetof(WrapperObject, weakrefs), READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

char kWrapperDoc[] =
    "A runtime object: members read and written as attributes, methods callable, lists as "
    "sequences.";

PyType_Slot kWrapperSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(Dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(Traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(Clear)},
    {Py_tp_repr, reinterpret_cast<void*>(Repr)},
    {Py_tp_getattro, reinterpret_cast<void*>(GetAttr)},
    {Py_tp_setattro, reinterpret_cast<void*>(SetAttr)},
    {Py_sq_length, reinterpret_cast<void*>(ListLength)},
    {Py_sq_item, reinterpret_cast<void*>(ListItem)},
    {Py_sq_ass_item, reinterpret_cast<void*>(ListAssignItem)},
    {Py_sq_contains, reinterpret_cast<void*>(ListContains)},
    {Py_nb_bool, reinterpret_cast<void*>(Bool)},
    {Py_tp_methods, kWrapperMethods},
    {Py_tp_members, kWrapperMembers},
    {Py_tp_doc, kWrapperDoc},
    {0, nullptr},
};

// A base type for the classes' own wrapper types; scripts cannot make instances of it or of
// anything derived from it.
PyType_Spec kWrapperSpec = {"vorn.Object", sizeof(WrapperObject), 0,
                            Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION |
                                Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_BASETYPE,
                            kWrapperSlots};

}  // namespace

namespace {

// The wrapper types of classes that have methods: each derives from vorn.Object, keeps its name
// (scripts see the same class name as before) and lists the class's methods (its own first,
// then its bases'), so that help() and inspect show how to call them. Lookups still go through
// GetAttr. What a type points at is kept for the process: a
// type may outlive the interpreter's own references to it.
struct ClassType {
    PyTypeObject* type = nullptr;
    std::string doc;
    std::vector<PyMethodDef> methods;
    std::vector<PyType_Slot> slots;
};
std::unordered_map<const VnTypeInfo*, ClassType>& ClassTypes() {
    static auto* types = new std::unordered_map<const VnTypeInfo*, ClassType>;
    return *types;
}

// What help() says of the class: its id, then its description ("app.PyUI.1: ...").
std::string ClassTypeDoc(const VnTypeInfo* info) {
    std::string text = info->clsid ? ClassIdText(*info->clsid) : std::string("vorn.Object");
    if (info->description && *info->description) text += std::string(": ") + info->description;
    return text;
}

PyTypeObject* TypeFor(const VnTypeInfo* info) {
    if (!info) return gWrapperType;
    ClassType& entry = ClassTypes()[info];
    if (entry.type) return entry.type;
    if (entry.slots.empty()) {  // made once; the methods stay where the type points
        entry.doc = ClassTypeDoc(info);
        for (const VnTypeInfo* t = info; t; t = t->base)
            for (const VnMethodDef* m = t->methods; m && m->name; ++m) {
                const bool seen = std::any_of(
                    entry.methods.begin(), entry.methods.end(),
                    [m](const PyMethodDef& d) { return std::strcmp(d.ml_name, m->name) == 0; });
                if (!seen) entry.methods.push_back(*reinterpret_cast<const PyMethodDef*>(m));
            }
        entry.methods.push_back({nullptr, nullptr, 0, nullptr});
        entry.slots = {{Py_tp_methods, entry.methods.data()},
                       {Py_tp_dealloc, reinterpret_cast<void*>(Dealloc)},
                       {Py_tp_traverse, reinterpret_cast<void*>(Traverse)},
                       {Py_tp_clear, reinterpret_cast<void*>(Clear)},
                       {Py_tp_doc, const_cast<char*>(entry.doc.c_str())},
                       {0, nullptr}};
    }
    if (entry.methods.size() <= 1) return gWrapperType;  // nothing to list
    PyType_Spec spec = {"vorn.Object", sizeof(WrapperObject), 0,
                        Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_HAVE_GC,
                        entry.slots.data()};
    PyObject* made = PyType_FromSpecWithBases(&spec, reinterpret_cast<PyObject*>(gWrapperType));
    if (!made) {
        PyErr_Clear();  // the object is still wrapped, as a plain vorn.Object
        return gWrapperType;
    }
    entry.type = reinterpret_cast<PyTypeObject*>(made);
    return entry.type;
}

}  // namespace

bool InitWrapperType() {
    Py_CLEAR(gWrapperType);
    gWrapperType = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kWrapperSpec));
    return gWrapperType != nullptr;
}

void ClearWrapperType() {
    for (auto& [info, entry] : ClassTypes()) Py_CLEAR(entry.type);
    Py_CLEAR(gWrapperType);  // first, so that the interpreter's teardown adds no names
    gNames.Clear();
}

PyTypeObject* WrapperTypeObject() { return gWrapperType; }

PyObject* NewWrapper(IRoot* identity) {
    // code run by the interpreter's own teardown (finalizers) finds the type let go
    if (!gWrapperType) {
        PyErr_SetString(PyExc_RuntimeError, "the runtime has shut down");
        return nullptr;
    }
    auto* w = PyObject_GC_New(WrapperObject, TypeFor(identity->GetTypeInfo()));
    if (!w) return nullptr;
    w->weakrefs = nullptr;
    w->baseType = nullptr;
    w->base = nullptr;
    w->lastText = LastText();
    w->object = identity;
    if (!identity->IsStatic()) identity->AddRef();
    PyObject_GC_Track(w);
    return reinterpret_cast<PyObject*>(w);
}

IRoot* WrappedObject(PyObject* object) {
    // known by their dealloc, wrappers stay known after the type is let go at shutdown
    if (!object || Py_TYPE(object)->tp_dealloc != Dealloc) return nullptr;
    return Object(object);
}

PyObject* SplitNames(IRoot* object) {
    std::vector<std::string> readOnly, editable;
    AddMethodNames(object, &readOnly);
    AddAttributeNames(object, &editable);
    PyRef first = PyRef::Steal(NameList(std::move(readOnly)));
    PyRef second = PyRef::Steal(NameList(std::move(editable)));
    if (!first || !second) return nullptr;
    return PyTuple_Pack(2, first.get(), second.get());
}

}  // namespace vorn
