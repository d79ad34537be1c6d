"""The program as an unattended service: mail served while the modem is missing, a taken mail
port that leaves the modem working, edits kept, SIGHUP, the command line and its status."""

import os
import pwd
import re
import signal
import smtplib
import socket
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Modem, ModemProcess, mail


def count(run, text):
    return sum(1 for line in run.lines() if line.endswith("  " + text))


def program(*args, env=None, user=None, timeout=k.DEADLINE):
    """Runs the program to its end: (exit code, stdout, stderr)."""
    command = [k.PROGRAM, *args]
    if user:
        command = ["runuser", "-u", user, "--", *command]
    done = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True,
                          env=k.program_env(env), timeout=timeout)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


def send(port, number, subject, body):
    s = smtplib.SMTP("127.0.0.1", port, local_hostname="pc1", timeout=20)
    try:
        s.sendmail("me@lan", ["%s@sms.lan" % number], mail(subject, body))
        s.quit()
    finally:
        s.close()


def status(folder):
    rc, out, _ = program("--status", "--dir", folder)
    return rc, k.status(folder)


class MissingDevice(unittest.TestCase):
    def test_mail_is_served_at_once_and_sent_when_the_device_appears(self):
        folder = k.new_folder(self)
        link = os.path.join(folder, "ttyGSM")
        smtp, pop3 = mail_gateway.free_port(), mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nComTcp=0\nComName=%s\nOnLine=1\nSmsIndication=0\n"
                    "IntervalOnLine=1000\nSmtpPort=%d\nPop3Port=%d\n" % (link, smtp, pop3))
        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: count(run, "POP3 server listens"), DEADLINE))
        failed = "Serial device %s cannot be opened: missing" % link
        self.assertTrue(k.wait_until(lambda: count(run, failed), DEADLINE), run.lines())
        send(smtp, "+420777100200", b"device later", b"Sent once it is there")
        self.assertEqual(mail_gateway.fetch_all(pop3), [])
        rc, shown = status(folder)
        self.assertEqual((rc, shown["jobs queue"]), (0, "1"))
        self.assertTrue(shown["link"].startswith("cannot be opened: missing"), shown)
        sent = os.path.join(folder, "sent.txt")
        ModemProcess(self, "--pty", link, "--sent", sent)
        self.assertTrue(k.wait_until(lambda: os.path.exists(sent) and
                                     "Sent once it is there" in open(sent).read(), DEADLINE),
                        run.lines())
        self.assertEqual(count(run, failed), 1, "the outage is logged once")
        self.assertEqual(run.stop(), 0)


class TakenPort(unittest.TestCase):
    def test_the_modem_works_and_the_port_is_taken_as_soon_as_it_is_free(self):
        holder = socket.socket()
        holder.bind(("0.0.0.0", 0))
        holder.listen()
        taken = holder.getsockname()[1]
        gw_folder = k.new_folder(self)
        modem = Modem(self, gw_folder)
        k.write_ini(gw_folder, "[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\n"
                    "SmtpPort=%d\nPop3Port=%d\n" % (modem.port, mail_gateway.free_port(), taken))
        run = k.start(self, gw_folder)
        line = ("POP3 server cannot listen on port %d: address in use; it is tried again every "
                "minute" % taken)
        self.assertTrue(k.wait_until(lambda: count(run, line), DEADLINE), run.lines())
        self.assertTrue(k.wait_until(lambda: modem.commands("AT+CMGL"), DEADLINE), run.lines())
        holder.close()
        # Freed: a reload tries it at once rather than at the next minute.
        run.proc.send_signal(signal.SIGHUP)
        self.assertTrue(k.wait_until(lambda: count(run, "POP3 server listens"), DEADLINE),
                        run.lines())
        self.assertEqual(count(run, line), 1)
        self.assertEqual(mail_gateway.fetch_all(taken), [])
        self.assertEqual(run.stop(), 0)


class EditsAndReload(unittest.TestCase):
    def test_an_edit_made_while_running_survives_the_stop(self):
        gw = mail_gateway.Gateway(self, "Interval=5\n; kept as it is\n")
        lines_before = len(k.ini_lines(gw.folder))
        send(gw.port, "+420777100300", b"counted", b"one mail")
        k.set_value(gw.folder, "CFG", "Interval", "2")
        self.assertEqual(gw.run.stop(), 0)
        self.assertEqual(k.value(gw.folder, "CFG", "Interval"), "2")
        self.assertIn("; kept as it is", k.ini_lines(gw.folder))
        # What the program changed itself: the day's counter with its moment, the registry
        # of the SMTP client, the run position.
        keys = [key for key, _ in k.section(gw.folder, "CFG")]
        self.assertEqual(k.value(gw.folder, "CFG", "EmlInCnt"), "1")
        self.assertIn("DTSaveToIni", keys)
        self.assertNotIn("Language", keys)
        self.assertLessEqual(len(k.ini_lines(gw.folder)), lines_before + 10)

    def test_sighup_applies_a_changed_interval_without_a_restart(self):
        # Debug=1: a repeated connection line is otherwise logged once an hour.
        gw = mail_gateway.Gateway(self, "OnLine=1\nSmsIndication=0\nIntervalOnLine=600000\n"
                                  "Debug=1\n")
        relations = lambda: count(gw.run, "Connection to GSM Gate through ethernet succeeded")
        self.assertTrue(k.wait_until(lambda: relations() == 1, DEADLINE))
        k.set_value(gw.folder, "CFG", "IntervalOnLine", "1000")
        gw.run.proc.send_signal(signal.SIGHUP)
        self.assertTrue(k.wait_until(lambda: count(gw.run, "Settings reloaded"), DEADLINE))
        self.assertTrue(k.wait_until(lambda: relations() >= 3, DEADLINE), gw.run.lines())
        self.assertTrue(gw.run.running())
        self.assertEqual(gw.run.stop(), 0)
        self.assertEqual(k.value(gw.folder, "CFG", "IntervalOnLine"), "1000")


class CommandLine(unittest.TestCase):
    def test_help_version_and_a_wrong_option_start_no_gateway(self):
        folder = k.new_folder(self)
        rc, out, err = program("--help", "--dir", folder)
        self.assertEqual(rc, 0)
        self.assertTrue(out.startswith("Usage: Kolvane"), out)
        rc, out, _ = program("--version")
        self.assertEqual((rc, bool(re.match(r"^Kolvane \d+\.\d+", out))), (0, True), out)
        rc, out, err = program("--headless", "--dir", folder, "--frobnicate")
        self.assertEqual((rc, out), (2, ""))
        self.assertIn("unknown option --frobnicate", err)
        self.assertIn("Usage: Kolvane", err)
        self.assertEqual(os.listdir(folder), [])

    def test_texts_are_still_queued_as_sms(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nRunParamAsSMS=1\nRunParDefTelNo=+420777100400\n"
                    "ComName=%s\n%s" % (os.path.join(folder, "none"),
                                        mail_gateway.free_mail_ports()))
        k.run_once(self, folder, "hello", "there")
        k.run_once(self, folder, "--", "--also-a-text")
        self.assertEqual([v for _, v in k.section(folder, "ParamAsSMS")],
                         ["hello there", "--also-a-text"])

    def test_status_and_queue_with_and_without_a_running_program(self):
        folder = k.new_folder(self)
        smtp = mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nComName=%s\nSmtpPort=%d\nPop3Port=%d\n"
                    % (os.path.join(folder, "none"), smtp, mail_gateway.free_port()))
        rc, out, err = program("--status", "--dir", folder)
        self.assertEqual((rc, out), (3, ""))
        self.assertIn("not running", err)

        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: count(run, "SMTP server listens"), DEADLINE))
        send(smtp, "+420777100500", b"queued", b"Waiting for the modem to come")
        rc, shown = status(folder)
        self.assertEqual(rc, 0)
        for key in ("device", "link", "sim", "registration", "signal", "smtp", "pop3",
                    "jobs run file", "jobs queue", "jobs waiting for their time", "jobs priority",
                    "pop3 store", "SmsInCnt", "EmlInCnt since start", "last error", "uptime"):
            self.assertIn(key, shown)
        self.assertEqual(shown["smtp"], "listening on port %d" % smtp)
        self.assertEqual(shown["EmlInCnt since start"], "1")
        self.assertIn("cannot be opened: missing", shown["last error"])
        rc, out, _ = program("--queue", "--dir", folder)
        self.assertEqual(rc, 0)
        self.assertRegex(out, r"Smtp\.Tmp +\+420777100500 +\d{4}-\d\d-\d\d +0 +Waiting for the")
        self.assertEqual(run.stop(), 0)

        rc, out, err = program("--queue", "--dir", folder)
        self.assertEqual(rc, 0)
        self.assertIn("+420777100500", out)
        self.assertIn("not running", err)
        self.assertEqual(program("--status", "--dir", folder)[0], 3)

    def test_a_folder_the_program_cannot_use_ends_it_with_one_message(self):
        plain = os.path.join(k.new_folder(self), "plain")
        open(plain, "w").close()
        rc, out, err = program("--headless", "--dir", plain)
        self.assertEqual((rc, out), (1, ""))
        self.assertEqual(err.strip(), "Kolvane cannot use the folder %s/: it is not a folder" % plain)

    @unittest.skipUnless(os.geteuid() == 0, "needs another user to run it")
    def test_a_normal_user_without_a_folder_works_in_the_user_folder(self):
        data = k.new_folder(self)
        user = pwd.getpwnam("nobody")
        os.chown(data, user.pw_uid, user.pw_gid)
        run = k.Running(None, program=k.PROGRAM, env={"XDG_DATA_HOME": data},
                        prefix=["setpriv", "--reuid", str(user.pw_uid), "--regid",
                                str(user.pw_gid), "--clear-groups"])
        self.addCleanup(run.kill)
        folder = os.path.join(data, "kolvane")
        used = "Folder %s/ is used: the program's folder %s/ is no place for its files" % (
            folder, k.BIN_DIR)
        self.assertTrue(k.wait_until(lambda: count(run, used), DEADLINE), run.lines())
        # The default ports need the capability a normal user lacks; said with the reason.
        self.assertTrue(k.wait_until(lambda: count(
            run, "SMTP server cannot listen on port 25: permission denied — ports below 1024 "
                 "need the capability, see the README; it is tried again every minute"),
            DEADLINE), run.lines())
        self.assertEqual(os.stat(folder).st_mode & 0o777, 0o700)
        self.assertEqual(run.stop(), 0)

    @unittest.skipUnless(os.geteuid() == 0, "needs another user to ask")
    def test_a_caller_of_another_user_may_not_reach_it(self):
        folder = k.new_folder(self)
        os.chmod(folder, 0o711)  # the socket is reachable, the program's files are not
        k.write_ini(folder, "[CFG]\nComName=%s\n%s" % (os.path.join(folder, "none"),
                                                     mail_gateway.free_mail_ports()))
        run = k.start(self, folder)
        for mode in (0o711, 0o700):
            with self.subTest(folder_mode=oct(mode)):
                os.chmod(folder, mode)
                rc, out, err = program("--status", "--dir", folder, user="nobody")
                self.assertEqual((rc, out), (4, ""))
                self.assertIn("may not be reached", err)
        self.assertEqual(run.stop(), 0)


if __name__ == "__main__":
    mail_gateway.main()
