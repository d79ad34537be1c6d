"""The log file: rotation of Log.txt at start and the numbered log files of the day."""

import datetime
import os
import re
import unittest

import kolvane_e2e as k


def today(pattern="%y%m%d"):
    return datetime.date.today().strftime(pattern)


class LogFiles(unittest.TestCase):
    def folder_with_old_logs(self, cfg):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\n" + cfg)
        k.write_bytes(os.path.join(folder, "Log.txt"), b"previous run\r\n")
        k.write_bytes(os.path.join(folder, "Log.old"), b"run before that\r\n")
        return folder

    def test_start_retires_log_txt_to_log_old(self):
        folder = self.folder_with_old_logs("LogFiOn=1\n")
        run = k.start(self, folder)
        self.assertFalse(os.path.exists(os.path.join(folder, "Log.txt")))
        self.assertEqual(k.read_bytes(os.path.join(folder, "Log.old")), b"previous run\r\n")
        self.assertEqual(run.stop(), 0)

    def test_without_logfion_nothing_is_touched_or_written(self):
        folder = self.folder_with_old_logs("")
        k.run_once(self, folder)
        # The mail servers' own certificate is made at the start, logs or not.
        self.assertEqual(sorted(os.listdir(folder)), ["Kolvane.crt", "Kolvane.ini", "Kolvane.key",
                                                      "Kolvane.lock", "Log.old", "Log.txt"])
        self.assertEqual(k.read_bytes(os.path.join(folder, "Log.txt")), b"previous run\r\n")

    def test_log_lines_go_to_the_first_file_of_the_day(self):
        folder = self.folder_with_old_logs("LogFiOn=1\n")
        run = k.start(self, folder)
        name = os.path.join(folder, "Log%s001.txt" % today())
        self.assertTrue(k.wait_until(lambda: os.path.exists(name)))
        self.assertEqual(run.stop(), 0)
        # The file holds the run's lines from its first on, as many as it had written by the stop.
        written = k.read_bytes(name).decode()
        self.assertTrue(written.endswith("\r\n"), written)
        lines = written.split("\r\n")[:-1]
        self.assertGreaterEqual(len(lines), 1)
        self.assertEqual(lines, run.stdout[:len(lines)])

    def test_numbering_continues_after_the_highest_number_of_the_day(self):
        folder = self.folder_with_old_logs("LogFiOn=1\n")
        for number in ["001", "007"]:
            k.write_bytes(os.path.join(folder, "Log%s%s.txt" % (today(), number)), b"x\r\n")
        k.run_once(self, folder)
        self.assertIn("Log%s008.txt" % today(), os.listdir(folder))

    def test_each_start_begins_a_new_file(self):
        folder = self.folder_with_old_logs("LogFiOn=1\n")
        k.run_once(self, folder)
        k.run_once(self, folder)
        logs = sorted(n for n in os.listdir(folder) if re.match(r"Log\d+\.txt$", n))
        self.assertEqual(logs, ["Log%s001.txt" % today(), "Log%s002.txt" % today()])

    def test_date_and_number_masks_shape_the_name(self):
        folder = self.folder_with_old_logs(
            "LogFiOn=1\nLogFiDateMask=YYYY-MM-DD_\nLogFiNumMask=00\n")
        k.run_once(self, folder)
        self.assertIn("Log%s_01.txt" % today("%Y-%m-%d"), os.listdir(folder))


if __name__ == "__main__":
    k.main()
