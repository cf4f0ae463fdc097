"""The module app as scripts use it inside the tool, run by `mosswick --batch` without a display:
its objects, argument checks and failure texts of app.ui, app.driver and app.browser, what they
answer, and programs started with and without waiting. A failed check raises SystemExit(1) out
of the script, which makes the batch run exit 1. With no one to answer, the dialogs answer as
closing them would; with a user they are tested in tests/app/tst_app_module.cpp."""
import contextlib
import io
import os
import pwd
import re
import socket
import time
import unittest

import app
import vorn
import vorn.os as vos
import vorn.synchro as synchro


def wait_until(done, seconds=30):
    deadline = time.monotonic() + seconds
    while not done() and time.monotonic() < deadline:
        synchro.Sleep(10)
    return done()


class Module(unittest.TestCase):
    def test_objects_in_their_order(self):
        # Catches an object missing from the module or registered in another order (scripts
        # that walk the module meet them in this order), the module's doc string lost, and
        # app.macro not naming the script that runs.
        self.assertEqual([name for name in vars(app) if not name.startswith("__")],
                         ["driver", "browser", "ui", "macro"])
        self.assertEqual(app.__doc__, "The tool, as scripts see it.")
        self.assertEqual(app.macro.currentScript, os.path.abspath(__file__))


class Arguments(unittest.TestCase):
    def test_wrong_arguments_raise(self):
        # Catches an argument format that lets a wrong type or a missing argument through (to a
        # crash, a dialog or a started program) instead of raising before anything happens.
        calls = [
            (app.ui.ShellExecute, ("0", "/bin/true")),
            (app.ui.ShellExecute, (0,)),
            (app.ui.ShellExecute, (0, "/bin/true", 5)),
            (app.ui.Navigate, ()),
            (app.ui.Navigate, (5,)),
            (app.ui.SetIEHandler, ()),
            (app.ui.Ask, ()),
            (app.ui.Ask, ("question", 5)),
            (app.ui.AskMsgBox, ("text", "caption", "flags")),
            (app.ui.AskList, ("question", ("a", "b"))),
            (app.ui.AskList, ("question", ["a"], "0")),
            (app.ui.AskFileOpen, (5,)),
            (app.ui.AskFileSave, ("title", "file", "filter", "folder", "extra")),
            (app.ui.ReloadNavigation, (1,)),
            (app.ui.PopupMenu, (1, 2)),
            (app.ui.PopupMenu, ("1", 2, ["a"])),
            (app.ui.SetStatusText, ()),
            (app.ui.GetMainWindowHandle, (1,)),
            (app.ui.FormatTypeInfo, (5,)),
            (app.ui.FormatTypeInfo, ()),
            (app.ui.GetComputerTime, (1,)),
            (app.ui.GetLoggedOnUser, (1,)),
            (app.ui.GetComputerName, (1,)),
            (app.ui.SetAppTitle, (5,)),
            (app.driver.Sleep, ("soon",)),
            (app.driver.Sleep, ()),
            (app.driver.ShowMessage, (5,)),
            (app.browser.GetSelected, (1,)),
            (app.browser.Browse, ()),
            (app.browser.Browse, ([], 5)),
            (app.browser.Expand, ("all",)),
            (app.browser.Collapse, ("all",)),
        ]
        for method, args in calls:
            with self.subTest(method=method.__name__, args=args):
                self.assertRaises(TypeError, method, *args)

    def test_refusals_say_why(self):
        # Catches a refusal that returns None or raises another error or text than scripts test
        # for, and an unusable entry turned into a dialog anyway.
        for call, text in (
            (lambda: app.ui.AskList("question", []), "List has no entries"),
            (lambda: app.ui.PopupMenu(10, 10, "not a list"), "Invalid args"),
            (lambda: app.ui.PopupMenu(10, 10, ("a", "b")), "Invalid args"),
        ):
            with self.subTest(text=text):
                with self.assertRaises(vorn.error) as caught:
                    call()
                self.assertEqual(str(caught.exception), text)


class Answers(unittest.TestCase):
    def test_browser_follows_what_scripts_browse(self):
        # Catches a selection answered as a copy instead of the object itself, a root given a
        # parent, the type of the wrong node, the label not given to the root, and no
        # refusal while nothing is selected. The first test to browse: nothing is selected yet.
        self.assertIsNone(app.browser.GetSelected())
        self.assertIsNone(app.browser.GetSelectedParent())
        with self.assertRaises(vorn.error) as caught:
            app.browser.GetSelectedType()
        self.assertEqual(str(caught.exception), "No object selected.")
        held = {"key": [1, 2]}
        self.assertIsNone(app.browser.Browse(held, "held dict"))
        self.assertIs(app.browser.GetSelected(), held)
        self.assertIsNone(app.browser.GetSelectedParent())
        self.assertEqual(app.browser.GetSelectedType()["name"], "held dict")
        lst = vos.CreateInstance("vorn.List")
        app.browser.Browse(lst)
        self.assertIs(app.browser.GetSelected(), lst)
        kind = app.browser.GetSelectedType()
        self.assertEqual(set(kind), {"name", "type", "iid_name", "iid_ver", "description",
                                     "editflags"})
        for call in (app.browser.Expand, app.browser.Collapse):
            self.assertIsNone(call())
            self.assertIsNone(call(1))
        self.assertIs(app.browser.GetSelected(), lst)

    def test_watched_paths_start_from_a_registered_object(self):
        # Catches a watch of an object reached from a registered one that is not kept by its
        # path (so it would not come back in the next run), and a path that does not read back.
        top = vos.CreateInstance("vorn.List")
        model = vos.CreateInstance("kalix.KxModel")
        top.append(model)
        vos.Register("test:/watched", top)
        try:
            reached = app.browser.Watch(model.transform, "translation")
            loose = app.browser.Watch(vos.CreateInstance("kalix.KxModel"), "segments")
            path = app.browser.WatchList()[reached][0]
            self.assertEqual(path, 'vorn.os.GetObject("test:/watched")[0].transform.translation')
            self.assertEqual(eval(path).x, model.transform.translation.x)
            self.assertEqual(app.browser.WatchList()[loose][0], "<KxModel>.segments")
            app.browser.Unwatch(loose)
            app.browser.Unwatch(reached)
        finally:
            vos.Revoke("test:/watched")

    def test_type_info_of_runtime_objects(self):
        # Catches the class id, the base types' interfaces and members, or the method table
        # left out of the description, and members described with the name of another.
        info, interfaces, members, methods = app.ui.FormatTypeInfo(
            vos.CreateInstance("vorn.List"))
        self.assertEqual((info["module"], info["classname"]), ("vorn", "List"))
        self.assertIsInstance(info["version"], int)
        self.assertIn("IRoot", interfaces)
        self.assertIn("IList", interfaces)
        for name, member in members.items():
            self.assertEqual(set(member), {"type", "iid_name", "iid_ver", "description",
                                           "editflags"}, name)
        info, interfaces, members, methods = app.ui.FormatTypeInfo(app.ui)
        self.assertEqual((info["module"], info["classname"]), ("app", "PyUI"))
        self.assertEqual(methods["FormatTypeInfo"], "Returns type info for a vorn object")
        self.assertTrue(all(callable(getattr(app.ui, name)) for name in methods))

    def test_machine_facts(self):
        # Catches the time in another layout or time zone, a day of the month without its
        # leading zero, and the user or computer named wrongly.
        before = time.time()
        said = app.ui.GetComputerTime()
        after = time.time()
        self.assertRegex(said, r"^[A-Z][a-z]{2} [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \d{4}\n\Z")
        days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
        months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov",
                  "Dec"]

        def text(t):
            t = time.localtime(t)
            return "%s %s %02d %02d:%02d:%02d %04d\n" % (
                days[t.tm_wday], months[t.tm_mon - 1], t.tm_mday, t.tm_hour, t.tm_min,
                t.tm_sec, t.tm_year)

        self.assertIn(said, {text(t) for t in range(int(before), int(after) + 1)})
        self.assertEqual(app.ui.GetLoggedOnUser(), pwd.getpwuid(os.geteuid()).pw_name)
        self.assertEqual(app.ui.GetComputerName(), socket.gethostname()[:15])
        self.assertNotEqual(app.ui.GetComputerName(), "")

    def test_driver_and_window_calls_answer_none(self):
        # Catches calls that answer something other than None or refuse arguments scripts pass.
        self.assertIsNone(app.driver.Sleep(0.02))
        self.assertIsNone(app.driver.Sleep(1))
        self.assertIsNone(app.driver.SetNavigation())
        self.assertIsNone(app.driver.SetNavigation("anything", 1))
        self.assertIsNone(app.ui.SetStatusText("batch"))
        self.assertIsNone(app.ui.ReloadNavigation())  # no 3D window: nothing to reload
        handle = app.ui.GetMainWindowHandle()
        self.assertIsInstance(handle, int)
        self.assertNotEqual(handle, 0)


class NoOneToAnswer(unittest.TestCase):
    def test_dialogs_answer_as_closed(self):
        # Catches a dialog that waits for ever in a batch run, an answer other than closing the
        # dialog would give (a message box's escape button, Abort where it has none), and a
        # question that leaves no trace in the output.
        calls = [
            (lambda: app.ui.Ask("Your name?", "Moss"), None, "Ask: Your name?"),
            (lambda: app.ui.AskList("Where to?", ["north", "south"], 1, print), None,
             "AskList: Where to?"),
            (lambda: app.ui.AskFileOpen("Pick a map"), None, "AskFileOpen: Pick a map"),
            (lambda: app.ui.AskFileSave(), None, "AskFileSave: Save File"),
            (lambda: app.ui.PopupMenu(1, 2, ["Cut", 3]), None, "PopupMenu: Cut | 3"),
            (lambda: app.driver.ShowMessage("Done."), None, "ShowMessage: Done."),
            (lambda: app.ui.AskMsgBox("Go?"), 1, "AskMsgBox: Go?"),
        ]
        calls += [(lambda flags=flags: app.ui.AskMsgBox("Go?", "Box", flags), answer,
                   "AskMsgBox: Box: Go?")
                  for flags, answer in ((1, 2), (2, 3), (3 + 0x200, 2), (4 + 0x20, 7), (5, 2))]
        for call, answer, said in calls:
            with self.subTest(said=said):
                out = io.StringIO()
                with contextlib.redirect_stdout(out):
                    self.assertEqual(call(), answer)
                self.assertEqual(out.getvalue(), said + " (batch: no answer)\n")


class Programs(unittest.TestCase):
    def setUp(self):
        self.base = vos.GetPath(0)
        self.made = [os.path.join(self.base, name) for name in ("two words", "one")]
        for path in self.made:
            if os.path.exists(path):
                os.remove(path)

    def test_started_without_waiting(self):
        # Catches a program not found on the search path, parameters handed over as one
        # argument or through a shell (the quoted words must stay one argument), the wrong
        # working folder, and a program that keeps the next one from starting.
        self.assertIsNone(app.ui.ShellExecute(0, "touch", '"two words" one'))
        self.assertTrue(wait_until(lambda: all(os.path.exists(p) for p in self.made)),
                        os.listdir(self.base))
        self.assertIsNone(app.ui.ShellExecute(0, "/bin/true"))

    def test_waiting_blocks_only_the_caller(self):
        # Catches a wait that returns before the program ended, or that holds up the other
        # tasklets (the ticker must go on while the caller waits).
        ticks = []
        done = []

        def ticker():
            while not done:
                ticks.append(time.monotonic())
                synchro.Sleep(20)

        synchro.Start(ticker)
        start = time.monotonic()
        self.assertIsNone(app.ui.ShellExecute(1, "/bin/sleep", "0.5"))
        end = time.monotonic()
        done.append(True)
        self.assertGreaterEqual(end - start, 0.5)
        self.assertGreaterEqual(len([t for t in ticks if start < t < end]), 2, ticks)

    def test_one_waited_for_at_a_time(self):
        # Catches a second program started while a tasklet waits for one (the wait could then
        # not tell which ended), and the refusal kept after the program ended.
        ended = []
        synchro.Start(lambda: ended.append(app.ui.ShellExecute(1, "/bin/sleep", "0.3")))
        self.assertEqual(ended, [])  # the tasklet waits for its program
        for wait in (0, 1):
            with self.assertRaises(vorn.error) as caught:
                app.ui.ShellExecute(wait, "/bin/true")
            self.assertEqual(str(caught.exception), "Another task pending ")
        self.assertTrue(wait_until(lambda: ended == [None]))
        self.assertIsNone(app.ui.ShellExecute(1, "/bin/true"))

    def test_what_cannot_start_is_refused(self):
        # Catches a program that cannot run reported as started (a waiting caller would then
        # wait for nothing), also when the system refuses it only after the start, and the
        # refusal's text or code changed.
        garbage = os.path.join(self.base, "not a program")
        with open(garbage, "wb") as f:
            f.write(b"\x00\x01 no program\n")
        os.chmod(garbage, 0o755)
        for wait, program in ((0, "/no/such/program"), (1, "no-such-program-on-the-path"),
                              (1, garbage)):
            with self.subTest(program=program):
                with self.assertRaises(vorn.error) as caught:
                    app.ui.ShellExecute(wait, program)
                self.assertEqual(str(caught.exception), "Couldn't start process")
                self.assertEqual(caught.exception.code, -2)
        self.assertIsNone(app.ui.ShellExecute(1, "/bin/true"))  # nothing was left pending


unittest.main()
