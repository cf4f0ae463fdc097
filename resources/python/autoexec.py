"""Builds the default world: a lit scene with a few models of different materials, a camera
and a light of each kind, shown by the render device kx:/dev.

This file is also a worked example of the scripting API: objects are made with
vorn.os.CreateInstance, their members are set as attributes, value members (colours, vectors,
rotations) have methods of their own, and lists take new items with append.
"""
import math

import vorn


def make(cls, **members):
    """A new engine object of class kalix.<cls> with the given members set."""
    obj = vorn.os.CreateInstance("kalix." + cls)
    for name, value in members.items():
        setattr(obj, name, value)
    return obj


def material(name, rgb, specular=0.25, shininess=24.0, shader=None):
    mat = make("KxMaterial", name=name, shininess=shininess, shader=shader)
    mat.diffuse.Set(*rgb)
    mat.specular.Set(specular, specular, specular)
    return mat


def model(scene, name, shape, mat, position, scale=(1.0, 1.0, 1.0), yaw=0.0, segments=24):
    m = make("KxModel", name=name, shape=shape, segments=segments, material=mat)
    m.transform.translation.Set(*position)
    m.transform.scaling.Set(*scale)
    m.transform.rotation.SetYawPitchRoll(yaw, 0.0, 0.0)
    scene.models.append(m)
    return m


def light(scene, name, kind, rgb, position=(0.0, 5.0, 0.0), direction=(0.0, -1.0, 0.0),
          intensity=1.0, light_range=20.0, spot_angle=30.0):
    l = make("KxLight", name=name, kind=kind, intensity=intensity, range=light_range,
             spotAngle=spot_angle)
    l.color.Set(*rgb)
    l.position.Set(*position)
    l.direction.Set(*direction)
    scene.lights.append(l)
    return l


def line(scene, name, start, end, rgb):
    ln = make("KxLine", name=name)
    getattr(ln, "from").Set(*start)
    ln.to.Set(*end)
    ln.color.Set(*rgb)
    scene.lines.append(ln)
    return ln


CUBE, SPHERE, PLANE, CYLINDER = 0, 1, 2, 3
DIRECTIONAL, POINT, SPOT = 0, 1, 2


def build():
    scene = make("KxScene", name="Default world")
    camera = make("KxCamera", name="Camera", fieldOfView=55.0)
    camera.position.Set(3.8, 2.6, 5.2)
    camera.target.Set(0.0, 0.5, 0.0)
    scene.camera = camera
    scene.ambient.Set(0.18, 0.18, 0.22)

    flat = make("KxShader", name="Faceted", lighting=1)
    ground = material("Ground", (0.35, 0.38, 0.33), specular=0.05)
    model(scene, "Ground", PLANE, ground, (0.0, 0.0, 0.0), scale=(12.0, 1.0, 12.0), segments=24)
    model(scene, "Crate", CUBE, material("Painted wood", (0.75, 0.22, 0.16)),
          (-1.6, 0.5, 0.0), yaw=math.radians(25))
    model(scene, "Ball", SPHERE, material("Glossy blue", (0.15, 0.3, 0.85), specular=0.8,
                                          shininess=64.0), (0.4, 0.6, 0.6), scale=(1.2, 1.2, 1.2))
    model(scene, "Pillar", CYLINDER, material("Stone", (0.7, 0.68, 0.6), specular=0.1),
          (1.8, 0.75, -1.2), scale=(0.7, 1.5, 0.7))
    model(scene, "Gem", SPHERE, material("Gold, faceted", (0.9, 0.7, 0.2), specular=0.6,
                                         shader=flat), (0.2, 0.35, -1.8),
          scale=(0.7, 0.7, 0.7), segments=8)

    light(scene, "Sun", DIRECTIONAL, (1.0, 0.95, 0.85), direction=(-0.4, -1.0, -0.3),
          intensity=0.9)
    light(scene, "Lamp", POINT, (0.5, 0.6, 1.0), position=(-2.5, 2.0, 2.5), intensity=0.8,
          light_range=8.0)
    light(scene, "Spot", SPOT, (1.0, 0.85, 0.6), position=(2.5, 4.0, 2.5),
          direction=(-0.5, -1.0, -0.5), intensity=1.2, light_range=12.0, spot_angle=25.0)

    line(scene, "X axis", (0.0, 0.01, 0.0), (1.0, 0.01, 0.0), (1.0, 0.2, 0.2))
    line(scene, "Y axis", (0.0, 0.01, 0.0), (0.0, 1.01, 0.0), (0.2, 1.0, 0.2))
    line(scene, "Z axis", (0.0, 0.01, 0.0), (0.0, 0.01, 1.0), (0.3, 0.4, 1.0))
    return scene


world = build()
device = vorn.os.GetObject("kx:/dev")
device.scene = world
vorn.os.Register("kx:/world", world)
