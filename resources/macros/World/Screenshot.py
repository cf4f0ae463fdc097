"""Renders the 3D view and saves it as a bitmap in the capture folder"""
import os
import time

import vorn

folder = os.path.join(vorn.os.GetPath(0), "capture")
os.makedirs(folder, exist_ok=True)
path = os.path.join(folder, time.strftime("shot-%Y%m%d-%H%M%S.bmp"))
device = vorn.os.GetObject("kx:/dev")
device.Render()
device.SaveFrame(path)
print("Screenshot saved to " + path)
