"""Navigation of the 3D window: an orbit camera around the scene camera's target.

Left drag orbits, the wheel zooms, arrow keys or W/A/S/D move the target over the ground,
Q and E move it down and up, Home puts the camera back where it started.
"""
import math

# shift state bits of the events
SHIFT, ALT, CTRL, LEFT, RIGHT, MIDDLE, DOUBLE = 1, 2, 4, 8, 16, 32, 64
# virtual key codes
VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, VK_HOME = 37, 38, 39, 40, 36
VK_W, VK_A, VK_S, VK_D, VK_Q, VK_E = 87, 65, 83, 68, 81, 69


class Navigation:
    def __init__(self, device):
        self.device = device
        self.last = None
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
        elif key == VK_HOME and self.home is not None:
            cam = self._camera()
            cam.position.Set(*self.home[:3])
            cam.target.Set(*self.home[3:])

    def OnKeyUp(self, key, shift):
        pass

    def OnMouseDown(self, shift, x, y):
        self.last = (x, y)

    def OnMouseMove(self, shift, x, y):
        if not shift & LEFT or self.last is None or self._camera() is None:
            self.last = (x, y) if shift & LEFT else None
            return
        distance, yaw, pitch = self._orbit()
        self._place(distance, yaw - (x - self.last[0]) * 0.01, pitch + (y - self.last[1]) * 0.01)
        self.last = (x, y)

    def OnMouseUp(self, shift, x, y):
        self.last = None

    def OnMouseWheel(self, shift, delta, x, y):
        if self._camera() is None:
            return
        distance, yaw, pitch = self._orbit()
        self._place(distance * (0.9 ** delta), yaw, pitch)

    def Destroy(self):
        self.device = None
        self.last = None
