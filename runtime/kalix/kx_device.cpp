#include "kx_device.h"

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "../vorn/object_util.h"
#include "../vorn/rot_table.h"
#include "../vorn/runtime.h"
#include "vorn/members.h"
#include "vorn/ref.h"

namespace kalix {

namespace {

const VnChoice kFillModes[] = {
    Choice("Solid", 0, "Filled faces"),
    Choice("Wireframe", 1, "Edges only"),
    {},
};

const VnMemberDescriptor kRecorderMembers[] = {
    KX_MEMBER(KxRecorder, record, "record", kVnBool, kKxApply,
              "While set, every frame is written to a bitmap"),
    KX_MEMBER(KxRecorder, length, "length", kVnDouble, kKxEdit,
              "Seconds of clock time to record; then recording stops"),
    KX_MEMBER(KxRecorder, frameRate, "frameRate", kVnFloat, kKxEdit,
              "Frames per second of clock time in the recording"),
    KX_MEMBER(KxRecorder, width, "width", kVnLong, kKxEdit, "Frame width when no window is shown"),
    KX_MEMBER(KxRecorder, height, "height", kVnLong, kKxEdit,
              "Frame height when no window is shown"),
    KX_MEMBER(KxRecorder, framesWritten, "framesWritten", kVnLong, 0,
              "Frames of the current or last recording"),
    KX_MEMBER(KxRecorder, folder, "folder", kVnVornString, 0,
              "Folder of the current or last recording"),
    {},
};

const VnMemberDescriptor kDeviceMembers[] = {
    KX_MEMBER(KxDevice, name, "name", kVnVornString, kKxEdit, "Name of the device"),
    KX_OBJECT(KxDevice, scene, "scene", kVnObjectRef, IID_IKxScene, kKxApply, "The scene it draws"),
    KX_MEMBER(KxDevice, recorder, "recorder", kVnObject, kKxEdit, "The frame recorder"),
    KX_MEMBER(KxDevice, background, "background", kVnObject, kKxEdit, "Colour behind everything"),
    KX_CHOICE(KxDevice, fillMode, "fillMode", kVnLong, kFillModes, kKxEdit | kVnEditExclusive,
              "How faces are drawn"),
    KX_MEMBER(KxDevice, width, "width", kVnLong, 0, "Width of the attached window"),
    KX_MEMBER(KxDevice, height, "height", kVnLong, 0, "Height of the attached window"),
    KX_MEMBER(KxDevice, renderMs, "renderMs", kVnDouble, 0, "Milliseconds the last frame took"),
    KX_MEMBER(KxDevice, lastFrameTime, "lastFrameTime", kVnTime, 0, "Clock time of the last frame"),
    KX_MEMBER(KxDevice, triangles, "triangles", kVnLong, 0, "Triangles in the last frame"),
    {},
};

KxDevice* gDevice = nullptr;

bool MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

PyObject* DeviceRender(PyObject* self, PyObject*) {
    return Bracket<KxDevice>(self, [](KxDevice* d) -> PyObject* {
        if (!d->RenderFrame()) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* DeviceSaveFrame(PyObject* self, PyObject* args) {
    return Bracket<KxDevice>(self, [args](KxDevice* d) -> PyObject* {
        const char* path = nullptr;
        if (!PyArg_ParseTuple(args, "s:SaveFrame", &path)) return nullptr;
        int w = 0, h = 0, stride = 0;
        const uint32_t* pixels = d->LastFrame(&w, &h, &stride);
        std::string why;
        if (!pixels || w <= 0 || h <= 0)
            return VnOS->SetError(-1, &CLSID_KxDevice, "No frame has been rendered yet");
        if (!WriteBmp(path, pixels, w, h, stride, &why))
            return VnOS->SetError(-1, &CLSID_KxDevice, "Cannot save the frame: %s", why.c_str());
        Py_RETURN_NONE;
    });
}

PyObject* DevicePick(PyObject* self, PyObject* args) {
    return Bracket<KxDevice>(self, [args](KxDevice* d) -> PyObject* {
        int x = 0, y = 0;
        if (!PyArg_ParseTuple(args, "ii:Pick", &x, &y)) return nullptr;
        IRoot* picked = nullptr;
        d->Pick(x, y, &picked);
        return PyOS->Wrap(VnRef<IRoot>::Adopt(picked).get(), 0);
    });
}

PyObject* DeviceHighlight(PyObject* self, PyObject* args) {
    return Bracket<KxDevice>(self, [args](KxDevice* d) -> PyObject* {
        PyObject* value = nullptr;
        if (!PyArg_ParseTuple(args, "O:Highlight", &value)) return nullptr;
        IRoot* model = value == Py_None ? nullptr : PyOS->Unwrap(value);
        if (value != Py_None && !model)
            return VnOS->SetError(-1, &CLSID_KxDevice, "Only a model can be highlighted");
        if (!d->Highlight(model)) return nullptr;
        Py_RETURN_NONE;
    });
}

PyObject* DeviceHighlighted(PyObject* self, PyObject*) {
    return Bracket<KxDevice>(self, [](KxDevice* d) -> PyObject* {
        IRoot* marked = nullptr;
        d->Highlighted(&marked);
        return PyOS->Wrap(VnRef<IRoot>::Adopt(marked).get(), 0);
    });
}

// FNV-1a over the values of members, following embedded objects, object pointers and list items
// once each. Python values are never drawn, so they are left out.
class Digest {
public:
    uint64_t Value() const { return mHash; }

    void Add(const void* data, size_t size) {
        for (const auto* p = static_cast<const unsigned char*>(data); size--; ++p)
            mHash = (mHash ^ *p) * 1099511628211ull;
    }
    template <class T>
    void Add(const T& value) {
        Add(&value, sizeof value);
    }

    void Object(IRoot* object) {
        IRoot* identity = object ? vorn::Identity(object) : nullptr;
        Add(identity);
        if (!identity || !mSeen.insert(identity).second) return;
        VnForEachMember(object,
                        [this](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
                            if (storage) Member(d, storage);
                            return true;
                        });
        if (VnRef<IList> list = VnQuery<IList>(object)) {
            const int count = list->GetCount();
            Add(count);
            for (int i = 0; i < count; ++i) Object(list->GetItem(i));
        }
    }

private:
    void Member(const VnMemberDescriptor* d, void* storage) {
        switch (d->type) {
            case kVnLong:
            case kVnFloat:
                return Add(storage, 4);
            case kVnDouble:
            case kVnTime:
                return Add(storage, 8);
            case kVnBool:
                return Add(storage, 1);
            case kVnObject:
                return Object(static_cast<IRoot*>(storage));
            case kVnObjectRef:
                return Object(*static_cast<IRoot**>(storage));
            case kVnString:
                return Add(storage, strnlen(static_cast<const char*>(storage), d->size));
            case kVnVornString:
            case kVnROTReference:
                if (const char* text = *static_cast<char**>(storage))
                    return Add(text, std::strlen(text) + 1);
                return Add(0);
            default:
                return;
        }
    }

    uint64_t mHash = 14695981039346656037ull;
    std::unordered_set<IRoot*> mSeen;
};

const VnMethodDef kDeviceMethods[] = {
    {"Render", DeviceRender, 4, "Render(): draws one frame now"},
    {"SaveFrame", DeviceSaveFrame, 1, "SaveFrame(path): writes the last frame as a bitmap"},
    {"Pick", DevicePick, 1,
     "Pick(x, y): the model drawn frontmost at that pixel of the last frame, or None"},
    {"Highlight", DeviceHighlight, 1,
     "Highlight(model): marks the model in the frames from now on; None clears"},
    {"Highlighted", DeviceHighlighted, 4, "Highlighted(): the marked model, or None"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

// --- recorder ---------------------------------------------------------------------------------

KxRecorder::~KxRecorder() { VnOS->Free(folder); }

const VnTypeInfo* KxRecorder::Type() {
    static const VnTypeInfo type = {&CLSID_KxRecorder,
                                    "Writes frames to numbered bitmaps",
                                    Interfaces(),
                                    kRecorderMembers,
                                    nullptr,
                                    nullptr,
                                    0};
    return &type;
}

bool KxRecorder::StartTake(std::string* why) {
    std::string base = std::string(vorn::TheRuntime().Paths().Get(kVnPathBase)) + "capture/";
    std::string take;
    for (int n = 0; n < 100000; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "take%04d", n);
        if (!Exists(base + name)) {
            take = base + name + "/";
            break;
        }
    }
    if (take.empty() || !MakeFolder(vorn::TheRuntime().Paths().Get(kVnPathBase)) ||
        !MakeFolder(base) || !MakeFolder(take)) {
        *why = "cannot make a folder below " + base;
        return false;
    }
    VnOS->Free(folder);
    folder = vorn::TheRuntime().Heap().Dup(take.c_str());
    framesWritten = 0;
    return true;
}

void KxRecorder::Stop(const char* why) {
    record = 0;
    mRecording = false;
    if (why) VnOS->SetError(-1, &CLSID_KxRecorder, "Recording stopped: %s", why);
}

void KxRecorder::Capture(const FrameBuffer& frame, VnClock* clock) {
    if (!record) {
        mRecording = false;
        return;
    }
    std::string why;
    if (!mRecording) {
        if (!StartTake(&why)) return Stop(why.c_str());
        mRecording = true;
        mStart = clock->currentTime;
    }
    char name[24];
    std::snprintf(name, sizeof name, "frame%05d.bmp", framesWritten);
    if (!WriteBmp(std::string(folder) + name, frame.Pixels(), frame.Width(), frame.Height(),
                  frame.Stride(), &why))
        return Stop(why.c_str());
    ++framesWritten;
    // frame n of the take shows clock time start + n / rate, without rounding drift
    double rate = std::isfinite(frameRate) && frameRate > 0 ? frameRate : 30.0;
    clock->currentTime = mStart + std::llround(framesWritten * kVnTicksPerSecond / rate);
    double seconds = std::isfinite(length) && length > 0 ? length : 0.0;
    if (static_cast<double>(clock->currentTime - mStart) >= seconds * kVnTicksPerSecond)
        Stop(nullptr);
}

// --- device -----------------------------------------------------------------------------------

KxDevice::KxDevice() {
    recorder.SetOuter(Root());
    background.SetOuter(Root());
    name = vorn::TheRuntime().Heap().Dup("Software renderer");
    vorn::TheRuntime().Sched().AddFrameClient(this);
}

KxDevice::~KxDevice() {
    vorn::TheRuntime().Sched().RemoveFrameClient(this);
    VnOS->Free(name);
    if (scene) scene->Release();
    if (gDevice == this) gDevice = nullptr;
}

const VnTypeInfo* KxDevice::Type() {
    static const VnTypeInfo type = {&CLSID_KxDevice,
                                    "The render device",
                                    Interfaces(),
                                    kDeviceMembers,
                                    kDeviceMethods,
                                    nullptr,
                                    0};
    return &type;
}

bool KxDevice::AttachWindow(IKxSurface* surface, int w, int h) {
    if (surface && (w <= 0 || h <= 0 || w > 16384 || h > 16384)) {
        VnOS->SetError(-1, &CLSID_KxDevice, "A window of %d x %d cannot be drawn into", w, h);
        return false;
    }
    mSurface = surface;
    mShownDigest = 0;  // a new surface, even at the old one's address, shows nothing yet
    width = surface ? w : 0;
    height = surface ? h : 0;
    VnOS->PostToApp();  // frames are due from now on
    return true;
}

bool KxDevice::SetScene(IRoot* newScene) {
    VnRef<IRoot> checked;
    if (newScene && !newScene->QueryInterface(IID_IKxScene, checked.out(), 0)) return false;
    if (newScene) newScene->AddRef();
    if (scene) scene->Release();
    scene = newScene;
    return true;
}

bool KxDevice::WantsFrames() { return mSurface != nullptr || recorder.record != 0; }

void KxDevice::Frame(const VnClock&) {
    VnClock* clock = VnOS->GetClock();
    // a frame that would show what the surface shows already costs only its digest
    const uint64_t digest = mSurface && !recorder.record ? FrameDigest(*clock) : 0;
    if (digest && digest == mShownDigest) return;
    int w = mSurface ? width : recorder.width;
    int h = mSurface ? height : recorder.height;
    Render(std::clamp(w, 0, 16384), std::clamp(h, 0, 16384));
    if (mSurface)
        mSurface->Present(mFrame.Pixels(), mFrame.Width(), mFrame.Height(), mFrame.Stride());
    mShownDigest = digest;
    recorder.Capture(mFrame, clock);
}

uint64_t KxDevice::FrameDigest(const VnClock& clock) {
    Digest digest;
    digest.Add(clock.currentTime);
    digest.Add(mSurface);
    digest.Add(width);
    digest.Add(height);
    digest.Add(fillMode);
    digest.Add(mHighlight.lock().get());
    digest.Object(background.Root());
    digest.Object(scene);
    return digest.Value() | 1;  // never 0, which stands for "nothing shown"
}

bool KxDevice::RenderFrame() {
    int w = mSurface ? width : recorder.width;
    int h = mSurface ? height : recorder.height;
    Render(std::clamp(w, 0, 16384), std::clamp(h, 0, 16384));
    if (mSurface)
        mSurface->Present(mFrame.Pixels(), mFrame.Width(), mFrame.Height(), mFrame.Stride());
    return true;
}

const uint32_t* KxDevice::LastFrame(int* w, int* h, int* stride) {
    if (w) *w = mFrame.Width();
    if (h) *h = mFrame.Height();
    if (stride) *stride = mFrame.Stride();
    return mFrame.Width() > 0 ? mFrame.Pixels() : nullptr;
}

bool KxDevice::Pick(int x, int y, IRoot** model) {
    if (!model) return false;
    *model = nullptr;
    Ray ray;
    if (mDrawn.empty() ||
        !PixelRay(mDrawnViewProjection, mFrame.Width(), mFrame.Height(), x, y, &ray))
        return true;
    // models destroyed since the frame are passed over
    const int hit = Frontmost(
        ray, mDrawn, [this](size_t i) { return mDrawnModels[i].expired(); }, &mPickScratch);
    if (hit >= 0) *model = mDrawnModels[static_cast<size_t>(hit)].lock().detach();
    return true;
}

bool KxDevice::Highlight(IRoot* model) {
    const VnRef<IKxModel> asModel = VnQuery<IKxModel>(model);
    auto* m = dynamic_cast<KxModel*>(asModel.get());
    if (model && !m) {
        VnOS->SetError(-1, &CLSID_KxDevice, "Only a model can be highlighted");
        return false;
    }
    mHighlight = VnWeak<IRoot>(m ? m->Root() : nullptr);
    return true;
}

bool KxDevice::Highlighted(IRoot** model) {
    if (!model) return false;
    *model = mHighlight.lock().detach();
    return true;
}

void KxDevice::Render(int w, int h) {
    auto started = std::chrono::steady_clock::now();
    mDrawn.clear();
    mDrawnModels.clear();
    mFrame.Resize(w, h);
    mFrame.Clear(PackColor(background.Value()));
    triangles = 0;
    auto* s = dynamic_cast<KxScene*>(scene);
    if (s && s->enabled && w > 0 && h > 0)
        DrawScene(s, static_cast<float>(w) / static_cast<float>(h));
    lastFrameTime = VnOS->GetClock()->currentTime;
    renderMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                   .count();
}

void KxDevice::DrawScene(KxScene* s, float aspect) {
    KxCamera fallback;
    auto* camera = dynamic_cast<KxCamera*>(s->camera);
    if (!camera) camera = &fallback;
    Vec3 eye = camera->position.Value();
    Mat4 view = LookAt(eye, camera->target.Value(), {0, 1, 0});
    float fov = std::clamp(camera->fieldOfView, 1.0f, 179.0f) * 3.14159265f / 180.0f;
    float nearPlane = std::max(camera->nearPlane, 1e-4f);
    float farPlane = std::max(camera->farPlane, nearPlane * 2);
    Mat4 projection = Perspective(fov, aspect, nearPlane, farPlane);

    std::vector<Light> lights;
    for (int i = 0, n = s->lights.GetCount(); i < n; ++i)
        if (auto* l = dynamic_cast<KxLight*>(s->lights.GetItem(i)); l && l->node.visible)
            lights.push_back(l->ToLight());
    Vec4 ambient = s->ambient.Value();
    mRaster.Begin(&mFrame, view, projection, eye, {ambient.x, ambient.y, ambient.z}, lights);
    mDrawnViewProjection = Multiply(projection, view);

    const VnRef<IRoot> marked = mHighlight.lock();
    for (int i = 0, n = s->models.GetCount(); i < n; ++i) {
        auto* m = dynamic_cast<KxModel*>(s->models.GetItem(i));
        if (m && m->node.visible) DrawModel(m, marked.get());
    }
    for (int i = 0, n = s->lines.GetCount(); i < n; ++i)
        if (auto* l = dynamic_cast<KxLine*>(s->lines.GetItem(i)); l && l->node.visible)
            mRaster.DrawLine(l->from.Value(), l->to.Value(), PackColor(l->color.Value()));
    triangles = mRaster.TrianglesDrawn();
}

void KxDevice::DrawModel(KxModel* m, IRoot* marked) {
    auto* material = dynamic_cast<KxMaterial*>(m->material);
    Surface surface = material ? material->MakeSurface() : Surface{};
    if (m->flags & KxModel::Wireframe || fillMode == 1) surface.wireframe = true;
    if (m->flags & KxModel::Unlit) surface.lighting = Lighting::Unlit;
    if (m->flags & KxModel::TwoSided) surface.cull = Cull::None;
    if (m->Root() == marked) MarkHighlighted(&surface);
    DrawnMesh drawn{m->GetMesh(), m->MeshBounds(), m->transform.World(), surface.cull};
    mRaster.DrawMesh(*drawn.mesh, drawn.world, surface);
    mDrawn.push_back(std::move(drawn));
    mDrawnModels.emplace_back(m->Root());
}

// --- engine -----------------------------------------------------------------------------------

bool StartEngine(std::string* why) {
    RegisterValueClasses();
    RegisterLookClasses();
    RegisterNodeClasses();
    auto& classes = vorn::TheRuntime().Classes();
    classes.Register({KxRecorder::Type(), nullptr});  // lives inside the device
    classes.Register({KxDevice::Type(), nullptr});    // one device, "kx:/dev"
    auto* device = new KxDevice();
    gDevice = device;
    bool registered = VnROT->Register("kx:/dev", device->Root());
    device->Release();  // the table keeps it
    if (!registered) *why = "Cannot register the render device as kx:/dev";
    return registered;
}

void StopEngine() {
    if (!gDevice) return;
    gDevice->AttachWindow(nullptr, 0, 0);
    if (VnROT && VnROT->EntryOf(gDevice->Root())) VnROT->Revoke("kx:/dev");
}

}  // namespace kalix
