#pragma once

#include <string>
#include <vector>

#include "kx_nodes.h"
#include "render/pick.h"
#include "render/rasterizer.h"
#include "scheduler.h"
#include "vorn/weak.h"

namespace kalix {

// Writes rendered frames as numbered bitmaps while "record" is set, stepping the clock by a
// fixed time per frame, and clears "record" itself after "length" seconds of clock time.
class KxRecorder final : public VnObject<IKxRecorder, INotify> {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    ~KxRecorder() override;
    bool MemberChanged(void* member) override { return IsOwnMember(Root(), member); }

    // Called with every frame the device renders.
    void Capture(const FrameBuffer& frame, VnClock* clock);

    unsigned char record = 0;
    double length = 5;     // seconds of clock time
    float frameRate = 30;  // frames per second of clock time
    int32_t width = 640;   // frame size when no window is attached
    int32_t height = 480;
    int32_t framesWritten = 0;
    char* folder = nullptr;  // where the current or last recording went

private:
    bool StartTake(std::string* why);
    void Stop(const char* why);
    bool mRecording = false;
    int64_t mStart = 0;
};

// The render device "kx:/dev": draws its scene into an attached surface at the frame rate.
class KxDevice final : public VnObject<IKxDevice, INotify>, public vorn::FrameClient {
public:
    static const VnTypeInfo* Type();
    const VnTypeInfo* GetTypeInfo() override { return Type(); }
    KxDevice();
    ~KxDevice() override;

    bool AttachWindow(IKxSurface* surface, int width, int height) override;
    bool SetScene(IRoot* scene) override;
    bool RenderFrame() override;
    const uint32_t* LastFrame(int* width, int* height, int* stride) override;
    bool Pick(int x, int y, IRoot** model) override;
    bool Highlight(IRoot* model) override;
    bool Highlighted(IRoot** model) override;
    bool MemberChanged(void* member) override { return IsOwnMember(Root(), member); }

    bool WantsFrames() override;
    void Frame(const VnClock& clock) override;

    char* name = nullptr;
    IRoot* scene = nullptr;
    KxRecorder recorder;
    KxColor background{0.08f, 0.09f, 0.12f, 1};
    int32_t fillMode = 0;  // 0 solid, 1 wireframe
    int32_t width = 0;     // of the attached surface
    int32_t height = 0;
    double renderMs = 0;
    int64_t lastFrameTime = 0;
    int32_t triangles = 0;

private:
    void Render(int w, int h);
    void DrawScene(class KxScene* s, float aspect);
    void DrawModel(KxModel* m, IRoot* marked);
    // A digest of all a frame shows: the clock time, the surface and its size, the background,
    // the fill mode, the highlighted model and every member of every object the scene reaches.
    uint64_t FrameDigest(const VnClock& clock);
    IKxSurface* mSurface = nullptr;
    VnWeak<IRoot> mHighlight;  // a mark of the view, not a member: never saved or undone
    // The models the last frame drew and how: picking traces a pixel back through these by a
    // ray, so a frame pays only a weak reference and a shared mesh per model for it.
    std::vector<VnWeak<IRoot>> mDrawnModels;
    std::vector<DrawnMesh> mDrawn;
    Mat4 mDrawnViewProjection;
    std::vector<Vec3> mPickScratch;
    uint64_t mShownDigest = 0;  // of the frame last presented; 0 before the first
    FrameBuffer mFrame;
    Rasterizer mRaster;
};

// Registers the engine's classes and the device "kx:/dev"; undone by StopEngine.
bool StartEngine(std::string* why);
void StopEngine();

}  // namespace kalix
