"""One running copy per program folder, and command-line texts handed over through
section ParamAsSMS of the settings file."""

import os
import signal
import subprocess
import unittest

import kolvane_e2e as k


class SingleInstance(unittest.TestCase):
    def test_second_start_on_the_same_folder_says_why_and_fails(self):
        folder = k.new_folder(self)
        first = k.start(self, folder)
        # The first copy's start is over once it has its certificate.
        self.assertTrue(k.wait_until(lambda: os.path.exists(os.path.join(folder, "Kolvane.key"))))
        before = sorted(os.listdir(folder))
        # A service manager sees the refusal and its reason.
        rc, out, err = k.run_to_end(folder)
        self.assertEqual((rc, out), (1, ""))
        self.assertIn("Kolvane already runs on", err)
        self.assertIn("this copy ends", err)
        self.assertTrue(first.running())
        # The second copy wrote nothing; the first ends as usual.
        self.assertEqual(sorted(os.listdir(folder)), before)
        self.assertEqual(first.stop(), 0)

    def test_multirun_lets_both_run(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nMultiRun=1\n")
        first = k.start(self, folder)
        second = k.start(self, folder)
        self.assertTrue(first.running())
        self.assertEqual(second.stop(), 0)
        self.assertEqual(first.stop(), 0)

    def test_other_folders_are_not_affected(self):
        first = k.start(self, k.new_folder(self))
        second = k.start(self, k.new_folder(self))
        self.assertEqual(second.stop(), 0)
        self.assertEqual(first.stop(), 0)

    def test_folder_is_free_again_after_the_first_ends(self):
        folder = k.new_folder(self)
        k.run_once(self, folder)
        k.run_once(self, folder)


class DeadDisplay(unittest.TestCase):
    def test_a_display_that_does_not_answer_runs_headless_and_says_why(self):
        folder = k.new_folder(self)
        env = k.program_env({"DISPLAY": ":97"})
        env.pop("QT_QPA_PLATFORM", None)
        proc = subprocess.Popen([k.PROGRAM, "--dir", folder], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
        self.addCleanup(proc.kill)
        self.assertTrue(k.wait_until(lambda: k.signals_caught(proc.pid) or proc.poll() is not None))
        # The signal is taken by the event loop, after start-up has logged its lines.
        proc.send_signal(signal.SIGTERM)
        out, err = proc.communicate(timeout=k.DEADLINE)
        self.assertEqual(proc.returncode, 0, err)
        said = [l for l in out.decode().splitlines() if "does not answer" in l]
        self.assertEqual(len(said), 1, out)
        self.assertIn("DISPLAY=:97", said[0])


class ParamAsSms(unittest.TestCase):
    def test_two_starts_with_texts_queue_them_as_1_and_2(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nRunParamAsSMS=1\n")
        first = k.start(self, folder, "hello", "world")
        self.assertEqual(k.section(folder, "ParamAsSMS"), [("1", "hello world")])

        # Handing the text over is the second copy's whole work: it ends well.
        rc, out, err = k.run_to_end(folder, "second text")
        self.assertEqual((rc, out), (0, ""))
        self.assertIn("the text was handed over", err)
        expected = [("1", "hello world"), ("2", "second text")]
        self.assertEqual(k.section(folder, "ParamAsSMS"), expected)

        # Saving at shutdown keeps what the second copy wrote meanwhile.
        self.assertEqual(first.stop(), 0)
        self.assertEqual(k.section(folder, "ParamAsSMS"), expected)

    def test_next_key_follows_the_largest_number(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nRunParamAsSMS=1\n[ParamAsSMS]\n3=old\nx=odd\n")
        k.run_once(self, folder, "new")
        self.assertEqual(k.value(folder, "ParamAsSMS", "4"), "new")

    def test_texts_are_not_queued_when_switched_off(self):
        folder = k.new_folder(self)
        k.run_once(self, folder, "hello")
        self.assertEqual(k.section(folder, "ParamAsSMS"), [])


if __name__ == "__main__":
    k.main()
