#pragma once

#include <QString>
#include <memory>
#include <vector>

#include "core/member_value.h"
#include "vorn/py_ref.h"
#include "vorn/ref.h"

// One node of the object tree. A data node carries the member value it shows (a descriptor and
// the address of the value). A node that has not been expanded has no children yet but shows an
// expand button. Every node keeps alive what its value lives in, so a script that frees an
// object on screen never leaves a node pointing at freed memory: the node lets go when it is
// rebuilt.
struct TBrowserNode {
    enum class Kind { Design, Root, Member, Object, Python };

    Kind kind = Kind::Design;
    TBrowserNode* parent = nullptr;
    int row = 0;  // position among the parent's children
    std::vector<std::unique_ptr<TBrowserNode>> children;
    mw::MemberValue value;
    VnRef<IRoot> keep;  // the runtime object the value lives in (or is)
    PyRef keepPython;   // the Python object the value is
    QString label;      // made when the view first asks, for list items
    bool labelMade = false;
    int position = -1;  // a list item's position, for its label
    // How a script reaches the node's value from its parent's: a dictionary item's key, or a
    // fixed step (".__class__", "[2]") where neither the member nor the position says it.
    PyRef key;
    QString step;

    bool expanded = false;  // children were built from the live object

    // What the tree's filter made of the node.
    QString folded;  // the label case-folded, made when a filter first reads it
    bool foldedMade = false;
    bool matched = false;  // the label holds the filter's text
    bool hidden = false;   // the view hides the node's row

    bool HasData() const { return kind != Kind::Design; }

    TBrowserNode() = default;
    TBrowserNode(const TBrowserNode&) = delete;
    TBrowserNode& operator=(const TBrowserNode&) = delete;
    // Deep trees (a chain of nested lists) go without recursion.
    ~TBrowserNode() {
        std::vector<std::unique_ptr<TBrowserNode>> pending = std::move(children);
        while (!pending.empty()) {
            std::unique_ptr<TBrowserNode> node = std::move(pending.back());
            pending.pop_back();
            for (auto& child : node->children) pending.push_back(std::move(child));
            node->children.clear();
        }
    }
};
