"""Starting and closing the headless program."""

import os
import signal
import smtplib
import unittest

import kolvane_e2e as k
import mail_gateway


class Startup(unittest.TestCase):
    def test_first_line_is_the_bare_time_stamp(self):
        run = k.start(self, k.new_folder(self))
        self.assertRegex(run.lines()[0], k.STAMP_LINE)
        self.assertEqual(run.stop(), 0)
        self.assertEqual(run.stderr, [])

    def test_program_folder_defaults_to_the_folder_of_the_program_file(self):
        program = k.program_copy(self)
        run = k.start(self, None, program=program)
        # The folder's lock and status socket are the running program's.
        self.assertTrue(os.path.exists(os.path.join(os.path.dirname(program), "Kolvane.sock")))
        self.assertEqual(run.stop(), 0)

    def test_uninstaller_copy_in_the_temp_folder_without_folder_ends_at_once(self):
        program = k.program_copy(self, name="U_Kolvane", folder=k.new_folder(self))
        folder = k.new_folder(self)
        rc, out, err = k.run_to_end(folder, program=program)
        self.assertEqual((rc, out, err), (0, "", ""))
        self.assertEqual(os.listdir(folder), [])

    def test_plain_program_file_in_the_temp_folder_runs(self):
        program = k.program_copy(self, folder=k.new_folder(self))
        folder = k.new_folder(self)
        run = k.start(self, folder, program=program)
        self.assertTrue(os.path.exists(os.path.join(folder, "Kolvane.sock")))
        self.assertEqual(run.stop(), 0)


class Closing(unittest.TestCase):
    # The program changed the day's counter (one mail): the close saves it with its moment.
    def closes_and_saves(self, sig):
        folder = k.new_folder(self)
        smtp = mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nSmtpPort=%d\nPop3Port=%d\n" % (smtp, mail_gateway.free_port()))
        run = k.start(self, folder)
        self.assertTrue(k.wait_listening(run), run.lines())
        s = smtplib.SMTP("127.0.0.1", smtp, local_hostname="pc1", timeout=20)
        s.sendmail("me@lan", ["+420777100600@sms.lan"], mail_gateway.mail(b"count", b"me"))
        s.quit()
        self.assertEqual(run.stop(sig), 0)
        self.assertEqual(k.value(folder, "CFG", "EmlInCnt"), "1")
        self.assertIsNotNone(k.value(folder, "CFG", "DTSaveToIni"))

    def test_sigterm_closes_and_saves(self):
        self.closes_and_saves(signal.SIGTERM)

    def test_sigint_closes_and_saves(self):
        self.closes_and_saves(signal.SIGINT)


if __name__ == "__main__":
    k.main()
