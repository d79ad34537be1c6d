"""Building a pre-configured program copy from a ".DEF" file on the command line."""

import os
import unittest

import kolvane_e2e as k
import mail_gateway

DEF_PORT = mail_gateway.free_port()
DEF_TEXT = b"[CFG]\r\nUserName=office\r\nSmtpPort=%d\r\n" % DEF_PORT


class DefCopy(unittest.TestCase):
    def test_copy_is_built_and_runs_with_the_def_values(self):
        folder = k.scratch_folder(self)
        k.write_bytes(os.path.join(folder, "Office.DEF"), DEF_TEXT)
        rc, out, err = k.run_to_end(folder, "Office.DEF")
        self.assertEqual((rc, out, err), (0, "Kolvane + Office.DEF = Office\n", ""))

        copy = os.path.join(folder, "Office")
        self.assertEqual(k.read_bytes(copy), k.read_bytes(k.PROGRAM) + DEF_TEXT)
        self.assertTrue(os.access(copy, os.X_OK))
        # The builder ends without starting the gateway.
        self.assertFalse(os.path.exists(k.settings_path(folder)))

        work = k.new_folder(self)
        k.write_ini(work, "[CFG]\nPop3Port=%d\n" % mail_gateway.free_port())
        run = k.start(self, work, program=copy)
        self.assertTrue(k.wait_listening(run), run.lines())
        self.assertEqual(k.status(work)["smtp"], "listening on port %d" % DEF_PORT)
        self.assertEqual(run.stop(), 0)

    def test_missing_def_file_is_reported(self):
        folder = k.new_folder(self)
        rc, out, err = k.run_to_end(folder, "Office.DEF")
        self.assertEqual((rc, out, err), (1, "", "Office.DEF neexistuje\n"))
        self.assertEqual(os.listdir(folder), [])

    def test_def_suffix_is_matched_without_regard_to_case(self):
        folder = k.new_folder(self)
        k.write_bytes(os.path.join(folder, "branch.def"), DEF_TEXT)
        rc, out, _ = k.run_to_end(folder, "branch.def")
        self.assertEqual((rc, out), (0, "Kolvane + branch.def = branch\n"))
        self.assertTrue(os.path.isfile(os.path.join(folder, "branch")))

    def test_only_the_first_65535_bytes_of_the_def_file_are_appended(self):
        folder = k.new_folder(self)
        big = DEF_TEXT + b";" + b"y" * 70000 + b"\r\n"
        k.write_bytes(os.path.join(folder, "Big.DEF"), big)
        k.run_to_end(folder, "Big.DEF")
        self.assertEqual(k.read_bytes(os.path.join(folder, "Big")),
                         k.read_bytes(k.PROGRAM) + big[:65535])

    def test_the_program_and_its_settings_file_are_refused(self):
        folder = k.scratch_folder(self)
        program = k.program_copy(self, folder=folder)
        k.write_bytes(k.settings_path(folder), b"[CFG]\r\nUserName=kept\r\n")
        cases = [("Kolvane.DEF", "Kolvane is the running program"),
                 ("Kolvane.ini.DEF", "Kolvane.ini is the settings file")]
        for param, why in cases:
            k.write_bytes(os.path.join(folder, param), DEF_TEXT)
            rc, out, err = k.run_to_end(folder, param, program=program)
            self.assertEqual((rc, out), (1, ""))
            self.assertIn("refused: " + why, err)
            self.assertEqual(k.read_bytes(program), k.read_bytes(k.PROGRAM))
            self.assertEqual(k.value(folder, "CFG", "UserName"), "kept")
            os.remove(os.path.join(folder, param))
        self.assertEqual(sorted(os.listdir(folder)), ["Kolvane", "Kolvane.ini"])


if __name__ == "__main__":
    k.main()
