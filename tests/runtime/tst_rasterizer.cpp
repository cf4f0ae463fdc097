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
Q_DECLARE_METATYPE(kalix::Light)
Q_DECLARE_METATYPE(kalix::Surface)

namespace {

constexpr uint32_t kClear = 0xFF102030, kGreen = 0xFF00FF00;

// Clears `fb` and starts a frame from `eye` with a one-radian lens and an ambient of 0.1.
void Start(Rasterizer& r, FrameBuffer& fb, Vec3 eye, Vec3 target, std::vector<Light> lights = {}) {
    fb.Clear(kClear);
    const float aspect = float(fb.Width()) / float(fb.Height());
    r.Begin(&fb, LookAt(eye, target, {0, 1, 0}), Perspective(1, aspect, 0.1f, 100), eye,
            {0.1f, 0.1f, 0.1f}, lights);
}

Surface Plain(Vec3 color, Lighting lighting = Lighting::Unlit, float specular = 0) {
    Surface s;
    s.lighting = lighting;
    s.diffuse = {color.x, color.y, color.z, 1};
    s.specular = {specular, specular, specular, 1};
    return s;
}

// A light 2.5 in front of the origin, 2.12 from the corners of a unit cube's front face.
Light Lamp(Light::Kind kind, Vec3 color, Vec3 direction, float range = 5, float angle = 0.5f) {
    Light l;
    l.kind = kind, l.color = color, l.direction = direction, l.range = range, l.spotAngle = angle;
    l.position = {0, 0, 2.5f};
    return l;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        if (std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > tolerance) return false;
    }
    return true;
}

QByteArray Hex(uint32_t c) { return QByteArray::number(c, 16); }

// Pixel (x, y) of every bitmap below.
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
    void shading_data() {
        QTest::addColumn<Surface>("surface");
        QTest::addColumn<Light>("light");
        QTest::addColumn<uint>("texel");  // 0: no texture
        QTest::addColumn<uint>("centre");
        QTest::addColumn<int>("tolerance");
        const Vec3 grey{0.8f, 0.8f, 0.8f}, white{1, 1, 1}, red{1, 0, 0}, ahead{0, 0, -1};
        const Surface lit = Plain(grey, Lighting::PerVertex);
        const Light sun = Lamp(Light::Directional, white, ahead);
        auto spot = [&](Vec3 direction, float angle) {
            return Lamp(Light::Spot, white, direction, 5, angle);
        };
        Surface add = lit, replace = lit;
        add.blend = TextureBlend::Add;
        replace.blend = TextureBlend::Replace;
        QTest::newRow("red sun tints")
            << lit << Lamp(Light::Directional, red, ahead) << 0u << 0xFFE01414u << 2;
        QTest::newRow("flat, green sun")
            << Plain(grey, Lighting::Flat) << Lamp(Light::Directional, {0, 1, 0}, ahead) << 0u
            << 0xFF14E014u << 2;
        QTest::newRow("unlit ignores lights") << Plain(grey) << sun << 0u << 0xFFCCCCCCu << 2;
        QTest::newRow("specular highlight")
            << Plain(grey, Lighting::PerVertex, 0.2f)
            << Lamp(Light::Directional, {0.5f, 0.5f, 0.5f}, ahead) << 0u << 0xFF909090u << 2;
        QTest::newRow("texture modulates") << lit << sun << 0xFF00FF80u << 0xFF00E070u << 2;
        QTest::newRow("texture adds") << add << sun << 0xFF100000u << 0xFFF0E0E0u << 2;
        QTest::newRow("texture replaces") << replace << sun << 0xFF123456u << 0xFF123456u << 0;
        QTest::newRow("point, fading with distance")
            << lit << Lamp(Light::Point, white, ahead) << 0u << 0xFF838383u << 2;
        QTest::newRow("point, out of range")
            << lit << Lamp(Light::Point, white, ahead, 2) << 0u << 0xFF141414u << 1;
        QTest::newRow("spot, inside the cone")
            << lit << spot(ahead, 0.5f) << 0u << 0xFF838383u << 2;
        QTest::newRow("spot, in its soft edge")
            << lit << spot(ahead, 0.36f) << 0u << 0xFF4B4B4Bu << 53;
        QTest::newRow("spot, outside the cone")
            << lit << spot(ahead, 0.3f) << 0u << 0xFF141414u << 1;
        QTest::newRow("spot, aimed away") << lit << spot({0, 0, 1}, 0.5f) << 0u << 0xFF141414u << 1;
    }
    void shading() {
        // Catches lights shining along +direction or ignoring range, falloff or cone, spots
        // with a hard edge, a wrong ambient, specular or texture blend, channels packed out of
        // order, and a cube that spills into the corners or draws back faces.
        QFETCH(Surface, surface);
        QFETCH(Light, light);
        QFETCH(uint, texel);
        QFETCH(uint, centre);
        QFETCH(int, tolerance);
        FrameBuffer fb;
        fb.Resize(64, 48);
        Rasterizer r;
        Start(r, fb, {0, 0, 3}, {}, {light});
        const Image texture{1, 1, {texel}};
        if (texel) surface.texture = &texture;
        r.DrawMesh(MakeCube(), Mat4{}, surface);
        QCOMPARE(r.TrianglesDrawn(), 2);
        QVERIFY2(Near(fb.At(32, 24), centre, tolerance), Hex(fb.At(32, 24)));
        for (int corner = 0; corner < 4; ++corner)
            QCOMPARE(fb.At(corner % 2 * 63, corner / 2 * 47), kClear);
    }

    void depthOrder_data() {
        QTest::addColumn<float>("size");  // the near cube's; 1 is filled narrow, 3 wide
        QTest::addColumn<bool>("nearFirst");
        QTest::addColumn<bool>("depthTest");
        QTest::addColumn<bool>("depthWrite");
        QTest::addColumn<bool>("nearWins");
        QTest::newRow("near drawn first") << 1.f << true << true << true << true;
        QTest::newRow("near drawn last") << 1.f << false << true << true << true;
        QTest::newRow("wide, near drawn first") << 3.f << true << true << true << true;
        QTest::newRow("wide, near drawn last") << 3.f << false << true << true << true;
        QTest::newRow("no depth test: last wins") << 1.f << true << false << true << false;
        QTest::newRow("no depth write: far gets through") << 1.f << true << true << false << false;
        QTest::newRow("wide, no depth write") << 3.f << true << true << false << false;
    }
    void depthOrder() {
        // Catches a reversed or missing depth test, depth not written, and the flags ignored,
        // in both the narrow and the wide triangle fill.
        QFETCH(float, size);
        QFETCH(bool, nearFirst);
        QFETCH(bool, depthTest);
        QFETCH(bool, depthWrite);
        QFETCH(bool, nearWins);
        FrameBuffer fb;
        fb.Resize(40, 30);
        Rasterizer r;
        Start(r, fb, {0, 0, 5}, {});
        Surface nearSurface = Plain({1, 0, 0}), farSurface = Plain({0, 0, 1});
        nearSurface.depthTest = farSurface.depthTest = depthTest;
        nearSurface.depthWrite = farSurface.depthWrite = depthWrite;
        for (int pass = 0; pass < 2; ++pass) {
            if ((pass == 0) == nearFirst)
                r.DrawMesh(MakeCube(), Compose({}, {}, {size, size, size}), nearSurface);
            else
                r.DrawMesh(MakeCube(),
                           Compose({0, 0, -3 * size}, {}, {2 * size, 2 * size, 2 * size}),
                           farSurface);
        }
        QCOMPARE(Hex(fb.At(20, 15)), Hex(nearWins ? 0xFFFF0000u : 0xFF0000FFu));
    }

    void perspective_data() {
        QTest::addColumn<bool>("textured");  // far half red, near half green
        QTest::addColumn<int>("row");        // the plane's middle projects to y = 22.15
        QTest::addColumn<uint>("expected");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("uv, above the middle") << true << 21 << 0xFFFF0000u << 0;
        QTest::newRow("uv, below the middle") << true << 23 << 0xFF00FF00u << 0;
        QTest::newRow("colour, half-way at the middle") << false << 22 << 0xFF383838u << 3;
    }
    void perspective() {
        // Catches uv and colour interpolated linearly on the screen: that would move the
        // plane's middle 3.5 rows down. The lamp lights the far edge to 81, the near one to 31.
        QFETCH(bool, textured);
        QFETCH(int, row);
        QFETCH(uint, expected);
        QFETCH(int, tolerance);
        FrameBuffer fb;
        fb.Resize(40, 40);
        Rasterizer r;
        Light lamp = Lamp(Light::Point, {1, 1, 1}, {}, 1.3f);
        lamp.position = {0, 0.2f, -0.5f};
        Start(r, fb, {0, 0.4f, 1}, {0, 0, -0.2f}, {lamp});
        const Image texture{1, 2, {0xFFFF0000u, 0xFF00FF00u}};
        Surface s = Plain({1, 1, 1}, Lighting::PerVertex);
        s.texture = textured ? &texture : nullptr;
        s.blend = TextureBlend::Replace;
        r.DrawMesh(MakePlane(), Mat4{}, s);
        QVERIFY2(Near(fb.At(20, row), expected, tolerance), Hex(fb.At(20, row)));
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
        r.DrawMesh(MakeCube(), Mat4{}, Plain({1, 0, 0}));
        r.DrawLine(from, to, kGreen);
        QCOMPARE(std::count(fb.Pixels(), fb.Pixels() + 48 * 32, kGreen) > 0, anyShown);
        QCOMPARE(fb.At(24, 15) == kGreen, centreShown);
    }

    void outline() {
        // Catches a highlight outline that its own faces hide on a slanted view, and one pushed
        // so far forward that it shows through a nearer model.
        FrameBuffer fb;
        fb.Resize(64, 48);
        Rasterizer r;
        const Mat4 ground = Compose({0, -1, 0}, {}, {8, 1, 8});
        const Vec3 eye{0, 2, 3}, target{0, -1, 0};
        auto count = [&](uint32_t c) { return std::count(fb.Pixels(), fb.Pixels() + 64 * 48, c); };
        Surface edges = Plain({1, 1, 1});
        edges.wireframe = true;
        edges.depthTest = false;
        Start(r, fb, eye, target);
        r.DrawMesh(MakePlane(8), ground, edges);
        const auto everyEdge = count(0xFFFFFFFF);

        Surface marked = Plain({0, 0, 1});
        marked.outline = kGreen;
        Start(r, fb, eye, target);
        r.DrawMesh(MakePlane(8), ground, marked);
        QVERIFY2(count(kGreen) > everyEdge * 95 / 100,
                 qPrintable(QString("%1 of %2").arg(count(kGreen)).arg(everyEdge)));

        Start(r, fb, eye, target);
        r.DrawMesh(MakeCube(), Mat4{}, Plain({1, 0, 0}));
        const auto cube = count(0xFFFF0000);
        r.DrawMesh(MakePlane(8), ground, marked);
        QCOMPARE(count(0xFFFF0000), cube);
    }

    void visibility_data() {
        QTest::addColumn<bool>("cube");  // else a plane facing up
        QTest::addColumn<float>("scale");
        QTest::addColumn<int>("cull");
        QTest::addColumn<Vec3>("eye");
        QTest::addColumn<Vec3>("target");
        QTest::addColumn<QString>("drawn");  // centre pixel, bottom row, top row
        const Vec3 above{0, 3, 0.01f}, below{0, -3, 0.01f}, origin{};
        const int back = int(Cull::Back), front = int(Cull::Front), none = int(Cull::None);
        QTest::newRow("back culled, seen from the front")
            << false << 1.f << back << above << origin << "c";
        QTest::newRow("back culled, seen from behind")
            << false << 1.f << back << below << origin << "";
        QTest::newRow("front culled, seen from the front")
            << false << 1.f << front << above << origin << "";
        QTest::newRow("front culled, seen from behind")
            << false << 1.f << front << below << origin << "c";
        QTest::newRow("no culling, seen from behind")
            << false << 1.f << none << below << origin << "c";
        QTest::newRow("ground reaching behind the eye")
            << false << 100.f << back << Vec3{0, 1, 0} << Vec3{0, 0.5f, -1} << "cb";
        QTest::newRow("eye inside a cube")
            << true << 2.f << none << Vec3{0.1f, 0.2f, 0} << Vec3{1, 0.3f, -1} << "cbt";
    }
    void visibility() {
        // Catches culling on the wrong side (the screen's y runs down), Cull ignored, and
        // triangles crossing the near plane dropped or projected through the eye.
        QFETCH(bool, cube);
        QFETCH(float, scale);
        QFETCH(int, cull);
        QFETCH(Vec3, eye);
        QFETCH(Vec3, target);
        QFETCH(QString, drawn);
        FrameBuffer fb;
        fb.Resize(40, 30);
        Rasterizer r;
        Start(r, fb, eye, target);
        Surface s = Plain({0, 1, 0});
        s.cull = Cull(cull);
        r.DrawMesh(cube ? MakeCube() : MakePlane(), Compose({}, {}, {scale, scale, scale}), s);
        QCOMPARE(fb.At(20, 15) == kGreen, drawn.contains('c'));
        for (int x = 0; x < 40; ++x) {
            QCOMPARE(fb.At(x, 29) == kGreen, drawn.contains('b'));
            QCOMPARE(fb.At(x, 0) == kGreen, drawn.contains('t'));
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
        // fill rule other than top-left. Clip space is the world here: both matrices are 1.
        QFETCH(int, slices);
        QFETCH(float, turn);
        QFETCH(Vec3, centre);
        QFETCH(bool, square);
        const int size = 61;
        FrameBuffer fb;
        fb.Resize(size, size);
        Surface s = Plain({1, 1, 1});
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
                const int n = hits[y * size + x];
                const QByteArray at = QByteArray::number(x) + "," + QByteArray::number(y);
                QVERIFY2(n <= 1, at);
                if (std::hypot(cx - centre.x, cy - centre.y) < inner) QVERIFY2(n == 1, at);
                if (square) QVERIFY2(n == (x >= 20 && x < 40 && y >= 20 && y < 40), at);
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
        // odd targets, cameras, matrices and meshes, and drawing into an empty target.
        QFETCH(int, kind);
        std::mt19937 rng(1234 + kind);
        auto uniform = [&](float lo, float hi) {
            return std::uniform_real_distribution<float>(lo, hi)(rng);
        };
        const float inf = std::numeric_limits<float>::infinity();
        const float odd[] = {std::nanf(""), inf, -inf, 1e30f, 0, 1e-30f};
        auto value = [&] { return rng() % 3 ? uniform(-3, 3) : odd[rng() % 6]; };
        auto point = [&](float size) {
            return Vec3{uniform(-size, size), uniform(-size, size), uniform(-size, size)};
        };
        Mesh broken = MakeCube();
        broken.indices.insert(broken.indices.end(), {0, 1, 9999});
        broken.positions[3] = {odd[0], 0, 0};
        broken.normals.resize(5);
        const Mesh meshes[] = {MakeCube(), MakeSphere(7), MakePlane(), MakeCylinder(5), broken};
        const Image texture{2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu}};
        const int sizes[][2] = {{0, 0}, {1, 1}, {1, 9}, {7, 1}, {33, 17}, {0, 5}};
        for (int round = 0; round < 300; ++round) {
            auto fb = std::make_unique<FrameBuffer>();  // fresh, so its vectors are exact fits
            const int* size = sizes[rng() % 6];
            fb->Resize(size[0], size[1]);
            fb->Clear(kClear);
            const Vec3 eye = point(kind == 1 ? 0.4f : 6);
            Mat4 view = LookAt(eye, point(1), {0, 1, 0});
            Mat4 projection =
                Perspective(uniform(0.1f, 3), uniform(0.2f, 4), uniform(1e-3f, 1), 50);
            if (kind == 2) {
                for (float& m : (rng() % 2 ? view : projection).m) m = value();
            }
            const Vec3 shine{value(), value(), value()};
            const std::vector<Light> lights = {Lamp(Light::Point, shine, shine, value()),
                                               Lamp(Light::Spot, shine, shine, value(), value())};
            Rasterizer r;
            r.Begin(rng() % 50 ? fb.get() : nullptr, view, projection, eye, {}, lights);
            for (int draw = 0; draw < 6; ++draw) {
                Surface s = Plain({1, 1, 1}, Lighting(rng() % 3), 1);
                s.cull = Cull(rng() % 3);
                s.wireframe = rng() % 4 == 0;
                s.depthTest = rng() % 2;
                s.texture = rng() % 2 ? &texture : nullptr;
                s.blend = TextureBlend(rng() % 3);
                s.uvScale = value();
                const Vec3 move = kind == 2 ? Vec3{value(), value(), value()} : point(1);
                const Quat turn = QuatFromYawPitchRoll(value(), value(), value());
                r.DrawMesh(meshes[rng() % 5], Compose(move, turn, point(9)), s);
                r.DrawLine({value(), value(), value()}, {value(), value(), value()}, kGreen);
            }
            if (fb->Width() == 0 || fb->Height() == 0) QCOMPARE(r.TrianglesDrawn(), 0);
        }
    }

    void bitmaps_data() {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("ok");
        auto patched = [](QByteArray d, int at, uint32_t v) {
            for (int i = 0; i < 4; ++i) d[at + i] = char(v >> (8 * i));
            return d;
        };
        auto written = [](int w, int h, int stride) {
            std::vector<uint32_t> pixels(size_t(stride * h), 0x12345678u);
            for (int i = 0; i < w * h; ++i)
                pixels[size_t(i / w * stride + i % w)] = Expected(i % w, i / w);
            QTemporaryDir dir;
            QFile file(dir.filePath("frame.bmp"));
            std::string why;
            if (!WriteBmp(file.fileName().toStdString(), pixels.data(), w, h, stride, &why) ||
                !file.open(QIODevice::ReadOnly))
                return QByteArray();
            return file.readAll();
        };
        const QByteArray b24 = Bitmap(3, 2, 24, false), b32 = Bitmap(2, 3, 32, false);
        QTest::newRow("written, stride wider than a row") << written(3, 4, 7) << true;
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
    void bitmaps() {
        // Catches written files with flipped rows, swapped channels or the stride ignored,
        // header fields trusted beyond the data (sanitizer), 24-bit row padding, unsupported
        // formats accepted, and write errors not reported.
        QFETCH(QByteArray, data);
        QFETCH(bool, ok);
        QTemporaryDir dir;
        QFile file(dir.filePath("read.bmp"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == data.size());
        file.close();
        Image image;
        std::string why;
        QCOMPARE(ReadBmp(file.fileName().toStdString(), &image, &why), ok);
        QCOMPARE(why.empty(), ok);
        if (ok && data[28] == 32) QCOMPARE(data.size(), 54 + 4 * image.width * image.height);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x)
                QCOMPARE(Hex(image.At(x, y)), Hex(Expected(x, y)));
        }
        const uint32_t pixel = 0;
        QVERIFY(!WriteBmp(dir.filePath("missing/frame.bmp").toStdString(), &pixel, 1, 1, 1, &why));
    }
};

QTEST_MAIN(TestRasterizer)
#include "tst_rasterizer.moc"
