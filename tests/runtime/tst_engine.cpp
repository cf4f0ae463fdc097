// The engine's objects: every class's members written through its type information, the value
// interfaces, rendering through the device, picking and highlighting, and the frame recorder.
#include <Python.h>

#include <QtTest>

#include "kalix/kx_device.h"
#include "test_env.h"
#include "vorn/kalix.h"
#include "vorn/members.h"
#include "vorn/ref.h"
#include "vorn/rot.h"

using namespace kalix;

namespace {

// Keeps the last frame a device presented.
class TestSurface final : public IKxSurface {
public:
    void Present(const uint32_t* pixels, int w, int h, int pitch) override {
        width = w;
        height = h;
        frame.assign(pixels, pixels + static_cast<size_t>(h) * pitch);
        stride = pitch;
        ++presents;
    }
    uint32_t At(int x, int y) const { return frame[static_cast<size_t>(y) * stride + x]; }
    int width = 0, height = 0, stride = 0, presents = 0;
    std::vector<uint32_t> frame;
};

VnRef<IRoot> Make(const VnCLSID& clsid) {
    VnRef<IRoot> object;
    VnOS->CreateInstance(clsid, IID_IRoot, object.out());
    return object;
}

template <class T>
T* As(const VnRef<IRoot>& object) {
    return dynamic_cast<T*>(object.get());
}

int Red(uint32_t c) { return (c >> 16) & 0xFF; }
int Green(uint32_t c) { return (c >> 8) & 0xFF; }
int Blue(uint32_t c) { return c & 0xFF; }

// A class that answers the interface a reference member requires.
const VnCLSID* ClassFor(const VnIID& iid) {
    static const std::pair<const VnIID*, const VnCLSID*> kinds[] = {
        {&IID_IKxScene, &CLSID_KxScene},       {&IID_IKxCamera, &CLSID_KxCamera},
        {&IID_IKxMaterial, &CLSID_KxMaterial}, {&IID_IKxShader, &CLSID_KxShader},
        {&IID_IKxTexture, &CLSID_KxTexture},
    };
    for (auto& k : kinds)
        if (VnIIDMatches(iid, *k.first)) return k.second;
    return nullptr;
}

}  // namespace

class TestEngine : public QObject {
    Q_OBJECT

    TestEnvironment mEnv;
    VnRef<IKxDevice> mDevice;

    // A scene with a camera at (0, 0, 5) looking at the origin, a white directional light
    // from the camera's side and one model per colour at the given depths.
    VnRef<IRoot> Scene(std::initializer_list<std::pair<float, Vec4>> cubes) {
        VnRef<IRoot> scene = Make(CLSID_KxScene);
        auto* s = As<KxScene>(scene);
        VnRef<IRoot> camera = Make(CLSID_KxCamera);
        As<KxCamera>(camera)->position.Set({0, 0, 5});
        s->camera = camera.detach();
        VnRef<IRoot> light = Make(CLSID_KxLight);
        As<KxLight>(light)->direction.Set({0, 0, -1});
        s->lights.AddItem(-1, light.get());
        for (auto& [z, color] : cubes) {
            VnRef<IRoot> model = Make(CLSID_KxModel);
            VnRef<IRoot> material = Make(CLSID_KxMaterial);
            As<KxMaterial>(material)->diffuse.Set(color.x, color.y, color.z, 1);
            As<KxMaterial>(material)->specular.Set(0, 0, 0, 1);
            As<KxModel>(model)->material = material.detach();
            As<KxModel>(model)->transform.translation.Set({0, 0, z});
            s->models.AddItem(-1, model.get());
        }
        return scene;
    }

private slots:
    void initTestCase() {
        QVERIFY(VnOS->IsStarted());
        QVERIFY(VnROT->GetObject("kx:/dev", &CLSID_KxDevice, IID_IKxDevice, mDevice.out(), 0));
    }

    void init() { VnOS->SetError(0, nullptr, nullptr); }

    // Catches members whose offsets, sizes or notifications are wrong: every editable member of
    // every class is written through its descriptor and read back, owners accept the change.
    void everyMemberOfEveryClass_data() {
        QTest::addColumn<QString>("cls");
        for (const char* c :
             {"KxScene", "KxModel", "KxTransform", "KxCamera", "KxLight", "KxMaterial", "KxShader",
              "KxTexture", "KxTextureStage", "KxLine", "KxColor", "KxVector", "KxQuaternion"})
            QTest::newRow(c) << QString(c);
    }
    void everyMemberOfEveryClass() {
        QFETCH(QString, cls);
        VnCLSID clsid = VnMakeCLSID("kalix", cls.toUtf8(), -1);
        VnRef<IRoot> object;
        QVERIFY(VnOS->CreateInstance(clsid, IID_IRoot, object.out()));
        long blocks = VnOS->LiveBlocks();
        int written = 0;
        QString failed;
        VnForEachMember(object.get(), [&](const VnMemberDescriptor* d, void* s, const VnTypeInfo*) {
            if (!d->description || !*d->description)
                failed += QString(d->name) + " (no description) ";
            if (!(d->editflags & kVnEditable)) return true;
            switch (d->type) {
                case kVnLong: {
                    auto* choices = static_cast<const VnChoice*>(d->extra);
                    *static_cast<int32_t*>(s) = choices ? choices[0].value.i32 : 3;
                    break;
                }
                case kVnFloat:
                    *static_cast<float*>(s) = 0.5f;
                    break;
                case kVnDouble:
                    *static_cast<double*>(s) = 0.25;
                    break;
                case kVnBool:
                    *static_cast<unsigned char*>(s) = 1;
                    break;
                case kVnString:
                    std::strcpy(static_cast<char*>(s), "abc");
                    break;
                case kVnVornString:
                    VnOS->Free(*static_cast<char**>(s));
                    *static_cast<char**>(s) = static_cast<char*>(VnOS->Alloc(4));
                    std::strcpy(*static_cast<char**>(s), "abc");
                    break;
                case kVnTime:
                    *static_cast<int64_t*>(s) = 123456789;
                    break;
                case kVnObjectRef: {
                    const VnCLSID* kind = d->iid ? ClassFor(*d->iid) : nullptr;
                    if (!kind) return true;
                    VnRef<IRoot> value;
                    VnOS->CreateInstance(*kind, IID_IRoot, value.out());
                    IRoot*& slot = *static_cast<IRoot**>(s);
                    if (slot) slot->Release();
                    slot = value.detach();
                    break;
                }
                case kVnObject: {
                    // an embedded object counts through its owner
                    auto* embedded = static_cast<IRoot*>(s);
                    int before = object->AddRef() - 1;
                    object->Release();
                    embedded->AddRef();
                    int owner = object->AddRef() - 1;
                    object->Release();
                    embedded->Release();
                    if (owner != before + 1) failed += QString(d->name) + " (counts apart) ";
                    break;
                }
                default:
                    return true;  // Python and ROT references are written elsewhere
            }
            ++written;
            if (d->editflags & kVnEditNotify) {
                VnRef<INotify> notify = VnQuery<INotify>(object.get());
                if (!notify || !notify->MemberChanged(s))
                    failed += QString(d->name) + " (refused) ";
            }
            return true;
        });
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QVERIFY(written > 0);
        QVERIFY(!VnOS->HasError(0));
        object.reset();
        QVERIFY(VnOS->LiveBlocks() <= blocks);
    }

    // Catches HSV or angle conversions that drift from the exact values.
    void valueInterfaces() {
        VnRef<IRoot> color = Make(CLSID_KxColor);
        VnRef<IKxColor> c = VnQuery<IKxColor>(color.get());
        c->EditValue()[3] = 0.3f;
        c->SetHSV(240, 1, 1, -9);
        QCOMPARE(std::vector<float>(c->GetValue(), c->GetValue() + 4),
                 std::vector<float>({0, 0, 1, 0.3f}));
        c->SetHSV(60, 1, 0.5f, 1);
        QCOMPARE(std::vector<float>(c->GetValue(), c->GetValue() + 4),
                 std::vector<float>({0.5f, 0.5f, 0, 1}));

        VnRef<IRoot> quat = Make(CLSID_KxQuaternion);
        VnRef<IKxQuaternion> q = VnQuery<IKxQuaternion>(quat.get());
        q->SetYawPitchRoll(0.7f, -0.4f, 1.1f);
        float yaw = 0, pitch = 0, roll = 0;
        q->GetYawPitchRoll(&yaw, &pitch, &roll);
        QVERIFY(std::fabs(yaw - 0.7f) < 1e-5f && std::fabs(pitch + 0.4f) < 1e-5f &&
                std::fabs(roll - 1.1f) < 1e-5f);
        q->SetYawPitchRoll(3.14159265f / 2, 0, 0);
        const float* v = q->GetValue();
        QVERIFY(std::fabs(v[1] - std::sqrt(0.5f)) < 1e-6f &&
                std::fabs(v[3] - std::sqrt(0.5f)) < 1e-6f);
    }

    // Catches a device that draws nothing, draws over the background everywhere, or lets a
    // farther object cover a nearer one.
    void renderingThroughTheDevice() {
        TestSurface surface;
        QVERIFY(!mDevice->AttachWindow(&surface, 0, 0));
        QVERIFY(mDevice->AttachWindow(&surface, 64, 48));
        VnRef<IRoot> scene = Scene({{0, {1, 1, 1, 1}}});
        QVERIFY(mDevice->SetScene(scene.get()));
        QVERIFY(mDevice->RenderFrame());
        QCOMPARE(surface.width, 64);
        uint32_t background = surface.At(0, 0);
        QVERIFY(surface.At(32, 24) != background);
        QCOMPARE(surface.At(63, 47), background);

        // the light's colour shows in the next frame
        auto* light = dynamic_cast<KxLight*>(As<KxScene>(scene)->lights.GetItem(0));
        light->color.Set(1, 0, 0, 1);
        mDevice->RenderFrame();
        QVERIFY(Red(surface.At(32, 24)) > 100 && Green(surface.At(32, 24)) < 80);

        // nearer hides farther, whatever the order of drawing
        VnRef<IRoot> two = Scene({{2, {0, 0, 1, 1}}, {-2, {0, 1, 0, 1}}});
        mDevice->SetScene(two.get());
        mDevice->RenderFrame();
        QVERIFY(Blue(surface.At(32, 24)) > Green(surface.At(32, 24)));

        // detached, frames still render (at the recorder's size) and re-attaching works
        QVERIFY(mDevice->AttachWindow(nullptr, 0, 0));
        int presents = surface.presents;
        QVERIFY(mDevice->RenderFrame());
        QCOMPARE(surface.presents, presents);
        QVERIFY(mDevice->AttachWindow(&surface, 16, 16));
        mDevice->RenderFrame();
        QCOMPARE(surface.width, 16);
        mDevice->AttachWindow(nullptr, 0, 0);
        mDevice->SetScene(nullptr);
    }

    // Catches a recorder that writes no frames, steps the clock wrongly, or never stops.
    void recorderWritesFramesAndStops() {
        auto* device = dynamic_cast<KxDevice*>(mDevice.get());
        VnRef<IRoot> scene = Scene({{0, {1, 1, 1, 1}}});
        mDevice->SetScene(scene.get());
        KxRecorder& r = device->recorder;
        r.width = 32;
        r.height = 24;
        r.length = 0.1;
        r.frameRate = 30;
        QVERIFY(!device->WantsFrames());
        r.record = 1;  // as the time bar does: a plain write, no notification
        QVERIFY(device->WantsFrames());
        VnClock* clock = VnOS->GetClock();
        clock->speed = 0;
        int64_t start = clock->currentTime;
        for (int i = 0; i < 10 && r.record; ++i) device->Frame(*clock);
        QCOMPARE(int(r.record), 0);
        QCOMPARE(r.framesWritten, 3);
        QCOMPARE(clock->currentTime - start, kVnTicksPerSecond / 10);
        QString take = QString::fromUtf8(r.folder);
        QVERIFY(take.startsWith(mEnv.folder("base") + "capture/take0000"));
        for (int i = 0; i < 3; ++i)
            QVERIFY(QFile::exists(take + QString("frame%1.bmp").arg(i, 5, 10, QChar('0'))));
        QVERIFY(!QFile::exists(take + "frame00003.bmp"));
        // the next recording goes to a folder of its own
        r.record = 1;
        device->Frame(*clock);
        QVERIFY(QString::fromUtf8(r.folder).contains("take0001"));
        r.record = 0;
        device->Frame(*clock);
        clock->speed = 1;
        mDevice->SetScene(nullptr);
    }

    // Catches picking that answers a model drawn behind another or with its faces turned away,
    // the background, where a model is now instead of where the last frame drew it, or a model
    // destroyed since.
    void pickingTracesPixelsToTheLastFrame() {
        // two cubes, the front one listed last: the back one is hidden behind it
        VnRef<IRoot> scene = Scene({{-2, {0, 0, 1, 1}}, {0, {1, 1, 1, 1}}});
        auto* s = As<KxScene>(scene);
        VnRef<IRoot> front(s->models.GetItem(1));
        IRoot* back = s->models.GetItem(0);
        // a cube around the camera: seen from inside, its faces are turned away and not drawn
        VnRef<IRoot> room = Make(CLSID_KxModel);
        As<KxModel>(room)->transform.scaling.Set({30, 30, 30});
        s->models.AddItem(-1, room.get());
        auto pick = [this](int x, int y) {
            IRoot* picked = nullptr;
            mDevice->Pick(x, y, &picked);
            return VnRef<IRoot>::Adopt(picked);
        };
        QVERIFY(!mDevice->Pick(0, 0, nullptr));
        TestSurface surface;
        mDevice->AttachWindow(&surface, 64, 48);
        mDevice->SetScene(scene.get());
        mDevice->RenderFrame();
        QCOMPARE(pick(32, 24).get(), front.get());
        QVERIFY(!pick(0, 0) && !pick(-1, 24) && !pick(64, 24) && !pick(32, 48));

        // moved right and turned into a sphere after the frame: still where the frame drew it
        auto* model = As<KxModel>(front);
        model->transform.translation.Set({3, 0, 0});
        model->shape = KxModel::Sphere;
        QCOMPARE(pick(32, 24).get(), front.get());
        QCOMPARE(pick(36, 20).get(), front.get());  // a corner of the cube, outside the sphere
        QVERIFY(!pick(57, 24));

        mDevice->RenderFrame();
        QCOMPARE(pick(32, 24).get(), back);
        QCOMPARE(pick(57, 24).get(), front.get());
        s->models.RemoveItem(1);
        front.reset();  // destroyed now
        QVERIFY(!pick(57, 24));
        mDevice->AttachWindow(nullptr, 0, 0);
        mDevice->SetScene(nullptr);
    }

    // Catches a highlight that takes any object, does not redraw the window when it changes,
    // does not show on the model, outlives its model, or becomes a member of the device.
    void highlightMarksTheModelInTheFrame() {
        auto* device = dynamic_cast<KxDevice*>(mDevice.get());
        VnRef<IRoot> scene = Scene({{0, {0.2f, 0.3f, 0.9f, 1}}});
        VnRef<IRoot> model(As<KxScene>(scene)->models.GetItem(0));
        TestSurface surface;
        mDevice->AttachWindow(&surface, 64, 48);
        mDevice->SetScene(scene.get());
        VnClock* clock = VnOS->GetClock();
        clock->speed = 0;

        QVERIFY(!mDevice->Highlight(As<KxScene>(scene)->camera));
        char* why = nullptr;
        VnOS->GetErrorText(&why);
        QCOMPARE(QString(why), QString("Only a model can be highlighted"));
        VnOS->Free(why);
        VnOS->SetError(0, nullptr, nullptr);

        device->Frame(*clock);
        const uint32_t plain = surface.At(32, 24);
        const int presents = surface.presents;
        device->Frame(*clock);
        QCOMPARE(surface.presents, presents);  // nothing changed, nothing drawn
        QVERIFY(mDevice->Highlight(model.get()));
        device->Frame(*clock);
        QCOMPARE(surface.presents, presents + 1);
        QVERIFY(Red(surface.At(32, 24)) > Red(plain) + 60);
        QCOMPARE(surface.At(0, 0), surface.frame[0]);
        QVERIFY(mDevice->Highlight(nullptr));
        device->Frame(*clock);
        QCOMPARE(surface.presents, presents + 2);
        QCOMPARE(surface.At(32, 24), plain);

        // a view's mark: no member of the device names or holds it
        mDevice->Highlight(model.get());
        QString members;
        VnForEachMember(
            device->Root(), [&](const VnMemberDescriptor* d, void* storage, const VnTypeInfo*) {
                const bool holds =
                    d->type == kVnObjectRef && *static_cast<IRoot**>(storage) == model.get();
                if (holds || QString(d->name).contains("ighlight")) members += d->name;
                return true;
            });
        QCOMPARE(members, QString());
        IRoot* marked = nullptr;
        QVERIFY(mDevice->Highlighted(&marked));
        QCOMPARE(VnRef<IRoot>::Adopt(marked).get(), model.get());
        As<KxScene>(scene)->models.RemoveItem(0);
        model.reset();
        QVERIFY(mDevice->Highlighted(&marked));
        QVERIFY(!marked);
        clock->speed = 1;
        mDevice->AttachWindow(nullptr, 0, 0);
        mDevice->SetScene(nullptr);
    }

    void cleanupTestCase() {
        mDevice.reset();
        VnOS->Shutdown();
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "tst_engine.moc"
