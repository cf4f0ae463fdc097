#pragma once

#include "vorn/kalix.h"

// Interfaces by which engine objects are known to each other; members that hold an object of
// a kind require its interface.
#define KX_MARKER_INTERFACE(Name)                        \
    class Name : public IRoot {                          \
    public:                                              \
        static const VnIID& IID() { return IID_##Name; } \
                                                         \
    protected:                                           \
        ~Name() = default;                               \
    };

KX_MARKER_INTERFACE(IKxModel)
KX_MARKER_INTERFACE(IKxTransform)
KX_MARKER_INTERFACE(IKxCamera)
KX_MARKER_INTERFACE(IKxLight)
KX_MARKER_INTERFACE(IKxMaterial)
KX_MARKER_INTERFACE(IKxShader)
KX_MARKER_INTERFACE(IKxTexture)
KX_MARKER_INTERFACE(IKxTextureStage)
KX_MARKER_INTERFACE(IKxLine)
KX_MARKER_INTERFACE(IKxRecorder)

#undef KX_MARKER_INTERFACE
