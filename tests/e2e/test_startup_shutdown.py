"""Starting and closing the headless program."""

import os
import signal
import unittest

import kolvane_e2e as k


class Startup(unittest.TestCase):
    def test_first_line_is_the_bare_time_stamp(self):
        run = k.start(self, k.new_folder(self))
        self.assertRegex(run.lines()[0], k.STAMP_LINE)
        self.assertEqual(run.stop(), 0)
        self.assertEqual(run.stderr, [])

    def test_program_folder_defaults_to_the_folder_of_the_program_file(self):
        program = k.program_copy(self)
        self.assertEqual(k.start(self, None, program=program).stop(), 0)
        self.assertEqual(k.value(os.path.dirname(program), "CFG", "UserName"), "kolvane")

    def test_uninstaller_copy_in_the_temp_folder_without_folder_ends_at_once(self):
        program = k.program_copy(self, name="U_Kolvane", folder=k.new_folder(self))
        folder = k.new_folder(self)
        rc, out, err = k.run_to_end(folder, program=program)
        self.assertEqual((rc, out, err), (0, "", ""))
        self.assertEqual(os.listdir(folder), [])

    def test_plain_program_file_in_the_temp_folder_runs(self):
        program = k.program_copy(self, folder=k.new_folder(self))
        folder = k.new_folder(self)
        self.assertEqual(k.start(self, folder, program=program).stop(), 0)
        self.assertIsNotNone(k.value(folder, "CFG", "DTSaveToIni"))


class Closing(unittest.TestCase):
    def test_sigterm_closes_and_saves(self):
        folder = k.new_folder(self)
        run = k.start(self, folder)
        self.assertEqual(run.stop(signal.SIGTERM), 0)
        self.assertIsNotNone(k.value(folder, "CFG", "DTSaveToIni"))

    def test_sigint_closes_and_saves(self):
        folder = k.new_folder(self)
        run = k.start(self, folder)
        self.assertEqual(run.stop(signal.SIGINT), 0)
        self.assertIsNotNone(k.value(folder, "CFG", "DTSaveToIni"))


if __name__ == "__main__":
    k.main()
