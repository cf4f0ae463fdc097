#include "browser/python_path.h"

#include <QStringList>

#include "browser/browser_model.h"
#include "browser/browser_node.h"
#include "browser/browser_rules.h"
#include "vorn/py_ref.h"

namespace browser {

namespace {

// How a script gets from the parent's value to the node's; empty when nothing says it.
QString StepOf(const TBrowserNode* node) {
    if (node->key) return KeyStep(TBrowserModel::NodePython(node->parent), node->key.get());
    if (!node->step.isEmpty()) return node->step;
    if (node->kind == TBrowserNode::Kind::Member && node->value.desc && node->value.desc->name)
        return "." + QString::fromUtf8(node->value.desc->name);
    if (node->position >= 0) return QString("[%1]").arg(node->position);
    return {};
}

}  // namespace

QString PythonLiteral(const QString& text) {
    QString literal = "\"";
    for (const QChar c : text) {
        if (c == '\\' || c == '"')
            literal += QString("\\") + c;
        else if (c.unicode() < 0x20)
            literal += QString("\\x%1").arg(c.unicode(), 2, 16, QChar('0'));
        else
            literal += c;
    }
    return literal + "\"";
}

QString KeyStep(PyObject* container, PyObject* key) {
    if (!key) return {};
    if (container && PyModule_Check(container) && PyUnicode_Check(key) &&
        PyUnicode_IsIdentifier(key) == 1)
        return "." + QString::fromUtf8(PyUnicode_AsUTF8(key));
    // only keys whose text reads back as the same key make a path
    if (!PyUnicode_Check(key) && !PyLong_Check(key) && !PyFloat_Check(key) && !PyBool_Check(key) &&
        !PyTuple_Check(key) && !PyBytes_Check(key) && key != Py_None)
        return {};
    PyRef text = PyRef::Steal(PyObject_Repr(key));
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!utf8) {
        PyErr_Clear();
        return {};
    }
    const QString step = "[" + QString::fromUtf8(utf8) + "]";
    return container && PyModule_Check(container) ? ".__dict__" + step : step;
}

QString RegisteredPath(IRoot* object) {
    const QString moniker = MonikerText(object);
    return moniker.isEmpty() ? QString() : "vorn.os.GetObject(" + PythonLiteral(moniker) + ")";
}

QString NodePath(const TBrowserNode* node, const TBrowserNode* selected) {
    QStringList steps;  // from the node up
    QString fromSelection;
    for (const TBrowserNode* at = node; at && at->HasData(); at = at->parent) {
        QString path = RegisteredPath(TBrowserModel::NodeObject(at));
        if (!path.isEmpty()) {
            for (auto step = steps.crbegin(); step != steps.crend(); ++step) path += *step;
            return path;
        }
        if (at == selected) {
            fromSelection = "app.browser.GetSelected()";
            for (auto step = steps.crbegin(); step != steps.crend(); ++step) fromSelection += *step;
        }
        if (at->kind == TBrowserNode::Kind::Root) break;
        const QString step = StepOf(at);
        if (step.isEmpty()) break;
        steps << step;
    }
    return fromSelection;
}

}  // namespace browser
