#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>

#include "kalix/render/rasterizer.h"

using namespace kalix;
Q_DECLARE_METATYPE(kalix::Vec3)

namespace {

constexpr uint32_t kClear = 0xFF102030;

void Start(Rasterizer& r, FrameBuffer& fb, Vec3 eye, Vec3 target, std::vector<Light> lights = {}) {
    fb.Clear(kClear);
    const float aspect = fb.Height() > 0 ? float(fb.Width()) / float(fb.Height()) : 1;
    r.Begin(&fb, LookAt(eye, target, {0, 1, 0}), Perspective(1.0f, aspect, 0.1f, 100), eye,
            {0.1f, 0.1f, 0.1f}, lights);
}

Mat4 Place(Vec3 at, float scale) { return Compose(at, {}, {scale, scale, scale}); }

Surface Unlit(Vec3 color) {
    Surface s;
    s.lighting = Lighting::Unlit;
    s.diffuse = {color.x, color.y, color.z, 1};
    return s;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance) return false;
    }
    return true;
}

QByteArray Hex(uint32_t c) { return QByteArray::number(c, 16); }

// A bitmap file of w x h pixels whose pixel (x, y) is Expected(x, y).
uint32_t Expected(int x, int y) {
    return 0xFF000000u | uint32_t(x * 70) << 16 | uint32_t(y * 50) << 8 | 0x33;
}
QByteArray Bitmap(int w, int h, int bits, bool topDown) {
    const int row = (w * bits + 31) / 32 * 4;
    QByteArray data(54 + row * h, '\0');
    auto put = [&](int at, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) data[at + i] = char(v >> (8 * i));
    };
    data[0] = 'B', data[1] = 'M';
    put(2, uint32_t(data.size()), 4), put(10, 54, 4), put(14, 40, 4), put(18, uint32_t(w), 4);
    put(22, uint32_t(topDown ? -h : h), 4), put(26, 1, 2), put(28, uint32_t(bits), 2);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            put(54 + (topDown ? y : h - 1 - y) * row + x * bits / 8, Expected(x, y), bits / 8);
    }
    return data;
}

}  // namespace

class TestRasterizer : public QObject {
    Q_OBJECT

private slots:
    void litCube_data() {
        QTest::addColumn<int>("lighting");
        QTest::addColumn<Vec3>("light");
        QTest::addColumn<float>("specular");
        QTest::addColumn<uint>("texel");  // 0: no texture
        QTest::addColumn<int>("blend");
        QTest::addColumn<uint>("centre");
        const Vec3 white{1, 1, 1}, red{1, 0, 0}, green{0, 1, 0}, grey{0.5f, 0.5f, 0.5f};
        const int vertex = int(Lighting::PerVertex);
        QTest::newRow("white light") << vertex << white << 0.f << 0u << 0 << 0xFFE0E0E0u;
        QTest::newRow("red light tints") << vertex << red << 0.f << 0u << 0 << 0xFFE01414u;
        QTest::newRow("flat, green light")
            << int(Lighting::Flat) << green << 0.f << 0u << 0 << 0xFF14E014u;
        QTest::newRow("unlit ignores lights")
            << int(Lighting::Unlit) << red << 0.f << 0u << 0 << 0xFFCCCCCCu;
        QTest::newRow("specular highlight") << vertex << grey << 0.2f << 0u << 0 << 0xFF909090u;
        QTest::newRow("texture modulates")
            << vertex << white << 0.f << 0xFF00FF80u << int(TextureBlend::Modulate) << 0xFF00E070u;
        QTest::newRow("texture adds")
            << vertex << white << 0.f << 0xFF100000u << int(TextureBlend::Add) << 0xFFF0E0E0u;
        QTest::newRow("texture replaces")
            << vertex << red << 0.f << 0xFF123456u << int(TextureBlend::Replace) << 0xFF123456u;
    }
    void litCube() {
        // Catches light shining along +direction, lights not tinting, wrong ambient, specular
        // or texture blend, channels packed in the wrong order, and a cube that spills
        // into the corners or draws its back faces.
        QFETCH(int, lighting);
        QFETCH(Vec3, light);
        QFETCH(float, specular);
        QFETCH(uint, texel);
        QFETCH(int, blend);
        QFETCH(uint, centre);
        FrameBuffer fb;
        fb.Resize(64, 48);
        Rasterizer r;
        Light sun;
        sun.direction = {0, 0, -1};
        sun.color = light;
        Start(r, fb, {0, 0, 3}, {}, {sun});
        const Image texture{1, 1, {texel}};
        Surface s;
        s.lighting = Lighting(lighting);
        s.specular = {specular, specular, specular, 1};
        s.texture = texel ? &texture : nullptr;
        s.blend = TextureBlend(blend);
        r.DrawMesh(MakeCube(), Mat4{}, s);
        QCOMPARE(r.TrianglesDrawn(), 2);
        QVERIFY2(Near(fb.At(32, 24), centre, 2), Hex(fb.At(32, 24)));
        for (int corner = 0; corner < 4; ++corner)
            QCOMPARE(fb.At(corner % 2 * 63, corner / 2 * 47), kClear);
    }

    void lightKinds_data() {
        QTest::addColumn<int>("kind");
        QTest::addColumn<Vec3>("direction");
        QTest::addColumn<float>("range");
        QTest::addColumn<float>("angle");
        QTest::addColumn<int>("low");  // accepted red channel at the centre
        QTest::addColumn<int>("high");
        const Vec3 ahead{0, 0, -1}, back{0, 0, 1};
        QTest::newRow("point, fading with distance") << 1 << ahead << 5.f << 0.f << 129 << 133;
        QTest::newRow("point, out of range") << 1 << ahead << 2.f << 0.f << 20 << 21;
        QTest::newRow("spot, inside the cone") << 2 << ahead << 5.f << 0.5f << 129 << 133;
        QTest::newRow("spot, in its soft edge") << 2 << ahead << 5.f << 0.36f << 22 << 128;
        QTest::newRow("spot, outside the cone") << 2 << ahead << 5.f << 0.3f << 20 << 21;
        QTest::newRow("spot, aimed away") << 2 << back << 5.f << 0.5f << 20 << 21;
    }
    void lightKinds() {
        // Catches point and spot lights that ignore range, do not fade linearly, or light
        // outside the cone, and spots with a hard edge. The face corners are 2.12 from the light.
        QFETCH(int, kind);
        QFETCH(Vec3, direction);
        QFETCH(float, range);
        QFETCH(float, angle);
        QFETCH(int, low);
        QFETCH(int, high);
        FrameBuffer fb;
        fb.Resize(32, 32);
        Rasterizer r;
        Light lamp;
        lamp.kind = Light::Kind(kind);
        lamp.position = {0, 0, 2.5f};
        lamp.direction = direction;
        lamp.range = range;
        lamp.spotAngle = angle;
        Start(r, fb, {0, 0, 3}, {}, {lamp});
        r.DrawMesh(MakeCube(), Mat4{}, Surface{});
        const int red = int(fb.At(16, 16) >> 16 & 0xFF);
        QVERIFY2(red >= low && red <= high, QByteArray::number(red));
    }

    void depthOrder_data() {
        QTest::addColumn<bool>("nearFirst");
        QTest::addColumn<bool>("depthTest");
        QTest::addColumn<bool>("depthWrite");
        QTest::addColumn<bool>("nearWins");
        QTest::newRow("near drawn first") << true << true << true << true;
        QTest::newRow("near drawn last") << false << true << true << true;
        QTest::newRow("no depth test: last wins") << true << false << true << false;
        QTest::newRow("no depth write: far gets through") << true << true << false << false;
    }
    void depthOrder() {
        // Catches a reversed or missing depth test, depth not written, and the flags ignored.
        QFETCH(bool, nearFirst);
        QFETCH(bool, depthTest);
        QFETCH(bool, depthWrite);
        QFETCH(bool, nearWins);
        FrameBuffer fb;
        fb.Resize(40, 30);
        Rasterizer r;
        Start(r, fb, {0, 0, 5}, {});
        Surface nearSurface = Unlit({1, 0, 0}), farSurface = Unlit({0, 0, 1});
        nearSurface.depthTest = farSurface.depthTest = depthTest;
        nearSurface.depthWrite = farSurface.depthWrite = depthWrite;
        for (int pass = 0; pass < 2; ++pass) {
            if ((pass == 0) == nearFirst)
                r.DrawMesh(MakeSphere(16), Place({0, 0, 0}, 1), nearSurface);
            else
                r.DrawMesh(MakeCube(), Place({0, 0, -3}, 3), farSurface);
        }
        QCOMPARE(Hex(fb.At(20, 15)), Hex(nearWins ? 0xFFFF0000u : 0xFF0000FFu));
    }

    void lines_data() {
        QTest::addColumn<Vec3>("from");
        QTest::addColumn<Vec3>("to");
        QTest::addColumn<bool>("anyShown");
        QTest::addColumn<bool>("centreShown");
        QTest::newRow("in front of the cube")
            << Vec3{-2, .02f, 1} << Vec3{2, .02f, 1} << true << true;
        QTest::newRow("behind the cube")
            << Vec3{-2, .02f, -1} << Vec3{2, .02f, -1} << true << false;
        QTest::newRow("crossing the near plane")
            << Vec3{0.2f, -0.2f, 9} << Vec3{0.2f, -0.2f, -9} << true << false;
        QTest::newRow("behind the eye") << Vec3{-2, 0, 4} << Vec3{2, 0, 4} << false << false;
    }
    void lines() {
        // Catches lines without depth test, lines dropped instead of clipped at the near plane,
        // and lines behind the eye projected through it onto the screen.
        QFETCH(Vec3, from);
        QFETCH(Vec3, to);
        QFETCH(bool, anyShown);
        QFETCH(bool, centreShown);
        FrameBuffer fb;
        fb.Resize(48, 32);
        Rasterizer r;
        Start(r, fb, {0, 0, 3}, {});
        r.DrawMesh(MakeCube(), Mat4{}, Unlit({1, 0, 0}));
        r.DrawLine(from, to, 0xFF00FF00u);
        const uint32_t* p = fb.Pixels();
        QCOMPARE(std::count(p, p + 48 * 32, 0xFF00FF00u) > 0, anyShown);
        QCOMPARE(fb.At(24, 15) == 0xFF00FF00u, centreShown);
    }

    void culling_data() {
        QTest::addColumn<int>("cull");
        QTest::addColumn<bool>("fromAbove");  // the plane faces up
        QTest::addColumn<bool>("drawn");
        QTest::newRow("back, seen from the front") << int(Cull::Back) << true << true;
        QTest::newRow("back, seen from behind") << int(Cull::Back) << false << false;
        QTest::newRow("front, seen from the front") << int(Cull::Front) << true << false;
        QTest::newRow("front, seen from behind") << int(Cull::Front) << false << true;
        QTest::newRow("none, seen from behind") << int(Cull::None) << false << true;
    }
    void culling() {
        // Catches culling on the wrong side (the screen's y runs down) and Cull values ignored.
        QFETCH(int, cull);
        QFETCH(bool, fromAbove);
        QFETCH(bool, drawn);
        FrameBuffer fb;
        fb.Resize(16, 16);
        Rasterizer r;
        Start(r, fb, {0, fromAbove ? 3.f : -3.f, 0.01f}, {});
        Surface s = Unlit({1, 1, 0});
        s.cull = Cull(cull);
        r.DrawMesh(MakePlane(), Mat4{}, s);
        QCOMPARE(fb.At(8, 8) != kClear, drawn);
        QCOMPARE(r.TrianglesDrawn(), drawn ? 2 : 0);
    }

    void nearPlane_data() {
        QTest::addColumn<bool>("cube");
        QTest::addColumn<float>("scale");
        QTest::addColumn<Vec3>("eye");
        QTest::addColumn<Vec3>("target");
        QTest::addColumn<bool>("topRow");  // whether the top pixel row is covered too
        QTest::newRow("ground reaching behind the eye")
            << false << 100.f << Vec3{0, 1, 0} << Vec3{0, 1, -1} << false;
        QTest::newRow("eye inside a cube")
            << true << 2.f << Vec3{0.1f, 0.2f, 0} << Vec3{1, 0.3f, -1} << true;
    }
    void nearPlane() {
        // Catches triangles crossing the near plane dropped, or projected through the eye.
        QFETCH(bool, cube);
        QFETCH(float, scale);
        QFETCH(Vec3, eye);
        QFETCH(Vec3, target);
        QFETCH(bool, topRow);
        FrameBuffer fb;
        fb.Resize(40, 30);
        Rasterizer r;
        Start(r, fb, eye, target);
        Surface s = Unlit({0, 1, 0});
        s.cull = cube ? Cull::None : Cull::Back;
        r.DrawMesh(cube ? MakeCube() : MakePlane(), Place({}, scale), s);
        for (int x = 0; x < 40; ++x) {
            QVERIFY2(fb.At(x, 29) == 0xFF00FF00u, QByteArray::number(x));
            QCOMPARE(fb.At(x, 0) == 0xFF00FF00u, topRow);
        }
    }

    void fillRule_data() {
        QTest::addColumn<int>("slices");
        QTest::addColumn<float>("turn");   // radians
        QTest::addColumn<Vec3>("centre");  // x, y in clip space; z is the radius
        QTest::addColumn<bool>("square");  // axis-aligned with its corners on pixel centres
        const float corner = 20 * std::sqrt(2.f) / 61;  // 10 pixels from the centre each way
        QTest::newRow("square: top and left edges only")
            << 4 << 0.7853982f << Vec3{0, 0, corner} << true;
        QTest::newRow("8 slices") << 8 << 0.f << Vec3{0, 0, 0.9f} << false;
        QTest::newRow("7 slices, off the pixel grid")
            << 7 << 0.3f << Vec3{0.013f, -0.021f, 0.8f} << false;
        QTest::newRow("90 thin slices") << 90 << 0.1f << Vec3{0.1f, 0.05f, 0.7f} << false;
        QTest::newRow("cut by the screen edge") << 12 << 0.f << Vec3{0.6f, 0.4f, 0.9f} << false;
    }
    void fillRule() {
        // Catches shared edges drawn twice or by neither triangle, span ends off by one, and a
        // fill rule other than top-left.
        QFETCH(int, slices);
        QFETCH(float, turn);
        QFETCH(Vec3, centre);
        QFETCH(bool, square);
        const int size = 61;
        FrameBuffer fb;
        fb.Resize(size, size);
        Surface s = Unlit({1, 1, 1});
        s.depthTest = false;
        std::vector<int> hits(size * size);
        for (int i = 0; i < slices; ++i) {
            Mesh slice;
            slice.positions.push_back({centre.x, centre.y, 0});
            for (int k : {i, i + 1}) {
                const float a = turn + float(k) * 6.2831853f / float(slices);
                slice.positions.push_back(
                    {centre.x + centre.z * std::cos(a), centre.y + centre.z * std::sin(a), 0});
            }
            slice.indices = {0, 1, 2};
            Rasterizer r;
            fb.Clear(kClear);
            r.Begin(&fb, Mat4{}, Mat4{}, {}, {}, {});
            r.DrawMesh(slice, Mat4{}, s);
            for (int p = 0; p < size * size; ++p) hits[p] += fb.Pixels()[p] != kClear;
        }
        const float inner = centre.z * std::cos(3.1415927f / float(slices)) - 2.5f / size;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                const float cx = (x + 0.5f) / size * 2 - 1, cy = 1 - (y + 0.5f) / size * 2;
                const bool interior = std::hypot(cx - centre.x, cy - centre.y) < inner;
                const QByteArray at = QByteArray::number(x) + "," + QByteArray::number(y);
                QVERIFY2(hits[y * size + x] <= 1, at);
                if (interior) QVERIFY2(hits[y * size + x] == 1, at);
                if (square)
                    QVERIFY2(hits[y * size + x] == (x >= 20 && x < 40 && y >= 20 && y < 40), at);
            }
        }
    }

    void neverOutOfBounds_data() {
        QTest::addColumn<int>("kind");
        QTest::newRow("random cameras and sizes") << 0;
        QTest::newRow("eye inside the meshes") << 1;
        QTest::newRow("NaN, infinite and huge matrices") << 2;
    }
    void neverOutOfBounds() {
        // Catches reads or writes outside the buffers (the sanitizer build reports them) for
        // odd targets, cameras, matrices and meshes.
        QFETCH(int, kind);
        std::mt19937 rng(1234 + kind);
        auto uniform = [&](float lo, float hi) {
            return std::uniform_real_distribution<float>(lo, hi)(rng);
        };
        const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity(),
                             -1e30f,
                             1e30f,
                             0,
                             1e-30f};
        auto value = [&] { return rng() % 3 ? uniform(-3, 3) : odd[rng() % 6]; };
        Mesh broken = MakeCube();
        broken.indices.push_back(9999);
        broken.positions[3] = {odd[0], 0, 0};
        broken.normals.resize(5);
        const Mesh meshes[] = {MakeCube(), MakeSphere(7), MakePlane(), MakeCylinder(5), broken};
        const Image texture{2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}};
        const int sizes[][2] = {{0, 0}, {1, 1}, {1, 9}, {7, 1}, {33, 17}, {0, 5}};
        for (int round = 0; round < 300; ++round) {
            auto fb = std::make_unique<FrameBuffer>();  // fresh, so its vectors are exact fits
            const int* size = sizes[rng() % 6];
            fb->Resize(size[0], size[1]);
            Rasterizer r;
            const Vec3 eye = kind == 1
                                 ? Vec3{uniform(-.4f, .4f), uniform(-.4f, .4f), uniform(-.4f, .4f)}
                                 : Vec3{uniform(-6, 6), uniform(-6, 6), uniform(-6, 6)};
            Mat4 view = LookAt(eye, {uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)}, {0, 1, 0});
            Mat4 projection =
                Perspective(uniform(0.1f, 3), uniform(0.2f, 4), uniform(0.001f, 1), 50);
            if (kind == 2) {
                for (float& m : (rng() % 2 ? view : projection).m) m = value();
            }
            std::vector<Light> lights(3);
            for (int k = 0; k < 3; ++k) {
                lights[k].kind = Light::Kind(k);
                lights[k].position = {value(), value(), value()};
                lights[k].spotAngle = value();
            }
            fb->Clear(kClear);
            r.Begin(rng() % 50 ? fb.get() : nullptr, view, projection, eye, {0.2f, 0.2f, 0.2f},
                    lights);
            for (int draw = 0; draw < 6; ++draw) {
                Surface s;
                s.lighting = Lighting(rng() % 3);
                s.cull = Cull(rng() % 3);
                s.wireframe = rng() % 4 == 0;
                s.depthTest = rng() % 2;
                s.texture = rng() % 2 ? &texture : nullptr;
                s.blend = TextureBlend(rng() % 3);
                s.uvScale = value();
                s.specular = {1, 1, 1, 1};
                Mat4 world = Compose({value(), value(), value()},
                                     QuatFromYawPitchRoll(value(), value(), value()),
                                     {uniform(0.1f, 9), uniform(0.1f, 9), uniform(0.1f, 9)});
                if (kind != 2)
                    world =
                        Place({uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)}, uniform(0.5f, 9));
                r.DrawMesh(meshes[rng() % 5], world, s);
                r.DrawLine({value(), value(), value()}, {value(), value(), value()}, 0xFFFFFFFFu);
            }
            if (fb->Width() == 0 || fb->Height() == 0) QCOMPARE(r.TrianglesDrawn(), 0);
        }
    }

    void bmpRoundTrip_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("stride");
        QTest::newRow("1 x 1") << 1 << 1 << 1;
        QTest::newRow("odd width") << 3 << 2 << 3;
        QTest::newRow("stride wider than a row") << 5 << 4 << 9;
    }
    void bmpRoundTrip() {
        // Catches flipped rows, wrong channel order, stride ignored and a wrong file size.
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, stride);
        std::vector<uint32_t> pixels(size_t(stride * height));
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = 0x80000000u | uint32_t(i * 2654435761u >> 8);
        QTemporaryDir dir;
        const std::string path = dir.filePath("frame.bmp").toStdString();
        std::string why;
        QVERIFY2(WriteBmp(path, pixels.data(), width, height, stride, &why), why.c_str());
        QCOMPARE(QFileInfo(QString::fromStdString(path)).size(), qint64(54 + 4 * width * height));
        Image image;
        QVERIFY2(ReadBmp(path, &image, &why), why.c_str());
        QCOMPARE(image.width, width);
        QCOMPARE(image.height, height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                QCOMPARE(Hex(image.At(x, y)), Hex(pixels[y * stride + x]));
        }
        QVERIFY(!WriteBmp(dir.filePath("no/such/folder.bmp").toStdString(), pixels.data(), width,
                          height, stride, &why));
        QVERIFY(!why.empty());
    }

    void bmpDecode_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("ok");
        auto patched = [](QByteArray d, int at, uint32_t v) {
            for (int i = 0; i < 4; ++i) d[at + i] = char(v >> (8 * i));
            return d;
        };
        const QByteArray b24 = Bitmap(3, 2, 24, false), b32 = Bitmap(2, 3, 32, false);
        QTest::newRow("24-bit bottom-up") << b24 << true;
        QTest::newRow("24-bit top-down") << Bitmap(3, 2, 24, true) << true;
        QTest::newRow("32-bit") << b32 << true;
        QTest::newRow("truncated pixels") << patched(b24.left(b24.size() - 1), 2, 0) << false;
        QTest::newRow("truncated header") << b24.left(40) << false;
        QTest::newRow("file size beyond data") << patched(b24, 2, b24.size() + 1) << false;
        QTest::newRow("huge width") << patched(b24, 18, 0x7FFFFFFF) << false;
        QTest::newRow("most negative height") << patched(b24, 22, 0x80000000u) << false;
        QTest::newRow("width x height overflows")
            << patched(patched(b32, 18, 0x40000000), 22, 0x40000000) << false;
        QTest::newRow("pixel offset past the end") << patched(b24, 10, 0xFFFFFFF0u) << false;
        QTest::newRow("info header past the end") << patched(b24, 14, 0x7FFFFFFF) << false;
        QTest::newRow("16 bits per pixel") << patched(b24, 26, 0x00100001) << false;
        QTest::newRow("run-length compressed") << patched(b32, 30, 1) << false;
        QTest::newRow("not a bitmap") << QByteArray(b24).replace(0, 2, "PM") << false;
    }
    void bmpDecode() {
        // Catches header fields trusted beyond the data (sanitizer), rows read in the wrong
        // order, 24-bit row padding, and unsupported formats accepted.
        QFETCH(QByteArray, data);
        QFETCH(bool, ok);
        Image image;
        std::string why;
        QCOMPARE(DecodeBmp(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()),
                           &image, &why),
                 ok);
        QCOMPARE(why.empty(), ok);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x)
                QCOMPARE(Hex(image.At(x, y)), Hex(Expected(x, y)));
        }
    }
};

QTEST_MAIN(TestRasterizer)
#include "tst_rasterizer.moc"
