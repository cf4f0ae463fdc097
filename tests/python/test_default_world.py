"""The default world that a new user sees: built by autoexec through the vorn module."""
import os
import tempfile
import unittest

import vorn


class DefaultWorld(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        import autoexec  # builds the world and hands it to the device
        cls.world = autoexec.world
        cls.device = vorn.os.GetObject("kx:/dev")

    def test_device_shows_the_world(self):
        # Catches a world that is built but never reaches the device or the table.
        self.assertIs(self.device.scene, self.world)
        self.assertIs(vorn.os.GetObject("kx:/world"), self.world)

    def test_world_has_models_of_each_shape_and_a_light_of_each_kind(self):
        # Catches a world missing what the browser and the editors are shown with.
        shapes = {m.shape for m in self.world.models}
        self.assertEqual(shapes, {0, 1, 2, 3})
        self.assertEqual(sorted(l.kind for l in self.world.lights), [0, 1, 2])
        materials = {m.material.name for m in self.world.models}
        self.assertGreaterEqual(len(materials), 4)
        self.assertIsNotNone(self.world.camera)

    def test_world_renders_and_saves_a_frame(self):
        # Catches a world the renderer cannot draw: the centre differs from the background.
        self.device.recorder.width = 80
        self.device.recorder.height = 60
        self.device.Render()
        self.assertGreater(self.device.triangles, 100)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "frame.bmp")
            self.device.SaveFrame(path)
            with open(path, "rb") as f:
                self.assertEqual(f.read(2), b"BM")

    def test_pick_highlight_and_bounds_from_a_script(self):
        # Catches script methods that miss the device's models, take what is not a model, or
        # place a model's sphere away from where it stands.
        self.device.recorder.width = 160
        self.device.recorder.height = 120
        self.device.Render()
        picked = {self.device.Pick(x, y) for x in range(0, 160, 8) for y in range(0, 120, 8)}
        names = {m.name for m in picked if m is not None}
        self.assertTrue({"Ground", "Ball", "Crate"} <= names, names)
        self.assertIsNone(self.device.Pick(0, 0))  # sky
        self.assertIsNone(self.device.Pick(-5, 500))

        ball = self.world.models[2]
        self.device.Highlight(ball)
        self.assertIs(self.device.Highlighted(), ball)
        self.device.Highlight(None)
        self.assertIsNone(self.device.Highlighted())
        for wrong in (self.world.camera, 5):
            with self.assertRaisesRegex(Exception, "Only a model can be highlighted"):
                self.device.Highlight(wrong)

        (x, y, z), radius = ball.Bounds()
        self.assertEqual([round(v, 4) for v in (x, y, z, radius)], [0.4, 0.6, 0.6, 0.6])

    def test_world_branches_and_loads_back(self):
        # Catches engine objects that do not survive a round trip through a .vorn file.
        with tempfile.TemporaryDirectory() as folder:
            copy = vorn.os.Branch(self.world, "file:" + os.path.join(folder, "world.vorn"))
            self.assertEqual(len(copy.models), len(self.world.models))
            self.assertEqual([m.name for m in copy.models], [m.name for m in self.world.models])
            self.assertAlmostEqual(copy.models[1].transform.rotation.GetYawPitchRoll()[0],
                                   self.world.models[1].transform.rotation.GetYawPitchRoll()[0],
                                   places=5)
            self.assertEqual(copy.camera.fieldOfView, self.world.camera.fieldOfView)


if __name__ == "__main__":
    unittest.main()
