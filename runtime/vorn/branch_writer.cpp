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
#include "vorn/members.h"
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
    bool Write(IRoot* root, std::string* json, std::string* why);

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
        case kVnPython:
        case kVnPythonRef:
            return true;  // Python objects are not stored yet
        default:
            return Fail(where + " of class " + ClassOf(object) + " has the unknown type code " +
                        std::to_string(d->type));
    }
    (*members)[d->name] = Json{{"type", d->type}, {"value", std::move(value)}};
    return true;
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
    return true;
}

bool Writer::Write(IRoot* root, std::string* json, std::string* why) {
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
    doc["version"] = 1;
    doc["root"] = mNodes[0].index;
    doc["objects"] = std::move(objects);
    try {
        *json = doc.dump(2) + "\n";
    } catch (const std::exception& e) {
        *why = std::string("The branch cannot be written as JSON: ") + e.what();
        return false;
    }
    return true;
}

}  // namespace

bool WriteBranch(IRoot* root, std::string* json, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    if (!json) {
        *why = "No text to write the branch to";
        return false;
    }
    Writer writer;
    return writer.Write(root, json, why);
}

}  // namespace vorn
