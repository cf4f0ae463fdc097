"""The 3D window's navigation: an orbit camera driven by key and mouse events."""
import math
import unittest

import vorn

LEFT = 8


def distance(cam):
    d = [getattr(cam.position, a) - getattr(cam.target, a) for a in "xyz"]
    return math.sqrt(sum(c * c for c in d))


class OrbitCamera(unittest.TestCase):
    def setUp(self):
        import autoexec
        import navigation
        self.device = vorn.os.GetObject("kx:/dev")
        self.device.scene = autoexec.build()
        self.cam = self.device.scene.camera
        self.nav = navigation.Navigation(self.device)

    def tearDown(self):
        self.nav.Destroy()

    def test_left_drag_orbits_at_the_same_distance(self):
        # Catches a drag that moves the camera off its orbit or ignores the button state.
        before = (self.cam.position.x, self.cam.position.z, distance(self.cam))
        self.nav.OnMouseDown(LEFT, 100, 100)
        self.nav.OnMouseMove(0, 180, 100)  # no button: nothing happens
        self.assertEqual((self.cam.position.x, self.cam.position.z), before[:2])
        self.nav.OnMouseDown(LEFT, 100, 100)
        self.nav.OnMouseMove(LEFT, 160, 120)
        self.nav.OnMouseUp(0, 160, 120)
        self.assertNotEqual((self.cam.position.x, self.cam.position.z), before[:2])
        self.assertAlmostEqual(distance(self.cam), before[2], places=4)

    def test_wheel_zooms_and_keys_move_the_target(self):
        # Catches zoom in the wrong direction and keys that move only the camera.
        d = distance(self.cam)
        self.nav.OnMouseWheel(0, 2, 50, 50)
        self.assertAlmostEqual(distance(self.cam), d * 0.81, places=3)
        target = (self.cam.target.x, self.cam.target.z)
        self.nav.OnKeyDown(87, 0)  # W
        moved = (self.cam.target.x, self.cam.target.z)
        self.assertNotEqual(moved, target)
        self.assertAlmostEqual(distance(self.cam), d * 0.81, places=3)
        self.nav.OnKeyDown(36, 0)  # Home
        self.assertAlmostEqual(distance(self.cam), d, places=4)

    def test_click_does_not_orbit_and_f_frames_the_highlighted_model(self):
        # Catches a click that turns the camera, a click that raises outside the tool, F that
        # frames nothing or leaves the model outside the view.
        before = (self.cam.position.x, self.cam.position.y, self.cam.position.z)
        self.nav.OnMouseDown(LEFT, 100, 100)
        self.nav.OnMouseMove(LEFT, 102, 101)  # within the slop: still a click
        self.nav.OnMouseUp(0, 102, 101)
        self.assertEqual((self.cam.position.x, self.cam.position.y, self.cam.position.z), before)
        self.nav.OnKeyDown(70, 0)  # F with nothing highlighted: nothing moves
        self.assertEqual((self.cam.position.x, self.cam.position.y, self.cam.position.z), before)
        gem = [m for m in self.device.scene.models if m.name == "Gem"][0]
        self.device.Highlight(gem)
        self.nav.OnKeyDown(70, 0)
        (x, y, z), radius = gem.Bounds()
        self.assertAlmostEqual(self.cam.target.x, x, places=4)
        self.assertAlmostEqual(self.cam.target.z, z, places=4)
        half = math.radians(self.cam.fieldOfView) / 2
        self.assertAlmostEqual(distance(self.cam), radius / math.sin(half) * 1.1, places=3)
        self.device.Highlight(None)

    def test_events_without_a_scene_do_nothing(self):
        # Catches navigation that raises when the device shows no scene.
        self.device.scene = None
        for event in (lambda: self.nav.OnKeyDown(37, 0), lambda: self.nav.OnMouseWheel(0, 1, 0, 0),
                      lambda: self.nav.OnMouseMove(LEFT, 5, 5)):
            event()


if __name__ == "__main__":
    unittest.main()
