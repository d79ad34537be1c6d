"""Jobs arrive whole or are reported, once: long Czech texts, the drop file's writers and
leftovers, a full disk under the waiting store, a command whose SMS cannot be deleted, a text
that only looks routed, a daily interval."""

import datetime
import errno
import os
import stat
import subprocess
import time
import unittest

import kolvane_e2e as k
from mail_gateway import DEADLINE, Gateway, fetch_all, free_mail_ports, main

# A relation at start and then every 2 s; the drop file is looked at every second.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=2000\nMemCheOn=0\n"
         "SendSMSDelay=100\nDNSOff=1\nSendFiTxtDelay=1\n")
CZECH = ("Příliš žluťoučký kůň úpěl ďábelské ódy. " * 3)[:110]


def record(pos_id, number, subject, body):
    return ("PosID: %s\r\nNamePC: pc1\r\nFrom: <me@lan>\r\nTo: <%s@sms.lan>\r\nSubject: %s\r\n\r\n"
            "%s\r\n.\r\n" % (pos_id, number, subject, body)).encode()


class LongTexts(unittest.TestCase):
    def test_a_long_czech_text_from_the_command_line_arrives_whole_or_is_reported(self):
        for concatenate in (True, False):
            with self.subTest(concatenate=concatenate):
                gw = Gateway(self, QUICK + "RunParamAsSMS=1\nRunParDefTelNo=+420777999888\n"
                             "ConcatenateSMS=%d\n" % concatenate)
                # A second copy hands the text to the running one.
                self.assertEqual(k.run_to_end(gw.folder, CZECH)[0], 0)
                if concatenate:
                    self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) == 2, DEADLINE),
                                    gw.run.lines())
                    sent = gw.modem.sent()
                    self.assertEqual("".join(s[1] for s in sent), CZECH)
                    self.assertEqual([(s[0], len(s[1]), s[6]) for s in sent],
                                     [("+420777999888", 67, 8), ("+420777999888", 43, 8)])
                else:
                    subject = (b"Undispatched SMS:  (message is longer than 70 characters) "
                               b"Kolvane sends SMS message from command line")
                    self.assertTrue(k.wait_until(lambda: gw.logged(subject.decode()), DEADLINE),
                                    gw.run.lines())
                    self.assertEqual([r[3] for r in gw.records("Pop3.Tmp")], [subject])
                    # Relations go on; nothing of the text leaves.
                    relations = len(gw.modem.commands("AT+CSQ"))
                    self.assertTrue(k.wait_until(
                        lambda: len(gw.modem.commands("AT+CSQ")) >= relations + 2, DEADLINE))
                    self.assertEqual(gw.modem.sent(), [])


class DropFile(unittest.TestCase):
    def test_a_slow_writer_has_every_line_sent_once_and_whole(self):
        gw = Gateway(self, QUICK)
        with open(os.path.join(gw.folder, "SendUp.txt"), "wb") as f:
            f.write(b"+420777111222\tHello wor")
            f.flush()
            time.sleep(3.5)  # three looks at the file meanwhile
            f.write(b"ld\r\n+420777333444\tSecond line\r\n")
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 2, DEADLINE), gw.run.lines())
        time.sleep(2.5)  # a relation more: nothing comes twice
        self.assertEqual([s[:2] for s in gw.modem.sent()],
                         [("+420777111222", "Hello world"), ("+420777333444", "Second line")])

    def test_a_leftover_working_copy_goes_first_and_lines_keep_their_letters_and_dots(self):
        def prepare(folder):
            k.write_bytes(os.path.join(folder, "SendUp.tmp"), b"+420777111222\tLeft by a crash\r\n")
            k.write_bytes(os.path.join(folder, "SendUp.txt"),
                          "+420777333444\tŽluťoučký kůň\r\n+420777555666\t. .ok\r\n".encode())

        gw = Gateway(self, QUICK + "SendUCS2SmsPermit=1\n", prepare=prepare)
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 3, DEADLINE), gw.run.lines())
        self.assertEqual([s[:2] for s in gw.modem.sent()],
                         [("+420777111222", "Left by a crash"), ("+420777333444", "Žluťoučký kůň"),
                          ("+420777555666", ". .ok")])
        self.assertFalse(os.path.exists(os.path.join(gw.folder, "SendUp.tmp")))


class FullDisk(unittest.TestCase):
    def mount_small_disk(self):
        folder = k.new_folder(self)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m,mode=0700", "tmpfs", folder],
                              capture_output=True, text=True)
        if done.returncode != 0:
            self.skipTest("mounting a small tmpfs is not permitted here: " +
                          (done.stderr.strip() or "mount failed"))
        self.addCleanup(subprocess.run, ["umount", "-l", folder], capture_output=True)
        return folder

    def test_waiting_jobs_survive_a_full_disk_and_go_at_their_time(self):
        folder = self.mount_small_disk()
        now = datetime.datetime.now()
        due = [now + datetime.timedelta(seconds=s) for s in (5, 14)]

        def prepare(program_dir):
            k.write_bytes(os.path.join(program_dir, "SmtpWait.Tmp"), b"".join(
                record("26010100000%d" % i, "+42077711122%d" % i,
                       "SendTime " + at.strftime("%Y-%m-%d %H:%M:%S"), "waiting %d" % i)
                for i, at in enumerate(due)))

        gw = Gateway(self, QUICK, prepare=prepare, folder=folder)
        filler = os.path.join(folder, "filler")
        fd = os.open(filler, os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while True:
                os.write(fd, b"x" * 4096)
        except OSError as e:
            self.assertEqual(e.errno, errno.ENOSPC)
        finally:
            os.close(fd)
        failure = "WriteFile error: the waiting jobs stay in SmtpWait.Run"
        self.assertTrue(k.wait_until(lambda: any(failure in l for l in gw.run.lines()), DEADLINE),
                        gw.run.lines())
        time.sleep(1)
        self.assertEqual(gw.modem.sent(), [])
        waiting = k.read_bytes(os.path.join(folder, "SmtpWait.Run"))
        self.assertEqual(waiting.count(b"PosID: "), 2)

        os.remove(filler)
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) == 2, DEADLINE), gw.run.lines())
        rows = gw.modem.rows()
        self.assertEqual([(r[1], r[2]) for r in rows],
                         [("+420777111220", "waiting 0"), ("+420777111221", "waiting 1")])
        sent_at = datetime.datetime.fromisoformat(rows[1][0])
        self.assertGreaterEqual(sent_at, due[1].replace(microsecond=0))
        self.assertEqual(len([l for l in gw.run.lines() if failure in l]), 1)


class ReceivedActions(unittest.TestCase):
    def test_a_command_runs_once_while_its_sms_cannot_be_deleted(self):
        def prepare(folder):
            script = os.path.join(folder, "note.sh")
            with open(script, "w") as f:
                f.write('#!/bin/sh\necho "$@" >> "%s"\n' % os.path.join(folder, "ran.txt"))
            os.chmod(script, stat.S_IRWXU)

        gw = Gateway(self, QUICK + "SmsToCmdSw=1\n",
                     sections="[SmsToCmdTelNo]\nA0=+420777111222\n[SmsToCmdSubst]\n"
                              "log={folder}/note.sh\n",
                     modem_args=("--error-on", "AT+CMGD*"), prepare=prepare)
        gw.modem.inject("+420777111222", "#command#log#hello")
        noticed = "Command SMS from +420777111222 at SM 1 was not deleted: it is not run again"
        self.assertTrue(k.wait_until(lambda: gw.logged(noticed), DEADLINE), gw.run.lines())
        # Listed three times by now.
        self.assertTrue(k.wait_until(lambda: gw.modem.sent(), DEADLINE), gw.run.lines())
        self.assertEqual(k.read_bytes(os.path.join(gw.folder, "ran.txt")), b"hello\n")
        self.assertEqual(len(gw.modem.sent()), 1)
        self.assertTrue(gw.modem.sent()[0][1].startswith("Return code : "))
        self.assertEqual(len(gw.records("Pop3.Tmp")), 1)
        self.assertEqual(gw.logged(noticed), 1)

    def test_a_text_that_only_looks_routed_is_fetched_by_every_pc(self):
        gw = Gateway(self, QUICK)
        text = "#1 priority: call me back #urgent"
        gw.modem.inject("+420777111222", text)
        self.assertTrue(k.wait_until(lambda: gw.records("Pop3.Tmp"), DEADLINE), gw.run.lines())
        self.assertEqual(gw.records("Pop3.Tmp")[0][0], b"")
        for pc in ("127.0.0.1", "127.0.0.2"):
            self.assertEqual([b for _, b in fetch_all(gw.pop3_port, source=pc)], [text])


class DailyInterval(unittest.TestCase):
    def test_a_daily_interval_is_held_at_1000_minutes_and_never_saved_as_none(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nOnLine=0\nInterval=1440\n" + free_mail_ports())
        lines = k.run_once(self, folder)
        self.assertIn("Settings: Interval=1440 is above 1000, 1000 used",
                      [l[10:] for l in lines])
        # Nobody changed it: the file keeps what its editor wrote.
        self.assertEqual(k.value(folder, "CFG", "Interval"), "1440")


if __name__ == "__main__":
    main()
