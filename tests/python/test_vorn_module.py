"""The module vorn as scripts use it: making objects, the running object table, lists, script
attributes, paths, branch files and script files. Failures that make vornrun exit 1 (a script
file that raises) are checked by run_vornrun_checks.sh instead."""
import gc
import importlib
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


class ClassTexts(unittest.TestCase):
    def test_good_texts_make_new_objects(self):
        for text in ("vorn.List", "vorn.List.1"):
            with self.subTest(text=text):
                obj = vos.CreateInstance(text)
                self.assertIsInstance(obj, vorn.Object)
                self.assertEqual(repr(obj), "<vorn.Object vorn.List.1>")
        self.assertIsNot(vos.CreateInstance("vorn.List"), vos.CreateInstance("vorn.List"))

    def test_bad_texts_raise_the_runtime_message(self):
        long_class = "vorn." + "C" * 24
        cases = [
            ("nodot", 'Cannot convert "nodot" to a valid class id'),
            ("", 'Cannot convert "" to a valid class id'),
            ("longmodule.X", "Modulename cannot exceed 9 chars: longmodule.X"),
            (long_class, "Classname cannot exceed 23 chars: " + long_class),
            ("vorn.List.70000", "Version must be between -32768 and 32767: vorn.List.70000"),
            ("vorn.Nope", "Unknown class vorn.Nope"),
            ("vorn.List.9", "Unknown class vorn.List.9"),
        ]
        for text, message in cases:
            with self.subTest(text=text):
                with self.assertRaises(vorn.error) as caught:
                    vos.CreateInstance(text)
                self.assertEqual(str(caught.exception), message)
                self.assertEqual(caught.exception.code, -1)
                self.assertIsInstance(caught.exception, RuntimeError)
        with self.assertRaises(TypeError):
            vos.CreateInstance(5)


class RunningObjectTable(unittest.TestCase):
    def setUp(self):
        self.rot = vos.CreateInstance("vorn.Rot")
        self.registered = []

    def tearDown(self):
        for moniker in self.registered:
            try:
                vos.Revoke(moniker)
            except vorn.error:
                pass

    def register(self, moniker, obj):
        vos.Register(moniker, obj)
        self.registered.append(moniker)

    def test_the_table_is_one_object(self):
        self.assertIs(vos.CreateInstance("vorn.Rot"), self.rot)
        self.assertIs(vos.CreateInstance("vorn.Rot.1"), self.rot)
        self.assertEqual(repr(self.rot), "<vorn.Object vorn.Rot.1>")

    def test_it_lists_registered_objects_in_order(self):
        before = len(self.rot)
        first, second = new_list("first"), new_list("second")
        self.register("kx:/rot-first", first)
        self.register("kx:/rot-second", second)
        self.assertEqual(len(self.rot), before + 2)
        self.assertIs(self.rot[-2], first)
        self.assertIs(self.rot[-1], second)
        self.assertIn(first, self.rot)
        vos.Revoke("kx:/rot-first")
        self.assertNotIn(first, self.rot)
        self.assertEqual(len(self.rot), before + 1)

    def test_it_is_filled_only_by_registration(self):
        obj = new_list()
        self.register("kx:/rot-only", obj)
        with self.assertRaises(vorn.error) as caught:
            self.rot.append(new_list())
        self.assertEqual(str(caught.exception),
                         "The running object table is filled by registration; items cannot be added")
        with self.assertRaises(vorn.error) as caught:
            self.rot.remove(obj)
        self.assertEqual(str(caught.exception),
                         "Objects leave the running object table only when they are revoked")
        self.assertIn(obj, self.rot)

    def test_register_get_and_revoke(self):
        obj = new_list("kept")
        self.register("kx:/reg", obj)
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 kx:/reg "kept">')
        for cls in (None, "vorn.List", "vorn.List.1"):
            with self.subTest(cls=cls):
                self.assertIs(vos.GetObject("kx:/reg", cls), obj)
        refused = [
            (lambda: vos.GetObject("kx:/reg", "vorn.Rot"),
             "kx:/reg is an object of class vorn.List.1, not vorn.Rot"),
            (lambda: vos.GetObject("kx:/reg", "vorn.List.2"),
             "kx:/reg is an object of class vorn.List.1, not vorn.List.2"),
            (lambda: vos.GetObject("kx:/reg", "nodot"),
             'Cannot convert "nodot" to a valid class id'),
            (lambda: vos.GetObject("kx:/nobody"), "No object is registered as kx:/nobody"),
            (lambda: vos.Register("kx:/reg", new_list()), "The moniker kx:/reg is already registered"),
            (lambda: vos.Register("bad", new_list()), '"bad" is not a moniker (scheme:/name)'),
        ]
        for call, message in refused:
            with self.subTest(message=message):
                with self.assertRaises(vorn.error) as caught:
                    call()
                self.assertEqual(str(caught.exception), message)
        with self.assertRaises(TypeError):
            vos.Register("kx:/number", 5)
        vos.Revoke("kx:/reg")
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 "kept">')
        with self.assertRaises(vorn.error) as caught:
            vos.Revoke("kx:/reg")
        self.assertEqual(str(caught.exception), "No object is registered as kx:/reg")

    def test_the_table_keeps_its_objects_alive(self):
        obj = new_list("held by the table")
        obj.note = "script data"
        self.register("kx:/held", obj)
        gone = weakref.ref(obj)
        del obj
        gc.collect()
        self.assertIsNone(gone())
        again = vos.GetObject("kx:/held")
        self.assertEqual(again.name, "held by the table")
        self.assertEqual(again.note, "script data")


class Lists(unittest.TestCase):
    def setUp(self):
        self.a, self.b, self.c = new_list("a"), new_list("b"), new_list("c")
        self.lst = new_list("host")
        for item in (self.a, self.b, self.c):
            self.lst.append(item)

    def test_sequence_reads(self):
        lst = self.lst
        self.assertEqual(len(lst), 3)
        self.assertIs(lst[0], self.a)
        self.assertIs(lst[2], self.c)
        self.assertIs(lst[-1], self.c)
        self.assertIs(lst[-3], self.a)
        for bad in (3, -4):
            with self.subTest(index=bad):
                with self.assertRaises(IndexError):
                    lst[bad]
        self.assertEqual([item for item in lst], [self.a, self.b, self.c])
        self.assertIn(self.b, lst)
        self.assertNotIn(new_list(), lst)
        self.assertNotIn(lst, lst)
        self.assertNotIn(5, lst)
        self.assertTrue(lst)
        self.assertFalse(new_list())

    def test_append_and_insert(self):
        lst = self.lst
        d = new_list("d")
        lst.append(d)
        lst.insert(0, new_list("first"))
        lst.insert(-1, new_list("before last"))
        lst.insert(100, new_list("end"))
        lst.insert(-100, new_list("start"))
        self.assertEqual(names(lst), ["start", "first", "a", "b", "c", "before last", "d", "end"])

    def test_append_without_an_object_needs_an_element_class(self):
        with self.assertRaises(vorn.error) as caught:
            self.lst.append()
        self.assertEqual(str(caught.exception),
                         "This list has no element class, so it cannot make a new item")
        self.assertEqual(len(self.lst), 3)

    def test_wrong_items_are_refused_and_change_nothing(self):
        lst = self.lst
        for call, error in ((lambda: lst.append(5), TypeError),
                            (lambda: lst.insert(0, "text"), TypeError),
                            (lambda: lst.append(lst), vorn.error),
                            (lambda: lst.insert(1, lst), vorn.error),
                            (lambda: lst.__setitem__(0, 5), TypeError),
                            (lambda: lst.__setitem__(0, lst), vorn.error),
                            (lambda: lst.__setitem__(3, self.a), IndexError),
                            (lambda: lst.__delitem__(3), IndexError),
                            (lambda: lst.remove(new_list()), ValueError),
                            (lambda: lst.remove(5), ValueError),
                            (lambda: lst[0:2], TypeError)):
            with self.subTest(error=error.__name__):
                with self.assertRaises(error):
                    call()
                self.assertEqual(names(lst), ["a", "b", "c"])
        with self.assertRaises(vorn.error) as caught:
            lst.append(lst)
        self.assertEqual(str(caught.exception), "A list cannot hold itself")

    def test_remove_del_and_set(self):
        lst = self.lst
        lst.append(self.a)
        lst.remove(self.a)  # the first of the two
        self.assertEqual(names(lst), ["b", "c", "a"])
        del lst[0]
        self.assertEqual(names(lst), ["c", "a"])
        del lst[-1]
        self.assertEqual(names(lst), ["c"])
        lst.append(self.b)
        lst[0] = self.a
        lst[-1] = new_list("z")
        self.assertEqual(names(lst), ["a", "z"])
        lst.clear()
        self.assertEqual(len(lst), 0)
        lst.clear()
        self.assertEqual(len(lst), 0)

    def test_move(self):
        lst = self.lst
        lst.move(0, 2)
        self.assertEqual(names(lst), ["b", "c", "a"])
        lst.move(2, 0)
        self.assertEqual(names(lst), ["a", "b", "c"])
        lst.move(1, 1)
        self.assertEqual(names(lst), ["a", "b", "c"])
        for src, dst in ((0, 3), (-1, 0)):
            with self.subTest(src=src, dst=dst):
                with self.assertRaises(vorn.error) as caught:
                    lst.move(src, dst)
                self.assertEqual(str(caught.exception),
                                 "Cannot move item %d to %d: the list has 3 items" % (src, dst))
        self.assertEqual(names(lst), ["a", "b", "c"])

    def test_a_list_keeps_its_items_alive(self):
        self.lst.append(new_list("only in the list"))
        gc.collect()
        self.assertEqual(self.lst[-1].name, "only in the list")
        item = self.lst[-1]
        del self.lst[-1]
        self.assertEqual(item.name, "only in the list")


class ObjectAttributes(unittest.TestCase):
    def test_script_attributes_belong_to_the_object_not_the_wrapper(self):
        holder = new_list()
        obj = new_list()
        obj.note = {"kept": True}
        holder.append(obj)
        gone = weakref.ref(obj)
        del obj
        gc.collect()
        self.assertIsNone(gone())  # the next read makes a new wrapper
        self.assertEqual(holder[0].note, {"kept": True})
        self.assertFalse(hasattr(new_list(), "note"))

    def test_script_attributes_can_be_deleted(self):
        obj = new_list()
        obj.note = 1
        del obj.note
        self.assertFalse(hasattr(obj, "note"))
        with self.assertRaises(AttributeError):
            del obj.note
        with self.assertRaises(AttributeError):
            obj.missing

    def test_members_and_methods_are_not_script_attributes(self):
        obj = new_list()
        obj.name = "named"
        self.assertEqual(obj.name, "named")
        with self.assertRaises(TypeError):
            obj.name = 5
        self.assertEqual(obj.name, "named")
        obj.name = None
        self.assertIsNone(obj.name)
        for method in ("append", "move", "clear"):
            with self.subTest(method=method):
                with self.assertRaises(AttributeError):
                    setattr(obj, method, "data")
                self.assertTrue(callable(getattr(obj, method)))

    def test_repr(self):
        obj = new_list()
        self.assertEqual(repr(obj), "<vorn.Object vorn.List.1>")
        obj.name = "Ünï"
        self.assertEqual(repr(obj), '<vorn.Object vorn.List.1 "Ünï">')

    def test_dir_lists_members_methods_and_script_attributes(self):
        obj = new_list()
        obj.zeta = 1
        listed = dir(obj)
        for name in ("name", "append", "insert", "remove", "clear", "move", "zeta"):
            self.assertIn(name, listed)
        self.assertEqual(listed, sorted(listed))
        del obj.zeta
        self.assertNotIn("zeta", dir(obj))

    def test_wrappers_cannot_be_made_by_scripts(self):
        with self.assertRaises(TypeError):
            vorn.Object()


class Paths(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.resources = vos.GetPath(1)
        self.addCleanup(vos.SetPath, 1, self.resources)

    def test_paths_come_from_the_environment(self):
        for kind, variable in ((0, "VORN_BASEDIR"), (1, "VORN_RESDIR"), (4, "VORN_MACRODIR")):
            with self.subTest(kind=kind):
                expected = os.environ[variable]
                self.assertEqual(vos.GetPath(kind), expected if expected.endswith("/")
                                 else expected + "/")
        with self.assertRaises(vorn.error) as caught:
            vos.GetPath(2)
        self.assertEqual(str(caught.exception), "Unknown path kind 2")
        with self.assertRaises(vorn.error):
            vos.SetPath(9, self.folder)

    def test_resource_scripts_folder_follows_the_resource_path(self):
        old_scripts = self.resources + "scripts"
        self.assertEqual(sys.path[0], old_scripts)
        vos.SetPath(1, self.folder)
        self.assertEqual(vos.GetPath(1), self.folder + "/")
        scripts = os.path.join(self.folder, "scripts")
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
        self.assertEqual(vos.GetPath(1), self.resources)
        self.assertEqual(sys.path[0], old_scripts)
        self.assertNotIn(scripts, sys.path)


class Branches(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.path = os.path.join(self.folder, "tree.vorn")
        self.moniker = "file:" + self.path
        self.addCleanup(self.revoke)

    def revoke(self):
        try:
            vos.Revoke(self.moniker)
        except vorn.error:
            pass

    def tree(self):
        root = new_list("root")
        for name in ("x", "y"):
            sub = new_list(name)
            sub.append(new_list(name + "-leaf"))
            root.append(sub)
        root.append(root[0])  # shared: must stay one object
        return root

    def check_tree(self, root):
        self.assertEqual(root.name, "root")
        self.assertEqual(names(root), ["x", "y", "x"])
        self.assertEqual([names(sub) for sub in root], [["x-leaf"], ["y-leaf"], ["x-leaf"]])
        self.assertIs(root[0], root[2])

    def test_branch_and_load_round_trip(self):
        original = self.tree()
        copy = vos.Branch(original, self.moniker)
        self.assertIsNot(copy, original)
        self.check_tree(copy)
        self.assertTrue(os.path.isfile(self.path))
        self.assertIs(vos.GetObject(self.moniker), copy)
        self.assertIs(vos.Load(self.path), copy)  # registered, so not read again
        original.name = "changed after the branch"
        vos.Revoke(self.moniker)
        loaded = vos.Load(self.path)
        self.assertIsNot(loaded, copy)
        self.check_tree(loaded)
        self.assertEqual(repr(loaded), '<vorn.Object vorn.List.1 %s "root">' % self.moniker)

    def test_branch_again_replaces_the_registration(self):
        first = vos.Branch(self.tree(), self.moniker)
        second_tree = new_list("second")
        second = vos.Branch(second_tree, self.moniker)
        self.assertIs(vos.GetObject(self.moniker), second)
        self.assertNotIn(first, vos.CreateInstance("vorn.Rot"))
        vos.Revoke(self.moniker)
        self.assertEqual(vos.Load(self.path).name, "second")

    def test_bad_loads_and_branches(self):
        missing = os.path.join(self.folder, "missing.vorn")
        with self.assertRaises(vorn.error) as caught:
            vos.Load(missing)
        self.assertEqual(str(caught.exception),
                         "Cannot read %s: No such file or directory" % missing)
        with open(self.path, "w") as f:
            f.write('{"format": "vorn-branch", "version": 1, "root": 0, "objects": [')
        with self.assertRaises(vorn.error) as caught:
            vos.Load(self.path)
        self.assertTrue(str(caught.exception).startswith("Cannot load " + self.moniker),
                        str(caught.exception))
        with self.assertRaises(TypeError):
            vos.Branch(5, self.moniker)


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

    def test_a_script_may_wait(self):
        path = self.script("import vorn.synchro, exec_results\n"
                           "vorn.synchro.Sleep(1)\n"
                           "exec_results.woke = True\n")
        self.assertIs(pyos.ExecFile(path), True)
        self.assertTrue(self.results.woke)

    def test_clean_exits_are_no_failure(self):
        failures = synchro.Failures()
        for ending in ("sys.exit(0)", "sys.exit()", "sys.exit(None)", "sys.exit(False)"):
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
