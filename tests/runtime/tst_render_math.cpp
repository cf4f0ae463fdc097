#include <QtTest>
#include <algorithm>
#include <cmath>

#include "kalix/render/kx_math.h"
#include "kalix/render/mesh.h"

using kalix::Vec3;
Q_DECLARE_METATYPE(kalix::Vec3)

namespace {

constexpr float kDegree = 3.14159265358979f / 180;

bool Near(Vec3 a, Vec3 b, float tolerance) {
    return std::fabs(a.x - b.x) <= tolerance && std::fabs(a.y - b.y) <= tolerance &&
           std::fabs(a.z - b.z) <= tolerance;
}

QByteArray Text(Vec3 v) {
    return QByteArray::number(v.x) + ", " + QByteArray::number(v.y) + ", " +
           QByteArray::number(v.z);
}

}  // namespace

class TestRenderMath : public QObject {
    Q_OBJECT

private slots:
    void yawPitchRollRoundTrip_data() {
        QTest::addColumn<float>("pitch");  // degrees; yaw and roll sweep a grid
        QTest::newRow("level") << 0.0f;
        QTest::newRow("pitched up 40") << 40.0f;
        QTest::newRow("pitched down 75") << -75.0f;
        QTest::newRow("gimbal lock up") << 90.0f;
        QTest::newRow("gimbal lock down") << -90.0f;
    }
    void yawPitchRollRoundTrip() {
        // Catches a decomposition that is not the inverse of the composition (wrong order or
        // axis), unclamped asin, and gimbal lock answers that describe another rotation.
        QFETCH(float, pitch);
        const bool locked = std::fabs(pitch) == 90;
        for (float yaw = -170; yaw <= 170; yaw += 34) {
            for (float roll = -170; roll <= 170; roll += 34) {
                const kalix::Quat q =
                    kalix::QuatFromYawPitchRoll(yaw * kDegree, pitch * kDegree, roll * kDegree);
                float y = 0, p = 0, r = 0;
                kalix::QuatToYawPitchRoll(q, &y, &p, &r);
                const QByteArray where = Text({yaw, pitch, roll});
                if (!locked) {
                    QVERIFY2(Near({y, p, r}, Vec3{yaw, pitch, roll} * kDegree, 1e-5f), where);
                    continue;
                }
                QCOMPARE(r, 0.0f);
                const kalix::Mat4 a = kalix::RotationMatrix(q);
                const kalix::Mat4 b = kalix::RotationMatrix(kalix::QuatFromYawPitchRoll(y, p, r));
                for (int i = 0; i < 16; ++i) QVERIFY2(std::fabs(a.m[i] - b.m[i]) < 1e-3f, where);
            }
        }
    }

    void rotationAxes_data() {
        QTest::addColumn<Vec3>("angles");  // yaw, pitch, roll in degrees
        QTest::addColumn<Vec3>("scale");
        QTest::addColumn<Vec3>("move");
        QTest::addColumn<Vec3>("from");
        QTest::addColumn<Vec3>("to");
        const Vec3 one{1, 1, 1}, zero{}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
        QTest::newRow("yaw 90 takes +Z to +X") << Vec3{90, 0, 0} << one << zero << z << x;
        QTest::newRow("pitch 90 takes +Y to +Z") << Vec3{0, 90, 0} << one << zero << y << z;
        QTest::newRow("roll 90 takes +X to +Y") << Vec3{0, 0, 90} << one << zero << x << y;
        QTest::newRow("pitch before yaw: +Y to +X") << Vec3{90, 90, 0} << one << zero << y << x;
        QTest::newRow("roll before pitch: +X to +Z") << Vec3{0, 90, 90} << one << zero << x << z;
        QTest::newRow("roll before yaw: +Y to +Z") << Vec3{90, 0, 90} << one << zero << y << z;
        QTest::newRow("compose scales, turns, then moves")
            << Vec3{90, 0, 0} << Vec3{1, 1, 2} << Vec3{1, 2, 3} << z << Vec3{3, 2, 3};
    }
    void rotationAxes() {
        // Catches left-handed rotations, the wrong order of yaw, pitch and roll, and a Compose
        // that scales after rotating or moves before.
        QFETCH(Vec3, angles);
        QFETCH(Vec3, scale);
        QFETCH(Vec3, move);
        QFETCH(Vec3, from);
        QFETCH(Vec3, to);
        const kalix::Quat q =
            kalix::QuatFromYawPitchRoll(angles.x * kDegree, angles.y * kDegree, angles.z * kDegree);
        const Vec3 got = kalix::TransformPoint(kalix::Compose(move, q, scale), from);
        QVERIFY2(Near(got, to, 1e-5f), Text(got));
    }

    void hsv_data() {
        QTest::addColumn<Vec3>("hsv");
        QTest::addColumn<Vec3>("rgb");
        QTest::newRow("red") << Vec3{0, 1, 1} << Vec3{1, 0, 0};
        QTest::newRow("yellow") << Vec3{60, 1, 1} << Vec3{1, 1, 0};
        QTest::newRow("green") << Vec3{120, 1, 1} << Vec3{0, 1, 0};
        QTest::newRow("cyan") << Vec3{180, 1, 1} << Vec3{0, 1, 1};
        QTest::newRow("blue") << Vec3{240, 1, 1} << Vec3{0, 0, 1};
        QTest::newRow("magenta") << Vec3{300, 1, 1} << Vec3{1, 0, 1};
        QTest::newRow("360 wraps to red") << Vec3{360, 1, 1} << Vec3{1, 0, 0};
        QTest::newRow("negative hue wraps") << Vec3{-120, 1, 0.5f} << Vec3{0, 0, 0.5f};
        QTest::newRow("grey") << Vec3{200, 0, 0.5f} << Vec3{0.5f, 0.5f, 0.5f};
        QTest::newRow("saturation and value clamped") << Vec3{120, 3, 2} << Vec3{0, 1, 0};
    }
    void hsv() {
        // Catches swapped sectors, hue not wrapped into 0..360, and unclamped saturation/value.
        QFETCH(Vec3, hsv);
        QFETCH(Vec3, rgb);
        Vec3 got;
        kalix::HsvToRgb(hsv.x, hsv.y, hsv.z, &got.x, &got.y, &got.z);
        QVERIFY2(Near(got, rgb, 1e-5f), Text(got));
    }

    void perspectiveDepth_data() {
        QTest::addColumn<Vec3>("eye");
        QTest::addColumn<Vec3>("target");
        QTest::addColumn<float>("nearPlane");
        QTest::addColumn<float>("farPlane");
        QTest::newRow("down -Z") << Vec3{} << Vec3{0, 0, -1} << 0.1f << 100.0f;
        QTest::newRow("along +X from elsewhere") << Vec3{3, 2, 1} << Vec3{9, 2, 1} << 1.0f << 10.0f;
        QTest::newRow("straight down, up parallel") << Vec3{0, 5, 0} << Vec3{} << 0.5f << 1000.0f;
    }
    void perspectiveDepth() {
        // Catches a view that looks down +Z, depth not mapped to -1..1, and a look-at that
        // breaks when the up vector is parallel to the view.
        QFETCH(Vec3, eye);
        QFETCH(Vec3, target);
        QFETCH(float, nearPlane);
        QFETCH(float, farPlane);
        const kalix::Mat4 vp = kalix::Multiply(kalix::Perspective(1.0f, 1.5f, nearPlane, farPlane),
                                               kalix::LookAt(eye, target, {0, 1, 0}));
        const Vec3 forward = kalix::Normalize(target - eye);
        const float harmonic = 2 * nearPlane * farPlane / (nearPlane + farPlane);
        const float distances[3] = {nearPlane, farPlane, harmonic};
        const float depths[3] = {-1, 1, 0};  // the harmonic mean lands half-way in depth
        for (int i = 0; i < 3; ++i) {
            const Vec3 p = eye + forward * distances[i];
            const kalix::Vec4 c = kalix::Transform(vp, {p.x, p.y, p.z, 1});
            QVERIFY(c.w > 0);
            QVERIFY2(Near({c.x / c.w, c.y / c.w, c.z / c.w}, {0, 0, depths[i]}, 1e-4f),
                     Text({c.x / c.w, c.y / c.w, c.z / c.w}));
        }
    }

    void primitives_data() {
        QTest::addColumn<int>("kind");  // 0 cube, 1 sphere, 2 plane, 3 cylinder
        QTest::addColumn<int>("segments");
        QTest::addColumn<int>("triangles");
        QTest::newRow("cube") << 0 << 0 << 12;
        QTest::newRow("sphere 24") << 1 << 24 << 528;
        QTest::newRow("sphere 1 clamped to 3") << 1 << 1 << 6;
        QTest::newRow("sphere 999 clamped to 256") << 1 << 999 << 65024;
        QTest::newRow("plane") << 2 << 0 << 2;
        QTest::newRow("cylinder 5") << 3 << 5 << 20;
        QTest::newRow("cylinder -4 clamped to 3") << 3 << -4 << 12;
    }
    void primitives() {
        // Catches inward-wound triangles, normals that are not unit or point inwards, bad
        // indices, mirrored uvs or uvs wrapping across the seam, and unclamped segments.
        QFETCH(int, kind);
        QFETCH(int, segments);
        QFETCH(int, triangles);
        const kalix::Mesh m = kind == 0   ? kalix::MakeCube()
                              : kind == 1 ? kalix::MakeSphere(segments)
                              : kind == 2 ? kalix::MakePlane()
                                          : kalix::MakeCylinder(segments);
        QCOMPARE(int(m.indices.size()), 3 * triangles);
        QVERIFY(m.normals.size() == m.positions.size() && m.uvs.size() == m.positions.size());
        if (kind == 0) QCOMPARE(m.positions.size(), size_t(24));
        for (const Vec3& n : m.normals) QVERIFY(std::fabs(kalix::Length(n) - 1) < 1e-5f);
        for (size_t t = 0; t < m.TriangleCount(); ++t) {
            const uint32_t* i = &m.indices[3 * t];
            QVERIFY(std::max({i[0], i[1], i[2]}) < m.positions.size());
            const Vec3 a = m.positions[i[0]], b = m.positions[i[1]], c = m.positions[i[2]];
            const Vec3 face = kalix::Cross(b - a, c - a);
            const Vec3 normals = m.normals[i[0]] + m.normals[i[1]] + m.normals[i[2]];
            QVERIFY2(kalix::Dot(face, normals) > 0, QByteArray::number(int(t)));
            // Seen from outside, u runs right and v down: the uv triangle winds clockwise.
            const kalix::Vec2 ua = m.uvs[i[0]], ub = m.uvs[i[1]], uc = m.uvs[i[2]];
            const float uvArea = (ub.x - ua.x) * (uc.y - ua.y) - (uc.x - ua.x) * (ub.y - ua.y);
            QVERIFY2(uvArea < 0, QByteArray::number(int(t)));
        }
    }
};

QTEST_MAIN(TestRenderMath)
#include "tst_render_math.moc"
