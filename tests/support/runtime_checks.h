#pragma once

#include <QString>

#include "vorn/os.h"

// The object's reference count, read without changing it.
inline int Refs(IRoot* object) {
    object->AddRef();
    return object->Release();
}

// The runtime's pending error text (empty when none); the runtime's copy is given back.
inline QString PendingError() {
    char* text = nullptr;
    VnOS->GetErrorText(&text);
    QString copy = QString::fromUtf8(text ? text : "");
    VnOS->Free(text);
    return copy;
}
