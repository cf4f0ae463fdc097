"""Navigation of the 3D window: an orbit camera around the scene camera's target.

Left drag orbits, a left click shows the model under the pointer in the browser, the wheel
zooms, arrow keys or W/A/S/D move the target over the ground, Q and E move it down and up, F
frames the highlighted model and Home puts the camera back where it started.
"""
import math

# shift state bits of the events
SHIFT, ALT, CTRL, LEFT, RIGHT, MIDDLE, DOUBLE = 1, 2, 4, 8, 16, 32, 64
# virtual key codes
VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_HOME = 37, 38, 39, 40, 36
VK_W, VK_A, VK_S, VK_D, VK_Q, VK_E, VK_F = 87, 65, 83, 68, 81, 69, 70
# how far, in pixels, the pointer may move between press and release for a click
CLICK_SLOP = 3


class Navigation:
    def __init__(self, device):
        self.device = device
        self.last = None
        self.press = None  # where the left button went down, until it goes up
        self.dragging = False
        self.home = self._snapshot()

    def _camera(self):
        scene = self.device.scene if self.device is not None else None
        return scene.camera if scene is not None else None

    def _snapshot(self):
        cam = self._camera()
        if cam is None:
            return None
        return (cam.position.x, cam.position.y, cam.position.z,
                cam.target.x, cam.target.y, cam.target.z)

    def _orbit(self):
        """Distance, yaw and pitch of the camera around its target."""
        cam = self._camera()
        dx = cam.position.x - cam.target.x
        dy = cam.position.y - cam.target.y
        dz = cam.position.z - cam.target.z
        distance = max(math.sqrt(dx * dx + dy * dy + dz * dz), 1e-3)
        return distance, math.atan2(dx, dz), math.asin(max(-1.0, min(1.0, dy / distance)))

    def _place(self, distance, yaw, pitch):
        cam = self._camera()
        pitch = max(-1.5, min(1.5, pitch))
        distance = max(0.2, min(500.0, distance))
        cam.position.Set(cam.target.x + distance * math.cos(pitch) * math.sin(yaw),
                         cam.target.y + distance * math.sin(pitch),
                         cam.target.z + distance * math.cos(pitch) * math.cos(yaw))

    def _move(self, forward, right, up):
        cam = self._camera()
        distance, yaw, _ = self._orbit()
        step = 0.05 * distance
        fx, fz = -math.sin(yaw), -math.cos(yaw)
        dx = (forward * fx - right * fz) * step
        dz = (forward * fz + right * fx) * step
        dy = up * step
        for vector in (cam.position, cam.target):
            vector.Set(vector.x + dx, vector.y + dy, vector.z + dz)

    def OnKeyDown(self, key, shift):
        if self._camera() is None:
            return
        moves = {VK_UP: (1, 0, 0), VK_W: (1, 0, 0), VK_DOWN: (-1, 0, 0), VK_S: (-1, 0, 0),
                 VK_LEFT: (0, -1, 0), VK_A: (0, -1, 0), VK_RIGHT: (0, 1, 0), VK_D: (0, 1, 0),
                 VK_Q: (0, 0, -1), VK_E: (0, 0, 1)}
        if key in moves:
            self._move(*moves[key])
        elif key == VK_F:
            self._frame()
        elif key == VK_HOME and self.home is not None:
            cam = self._camera()
            cam.position.Set(*self.home[:3])
            cam.target.Set(*self.home[3:])

    def OnKeyUp(self, key, shift):
        pass

    def _frame(self):
        """Moves the camera along its line of sight until the highlighted model fills the view."""
        model = self.device.Highlighted()
        if model is None:
            return
        cam = self._camera()
        (x, y, z), radius = model.Bounds()
        half = math.radians(max(1.0, min(179.0, cam.fieldOfView))) / 2
        if 0 < self.device.width < self.device.height:  # the narrower side bounds it
            half = math.atan(math.tan(half) * self.device.width / self.device.height)
        _, yaw, pitch = self._orbit()
        cam.target.Set(x, y, z)
        self._place(max(radius, 1e-3) / math.sin(half) * 1.1, yaw, pitch)

    def _select_at(self, x, y):
        """A click: the model drawn at the pointer is shown in the browser."""
        model = self.device.Pick(x, y)
        try:
            import app
        except ImportError:  # outside the tool there is no browser to show it in
            return
        if model is None:
            app.ui.SetStatusText("No model under the pointer")
        else:
            app.browser.Reveal(model)  # which says in the status bar what it shows

    def OnMouseDown(self, shift, x, y):
        self.last = (x, y)
        self.press = (x, y) if shift & LEFT else None
        self.dragging = False

    def OnMouseMove(self, shift, x, y):
        if not shift & LEFT or self.last is None or self._camera() is None:
            self.last = (x, y) if shift & LEFT else None
            return
        if not self.dragging:
            # a click until the pointer leaves the slop; then the drag orbits from the press
            if self.press is not None and max(abs(x - self.press[0]),
                                               abs(y - self.press[1])) <= CLICK_SLOP:
                return
            self.dragging = True
        distance, yaw, pitch = self._orbit()
        self._place(distance, yaw - (x - self.last[0]) * 0.01, pitch + (y - self.last[1]) * 0.01)
        self.last = (x, y)

    def OnMouseUp(self, shift, x, y):
        clicked = self.press is not None and not self.dragging
        self.last = self.press = None
        self.dragging = False
        if clicked and self.device is not None:
            self._select_at(x, y)

    def OnMouseWheel(self, shift, delta, x, y):
        if self._camera() is None:
            return
        distance, yaw, pitch = self._orbit()
        self._place(distance * (0.9 ** delta), yaw, pitch)

    def Destroy(self):
        self.device = None
        self.last = self.press = None
