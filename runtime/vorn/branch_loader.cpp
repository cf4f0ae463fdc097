#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <unordered_map>
#include <vector>

#include "branch_file.h"
#include "class_registry.h"
#include "member_ranges.h"
#include "moniker.h"
#include "object_util.h"
#include "plain_text.h"
#include "py/json_value.h"
#include "py/python_side.h"
#include "vorn/members.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

namespace vorn {

namespace {

// ordered, so a Python dict loads with its keys in the order they were stored
using Json = nlohmann::ordered_json;

// A branch file nests five levels deep, and the Python values in it as deep as they may;
// far deeper text is not one, and is refused unread.
constexpr int kMaxNesting = 16 + kJsonValueDepth;
// Files that refer to files that refer to files...: a bound well above any real use.
constexpr size_t kMaxNestedFiles = 16;

// Monikers whose objects are being resolved by loads further up this thread's stack.
thread_local std::vector<std::string> tResolving;

bool NestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// "module.Class" with an optional ".version", as the writer spells class ids.
bool ParseClassText(const std::string& text, VnCLSID* out) {
    size_t dot = text.find('.');
    if (dot == std::string::npos || dot == 0 || dot > static_cast<size_t>(kVnModuleMax))
        return false;
    size_t second = text.find('.', dot + 1);
    std::string name =
        text.substr(dot + 1, second == std::string::npos ? std::string::npos : second - dot - 1);
    if (name.empty() || name.size() > static_cast<size_t>(kVnClassMax)) return false;
    if (text.find('\0') != std::string::npos) return false;
    int version = -1;
    if (second != std::string::npos) {
        std::string digits = text.substr(second + 1);
        if (digits.empty() || digits.size() > 5 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        version = std::stoi(digits);
        if (version > INT16_MAX) return false;
    }
    *out = VnMakeCLSID(text.substr(0, dot).c_str(), name.c_str(), static_cast<int16_t>(version));
    return true;
}

std::string IidText(const VnIID& iid) {
    return std::string(iid.name, strnlen(iid.name, sizeof iid.name)) + " version " +
           std::to_string(iid.version);
}

// The pending error's text, to explain a refusal by the object system.
std::string Pending() {
    char* text = nullptr;
    if (!VnOS->GetErrorText(&text) || !text) return "no reason given";
    std::string copy = text[0] ? text : "no reason given";
    VnOS->Free(text);
    return copy;
}

bool AsInt64(const Json& v, int64_t* out) {
    if (v.is_number_unsigned()) {
        uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(INT64_MAX)) return false;
        *out = static_cast<int64_t>(u);
        return true;
    }
    if (!v.is_number_integer()) return false;
    *out = v.get<int64_t>();
    return true;
}

bool AsReal(const Json& v, double* out) {
    if (v.is_number()) {
        *out = v.get<double>();
        return true;
    }
    if (!v.is_string()) return false;
    const std::string& s = v.get_ref<const std::string&>();
    if (s == "nan")
        *out = std::nan("");
    else if (s == "inf")
        *out = HUGE_VAL;
    else if (s == "-inf")
        *out = -HUGE_VAL;
    else
        return false;
    return true;
}

template <class T>
void Store(void* storage, T value) {
    std::memcpy(storage, &value, sizeof value);
}

template <class T>
T Read(const void* storage) {
    T value;
    std::memcpy(&value, storage, sizeof value);
    return value;
}

// Rebuilds a graph: pass 1 makes or finds every object, pass 2 fills members, then lists.
// Whatever it holds is released when it goes; after a failure the references it stored are
// dropped first, so that cycles among the new objects do not keep them alive.
class Loader {
public:
    ~Loader();
    IRoot* Load(std::string_view text, std::string* why);

private:
    enum class Kind { Created, Found, Embedded };
    struct Slot {
        Kind kind;
        IRoot* object;    // held with one reference, except embedded objects
        int parent = -1;  // for embedded objects: the owner's index and member
        std::string member;
    };

    bool Fail(std::string text) {
        mWhy = std::move(text);
        return false;
    }
    bool Index(const Json& v, size_t* out) const;
    bool Make(size_t i, const Json& entry);
    bool Resolve(size_t i, const Json& moniker);
    bool FindEmbedded(size_t i, const Json& embedded, const VnCLSID& clsid);
    bool FillMembers(size_t i, const Json& members);
    bool SetMember(size_t i, const std::string& name, const Json& stored);
    bool SetValue(size_t i, const VnMemberDescriptor* d, void* storage, const Json& value,
                  const std::string& where);
    bool FillItems(size_t i, const Json& items);
    bool FillAttributes(size_t i, const Json& attributes);
    bool SetPython(PyObject** slot, const Json& value, const std::string& where);
    bool AllReachable(size_t root);
    void BreakLinks();

    const Json* mObjects = nullptr;
    std::vector<Slot> mSlots;
    std::vector<std::vector<size_t>> mLinks;       // by index: the objects each one keeps alive
    std::unordered_map<IRoot*, size_t> mEmbedded;  // embedded objects already claimed
    bool mDone = false;
    int64_t mVersion = 1;  // 2: Python values may be stored
    std::string mWhy;
    std::string mWarnings;  // values kept although their member's range or choices refuse them
};

Loader::~Loader() {
    if (!mDone) BreakLinks();
    for (auto it = mSlots.rbegin(); it != mSlots.rend(); ++it)
        if (it->kind != Kind::Embedded) it->object->Release();
}

void Loader::BreakLinks() {
    for (Slot& slot : mSlots) {
        if (slot.kind == Kind::Found) continue;  // objects of the table are never changed
        VnForEachMember(slot.object,
                        [](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
                            if (d->type == kVnObjectRef && storage) {
                                auto* held = Read<IRoot*>(storage);
                                Store<IRoot*>(storage, nullptr);
                                if (held) held->Release();
                            }
                            return true;
                        });
        if (VnRef<IList> list = VnQuery<IList>(slot.object))
            if (list->GetCount() > 0) list->RemoveItem(-1);
    }
}

bool Loader::Index(const Json& v, size_t* out) const {
    int64_t n = 0;
    if (!AsInt64(v, &n) || n < 0 || static_cast<uint64_t>(n) >= mObjects->size()) return false;
    *out = static_cast<size_t>(n);
    return true;
}

bool Loader::Resolve(size_t i, const Json& moniker) {
    std::string at = "Object " + std::to_string(i);
    if (!moniker.is_string()) return Fail(at + ": the moniker is not a text");
    const std::string& text = moniker.get_ref<const std::string&>();
    Moniker parsed;
    std::string why;
    if (!ParseMoniker(text, &parsed, &why)) return Fail(at + ": " + why);
    std::string name = parsed.Text();
    if (!VnROT) return Fail(at + ": there is no object table to find " + name + " in");
    if (std::find(tResolving.begin(), tResolving.end(), name) != tResolving.end())
        return Fail(at + ": " + name + " refers back to itself through the files it loads");
    if (tResolving.size() >= kMaxNestedFiles)
        return Fail(at + ": " + name + " lies more than " + std::to_string(kMaxNestedFiles) +
                    " files deep");
    struct Resolving {
        explicit Resolving(const std::string& moniker) { tResolving.push_back(moniker); }
        ~Resolving() { tResolving.pop_back(); }
        Resolving(const Resolving&) = delete;
        Resolving& operator=(const Resolving&) = delete;
    };
    void* found = nullptr;
    bool ok = false;
    {
        Resolving resolving(name);
        ok = VnROT->GetObject(name.c_str(), nullptr, IID_IRoot, &found, 1);
    }
    if (!ok || !found) return Fail(at + ": cannot find " + name + ": " + Pending());
    mSlots.push_back(Slot{Kind::Found, static_cast<IRoot*>(found), -1, {}});
    return true;
}

bool Loader::FindEmbedded(size_t i, const Json& embedded, const VnCLSID& clsid) {
    std::string at = "Object " + std::to_string(i);
    size_t parent = 0;
    if (!embedded.is_array() || embedded.size() != 2 || !embedded[1].is_string() ||
        !Index(embedded[0], &parent))
        return Fail(at + ": \"embedded\" must be [owner index, member name]");
    const std::string& member = embedded[1].get_ref<const std::string&>();
    if (parent >= i)
        return Fail(at + ": its owner, object " + std::to_string(parent) + ", must come before it");
    const Slot& owner = mSlots[parent];
    if (owner.kind == Kind::Found)
        return Fail(at + ": its owner, object " + std::to_string(parent) +
                    ", is in the object table and is not loaded from this file");
    intptr_t adjustment = 0;
    const VnMemberDescriptor* d =
        member.find('\0') == std::string::npos
            ? VnOS->FindMember(member.c_str(), owner.object->GetTypeInfo(), &adjustment)
            : nullptr;
    if (!d || d->type != kVnObject)
        return Fail(at + ": object " + std::to_string(parent) + " of class " +
                    ClassOf(owner.object) + " embeds no object as \"" + member + "\"");
    auto* object = static_cast<IRoot*>(VnMemberStorage(owner.object, d, adjustment));
    if (!object)
        return Fail(at + ": the members of object " + std::to_string(parent) +
                    " cannot be reached");
    auto claimed = mEmbedded.emplace(object, i);
    if (!claimed.second)
        return Fail(at + ": object " + std::to_string(claimed.first->second) +
                    " is the same embedded object");
    const VnTypeInfo* t = object->GetTypeInfo();
    if (!t || !t->clsid || !VnCLSIDMatches(clsid, *t->clsid))
        return Fail(at + ": the object embedded as \"" + member + "\" is of class " +
                    ClassOf(object) + ", not " + ClassIdText(clsid));
    mSlots.push_back(Slot{Kind::Embedded, object, static_cast<int>(parent), member});
    // each keeps the other alive: the owner holds the storage, the embedded one counts for it
    mLinks[parent].push_back(i);
    mLinks[i].push_back(parent);
    return true;
}

bool Loader::Make(size_t i, const Json& entry) {
    std::string at = "Object " + std::to_string(i);
    if (!entry.is_object()) return Fail(at + " is not a JSON object");
    auto moniker = entry.find("moniker");
    if (moniker != entry.end()) {
        for (const char* key : {"class", "embedded", "members", "items", "attributes"})
            if (entry.contains(key))
                return Fail(at + " has both a moniker and \"" + std::string(key) + "\"");
        return Resolve(i, *moniker);
    }
    auto cls = entry.find("class");
    if (cls == entry.end() || !cls->is_string()) return Fail(at + " has no class");
    VnCLSID clsid{};
    if (!ParseClassText(cls->get_ref<const std::string&>(), &clsid))
        return Fail(at + ": \"" + cls->get<std::string>() + "\" is not a class id");
    auto embedded = entry.find("embedded");
    if (embedded != entry.end()) return FindEmbedded(i, *embedded, clsid);
    void* made = nullptr;
    if (!VnOS->CreateInstance(clsid, IID_IRoot, &made) || !made)
        return Fail(at + ": cannot make an object of class " + ClassIdText(clsid) + ": " +
                    Pending());
    auto* object = static_cast<IRoot*>(made);
    if (object->IsStatic() == 1) {
        object->Release();
        return Fail(at + ": class " + ClassIdText(clsid) + " gives a shared static object");
    }
    mSlots.push_back(Slot{Kind::Created, object, -1, {}});
    return true;
}

bool Loader::SetValue(size_t i, const VnMemberDescriptor* d, void* storage, const Json& value,
                      const std::string& where) {
    int64_t n = 0;
    double real = 0;
    switch (d->type) {
        case kVnLong:
            if (!AsInt64(value, &n) || n < INT32_MIN || n > INT32_MAX)
                return Fail(where + ": the value is not a 32-bit integer");
            Store(storage, static_cast<int32_t>(n));
            return true;
        case kVnFloat:
            if (!AsReal(value, &real) || (std::isfinite(real) && std::fabs(real) > FLT_MAX))
                return Fail(where + ": the value is not a float");
            Store(storage, static_cast<float>(real));
            return true;
        case kVnDouble:
            if (!AsReal(value, &real)) return Fail(where + ": the value is not a number");
            Store(storage, real);
            return true;
        case kVnBool:
            if (!AsInt64(value, &n) || n < 0 || n > 255)
                return Fail(where + ": the value is not a byte (0 to 255)");
            Store(storage, static_cast<uint8_t>(n));
            return true;
        case kVnObject: {
            size_t k = 0;
            if (!Index(value, &k) || mSlots[k].kind != Kind::Embedded ||
                mSlots[k].parent != static_cast<int>(i) || mSlots[k].member != d->name)
                return Fail(where + ": the value must be the index of the object embedded there");
            return true;
        }
        case kVnObjectRef: {
            IRoot* fresh = nullptr;
            if (!value.is_null()) {
                size_t k = 0;
                if (!Index(value, &k))
                    return Fail(where + ": the value is neither null nor an object index (0 to " +
                                std::to_string(mSlots.size() - 1) + ")");
                IRoot* target = mSlots[k].object;
                mLinks[i].push_back(k);
                if (d->iid && d->iid->name[0]) {
                    void* answered = nullptr;
                    if (!target->QueryInterface(*d->iid, &answered, 1) || !answered)
                        return Fail(where + ": object " + std::to_string(k) + " of class " +
                                    ClassOf(target) + " does not answer " + IidText(*d->iid));
                    fresh = static_cast<IRoot*>(answered);
                } else {
                    target->AddRef();
                    fresh = target;
                }
            }
            auto* old = Read<IRoot*>(storage);
            if (old) old->Release();
            Store(storage, fresh);
            return true;
        }
        case kVnString: {
            if (!value.is_string()) return Fail(where + ": the value is not a text");
            const std::string& text = value.get_ref<const std::string&>();
            if (text.find('\0') != std::string::npos)
                return Fail(where + ": the text holds a NUL character");
            if (d->size <= 0) return Fail(where + ": the member has no room for text");
            // as for scripts: a text that does not fit is refused, never cut
            size_t room = static_cast<size_t>(d->size) - 1;
            if (text.size() > room)
                return Fail(where + ": the text is " + std::to_string(text.size()) +
                            " bytes, but the member holds at most " + std::to_string(room));
            auto* chars = static_cast<char*>(storage);
            std::memcpy(chars, text.data(), text.size());
            chars[text.size()] = 0;
            return true;
        }
        case kVnVornString:
        case kVnROTReference: {
            char* copy = nullptr;
            if (!value.is_null()) {
                if (!value.is_string())
                    return Fail(where + ": the value is neither null nor a text");
                const std::string& text = value.get_ref<const std::string&>();
                if (text.find('\0') != std::string::npos)
                    return Fail(where + ": the text holds a NUL character");
                copy = static_cast<char*>(VnOS->Alloc(text.size() + 1));
                if (!copy) return Fail(where + ": no memory for the text");
                std::memcpy(copy, text.c_str(), text.size() + 1);
            }
            VnOS->Free(Read<char*>(storage));
            Store(storage, copy);
            return true;
        }
        case kVnTime:
            if (!AsInt64(value, &n)) return Fail(where + ": the value is not a 64-bit integer");
            Store(storage, n);
            return true;
        case kVnPython:
            return Fail(where + ": an embedded Python object is not stored in branch files");
        case kVnPythonRef: {
            auto** slot = static_cast<PyObject**>(storage);
            return SetPython(slot, value, where);
        }
        default:
            return Fail(where + ": the class gives the member the unknown type code " +
                        std::to_string(d->type));
    }
}

// Replaces what `slot` holds with the Python value `value` stands for.
bool Loader::SetPython(PyObject** slot, const Json& value, const std::string& where) {
    if (mVersion < 2) return Fail(where + ": Python values are stored only in version 2 files");
    if (!ThePythonSide().Running())
        return Fail(where + ": a Python value cannot be loaded while Python is not running");
    std::string why;
    PyObject* made = JsonToPython(value, &why);
    if (!made) return Fail(where + ": " + why);
    PyObject* old = *slot;
    *slot = made;
    Py_XDECREF(old);
    return true;
}

bool Loader::SetMember(size_t i, const std::string& name, const Json& stored) {
    IRoot* object = mSlots[i].object;
    std::string where = "Object " + std::to_string(i) + " member \"" + name + "\"";
    intptr_t adjustment = 0;
    const VnMemberDescriptor* d =
        name.find('\0') == std::string::npos
            ? VnOS->FindMember(name.c_str(), object->GetTypeInfo(), &adjustment)
            : nullptr;
    if (!d) return Fail(where + ": class " + ClassOf(object) + " has no such member");
    if (!stored.is_object() || !stored.contains("type") || !stored.contains("value"))
        return Fail(where + ": must be {\"type\": code, \"value\": value}");
    int64_t code = 0;
    if (!AsInt64(stored["type"], &code)) return Fail(where + ": the type code is not an integer");
    if (code != static_cast<int64_t>(d->type))
        return Fail(where + ": stored as type " + std::to_string(code) + ", but class " +
                    ClassOf(object) + " has it as type " + std::to_string(d->type));
    void* storage = VnMemberStorage(object, d, adjustment);
    if (!storage) return Fail(where + ": the object's members cannot be reached");
    if (!SetValue(i, d, storage, stored["value"], where)) return false;
    std::string outside;
    if (!CheckMemberValue(d, storage, &outside)) {
        // kept as stored, so that nothing in the file is lost; the owner would refuse it
        mWarnings += (mWarnings.empty() ? "" : "; ") + where + ": " + outside;
        return true;
    }
    if (d->editflags & kVnEditNotify) {
        // the owner applies the member as after any edit
        if (VnRef<INotify> owner = VnQuery<INotify>(object)) {
            if (!owner->MemberChanged(storage))
                return Fail(where + ": the object refused the value: " + Pending());
        }
    }
    return true;
}

bool Loader::FillMembers(size_t i, const Json& members) {
    if (!members.is_object())
        return Fail("Object " + std::to_string(i) + ": \"members\" is not a JSON object");
    for (auto it = members.begin(); it != members.end(); ++it)
        if (!SetMember(i, it.key(), it.value())) return false;
    return true;
}

bool Loader::FillItems(size_t i, const Json& items) {
    std::string at = "Object " + std::to_string(i);
    if (!items.is_array()) return Fail(at + ": \"items\" is not an array");
    VnRef<IList> list = VnQuery<IList>(mSlots[i].object);
    if (!list) return Fail(at + " of class " + ClassOf(mSlots[i].object) + " is not a list");
    if (list->GetCount() > 0) list->RemoveItem(-1);
    for (size_t n = 0; n < items.size(); ++n) {
        const Json& item = items[n];
        if (item.is_null()) continue;  // a static object that could not be stored
        size_t k = 0;
        if (!Index(item, &k))
            return Fail(at + " item " + std::to_string(n) + ": not an object index (0 to " +
                        std::to_string(mSlots.size() - 1) + ")");
        if (!list->AddItem(-1, mSlots[k].object))
            return Fail(at + " item " + std::to_string(n) + ": the list refused object " +
                        std::to_string(k) + ": " + Pending());
        mLinks[i].push_back(k);
    }
    return true;
}

bool Loader::FillAttributes(size_t i, const Json& attributes) {
    std::string at = "Object " + std::to_string(i);
    if (!attributes.is_object()) return Fail(at + ": \"attributes\" is not a JSON object");
    if (attributes.empty()) return true;
    PyObject* attrs = nullptr;
    for (auto it = attributes.begin(); it != attributes.end(); ++it) {
        const std::string& name = it.key();
        std::string where = at + " attribute \"" + name + "\"";
        if (name.empty() || name.find('\0') != std::string::npos)
            return Fail(where + ": not a name a script can give");
        PyObject* value = nullptr;
        if (!SetPython(&value, it.value(), where)) return false;
        PyRef held = PyRef::Steal(value);
        if (!attrs) attrs = ThePythonSide().AttributesOf(Identity(mSlots[i].object), true);
        PyRef key = PyRef::Steal(
            PyUnicode_DecodeUTF8(name.data(), static_cast<Py_ssize_t>(name.size()), nullptr));
        if (!attrs || !key || PyDict_SetItem(attrs, key.get(), held.get()) < 0) {
            PyErr_Clear();
            return Fail(where + ": the attribute cannot be set");
        }
    }
    return true;
}

// Objects that nothing below the root keeps alive would be dropped at once, or, holding each
// other in a cycle, never: the writer stores none, so a file with any is refused.
bool Loader::AllReachable(size_t root) {
    std::vector<bool> reached(mSlots.size(), false);
    std::vector<size_t> pending{root};
    reached[root] = true;
    while (!pending.empty()) {
        size_t i = pending.back();
        pending.pop_back();
        for (size_t k : mLinks[i]) {
            if (reached[k]) continue;
            reached[k] = true;
            pending.push_back(k);
        }
    }
    for (size_t i = 0; i < reached.size(); ++i)
        if (!reached[i])
            return Fail("Object " + std::to_string(i) +
                        " cannot be reached from the root, object " + std::to_string(root));
    return true;
}

IRoot* Loader::Load(std::string_view text, std::string* why) {
    auto failed = [&](const std::string& reason) -> IRoot* {
        *why = reason;
        return nullptr;
    };
    if (!NestingWithin(text, kMaxNesting))
        return failed("The text nests deeper than a branch file (" + std::to_string(kMaxNesting) +
                      " levels)");
    std::size_t valid = ValidUtf8Length(text);
    if (valid < text.size())
        return failed("The text is not valid UTF-8 at " + LineAndColumn(text, valid));
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end());
    } catch (const Json::exception& e) {
        return failed("The text is not JSON: " + PlainJsonMessage(e.what()));
    }
    if (!doc.is_object()) return failed("A branch file holds a JSON object");
    auto format = doc.find("format");
    if (format == doc.end() || *format != "vorn-branch") return failed("Not a branch file");
    auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer() || *version < 1 || *version > 2)
        return failed("Unknown branch file version " +
                      (version == doc.end() ? std::string("(none)") : version->dump()));
    mVersion = version->get<int64_t>();
    auto objects = doc.find("objects");
    if (objects == doc.end() || !objects->is_array() || objects->empty())
        return failed("\"objects\" must be a non-empty array");
    mObjects = &*objects;
    mLinks.resize(objects->size());
    auto rootIndex = doc.find("root");
    size_t root = 0;
    if (rootIndex == doc.end() || !Index(*rootIndex, &root))
        return failed("\"root\" is not an object index (0 to " +
                      std::to_string(objects->size() - 1) + ")");

    for (size_t i = 0; i < objects->size(); ++i)
        if (!Make(i, (*objects)[i])) return failed(mWhy);
    if (mSlots[root].kind == Kind::Found)
        return failed("The root, object " + std::to_string(root) + ", is not stored in the file");
    for (size_t i = 0; i < objects->size(); ++i) {
        auto members = (*objects)[i].find("members");
        if (members != (*objects)[i].end() && !FillMembers(i, *members)) return failed(mWhy);
        auto attributes = (*objects)[i].find("attributes");
        if (attributes != (*objects)[i].end() && !FillAttributes(i, *attributes))
            return failed(mWhy);
    }
    // lists last, so that every item is complete when its list takes it
    for (size_t i = 0; i < objects->size(); ++i) {
        auto items = (*objects)[i].find("items");
        if (items != (*objects)[i].end() && !FillItems(i, *items)) return failed(mWhy);
    }
    if (!AllReachable(root)) return failed(mWhy);
    mDone = true;
    if (!mWarnings.empty())
        VnOS->SetError(-1, nullptr, "The branch loaded with values kept as stored: %s",
                       mWarnings.c_str());
    IRoot* result = mSlots[root].object;
    result->AddRef();
    return result;
}

}  // namespace

IRoot* LoadBranch(std::string_view json, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    try {
        Loader loader;
        return loader.Load(json, why);
    } catch (const std::exception& e) {
        *why = "The branch cannot be loaded: " + PlainJsonMessage(e.what());
        return nullptr;
    }
}

}  // namespace vorn
