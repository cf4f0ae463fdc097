"""Points the scene camera at the selected model, keeping its distance"""
import math

import vorn

try:
    import app
except ImportError:
    app = None


def chosen_model(scene):
    selected = app.browser.GetSelected() if app is not None else None
    if selected is not None and hasattr(selected, "transform"):
        return selected
    return scene.models[0] if scene is not None and len(scene.models) else None


device = vorn.os.GetObject("kx:/dev")
scene = device.scene
camera = scene.camera if scene is not None else None
model = chosen_model(scene)
if camera is None or model is None:
    print("Frame Camera: no camera or no model in the scene")
else:
    p, t, m = camera.position, camera.target, model.transform.translation
    d = (p.x - t.x, p.y - t.y, p.z - t.z)
    distance = math.sqrt(sum(c * c for c in d)) or 1.0
    # the camera keeps its direction and distance, only the target moves onto the model
    camera.target.Set(m.x, m.y, m.z)
    camera.position.Set(m.x + d[0], m.y + d[1], m.z + d[2])
    print("Frame Camera: %s at distance %.2f" % (model.name, distance))
