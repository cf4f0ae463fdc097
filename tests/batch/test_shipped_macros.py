"""Every macro shipped in resources/macros, run by `mosswick --batch` as its menu entry runs it,
with a model other than the first selected in the browser; each check says what the macro must
have changed. A macro without a check here fails the run, so a new one needs its check."""
import contextlib
import glob
import io
import math
import os
import runpy
import unittest

import app
import vorn

MACROS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources",
                      "macros")


def scene():
    return vorn.os.GetObject("kx:/dev").scene


def yaw(model):
    return model.transform.rotation.GetYawPitchRoll()[0]


def position(vector):
    return (vector.x, vector.y, vector.z)


class ShippedMacros(unittest.TestCase):
    def setUp(self):
        models = scene().models
        self.assertGreaterEqual(len(models), 2, "the default world has fewer than two models")
        self.first, self.chosen = models[0], models[len(models) - 1]
        app.browser.Browse(self.chosen, "chosen model")
        self.assertEqual(app.browser.GetSelected().name, self.chosen.name)

    def run_macro(self, relative):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            runpy.run_path(os.path.join(MACROS, relative), run_name="__main__")
        return out.getvalue()

    def check_spin_model(self):
        # Catches the turn given to the first model instead of the selected one.
        before, first = yaw(self.chosen), yaw(self.first)
        said = self.run_macro("World/Spin Model.py")
        turned = math.remainder(yaw(self.chosen) - before, 2 * math.pi)
        self.assertAlmostEqual(turned, math.radians(45.0), places=4, msg=said)
        self.assertAlmostEqual(yaw(self.first), first, places=6)
        self.assertIn(self.chosen.name, said)

    def check_frame_camera(self):
        # Catches the camera aimed at the first model, or its distance to the target changed.
        camera = scene().camera
        before = math.dist(position(camera.position), position(camera.target))
        said = self.run_macro("World/Frame Camera.py")
        target = position(self.chosen.transform.translation)
        for got, want in zip(position(camera.target), target):
            self.assertAlmostEqual(got, want, places=4, msg=said)
        after = math.dist(position(camera.position), position(camera.target))
        self.assertAlmostEqual(after, before, places=3)

    def check_list_rot(self):
        # Catches a listing that stops early or miscounts the table.
        said = self.run_macro("World/List ROT.py")
        count = len(vorn.os.CreateInstance("vorn.Rot"))
        self.assertTrue(said.endswith("%d registered objects\n" % count), said)
        self.assertIn("kx:/dev", said)

    def check_screenshot(self):
        # Catches a screenshot that is not written where the macro says it is.
        said = self.run_macro("World/Screenshot.py")
        path = said.strip().rsplit(" to ", 1)[-1]
        self.assertTrue(os.path.getsize(path) > 0, said)

    def check_reload_navigation(self):
        # Catches the navigation module not found or not reloaded.
        said = self.run_macro("PopupMenu/Reload Navigation.py")
        self.assertTrue(said.startswith("Navigation reloaded from "), said)

    def test_every_shipped_macro(self):
        checks = {
            "World/Spin Model.py": self.check_spin_model,
            "World/Frame Camera.py": self.check_frame_camera,
            "World/List ROT.py": self.check_list_rot,
            "World/Screenshot.py": self.check_screenshot,
            "PopupMenu/Reload Navigation.py": self.check_reload_navigation,
        }
        shipped = sorted(os.path.relpath(path, MACROS)
                         for path in glob.glob(os.path.join(MACROS, "*", "*.py")))
        self.assertEqual(shipped, sorted(checks))
        for relative in shipped:
            with self.subTest(macro=relative):
                checks[relative]()


unittest.main()
