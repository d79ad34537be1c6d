"""What a run of months meets: repairs the program makes are logged, a read-only settings file
is left alone, and a stop while a store is held by another program loses nothing."""

import datetime
import fcntl
import os
import smtplib
import stat
import time
import unittest

import kolvane_e2e as k
import mail_gateway

READ_ONLY = "settings file is read-only: changes are kept until the program ends"


def logged(lines, text):
    return [l for l in lines if l.endswith("  " + text)]


def hold(test, folder, name):
    """Holds a store open without sharing, as another writer would; returns the release."""
    f = open(os.path.join(folder, name), "ab")
    fcntl.flock(f, fcntl.LOCK_EX)
    test.addCleanup(f.close)
    return f.close


def record(pos_id, body):
    return (b"PosID: %s\r\nNamePC: pc1\r\nFrom: <a@lan>\r\nTo: <+420777111222>\r\n"
            b"Subject: s\r\n\r\n%s\r\n.\r\n" % (pos_id, body))


class SettingsFileRepairs(unittest.TestCase):
    def test_a_missing_or_empty_settings_file_is_told_once(self):
        for content, words in [(None, "not found"), (b"", "is empty"), (b"\r\n \n", "is empty")]:
            with self.subTest(words=words, content=content):
                folder = k.new_folder(self)
                if content is not None:
                    k.write_bytes(k.settings_path(folder), content)
                line = "Settings file %s %s: the defaults are used" % (
                    k.settings_path(folder), words)
                self.assertEqual(len(logged(k.run_once(self, folder), line)), 1)

    def test_a_read_only_settings_file_keeps_its_bytes_and_mode(self):
        folder = k.new_folder(self)
        smtp, pop3 = mail_gateway.free_port(), mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nSmtpPort=%d\nPop3Port=%d\nDNSOff=1\n" % (smtp, pop3))
        path = k.settings_path(folder)
        os.chmod(path, 0o444)
        before = k.read_bytes(path)
        run = k.start(self, folder)
        self.assertTrue(k.wait_listening(run), run.lines())
        # A new client is a change the program would write at once.
        s = smtplib.SMTP("127.0.0.1", smtp, local_hostname="pc1", timeout=20)
        s.quit()
        self.assertEqual(run.stop(), 0)
        self.assertEqual(k.read_bytes(path), before)
        self.assertEqual(stat.S_IMODE(os.stat(path).st_mode), 0o444)
        self.assertEqual(len(logged(run.stdout, READ_ONLY)), 1, run.stdout)
        self.assertFalse(any("not saved" in l or "write failed" in l for l in run.stdout))


class CutRecords(unittest.TestCase):
    def test_a_record_cut_off_at_the_end_of_a_store_is_kept_aside_and_told(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\n" + mail_gateway.free_mail_ports())
        today = datetime.date.today().strftime("%y%m%d").encode()  # never expired
        whole = record(today + b"000000", b"whole")
        cut = record(today + b"000001", b"cut")[:60]
        for store in ("Smtp.Tmp", "Pop3.Tmp"):
            k.write_bytes(os.path.join(folder, store), whole + cut)
        lines = k.run_once(self, folder)
        for store in ("Smtp.Tmp", "Pop3.Tmp"):
            with self.subTest(store=store):
                self.assertEqual(k.read_bytes(os.path.join(folder, store)), whole)
                kept = k.read_bytes(os.path.join(folder, "Mishmash" + store))
                self.assertTrue(kept.endswith(b"->|" + cut + b"|<-\r\n"), kept)
                self.assertEqual(len(logged(lines, "%s ended in a record cut off (60 bytes); they "
                                            "were moved to Mishmash%s" % (store, store))), 1)


class StopWithAHeldStore(unittest.TestCase):
    CFG = "DNSOff=1\nSendFiTxtDelay=1\nUserName=office\n"

    def start(self, folder):
        smtp = mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nSmtpPort=%d\nPop3Port=%d\n%s"
                    % (smtp, mail_gateway.free_port(), self.CFG))
        run = k.start(self, folder)
        self.assertTrue(k.wait_listening(run), run.lines())
        return run, smtp

    def mail_with_a_report(self, port):
        """One recipient becomes a job, the other an "Undispatched SMS" report for Pop3.Tmp."""
        s = smtplib.SMTP("127.0.0.1", port, local_hostname="pc1", timeout=20)
        try:
            s.sendmail("me@lan", ["+420777111222@sms.lan", "nobody@sms.lan"],
                       mail_gateway.mail(b"held", b"text for the held store"))
            s.quit()
        finally:
            s.close()

    def pop3(self, folder):
        try:
            return k.read_bytes(os.path.join(folder, "Pop3.Tmp"))
        except FileNotFoundError:
            return b""

    def test_what_the_held_store_did_not_take_goes_to_the_next_start(self):
        folder = k.new_folder(self)
        release = hold(self, folder, "Pop3.Tmp")
        run, smtp = self.start(folder)
        self.mail_with_a_report(smtp)
        started = time.monotonic()
        self.assertEqual(run.stop(), 0)
        self.assertGreaterEqual(time.monotonic() - started, 4.5)  # it waited for the store
        self.assertEqual(len(logged(run.stdout, "Stop: waiting up to 5 s for 1 writes to the "
                                    "stores")), 1, run.stdout)
        self.assertEqual(len(logged(run.stdout, "1 writes could not reach their stores: kept in "
                                    "Rescue.Tmp for the next start")), 1, run.stdout)
        self.assertEqual(self.pop3(folder), b"")
        self.assertTrue(os.path.exists(os.path.join(folder, "Rescue.Tmp")))
        release()
        run, _ = self.start(folder)
        self.assertEqual(len(logged(run.lines(), "Rescue.Tmp: 1 writes of the last run added to "
                                    "their stores")), 1, run.lines())
        self.assertEqual(run.stop(), 0)
        self.assertIn(b"Subject: Undispatched SMS:", self.pop3(folder))
        self.assertIn(b"\r\nPosID: ", b"\r\n" + self.pop3(folder))
        self.assertFalse(os.path.exists(os.path.join(folder, "Rescue.Tmp")))

    def test_a_store_released_during_the_stop_takes_its_records_then(self):
        folder = k.new_folder(self)
        release = hold(self, folder, "Pop3.Tmp")
        run, smtp = self.start(folder)
        self.mail_with_a_report(smtp)
        run.proc.send_signal(15)
        self.assertTrue(k.wait_until(lambda: logged(run.lines(), "Stop: waiting up to 5 s for 1 "
                                                    "writes to the stores")), run.lines())
        release()
        self.assertEqual(run.wait_end(), 0)
        self.assertIn(b"Subject: Undispatched SMS:", self.pop3(folder))
        self.assertFalse(os.path.exists(os.path.join(folder, "Rescue.Tmp")))
        self.assertFalse(any("Rescue.Tmp" in l for l in run.stdout), run.stdout)

    def test_a_drop_line_stays_until_its_job_is_written(self):
        folder = k.new_folder(self)
        release = hold(self, folder, "Smtp.Tmp")
        run, _ = self.start(folder)
        k.write_bytes(os.path.join(folder, "SendUp.txt"), b"+420777111222\tdropped text\r\n")
        # Taken from the drop file, but not written: the line waits in the working copy.
        self.assertTrue(k.wait_until(
            lambda: os.path.exists(os.path.join(folder, "SendUp.tmp")), 20), run.lines())
        time.sleep(2)
        self.assertEqual(run.stop(), 0)
        self.assertEqual(k.read_bytes(os.path.join(folder, "SendUp.tmp")),
                         b"+420777111222\tdropped text\r\n")
        self.assertFalse(os.path.exists(os.path.join(folder, "Rescue.Tmp")))
        release()
        run, _ = self.start(folder)
        self.assertTrue(k.wait_until(
            lambda: not os.path.exists(os.path.join(folder, "SendUp.tmp")), 20), run.lines())
        self.assertEqual(run.stop(), 0)
        self.assertIn(b"dropped text", k.read_bytes(os.path.join(folder, "Smtp.Tmp")))


if __name__ == "__main__":
    mail_gateway.main()
