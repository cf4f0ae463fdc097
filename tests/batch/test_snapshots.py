"""Snapshots and writers as scripts use them through app.browser. Run by `mosswick --batch`; a
failed check makes the run exit 1."""
import inspect
import os
import tempfile
import unittest

import app
import vorn


def light(name, intensity=1.0):
    made = vorn.os.CreateInstance("kalix.KxLight")
    made.name = name
    made.intensity = intensity
    return made


class Snapshots(unittest.TestCase):
    def setUp(self):
        self.lamps = vorn.os.CreateInstance("vorn.List")
        for name in "ab":
            self.lamps.append(light(name))

    def test_compare_revert_and_save(self):
        # Catches rows without their path, values or writer, a revert of paths it was not
        # given, and a saved snapshot that does not load back as the same moment.
        snapshot = app.browser.Snapshot(self.lamps)
        self.lamps[0].intensity = 2.0
        line = inspect.currentframe().f_lineno - 1
        self.lamps[1].name = "renamed"
        rows = snapshot.Compare()
        self.assertIn(("[0].intensity", "1.0000", "2.0000", "test_snapshots.py:%d" % line), rows)
        self.assertIn(("[1].name", "b", "renamed", "test_snapshots.py:%d" % (line + 2)), rows)
        self.assertEqual(snapshot.Revert(["[1].name"]), 1)
        self.assertEqual(self.lamps[1].name, "b")
        self.assertEqual([row[0] for row in snapshot.Compare()], ["[0].intensity"])
        self.assertEqual(app.browser.ChangedBy(self.lamps[1], "name")[0], "revert")
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "moment.vorn")
            snapshot.Save(path)
            loaded = app.browser.LoadSnapshot(path, self.lamps)
            self.assertEqual([row[0] for row in loaded.Compare()], ["[0].intensity"])
            self.assertEqual(loaded.Revert(), 1)
            self.assertEqual(self.lamps[0].intensity, 1.0)
            with self.assertRaises(RuntimeError):
                app.browser.LoadSnapshot(os.path.join(folder, "missing.vorn"), self.lamps)
            with self.assertRaises(OSError):
                snapshot.Save(os.path.join(folder, "no", "such", "folder.vorn"))

    def test_colours_read_as_numbers_and_keep_their_writer(self):
        # Catches a colour compared as "IRoot object", and a script's write of one of its
        # numbers, or through its Set method, shown as the engine's.
        snapshot = app.browser.Snapshot(self.lamps)
        self.lamps[0].color.r = 0.5
        line = inspect.currentframe().f_lineno - 1
        self.lamps[1].color.Set(0.25, 0.5, 0.75)
        rows = snapshot.Compare()
        self.assertIn(("[0].color", "1.0000 1.0000 1.0000 1.0000", "0.5000 1.0000 1.0000 1.0000",
                       "test_snapshots.py:%d" % line), rows)
        self.assertIn(("[1].color", "1.0000 1.0000 1.0000 1.0000", "0.2500 0.5000 0.7500 1.0000",
                       "test_snapshots.py:%d" % (line + 2)), rows)
        self.assertEqual(app.browser.ChangedBy(self.lamps[1].color, "b")[1],
                         "test_snapshots.py:%d" % (line + 2))

    def test_writers_and_bad_arguments(self):
        # Catches a writer answered for a member nobody wrote, and bad arguments not refused.
        fresh = vorn.os.CreateInstance("kalix.KxLight")
        self.assertIsNone(app.browser.ChangedBy(fresh, "intensity"))
        fresh.intensity = 0.5
        kind, where, time = app.browser.ChangedBy(fresh, "intensity")
        self.assertEqual((kind, where.split(":")[0]), ("script", "test_snapshots.py"))
        self.assertIsInstance(time, float)
        with self.assertRaises(AttributeError):
            app.browser.ChangedBy(fresh, "nothing")
        with self.assertRaises(TypeError):
            app.browser.Snapshot(42)
        with self.assertRaises(TypeError):
            app.browser.Snapshot(self.lamps).Revert(7)

    def test_snapshot_methods_tell_how_to_call_them(self):
        # Catches a snapshot method without its signature.
        snapshot = app.browser.Snapshot(self.lamps)
        for name, signature in (("Compare", "()"), ("Revert", "(paths=None, /)"),
                                ("Save", "(path, /)")):
            self.assertEqual(str(inspect.signature(getattr(snapshot, name))), signature)


unittest.main()
