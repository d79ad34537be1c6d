"""Mail programs that fetch from the POP3 server and send over SMTP as they come from Debian:
fetchmail (with its default TOP, keeping mail or not) and getmail deliver every received SMS
exactly once; swaks (pipelining) and smtplib send with EHLO and learn the server's limits."""

import email
import email.policy
import glob
import os
import shutil
import smtplib
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, mail

QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=4000\nMemCheOn=0\n"
         "SendSMSDelay=100\nDNSOff=1\n")


def delivered(folder):
    """The texts of the messages in a folder of delivered mails, one file each."""
    texts = []
    for path in sorted(glob.glob(os.path.join(folder, "*"))):
        with open(path, "rb") as f:
            msg = email.message_from_binary_file(f, policy=email.policy.default)
        texts.append(msg.get_content().rstrip("\n"))
    return texts


class Fetchers(unittest.TestCase):
    def receive(self, gw, texts):
        before = len(gw.records("Pop3.Tmp"))
        for text in texts:
            gw.modem.inject("+420777111222", text)
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == before + len(texts),
                                     3 * DEADLINE), gw.run.lines())

    def fetch_twice_each_time(self, gw, fetch, box):
        """SMS arrive, the program fetches, fetches again; more arrive, it fetches again."""
        self.receive(gw, ["First SMS", "Second SMS"])
        fetch()
        self.assertEqual(sorted(delivered(box)), ["First SMS", "Second SMS"], gw.run.lines())
        fetch()
        self.receive(gw, ["Third SMS"])
        fetch()
        fetch()
        self.assertEqual(sorted(delivered(box)), ["First SMS", "Second SMS", "Third SMS"],
                         gw.run.lines())

    def fetchmail(self, keep):
        if not shutil.which("fetchmail"):
            self.skipTest("fetchmail is not installed")
        gw = Gateway(self, QUICK)
        # fetchmail asks CAPA, starts TLS with STLS, and without "keep" it reads each
        # message with TOP and deletes it.
        command, env, box = mail_gateway.fetchmail_setup(gw, keep)
        said = []

        def fetch():
            done = subprocess.run(command, env=env, capture_output=True, timeout=120)
            # 0: mail delivered, 1: nothing new.
            self.assertIn(done.returncode, (0, 1), done.stdout + done.stderr)
            self.assertNotIn(b"refused", done.stdout + done.stderr)
            said.append(done.stdout + done.stderr)

        self.fetch_twice_each_time(gw, fetch, box)
        self.assertIn(b"POP3> RETR 1" if keep else b"POP3> TOP 1 99999999", b"".join(said))
        self.assertEqual(gw.logged('SMTP client "127.0.0.1" Denied - EHLO'), 0)

    def test_fetchmail_deletes_after_top(self):
        self.fetchmail(keep=False)

    def test_fetchmail_keeps(self):
        self.fetchmail(keep=True)

    def test_getmail_keeps_and_deletes(self):
        getmail = shutil.which("getmail")
        if not getmail:
            self.skipTest("getmail is not installed")
        gw = Gateway(self, QUICK)
        for delete in ("false", "true"):
            home = os.path.join(gw.folder, "getmail-" + delete)
            box = os.path.join(home, "box")
            os.makedirs(box)
            with open(os.path.join(home, "getmailrc"), "w") as f:
                f.write("[retriever]\ntype = SimplePOP3Retriever\nserver = 127.0.0.1\n"
                        "port = %d\nusername = anyone\npassword = secret\n\n"
                        "[destination]\ntype = MDA_external\npath = /bin/sh\n"
                        "arguments = (\"-c\", \"cat > %s/msg.$$\")\n"
                        # The tests may run as root, where getmail refuses a Maildir.
                        "allow_root_commands = true\n\n"
                        "[options]\ndelete = %s\nread_all = false\nverbose = 0\n"
                        % (gw.pop3_port, box, delete))

            def fetch():
                done = subprocess.run([getmail, "--getmaildir", home, "--rcfile", "getmailrc"],
                                      capture_output=True, timeout=120)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)

            # The first run's messages have left the PC's box: the second run's are new ones.
            with self.subTest(delete=delete):
                self.fetch_twice_each_time(gw, fetch, box)


class Senders(unittest.TestCase):
    def test_swaks_pipelines_and_smtplib_learns_the_limits(self):
        gw = Gateway(self, "StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=600000\n"
                     "DNSOff=1\nSmtpMaxMailMB=1\n", modem_args=("--silent",))
        if shutil.which("swaks"):
            # swaks stops when the server does not offer PIPELINING.
            done = subprocess.run(["swaks", "--server", "127.0.0.1", "--port", str(gw.port),
                                   "--pipeline", "--helo", "pc3", "--from", "me@lan",
                                   "--to", "420603000003@sms.lan,420603000004@sms.lan",
                                   "--body", "Hello", "--timeout", "20"], capture_output=True)
            self.assertEqual(done.returncode, 0, done.stdout)
            for flag in (b"<**", b"***"):
                self.assertNotIn(flag, done.stdout + done.stderr)
        s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
        code, _ = s.ehlo()
        self.assertEqual(code, 250)
        self.assertEqual(s.esmtp_features.get("size"), str(1024 * 1024))
        self.assertIn("8bitmime", s.esmtp_features)
        self.assertIn("pipelining", s.esmtp_features)
        self.assertNotIn("enhancedstatuscodes", s.esmtp_features)
        # smtplib announces the size; one over the limit is refused before the data.
        big = mail(b"big", b"x" * (1024 * 1024 + 10))
        with self.assertRaises(smtplib.SMTPSenderRefused) as refused:
            s.sendmail("me@lan", ["+420603000005@sms.lan"], big)
        self.assertEqual(refused.exception.smtp_code, 552)
        s.rset()
        self.assertEqual(s.docmd("MAIL FROM:me@lan")[0], 501)
        s.sendmail("me@lan", ["+420603000006@sms.lan"], mail(b"small", b"Hello from smtplib"))
        s.quit()
        self.assertEqual(len(gw.records("Smtp.Tmp")), 3 if shutil.which("swaks") else 1)
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.1" disconnected') >= 1), gw.run.lines())
        self.assertFalse([l for l in gw.run.lines() if "Denied" in l], gw.run.lines())


if __name__ == "__main__":
    mail_gateway.main()
