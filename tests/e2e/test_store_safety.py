"""Stores and the settings file keep every message whole: texts that look like record labels,
a preset time of day, a file-size limit, the folder lock and the modes of the files."""

import datetime
import os
import re
import resource
import smtplib
import stat
import unittest

import kolvane_e2e as k
from mail_gateway import DEADLINE, Gateway, fetch_all, mail, main

# A relation at start and then every 8 s.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=8000\nMemCheOn=0\nSendSMSDelay=100\n"
         "DNSOff=1\n")
RECORD = re.compile(rb"PosID: \d{12}\r\n.*?\r\n\r\n(.*?)\r\n\.\r\n", re.S)


class LabelsInTexts(unittest.TestCase):
    def test_sms_holding_posid_texts_do_not_stop_a_pc_from_getting_later_messages(self):
        gw = Gateway(self, QUICK)
        texts = ["PosID: 991231999999", "PosID: 200101000000"]
        for text in texts:
            gw.modem.inject("+420777111222", text)
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == 2, DEADLINE))
        self.assertEqual([b for _, b in fetch_all(gw.pop3_port)], texts)
        for n, text in enumerate(["later one", "later two"], start=3):
            gw.modem.inject("+420777111222", text)
            self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == n, DEADLINE))
            self.assertEqual([b for _, b in fetch_all(gw.pop3_port)], [text])
        # Identifiers of the records, not the texts inside them.
        ids = re.findall(rb"(?:\A|\r\n\.\r\n)PosID: (\d+)\r\n",
                         k.read_bytes(os.path.join(gw.folder, "Pop3.Tmp")))
        self.assertEqual(len(set(ids)), 4)
        self.assertTrue(all(len(i) == 12 for i in ids))
        self.assertEqual(ids, sorted(ids))
        # A PC that never fetched gets all four.
        self.assertEqual(len(fetch_all(gw.pop3_port, source="127.0.0.2")), 4)


class PresetTimeOfDay(unittest.TestCase):
    def test_time_only_preset_leaves_the_modem_at_that_time(self):
        gw = Gateway(self, QUICK + "PreSetTimeSw=1\n")
        at = datetime.datetime.now() + datetime.timedelta(seconds=62)
        gw.smtplib(["+420777111222@sms.lan"],
                   mail(b"SendTime " + at.strftime("%H:%M:%S").encode(), b"at the time"))
        self.assertEqual(len(gw.records("SmtpWait.Tmp")), 1)
        wait = (at - datetime.datetime.now()).total_seconds()
        self.assertFalse(k.wait_until(lambda: gw.modem.sent(), wait - 1, step=0.2))
        self.assertTrue(k.wait_until(lambda: gw.modem.sent(), 25, step=0.2), gw.run.lines())
        self.assertEqual([s[:2] for s in gw.modem.sent()], [("+420777111222", "at the time")])


class CommandLineText(unittest.TestCase):
    def test_a_text_of_several_lines_leaves_as_one_sms(self):
        gw = Gateway(self, QUICK + "RunParamAsSMS=1\nRunParDefTelNo=+420777999888\n")
        text = "Server down\nDisk 97%\nCPU 12%"
        # A second copy hands the text to the running one through the settings file.
        self.assertEqual(k.run_to_end(gw.folder, text)[0], 0)
        self.assertEqual(k.section(gw.folder, "CFG")[0][0], "ComTcp")
        self.assertEqual(len([l for l in k.ini_lines(gw.folder) if l.strip() == "[CFG]"]), 1)
        self.assertTrue(k.wait_until(lambda: gw.modem.sent(), DEADLINE), gw.run.lines())
        self.assertEqual([s[:2] for s in gw.modem.sent()],
                         [("+420777999888", "Server down\\nDisk 97%\\nCPU 12%")])


class FileSizeLimit(unittest.TestCase):
    def test_every_mail_is_stored_whole_and_answered_250_or_answered_451_and_absent(self):
        limit = 6000
        saved = resource.getrlimit(resource.RLIMIT_FSIZE)
        self.addCleanup(resource.setrlimit, resource.RLIMIT_FSIZE, saved)

        def under_limit(folder):
            # Set between the modem's start and the program's: only the program inherits it.
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, saved[1]))

        # One relation at start, none while the mails come.
        gw = Gateway(self, "StartGo=1\nMemCheOn=0\nDNSOff=1\nInterval=1000\nUserName=office\n",
                     prepare=under_limit)
        resource.setrlimit(resource.RLIMIT_FSIZE, saved)
        self.assertTrue(k.wait_until(
            lambda: gw.logged("SMTP server no mails to send for GSM gateway"), DEADLINE))

        answers = {}
        for i in range(12):
            rcpts = ["+42077700%04d@sms.lan" % (i * 10 + r) for r in range(1 + i % 10)]
            try:
                gw.smtplib(rcpts, mail(b"s", ("mail%02d " % i).encode() + b"x" * 120))
                answers[i] = (250, len(rcpts))
            except smtplib.SMTPDataError as e:
                answers[i] = (e.smtp_code, len(rcpts))
        store = k.read_bytes(os.path.join(gw.folder, "Smtp.Tmp"))
        self.assertLessEqual(len(store), limit)
        # Nothing but whole records.
        self.assertEqual(b"".join(m.group(0) for m in RECORD.finditer(store)), store)
        bodies = RECORD.findall(store)
        for i, (code, count) in answers.items():
            stored = sum(1 for b in bodies if b.startswith(("mail%02d " % i).encode()))
            self.assertEqual(stored, count if code == 250 else 0, (i, code))
        codes = sorted({c for c, _ in answers.values()})
        self.assertEqual(codes, [250, 451])

        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        ini = k.read_bytes(k.settings_path(gw.folder)).decode("utf-8")
        self.assertTrue(ini.endswith("\r\n"))
        self.assertEqual(k.value(gw.folder, "CFG", "UserName"), "office")
        self.assertEqual(k.value(gw.folder, "CFG", "SmtpPort"), str(gw.port))


class UnreadableSettings(unittest.TestCase):
    def test_a_settings_file_that_is_no_ini_text_is_named_and_never_written(self):
        folder = k.new_folder(self)
        utf16 = "\ufeff[CFG]\r\nUserName=office\r\n".encode("utf-16-le")
        k.write_bytes(k.settings_path(folder), utf16)
        lines = k.run_once(self, folder)
        named = [l for l in lines if k.settings_path(folder) in l]
        self.assertEqual(len(named), 1, lines)
        self.assertIn("running on defaults", named[0])
        self.assertEqual(k.read_bytes(k.settings_path(folder)), utf16)


class FolderLockAndModes(unittest.TestCase):
    def test_the_lock_is_in_the_folder_whatever_the_runtime_folder(self):
        folder = k.new_folder(self)
        first = k.start(self, folder, env={"XDG_RUNTIME_DIR": k.new_folder(self)})
        rc, out, err = k.run_to_end(folder, env={"XDG_RUNTIME_DIR": k.new_folder(self)})
        self.assertEqual((rc, out), (1, ""))
        self.assertIn("already runs", err)
        self.assertTrue(first.running())
        self.assertTrue(os.path.isfile(os.path.join(folder, "Kolvane.lock")))
        self.assertEqual(first.stop(), 0)

    def test_files_of_the_program_folder_are_for_the_owner_only(self):
        gw = Gateway(self, QUICK + "LogFiOn=1\n")
        gw.smtplib(["+420777111222@sms.lan"], mail(b"s", b"hello"))
        gw.modem.inject("+420777333444", "answer")
        self.assertTrue(k.wait_until(lambda: gw.records("Pop3.Tmp"), DEADLINE))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        mine = [n for n in os.listdir(gw.folder) if not n.startswith("modem-")]
        for name in ["Kolvane.ini", "Kolvane.lock", "Pop3.Tmp"]:
            self.assertIn(name, mine)
        modes = {n: stat.S_IMODE(os.stat(os.path.join(gw.folder, n)).st_mode) for n in mine}
        self.assertEqual(modes, {n: 0o600 for n in mine})


if __name__ == "__main__":
    main()
