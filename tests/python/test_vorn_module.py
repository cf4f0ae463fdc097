"""The module vorn as scripts use it: making objects, the running object table, lists, script
attributes, paths, branch files and script files. Failures that make vornrun exit 1 (a script
file that raises) are checked by run_vornrun_checks.sh instead."""
import gc
import importlib
import json
import os
import shutil
import sys
import tempfile
import types
import unittest
import weakref

import vorn
import vorn.os as vos
import vorn.pyos as pyos
import vorn.synchro as synchro


def new_list(name=None):
    lst = vos.CreateInstance("vorn.List")
    if name is not None:
        lst.name = name
    return lst


def names(lst):
    return [item.name for item in lst]


def revoke_quietly(moniker):
    try:
        vos.Revoke(moniker)
    except vorn.error:
        pass


class ClassTexts(unittest.TestCase):
    def test_create_instance(self):
        # Catches a class text that is not passed on, one wrapper answered for two new objects,
        # runtime failures (of parsing or of creating) that do not arrive as vorn.error, and
        # wrappers that scripts can make by themselves.
        obj = vos.CreateInstance("vorn.List")
        self.assertIsInstance(obj, vorn.Object)
        self.assertIsNot(vos.CreateInstance("vorn.List.1"), obj)
        for text, message in (("nodot", 'Cannot convert "nodot" to a valid class id'),
                              ("vorn.Nope", "Unknown class vorn.Nope")):
            with self.subTest(text=text):
                with self.assertRaises(vorn.error) as caught:
                    vos.CreateInstance(text)
                self.assertEqual(str(caught.exception), message)
                self.assertEqual(caught.exception.code, -1)
                self.assertIsInstance(caught.exception, RuntimeError)
        with self.assertRaises(TypeError):
            vos.CreateInstance(5)
        with self.assertRaises(TypeError):
            vorn.Object()


class RunningObjectTable(unittest.TestCase):
    def test_register_get_and_revoke(self):
        # Catches a class text or moniker lost on the way to the table, refusals of each call
        # that do not raise, a table whose refusal of a removal (by remove, del or clear) is
        # ignored, and a repr that keeps a revoked moniker.
        obj = new_list("kept")
        rot = vos.CreateInstance("vorn.Rot")
        only_revoked = "Objects leave the running object table only when they are revoked"
        vos.Register("kx:/reg", obj)
        self.addCleanup(revoke_quietly, "kx:/reg")
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 kx:/reg "kept">')
        for cls in (None, "vorn.List"):
            with self.subTest(cls=cls):
                self.assertIs(vos.GetObject("kx:/reg", cls), obj)
        refused = [
            (lambda: vos.GetObject("kx:/reg", "vorn.Rot"),
             "kx:/reg is an object of class vorn.List.1, not vorn.Rot"),
            (lambda: vos.GetObject("kx:/reg", "nodot"),
             'Cannot convert "nodot" to a valid class id'),
            (lambda: vos.Register("kx:/reg", new_list()),
             "The moniker kx:/reg is already registered"),
            (lambda: rot.remove(obj), only_revoked),
            (lambda: rot.__delitem__(-1), only_revoked),
            (lambda: rot.clear(), only_revoked),
        ]
        for call, message in refused:
            with self.subTest(message=message):
                with self.assertRaises(vorn.error) as caught:
                    call()
                self.assertEqual(str(caught.exception), message)
        with self.assertRaises(TypeError):
            vos.Register("kx:/number", 5)
        self.assertIn(obj, rot)
        vos.Revoke("kx:/reg")
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 "kept">')
        with self.assertRaises(vorn.error) as caught:
            vos.Revoke("kx:/reg")
        self.assertEqual(str(caught.exception), "No object is registered as kx:/reg")


class Lists(unittest.TestCase):
    def setUp(self):
        self.a, self.b, self.c = new_list("a"), new_list("b"), new_list("c")
        self.lst = new_list("host")
        for item in (self.a, self.b, self.c):
            self.lst.append(item)

    def test_sequence_reads(self):
        # Catches indexes read off by one or not counted from the end, and membership or truth
        # answered wrongly.
        lst = self.lst
        self.assertEqual(len(lst), 3)
        self.assertEqual(list(lst), [self.a, self.b, self.c])
        self.assertIs(lst[-1], self.c)
        self.assertIs(lst[-3], self.a)
        for bad in (3, -4):
            with self.subTest(index=bad):
                with self.assertRaises(IndexError):
                    lst[bad]
        self.assertIn(self.b, lst)
        self.assertNotIn(new_list(), lst)
        self.assertNotIn(5, lst)
        self.assertTrue(lst)
        self.assertFalse(new_list())

    def test_append_and_insert(self):
        # Catches insert positions not counted from the end or not clamped to the list.
        lst = self.lst
        d = new_list("d")
        lst.append(d)
        lst.insert(0, new_list("first"))
        lst.insert(-1, new_list("before last"))
        lst.insert(100, new_list("end"))
        lst.insert(-100, new_list("start"))
        self.assertEqual(names(lst), ["start", "first", "a", "b", "c", "before last", "d", "end"])

    def test_wrong_items_are_refused_and_change_nothing(self):
        # Catches items of the wrong kind taken, a refusal of the list that does not raise, and
        # a refused assignment that has already removed the old item.
        lst = self.lst
        for call, error in ((lambda: lst.append(5), TypeError),
                            (lambda: lst.append(), vorn.error),  # no element class
                            (lambda: lst.append(lst), vorn.error),
                            (lambda: lst.__setitem__(0, 5), TypeError),
                            (lambda: lst.__setitem__(0, lst), vorn.error),
                            (lambda: lst.__delitem__(3), IndexError),
                            (lambda: lst.remove(new_list()), ValueError),
                            (lambda: lst.remove(5), ValueError),
                            (lambda: lst[0:2], TypeError)):
            with self.subTest(error=error.__name__):
                with self.assertRaises(error):
                    call()
                self.assertEqual(names(lst), ["a", "b", "c"])
        with self.assertRaises(vorn.error) as caught:
            lst.move(0, 3)
        self.assertEqual(str(caught.exception), "Cannot move item 0 to 3: the list has 3 items")
        self.assertEqual(names(lst), ["a", "b", "c"])

    def test_remove_del_set_and_move(self):
        # Catches the wrong one of two equal items removed, negative indexes not counted from
        # the end, an assignment that lands beside the old item, and move's positions swapped.
        lst = self.lst
        lst.append(self.a)
        lst.remove(self.a)  # the first of the two
        self.assertEqual(names(lst), ["b", "c", "a"])
        lst.move(0, 2)
        self.assertEqual(names(lst), ["c", "a", "b"])
        del lst[0]
        del lst[-1]
        self.assertEqual(names(lst), ["a"])
        lst.append(self.b)
        lst[0] = self.c
        lst[-1] = new_list("z")
        self.assertEqual(names(lst), ["c", "z"])
        lst.clear()
        self.assertEqual(len(lst), 0)

    def test_a_list_keeps_its_items_alive(self):
        # Catches a wrapper read from a list that does not hold its own reference.
        self.lst.append(new_list("only in the list"))
        gc.collect()
        self.assertEqual(self.lst[-1].name, "only in the list")
        item = self.lst[-1]
        del self.lst[-1]
        self.assertEqual(item.name, "only in the list")


class ObjectAttributes(unittest.TestCase):
    def test_script_attributes_are_listed_and_deleted(self):
        # Catches script attributes missing from dir() or kept there after they are deleted,
        # and deletes or reads of missing names that do not raise AttributeError.
        obj = new_list()
        obj.zeta = 1
        listed = dir(obj)
        for name in ("name", "append", "insert", "remove", "clear", "move", "zeta"):
            self.assertIn(name, listed)
        self.assertEqual(listed, sorted(listed))
        del obj.zeta
        self.assertNotIn("zeta", dir(obj))
        self.assertFalse(hasattr(obj, "zeta"))
        with self.assertRaises(AttributeError):
            del obj.zeta
        with self.assertRaises(AttributeError):
            obj.missing

    def test_cycles_through_script_objects_are_collected(self):
        # Catches wrappers and attribute tables hidden from the cycle collector (such cycles
        # leaked forever), and a collection that drops the attributes of an object still held.
        def self_attribute():
            o = new_list()
            o.me = o
            return o

        def pair():
            a, b = new_list(), new_list()
            a.owner = b
            b.parts = [a]
            return a

        def user_data():
            model = vos.CreateInstance("kalix.KxModel")
            model.userData = model
            return model

        for build in (self_attribute, pair, user_data):
            with self.subTest(build.__name__):
                gone = weakref.ref(build())
                gc.collect()
                self.assertIsNone(gone())
        holder = new_list()
        holder.append(self_attribute())
        gc.collect()
        self.assertIs(holder[0].me, holder[0])

    def test_repr(self):
        # Catches a repr that shows an empty name, or mangles one that is not ASCII.
        obj = new_list()
        self.assertEqual(repr(obj), "<vorn.Object vorn.List.1>")
        obj.name = "Ünï"
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 "Ünï">')


class Paths(unittest.TestCase):
    def test_resource_scripts_folder_follows_the_resource_path(self):
        # Catches a path read for the wrong kind, unknown kinds that do not raise, and sys.path
        # left pointing at the old resource folder's scripts (or not at the new one's).
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        resources = vos.GetPath(1)
        self.addCleanup(vos.SetPath, 1, resources)
        self.assertEqual(resources.rstrip("/"), os.environ["VORN_RESDIR"].rstrip("/"))
        for call in (lambda: vos.GetPath(2), lambda: vos.SetPath(9, folder)):
            with self.assertRaises(vorn.error):
                call()
        old_scripts = resources + "scripts"
        self.assertEqual(sys.path[0], old_scripts)
        vos.SetPath(1, folder)
        self.assertEqual(vos.GetPath(1), folder + "/")
        scripts = os.path.join(folder, "scripts")
        self.assertEqual(sys.path[0], scripts)
        self.assertNotIn(old_scripts, sys.path)
        os.makedirs(scripts)
        with open(os.path.join(scripts, "vorn_probe_module.py"), "w") as f:
            f.write("VALUE = 'from resources'\n")
        importlib.invalidate_caches()
        self.addCleanup(sys.modules.pop, "vorn_probe_module", None)
        import vorn_probe_module
        self.assertEqual(vorn_probe_module.VALUE, "from resources")
        vos.SetPath(1, "")  # back to the default, which is $VORN_RESDIR
        self.assertEqual(vos.GetPath(1), resources)
        self.assertEqual(sys.path[0], old_scripts)
        self.assertNotIn(scripts, sys.path)


class Branches(unittest.TestCase):
    def test_branch_and_load(self):
        # Catches a copy that is not registered under the moniker, a file path not made into
        # its moniker, a registered file read again (or one revoked not read), and failures that
        # do not raise.
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        path = os.path.join(folder, "tree.vorn")
        moniker = "file:" + path
        original = new_list("root")
        original.append(new_list("leaf"))
        copy = vos.Branch(original, moniker)
        self.addCleanup(revoke_quietly, moniker)
        self.assertIsNot(copy, original)
        self.assertEqual(names(copy), ["leaf"])
        self.assertIs(vos.GetObject(moniker), copy)
        self.assertIs(vos.Load(path), copy)  # registered, so not read again
        vos.Revoke(moniker)
        loaded = vos.Load(path)
        self.assertIsNot(loaded, copy)
        self.assertEqual(names(loaded), ["leaf"])
        self.assertEqual(repr(loaded), '<vorn.Object vorn.List.1 %s "root">' % moniker)
        for call, error in ((lambda: vos.Load(os.path.join(folder, "missing.vorn")), vorn.error),
                            (lambda: vos.Branch(original, "kx:/dev"), vorn.error),
                            (lambda: vos.Branch(5, moniker), TypeError)):
            with self.assertRaises(error):
                call()

    def test_python_values_are_kept_or_named(self):
        # Catches userData and script attributes dropped from a branch, and a value a file
        # cannot hold left out without a warning that names it, or failing the whole branch.
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        moniker = "file:" + os.path.join(folder, "model.vorn")
        self.addCleanup(revoke_quietly, moniker)
        model = vos.CreateInstance("kalix.KxModel")
        model.userData = {"hits": [1, 2.5, None, True], "name": "crate"}
        model.score = 0.1 + 0.2
        model.shape_of = (1, 2)
        with self.assertWarnsRegex(RuntimeWarning,
                                   r'attribute "shape_of" holds a value of type .tuple.'):
            copy = vos.Branch(model, moniker)
        self.assertEqual(repr(copy.userData), repr(model.userData))
        self.assertEqual(copy.score, 0.1 + 0.2)
        self.assertFalse(hasattr(copy, "shape_of"))
        with open(moniker[len("file:"):]) as f:
            self.assertIn('"version": 2', f.read())


class MemberRanges(unittest.TestCase):
    def test_values_outside_the_range_or_choices_are_refused_unwritten(self):
        # Catches a refused value written before the refusal, a range or choice not checked
        # for a script, a message that does not name the range, and colour channels refused
        # outside 0 to 1.
        model = vos.CreateInstance("kalix.KxModel")
        material = vos.CreateInstance("kalix.KxMaterial")
        model.segments, model.shape, model.flags, material.shininess = 12, 1, 1, 8.0
        for target, name, value, message in (
                (model, "segments", 1000, "segments takes 3 to 256, not 1000"),
                (model, "segments", 2, "segments takes 3 to 256, not 2"),
                (model, "shape", 99, "99 is no choice of shape"),
                (model, "flags", 64, "64 is no choice of flags"),
                (material, "shininess", 1000.0, "shininess takes 1 to 256, not 1000")):
            with self.subTest(name=name, value=value):
                old = getattr(target, name)
                with self.assertRaisesRegex(ValueError, message):
                    setattr(target, name, value)
                self.assertEqual(getattr(target, name), old)
        model.segments, model.shape, material.shininess = 256, 0, 1
        material.diffuse.r, material.emissive.g = 2.5, -0.5
        self.assertEqual((material.diffuse.r, material.emissive.g), (2.5, -0.5))

    def test_a_branch_file_with_a_value_outside_its_range_loads_with_a_warning(self):
        # Catches a stored value that fails the load, is changed on loading, or is kept
        # without a warning that names it.
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        path = os.path.join(folder, "model.vorn")
        self.addCleanup(revoke_quietly, "file:" + path)
        vos.Branch(vos.CreateInstance("kalix.KxModel"), "file:" + path)
        vos.Revoke("file:" + path)
        with open(path) as f:
            stored = json.load(f)
        stored["objects"][stored["root"]]["members"]["segments"]["value"] = 1000
        stored["objects"][stored["root"]]["members"]["shape"]["value"] = 99
        with open(path, "w") as f:
            json.dump(stored, f)
        with self.assertWarnsRegex(RuntimeWarning, "segments takes 3 to 256, not 1000.*"
                                   "99 is no choice of shape|99 is no choice of shape.*"
                                   "segments takes 3 to 256, not 1000"):
            loaded = vos.Load(path)
        self.assertEqual((loaded.segments, loaded.shape), (1000, 99))


class ScriptFiles(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.results = types.ModuleType("exec_results")
        sys.modules["exec_results"] = self.results
        self.addCleanup(sys.modules.pop, "exec_results", None)

    def script(self, text):
        path = os.path.join(self.folder, "script.py")
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_a_script_runs_with_globals_of_its_own(self):
        # Catches a script that shares or leaves behind globals, lacks __name__ or __file__, is
        # not the module __main__ while it runs, or leaves __main__ changed afterwards.
        path = self.script(
            "import exec_results\n"
            "exec_results.name = __name__\n"
            "exec_results.file = __file__\n"
            "exec_results.sees_caller = 'CALLER_ONLY' in globals()\n"
            "import sys\n"
            "exec_results.is_main = sys.modules['__main__'].__dict__ is globals()\n"
            "left_behind = 1\n")
        global CALLER_ONLY
        CALLER_ONLY = 1
        self.assertIs(pyos.ExecFile(path), True)
        self.assertEqual(self.results.name, "__main__")
        self.assertEqual(self.results.file, path)
        self.assertFalse(self.results.sees_caller)
        self.assertNotIn("left_behind", globals())
        self.assertTrue(self.results.is_main)  # as for "python3 FILE"
        self.assertIs(sys.modules["__main__"].__dict__, globals())  # given back afterwards

    def test_clean_exits_are_no_failure(self):
        # Catches a sys.exit with None or False counted as a failure, or the script going on
        # after it. (sys.exit(0) and sys.exit(1) are checked through vornrun's exit status.)
        failures = synchro.Failures()
        for ending in ("sys.exit(None)", "sys.exit(False)"):
            with self.subTest(ending=ending):
                path = self.script("import sys, exec_results\n"
                                   "exec_results.before = True\n"
                                   + ending + "\n"
                                   "exec_results.after = True\n")
                self.results.__dict__.pop("after", None)
                self.assertIs(pyos.ExecFile(path), True)
                self.assertTrue(self.results.before)
                self.assertFalse(hasattr(self.results, "after"))
        self.assertEqual(synchro.Failures(), failures)


unittest.main()
