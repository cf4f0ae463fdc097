"""The methods of the module app describe how to call them: inspect.signature and help() on a
method show its arguments, while __doc__ and app.ui.FormatTypeInfo keep the doc texts scripts read.
Run by `mosswick --batch`; a failed check makes the run exit 1."""
import inspect
import pydoc
import unittest

import app
import vorn

# Every method with its signature and its doc text; None where a method has no doc.
METHODS = {
    "driver": {
        "Sleep": ("(seconds, /)", "SetPumpSleep..."),
        "SetNavigation": ("(*args)", "SetNavigation"),
        "ShowMessage": ("(text, /)", None),
    },
    "browser": {
        "GetSelected": ("()", "Returns the currently selected object in the browser tree"),
        "GetSelectedParent": ("()", "Returns the parent of the currently selected object in "
                                    "the browser tree"),
        "GetSelectedType": ("()", "Returns the entry type of the object as defined by the "
                                  "parent."),
        "Browse": ("(value, label='', /)", "Displays an object in the browser tree"),
        "Expand": ("(all=0, /)", "Displays all the nodes in the tree"),
        "Collapse": ("(all=0, /)", "Hides all the subnodes in the tree"),
        "Reveal": ("(value, /)", "Shows the object table in the browser tree, opens the shortest "
                                 "way from a registered object down to the value and selects it; "
                                 "False when no way is found"),
        "ChangedBy": ("(obj, name, /)", "Who wrote the member last: (kind, where, clock "
                                        "seconds), or None when no writer is recorded"),
        "Snapshot": ("(obj, /)", "Takes a snapshot of the object and everything below it, to "
                                 "compare and revert with"),
        "LoadSnapshot": ("(path, root=None, /)", "A branch file as a snapshot of root (None: the "
                                                 "selected object)"),
        "Watch": ("(object, name, /)", "Watches the member or attribute name of object; returns "
                                       "the watch's index"),
        "Unwatch": ("(index, /)", "Stops watching the watch at index"),
        "WatchList": ("()", "Returns a list of (path, current text) of the watches"),
        "WatchSamples": ("(index, /)", "Returns the samples of a watch as (clock time, value) "
                                       "tuples"),
        "WatchCondition": ("(index, text, /)", "Stops the clock when the expression text of value "
                                               "becomes true; '' removes it"),
    },
    "ui": {
        "ShellExecute": ("(wait, file, parameters='', verb='', /)", "ShellExecute"),
        "Navigate": ("(url, /)", "Navigate"),
        "SetIEHandler": ("(handler, /)", "SetIEHandler"),
        "Ask": ("(question, answer='', /)", "Asks a question"),
        "AskMsgBox": ("(text, caption='', flags=0, /)", "Displays a message box"),
        "AskList": ("(question, items, index=-1, callback=None, /)", "Choose item from list"),
        "AskFileSave": ("(title='Save File', file='', filter='All files (*.*)|*.*', folder='', /)",
                        "File Save dialog"),
        "AskFileOpen": ("(title='Save File', file='', filter='All files (*.*)|*.*', folder='', /)",
                        "File Open dialog"),
        "ReloadNavigation": ("()", "Reload navigation module"),
        "PopupMenu": ("(x, y, items, /)", "Bring up a popup menu"),
        "SetStatusText": ("(text, /)", "Puts text in status bar"),
        "GetMainWindowHandle": ("()", "Returns the main window handle as integer"),
        "FormatTypeInfo": ("(object, /)", "Returns type info for a vorn object"),
        "GetComputerTime": ("()", "Returns computer time as string"),
        "GetLoggedOnUser": ("()", "Returns name of logged on user"),
        "GetComputerName": ("()", "Returns computer name"),
        "SetAppTitle": ("(title, caption=None, /)", "Sets the title and caption of app"),
    },
}


class Signatures(unittest.TestCase):
    def test_each_method_tells_how_to_call_it(self):
        # Catches a method without a signature, one that does not match its arguments, help()
        # without the call, the signature block leaking into __doc__ or FormatTypeInfo, and a doc
        # text changed.
        for owner, methods in METHODS.items():
            obj = getattr(app, owner)
            described = app.ui.FormatTypeInfo(obj)[3]
            # help() on the object itself lists every method with how to call it
            listed = pydoc.plain(pydoc.render_doc(obj))
            self.assertIsInstance(obj, vorn.Object)
            for name, (signature, _) in methods.items():
                self.assertIn(name + signature, listed, owner)
            self.assertEqual(sorted(described), sorted(methods), owner)
            for name, (signature, doc) in methods.items():
                with self.subTest(method="app.%s.%s" % (owner, name)):
                    method = getattr(obj, name)
                    self.assertEqual(str(inspect.signature(method)), signature)
                    self.assertEqual(method.__doc__, doc)
                    self.assertEqual(described[name], doc or "")
                    helped = pydoc.plain(pydoc.render_doc(method))
                    self.assertIn(name + signature, helped)
                    self.assertNotIn("--\n", helped)


unittest.main()
