#pragma once

#include <cstdint>

#include "vorn/iroot.h"

// The engine's interfaces and class ids (module "kalix").

VORN_API extern const VnIID IID_IKxColor;
VORN_API extern const VnIID IID_IKxVector;
VORN_API extern const VnIID IID_IKxQuaternion;
VORN_API extern const VnIID IID_IKxDevice;
VORN_API extern const VnIID IID_IKxScene;
VORN_API extern const VnIID IID_IKxModel;
VORN_API extern const VnIID IID_IKxTransform;
VORN_API extern const VnIID IID_IKxCamera;
VORN_API extern const VnIID IID_IKxLight;
VORN_API extern const VnIID IID_IKxMaterial;
VORN_API extern const VnIID IID_IKxShader;
VORN_API extern const VnIID IID_IKxTexture;
VORN_API extern const VnIID IID_IKxTextureStage;
VORN_API extern const VnIID IID_IKxLine;
VORN_API extern const VnIID IID_IKxRecorder;

VORN_API extern const VnCLSID CLSID_KxDevice;
VORN_API extern const VnCLSID CLSID_KxScene;
VORN_API extern const VnCLSID CLSID_KxShader;
VORN_API extern const VnCLSID CLSID_KxCamera;
VORN_API extern const VnCLSID CLSID_KxLight;
VORN_API extern const VnCLSID CLSID_KxLine;
VORN_API extern const VnCLSID CLSID_KxMaterial;
VORN_API extern const VnCLSID CLSID_KxModel;
VORN_API extern const VnCLSID CLSID_KxTexture;
VORN_API extern const VnCLSID CLSID_KxTextureStage;
VORN_API extern const VnCLSID CLSID_KxTransform;
VORN_API extern const VnCLSID CLSID_KxVector;
VORN_API extern const VnCLSID CLSID_KxQuaternion;
VORN_API extern const VnCLSID CLSID_KxColor;
VORN_API extern const VnCLSID CLSID_KxRecorder;

// A colour: R, G, B and alpha as floats, nominally 0 to 1.
class IKxColor : public IRoot {
public:
    static const VnIID& IID() { return IID_IKxColor; }
    virtual const float* GetValue() = 0;
    virtual float* EditValue() = 0;
    // Hue in degrees, saturation and value 0 to 1; a negative alpha keeps the current alpha.
    virtual void SetHSV(float hue, float saturation, float value, float alpha) = 0;

protected:
    ~IKxColor() = default;
};

// A vector: x, y, z.
class IKxVector : public IRoot {
public:
    static const VnIID& IID() { return IID_IKxVector; }
    virtual const float* GetValue() = 0;
    virtual float* EditValue() = 0;

protected:
    ~IKxVector() = default;
};

// A rotation: x, y, z, w of a unit quaternion. Angles in radians: yaw about Y, pitch about X,
// roll about Z.
class IKxQuaternion : public IRoot {
public:
    static const VnIID& IID() { return IID_IKxQuaternion; }
    virtual const float* GetValue() = 0;
    virtual float* EditValue() = 0;
    virtual void GetYawPitchRoll(float* yaw, float* pitch, float* roll) = 0;
    virtual void SetYawPitchRoll(float yaw, float pitch, float roll) = 0;

protected:
    ~IKxQuaternion() = default;
};

// Where a device shows its frames: the embedding program's window. Pixels are 0xAARRGGBB,
// rows top to bottom, `stride` pixels apart.
class IKxSurface {
public:
    virtual void Present(const uint32_t* pixels, int width, int height, int stride) = 0;

protected:
    ~IKxSurface() = default;
};

// The render device, registered as "kx:/dev".
class IKxDevice : public IRoot {
public:
    static const VnIID& IID() { return IID_IKxDevice; }
    // Renders into `surface` at that size from the next frame on; a null surface detaches.
    virtual bool AttachWindow(IKxSurface* surface, int width, int height) = 0;
    // The scene the device draws (an object answering IKxScene), or null for none.
    virtual bool SetScene(IRoot* scene) = 0;
    // Renders one frame now and presents it; the last frame stays readable.
    virtual bool RenderFrame() = 0;
    virtual const uint32_t* LastFrame(int* width, int* height, int* stride) = 0;
    // The model (held) drawn frontmost at pixel (x, y) of the last frame, x right and y down;
    // null over the background, outside the frame or before any frame. False for a null `model`.
    virtual bool Pick(int x, int y, IRoot** model) = 0;
    // Marks a model in the frames from now on; null clears. False, with the error set, for an
    // object that is not a model. The mark is the view's: it is no member of anything.
    virtual bool Highlight(IRoot* model) = 0;
    // The marked model (held), or null when none is marked or it has been destroyed.
    virtual bool Highlighted(IRoot** model) = 0;

protected:
    ~IKxDevice() = default;
};

class IKxScene : public IRoot {
public:
    static const VnIID& IID() { return IID_IKxScene; }

protected:
    ~IKxScene() = default;
};
