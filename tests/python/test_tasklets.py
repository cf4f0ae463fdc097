"""Tasklets as scripts use them through vorn.synchro. This script itself runs in a tasklet, so
it may wait. Tasklets that raise make vornrun exit 1, so those are checked by
run_vornrun_checks.sh."""
import gc
import time
import unittest
import weakref

import greenlet
import vorn.synchro as synchro


class Tasklets(unittest.TestCase):
    def setUp(self):
        self.log = []
        self.live = synchro.Live()  # this script's own tasklet, at least

    def tearDown(self):
        self.assertEqual(synchro.Live(), self.live, "a tasklet of this test is still alive")

    def wait_until(self, done, ms=2000):
        deadline = time.monotonic() + ms / 1000
        while not done() and time.monotonic() < deadline:
            synchro.Sleep(5)
        self.assertTrue(done(), "gave up waiting")

    def test_the_script_runs_in_a_tasklet(self):
        # Catches a script run on the main tasklet (it could not wait) or not counted as live.
        current = synchro.Current()
        self.assertIsNotNone(current)
        self.assertIs(current, greenlet.getcurrent())
        self.assertGreaterEqual(self.live, 1)

    def test_sleepers_wake_in_order_of_their_time(self):
        # Catches Start that waits for its tasklet, and sleepers woken early, late or out of order
        # (equal times in the order they went to sleep).
        def sleeper(name, ms):
            synchro.Sleep(ms)
            self.log.append(name)

        for name, ms in (("60", 60), ("20", 20), ("40 first", 40), ("40 second", 40), ("0", 0)):
            synchro.Start(sleeper, name, ms)
        self.assertEqual(self.log, [])  # Start runs each until it waits
        self.assertEqual(synchro.Live(), self.live + 5)
        self.wait_until(lambda: len(self.log) == 5)
        self.assertEqual(self.log, ["0", "20", "40 first", "40 second", "60"])

    def test_sleep_waits_at_least_its_time(self):
        # Catches milliseconds converted to too few ticks, and negative or NaN times accepted.
        for ms in (0, 30, 80):
            with self.subTest(ms=ms):
                start = time.monotonic()
                self.assertIsNone(synchro.Sleep(ms))
                self.assertGreaterEqual(time.monotonic() - start, ms / 1000 - 0.001)
        with self.assertRaises(ValueError):
            synchro.Sleep(-1)
        with self.assertRaises(ValueError):
            synchro.Sleep(float("nan"))

    def test_yield_lets_others_run(self):
        # Catches a Yield that goes on at once instead of after the other waiting tasklets.
        def worker(name):
            for i in range(3):
                self.log.append(name + str(i))
                synchro.Yield()

        synchro.Start(worker, "p")
        synchro.Start(worker, "q")
        self.assertEqual(self.log, ["p0", "q0"])
        synchro.Yield()
        self.assertIn("p1", self.log)
        self.wait_until(lambda: len(self.log) == 6)
        self.assertEqual(self.log, ["p0", "q0", "p1", "q1", "p2", "q2"])

    def test_block_and_resume_hand_values_over(self):
        # Catches a value copied or lost on the way, or a resumed tasklet not run at once.
        handed = {"payload": [1, 2]}

        def receiver():
            self.log.append("waits")
            self.log.append(synchro.Block())
            self.log.append(synchro.Block())
            self.log.append("ends")

        tasklet = synchro.Start(receiver)
        self.assertEqual(self.log, ["waits"])
        synchro.Resume(tasklet, handed)
        self.assertIs(self.log[-1], handed)  # the same object, not a copy
        synchro.Resume(tasklet)  # without a value: None
        self.assertEqual(self.log, ["waits", handed, None, "ends"])  # ran at once, to its end
        self.assertTrue(tasklet.dead)

    def test_start_passes_arguments_and_returns_the_tasklet(self):
        # Catches arguments lost by Start, and Start without a callable accepted.
        def record(*args):
            self.log.append(args)

        tasklet = synchro.Start(record, 1, "two")
        self.assertEqual(self.log, [(1, "two")])
        self.assertTrue(tasklet.dead)
        with self.assertRaises(TypeError):
            synchro.Start()
        with self.assertRaises(TypeError):
            synchro.Start(5)

    def test_resume_from_a_tasklet_comes_back_to_it(self):
        # Catches a resume from inside a tasklet that does not come back to the resumer.
        def sleeper():
            self.log.append(("b got", synchro.Block()))

        b = synchro.Start(sleeper)

        def waker():
            self.log.append("a resumes")
            synchro.Resume(b, "from a")
            self.log.append("a goes on")
            self.log.append(("a got", synchro.Block()))

        a = synchro.Start(waker)
        self.assertEqual(self.log, ["a resumes", ("b got", "from a"), "a goes on"])
        synchro.Resume(a, "from the script")
        self.assertEqual(self.log[-1], ("a got", "from the script"))

    def test_resume_of_a_tasklet_that_is_not_blocked_raises(self):
        # Catches a resume of a finished, running or waiting-for-a-child tasklet that switches into
        # it, and a resume of something that is no tasklet.
        finished = synchro.Start(lambda: None)
        cases = {"finished": finished, "running": synchro.Current()}
        for name, tasklet in cases.items():
            with self.subTest(name):
                with self.assertRaises(RuntimeError) as caught:
                    synchro.Resume(tasklet)
                self.assertEqual(str(caught.exception), "the tasklet is not blocked")

        def inner(outer):
            try:
                synchro.Resume(outer)  # the outer one waits for this one, it is not blocked
            except RuntimeError as error:
                self.log.append(str(error))

        def outer():
            synchro.Start(inner, synchro.Current())

        synchro.Start(outer)
        self.assertEqual(self.log, ["the tasklet is not blocked"])
        with self.assertRaises(TypeError):
            synchro.Resume("not a tasklet")

    def test_a_sleeper_woken_early_is_not_woken_again_by_its_timer(self):
        # Catches a timer left behind by a sleeper woken early, which would wake it again later.
        def sleeper():
            synchro.Sleep(30)
            self.log.append("woke")
            self.log.append(synchro.Block())

        tasklet = synchro.Start(sleeper)
        synchro.Resume(tasklet, "early")
        self.assertEqual(self.log, ["woke"])
        synchro.Sleep(80)  # well past the sleeper's own time
        self.assertEqual(self.log, ["woke"])
        synchro.Resume(tasklet, "by hand")
        self.assertEqual(self.log, ["woke", "by hand"])

    def test_a_tasklet_outlives_the_tasklet_that_started_it(self):
        # Catches a tasklet that ends, or never wakes, when the tasklet that started it has ended.
        def child():
            synchro.Sleep(10)
            self.log.append("child done")

        def parent():
            synchro.Start(child)
            self.log.append("parent done")

        synchro.Start(parent)
        self.assertEqual(self.log, ["parent done"])
        self.wait_until(lambda: "child done" in self.log)

    def test_a_waiting_tasklet_is_kept_alive_by_the_runtime(self):
        # Catches a waiting tasklet collected once its starter drops it.
        def waiter():
            self.log.append(synchro.Block())

        tasklet = synchro.Start(waiter)
        gone = weakref.ref(tasklet)
        del tasklet
        gc.collect()
        tasklet = gone()
        self.assertIsNotNone(tasklet)
        self.assertEqual(synchro.Live(), self.live + 1)
        synchro.Resume(tasklet, "still there")
        self.assertEqual(self.log, ["still there"])


unittest.main()
