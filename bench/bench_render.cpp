// Frames of the software renderer at 800 x 600, beside clearing the frame buffer alone.
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "kalix/render/rasterizer.h"

namespace {

using namespace kalix;

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// Milliseconds per frame, over at least a second of frames after a few warm-up frames.
double MsPerFrame(const std::function<void()>& frame) {
    for (int i = 0; i < 5; ++i) frame();
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int frames = 0;
    std::chrono::duration<double, std::milli> spent{};
    do {
        frame();
        ++frames;
        spent = Clock::now() - start;
    } while (spent.count() < 1000 || frames < 20);
    return spent.count() / frames;
}

void Print(const char* what, double ms, int triangles) {
    std::printf("%s: %.1f frames/s, %.3f ms/frame (%d triangles drawn)\n", what, 1000 / ms, ms,
                triangles);
}

std::vector<Light> LightRig() {
    std::vector<Light> lights(9);
    for (int i = 0; i < 3; ++i) {
        const float side = static_cast<float>(i - 1) * 3;
        Light& sun = lights[i];
        sun.direction = {side, -2, -1};
        sun.intensity = 0.25f;
        Light& point = lights[3 + i];
        point.kind = Light::Point;
        point.position = {side, 2, 2};
        point.color = {1, 0.8f, 0.6f};
        point.intensity = 0.4f;
        Light& spot = lights[6 + i];
        spot.kind = Light::Spot;
        spot.position = {side, 4, 1};
        spot.direction = {-side * 0.2f, -1, -0.3f};
        spot.range = 12;
        spot.spotAngle = 0.6f;
        spot.color = {0.5f, 0.6f, 1};
        spot.intensity = 0.6f;
    }
    return lights;
}

}  // namespace

int main() {
    FrameBuffer fb;
    fb.Resize(kWidth, kHeight);
    Rasterizer r;
    const Vec3 eye{0, 3, 7};
    const Mat4 view = LookAt(eye, {0, 0, 0}, {0, 1, 0});
    const Mat4 projection = Perspective(1.0f, float(kWidth) / kHeight, 0.1f, 200);
    const std::vector<Light> lights = LightRig();
    const Vec3 ambient{0.15f, 0.15f, 0.15f};

    const double cleared = MsPerFrame([&] { fb.Clear(0xFF203040); });
    Print("clear only (baseline)", cleared, 0);

    // A default world: ground, cube, sphere and cylinder, lit by three lights of each kind.
    const Mesh plane = MakePlane(), cube = MakeCube(), sphere = MakeSphere(24),
               cylinder = MakeCylinder(24);
    Surface ground;
    ground.diffuse = {0.4f, 0.6f, 0.4f, 1};
    Surface shiny;
    shiny.specular = {0.6f, 0.6f, 0.6f, 1};
    shiny.shininess = 32;
    const double world = MsPerFrame([&] {
        fb.Clear(0xFF203040);
        r.Begin(&fb, view, projection, eye, ambient, lights);
        r.DrawMesh(plane, Compose({0, -0.5f, 0}, {}, {20, 1, 20}), ground);
        r.DrawMesh(cube, Compose({-1.5f, 0, 0}, QuatFromYawPitchRoll(0.6f, 0, 0), {1, 1, 1}),
                   shiny);
        r.DrawMesh(sphere, Compose({0, 0.2f, 0}, {}, {1.4f, 1.4f, 1.4f}), shiny);
        r.DrawMesh(cylinder, Compose({1.5f, 0, 0.5f}, {}, {1, 1, 1}), shiny);
    });
    Print("default world (plane, cube, sphere 24, cylinder 24, 9 lights)", world,
          r.TrianglesDrawn());

    // 200 spheres of 238 triangles each on a 20 x 10 grid filling the view.
    const Mesh ball = MakeSphere(17);
    std::vector<Mat4> places;
    for (int z = 0; z < 10; ++z) {
        for (int x = 0; x < 20; ++x)
            places.push_back(
                Compose({float(x) * 0.9f - 8.5f, 0, -float(z) * 1.1f + 2}, {}, {0.8f, 0.8f, 0.8f}));
    }
    const double crowd = MsPerFrame([&] {
        fb.Clear(0xFF203040);
        r.Begin(&fb, view, projection, eye, ambient, lights);
        for (const Mat4& place : places) r.DrawMesh(ball, place, shiny);
    });
    Print("200 spheres (47,600 triangles, 9 lights)", crowd, r.TrianglesDrawn());
    return 0;
}
