"""Reloads the 3D window's navigation after navigation.py was edited"""
import importlib

import navigation

importlib.reload(navigation)
print("Navigation reloaded from " + navigation.__file__)
