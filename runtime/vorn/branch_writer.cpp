#include <cmath>
#include <cstring>
#include <deque>
#include <nlohmann/json.hpp>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "branch_file.h"
#include "class_registry.h"
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

using Json = nlohmann::ordered_json;

std::string MonikerText(const VnROTEntry& entry) {
    std::string text =
        std::string(entry.scheme ? entry.scheme : "") + "/" + (entry.name ? entry.name : "");
    if (entry.ext && entry.ext[0]) text += std::string(".") + entry.ext;
    return text;
}

// JSON has no NaN or infinities, so those are stored as text.
Json Real(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    return value;
}

template <class T>
T Read(const void* storage) {
    T value;
    std::memcpy(&value, storage, sizeof value);
    return value;
}

// Serialises a graph in two walks: the first finds every object and which object embeds it,
// the second, once the objects are numbered with embedding parents first, writes them out.
class Writer {
public:
    bool Write(IRoot* root, std::string* json, std::string* why, std::string* leftOut);

private:
    struct Node {
        IRoot* object = nullptr;
        int parent = -1;      // the node embedding this one
        std::string member;   // the embedding member
        std::string moniker;  // not empty: stored by its name in the object table
        bool walked = false;  // its members are walked
        int index = -1;       // position in the file; -2 while being placed
    };

    int Add(IRoot* identity, bool walk);
    void Reach(IRoot* object);
    bool Embed(IRoot* child, int parent, const char* member);
    bool Discover(int node);
    bool Number();
    bool Emit(int node, Json* entry);
    bool EmitMember(int node, IRoot* object, const VnMemberDescriptor* d, void* storage,
                    Json* members);
    bool EmitPython(const std::string& where, PyObject* value, Json* out);
    void EmitAttributes(int node, Json* entry);
    Json IndexOf(IRoot* object) const;
    bool Fail(std::string text) {
        mWhy = std::move(text);
        return false;
    }

    IRoot* mRoot = nullptr;
    std::vector<Node> mNodes;
    std::unordered_map<IRoot*, int> mIds;
    std::deque<int> mQueue;
    std::vector<int> mOrder;
    std::string mWhy;
    std::string mLeftOut;        // Python values not stored, one line each
    bool mPythonValues = false;  // any stored: the file is version 2
};

// Members hidden by a member of the same name in a derived part are neither stored nor walked,
// as look-up by name would never reach them.
template <class Fn>
bool ForEachVisibleMember(IRoot* object, Fn&& fn) {
    std::unordered_set<std::string_view> seen;
    bool ok = true;
    VnForEachMember(object, [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
        if (!seen.insert(d->name).second) return true;
        ok = fn(d, storage);
        return ok;
    });
    return ok;
}

int Writer::Add(IRoot* identity, bool walk) {
    int id = static_cast<int>(mNodes.size());
    Node node;
    node.object = identity;
    mNodes.push_back(std::move(node));
    mIds.emplace(identity, id);
    if (walk) {
        mNodes.back().walked = true;
        mQueue.push_back(id);
    }
    return id;
}

void Writer::Reach(IRoot* object) {
    if (!object) return;
    IRoot* identity = Identity(object);
    if (mIds.count(identity)) return;
    const VnROTEntry* entry = VnROT ? VnROT->EntryOf(identity) : nullptr;
    if (entry) {
        int id = Add(identity, false);
        mNodes[static_cast<size_t>(id)].moniker = MonikerText(*entry);
        return;
    }
    if (identity->IsStatic() == 1) return;  // stored as a null reference
    Add(identity, true);
}

bool Writer::Embed(IRoot* child, int parent, const char* member) {
    IRoot* identity = Identity(child);
    auto known = mIds.find(identity);
    int id = known != mIds.end() ? known->second : Add(identity, true);
    Node& node = mNodes[static_cast<size_t>(id)];
    if (node.parent >= 0 && (node.parent != parent || node.member != member))
        return Fail("An object of class " + ClassOf(identity) + " is embedded in two places");
    node.parent = parent;
    node.member = member;
    node.moniker.clear();  // embedded objects are part of their owner, even when registered
    if (!node.walked) {
        node.walked = true;
        mQueue.push_back(id);
    }
    return true;
}

bool Writer::Discover(int node) {
    IRoot* object = mNodes[static_cast<size_t>(node)].object;
    bool ok = ForEachVisibleMember(object, [&](const VnMemberDescriptor* d, void* storage) {
        if (!storage)
            return Fail("The members of an object of class " + ClassOf(object) +
                        " cannot be reached");
        if (d->type == kVnObject) return Embed(static_cast<IRoot*>(storage), node, d->name);
        if (d->type == kVnObjectRef) Reach(Read<IRoot*>(storage));
        return true;
    });
    if (!ok) return false;
    if (VnRef<IList> list = VnQuery<IList>(object)) {
        for (int i = 0, n = list->GetCount(); i < n; ++i) Reach(list->GetItem(i));
    }
    return true;
}

// Numbers the nodes in the order they were found, each embedding parent before what it embeds.
bool Writer::Number() {
    int next = 0;
    std::vector<int> chain;
    for (size_t start = 0; start < mNodes.size(); ++start) {
        chain.clear();
        for (int id = static_cast<int>(start); id >= 0 && mNodes[static_cast<size_t>(id)].index < 0;
             id = mNodes[static_cast<size_t>(id)].parent) {
            Node& node = mNodes[static_cast<size_t>(id)];
            if (node.index == -2)
                return Fail("An object of class " + ClassOf(node.object) + " embeds itself");
            node.index = -2;
            chain.push_back(id);
        }
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            mNodes[static_cast<size_t>(*it)].index = next++;
            mOrder.push_back(*it);
        }
    }
    return true;
}

Json Writer::IndexOf(IRoot* object) const {
    if (!object) return nullptr;
    auto it = mIds.find(Identity(object));
    if (it == mIds.end()) return nullptr;  // a static object outside the object table
    return mNodes[static_cast<size_t>(it->second)].index;
}

bool Writer::EmitMember(int node, IRoot* object, const VnMemberDescriptor* d, void* storage,
                        Json* members) {
    std::string where = "Object " + std::to_string(mNodes[static_cast<size_t>(node)].index) +
                        " member \"" + d->name + "\"";
    Json value;
    switch (d->type) {
        case kVnLong:
            value = Read<int32_t>(storage);
            break;
        case kVnFloat:
            value = Real(static_cast<double>(Read<float>(storage)));
            break;
        case kVnDouble:
            value = Real(Read<double>(storage));
            break;
        case kVnBool:
            value = Read<uint8_t>(storage);
            break;
        case kVnObject:
            value = IndexOf(static_cast<IRoot*>(storage));
            break;
        case kVnObjectRef:
            value = IndexOf(Read<IRoot*>(storage));
            break;
        case kVnString: {
            const char* text = static_cast<const char*>(storage);
            std::string_view view(text,
                                  d->size > 0 ? strnlen(text, static_cast<size_t>(d->size)) : 0);
            if (!IsValidUtf8(view)) return Fail(where + " holds text that is not UTF-8");
            value = std::string(view);
            break;
        }
        case kVnVornString:
        case kVnROTReference: {
            const char* text = Read<const char*>(storage);
            if (text && !IsValidUtf8(text)) return Fail(where + " holds text that is not UTF-8");
            if (text) value = text;
            break;
        }
        case kVnTime:
            value = Read<int64_t>(storage);
            break;
        case kVnPython:  // the owner's own object, which a loaded copy cannot replace
            mLeftOut += where + " is an embedded Python object, which a branch file cannot hold\n";
            return true;
        case kVnPythonRef: {
            auto* held = Read<PyObject*>(storage);
            if (!held || !EmitPython(where, held, &value))
                return true;  // an empty pointer stays empty
            break;
        }
        default:
            return Fail(where + " of class " + ClassOf(object) + " has the unknown type code " +
                        std::to_string(d->type));
    }
    (*members)[d->name] = Json{{"type", d->type}, {"value", std::move(value)}};
    return true;
}

// A Python value as JSON; false, with a line in the list of values left out, when it has no
// exact JSON form.
bool Writer::EmitPython(const std::string& where, PyObject* value, Json* out) {
    std::string why;
    if (!Py_IsInitialized() || !PythonToJson(value, where, out, &why)) {
        mLeftOut +=
            (why.empty() ? where + " holds a Python value, but Python has ended" : why) + "\n";
        return false;
    }
    mPythonValues = true;
    return true;
}

// The script attributes of the node's object, those JSON holds, by name.
void Writer::EmitAttributes(int node, Json* entry) {
    const Node& n = mNodes[static_cast<size_t>(node)];
    PyObject* attrs =
        ThePythonSide().Running() ? ThePythonSide().AttributesOf(n.object, false) : nullptr;
    if (!attrs || PyDict_GET_SIZE(attrs) == 0) return;
    Json stored = Json::object();
    // a snapshot: nothing run below changes the dict, but the loop must not depend on that
    PyRef items = PyRef::Steal(PyDict_Items(attrs));
    for (Py_ssize_t i = 0; items && i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* pair = PyList_GET_ITEM(items.get(), i);
        PyObject* key = PyTuple_GET_ITEM(pair, 0);
        const char* name = PyUnicode_Check(key) ? PyUnicode_AsUTF8(key) : nullptr;
        if (!name) {
            PyErr_Clear();
            mLeftOut += "Object " + std::to_string(n.index) +
                        " has an attribute whose name is not valid Unicode, which a branch file "
                        "cannot hold\n";
            continue;
        }
        std::string where = "Object " + std::to_string(n.index) + " attribute \"" + name + "\"";
        Json value;
        if (EmitPython(where, PyTuple_GET_ITEM(pair, 1), &value)) stored[name] = std::move(value);
    }
    PyErr_Clear();
    if (!stored.empty()) (*entry)["attributes"] = std::move(stored);
}

bool Writer::Emit(int node, Json* entry) {
    const Node& n = mNodes[static_cast<size_t>(node)];
    if (!n.moniker.empty()) {
        *entry = Json{{"moniker", n.moniker}};
        return true;
    }
    IRoot* object = n.object;
    const VnTypeInfo* type = object->GetTypeInfo();
    if (!type || !type->clsid || VnCLSIDIsNone(*type->clsid))
        return Fail("Object " + std::to_string(n.index) + " has no class id");
    *entry = Json::object();
    (*entry)["class"] = ClassIdText(*type->clsid);
    if (n.parent >= 0)
        (*entry)["embedded"] = Json::array({mNodes[static_cast<size_t>(n.parent)].index, n.member});
    Json members = Json::object();
    if (!ForEachVisibleMember(object, [&](const VnMemberDescriptor* d, void* storage) {
            return EmitMember(node, object, d, storage, &members);
        }))
        return false;
    (*entry)["members"] = std::move(members);
    if (VnRef<IList> list = VnQuery<IList>(object)) {
        Json items = Json::array();
        for (int i = 0, count = list->GetCount(); i < count; ++i)
            items.push_back(IndexOf(list->GetItem(i)));
        (*entry)["items"] = std::move(items);
    }
    EmitAttributes(node, entry);
    return true;
}

bool Writer::Write(IRoot* root, std::string* json, std::string* why, std::string* leftOut) {
    if (!root) {
        *why = "No object to write";
        return false;
    }
    mRoot = Identity(root);
    if (mRoot->IsStatic() == 1) {
        *why = "An object of class " + ClassOf(mRoot) +
               " lives for the whole process and cannot be branched";
        return false;
    }
    Add(mRoot, true);
    while (!mQueue.empty()) {
        int node = mQueue.front();
        mQueue.pop_front();
        if (!Discover(node)) {
            *why = mWhy;
            return false;
        }
    }
    Json objects = Json::array();
    if (!Number()) {
        *why = mWhy;
        return false;
    }
    for (int node : mOrder) {
        Json entry;
        if (!Emit(node, &entry)) {
            *why = mWhy;
            return false;
        }
        objects.push_back(std::move(entry));
    }
    Json doc = Json::object();
    doc["format"] = "vorn-branch";
    doc["version"] = mPythonValues ? 2 : 1;  // older readers keep reading files without them
    doc["root"] = mNodes[0].index;
    doc["objects"] = std::move(objects);
    try {
        *json = doc.dump(2) + "\n";
    } catch (const std::exception& e) {
        *why = std::string("The branch cannot be written as JSON: ") + e.what();
        return false;
    }
    if (leftOut) *leftOut = mLeftOut;
    return true;
}

}  // namespace

bool WriteBranch(IRoot* root, std::string* json, std::string* why, std::string* leftOut) {
    std::string ignored;
    if (!why) why = &ignored;
    if (!json) {
        *why = "No text to write the branch to";
        return false;
    }
    Writer writer;
    return writer.Write(root, json, why, leftOut);
}

}  // namespace vorn
