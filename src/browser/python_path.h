#pragma once

#include <Python.h>

#include <QString>

#include "vorn/iroot.h"

struct TBrowserNode;

// Python expressions that give what the browser shows, for the console and for scripts.
namespace browser {

// The expression that gives the value `node` shows: from the moniker of the nearest registered
// object on the way up ('vorn.os.GetObject("kx:/dev").scene.models[2]'), else from the
// browser's selection when `selected` is `node` or lies above it. Empty when neither reaches it.
QString NodePath(const TBrowserNode* node, const TBrowserNode* selected);
// The step from `container` to its item `key`: ".name" for a module's names, else "[repr]".
// Empty when the key has no text that reads back.
QString KeyStep(PyObject* container, PyObject* key);
// 'vorn.os.GetObject("kx:/dev")' for a registered object; empty for any other.
QString RegisteredPath(IRoot* object);
// A Python string literal of `text`.
QString PythonLiteral(const QString& text);

}  // namespace browser
