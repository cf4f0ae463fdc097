"""Turns the selected model (or the first) by 45 degrees about the vertical axis"""
#ctx KxModel
import math

import vorn

try:
    import app
except ImportError:
    app = None

model = app.browser.GetSelected() if app is not None else None
if model is None or not hasattr(model, "transform"):
    scene = vorn.os.GetObject("kx:/dev").scene
    model = scene.models[0] if scene is not None and len(scene.models) else None
if model is None:
    print("Spin Model: no model to turn")
else:
    rotation = model.transform.rotation
    yaw, pitch, roll = rotation.GetYawPitchRoll()
    rotation.SetYawPitchRoll(yaw + math.radians(45.0), pitch, roll)
    print("Spin Model: %s turned to %.0f degrees" % (model.name, math.degrees(yaw) + 45.0))
