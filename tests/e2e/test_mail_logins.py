"""Logins against the real program with real clients: with accounts a wrong password is
refused on both servers and the right one taken (poplib, curl, smtplib, msmtp); each login gets
its own mailbox, also from the address another account used; the machine itself sends without
AUTH, another address only after it; wrong passwords slow an address down; no secret reaches a
trace with Debug=1. Without accounts, clients set up with a password send and fetch as before."""

import base64
import os
import poplib
import smtplib
import socket
import subprocess
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, Pop3From, mail

PASSWORDS = {"Alice": "alice-Secret-1", "bob": "bob-Secret-2"}
REFUSED = b"-ERR [AUTH] invalid user name or password"
# The other loopback address is not trusted.
CFG = "DNSOff=1\nDebug=1\nLogFiOn=1\nMailTrustedHosts=127.0.0.1\n"


def account_lines(test):
    """[MailUsers] lines made by the program's own password tool."""
    folder = k.new_folder(test)
    for name, password in PASSWORDS.items():
        done = subprocess.run([k.PROGRAM, "--set-password", name, "--dir", folder],
                              input=(password + "\n").encode(), capture_output=True,
                              env=k.program_env(), timeout=DEADLINE)
        test.assertEqual(done.returncode, 0, done.stderr)
    return "".join("%s=%s\n" % kv for kv in k.section(folder, "MailUsers"))


def record(pos_id, name_pc, text):
    return ("PosID: %s\r\nNamePC: %s\r\nFrom: <+420777111222@kolvane.lan>\r\nTo: <kolvane>\r\n"
            "Subject: SMS from phone No.: +420777111222\r\n\r\n%s\r\n.\r\n"
            % (pos_id, name_pc, text)).encode("ascii")


def store(*records):
    today = time.strftime("%y%m%d")
    data = b"".join(record("%s%06d" % (today, i + 1), pc, text)
                    for i, (pc, text) in enumerate(records))
    return lambda folder: k.write_bytes(os.path.join(folder, "Pop3.Tmp"), data)


def box(port, source, user, password):
    """The texts a POP3 login is offered (fetched and deleted), or the answer that refused it."""
    p = Pop3From(port, source)
    try:
        p.user(user)
        try:
            p.pass_(password)
        except poplib.error_proto as e:
            return e.args[0]
        texts = []
        for n in range(1, p.stat()[0] + 1):
            lines = p.retr(n)[1]
            texts.append(b"\n".join(lines[lines.index(b"") + 1:]).decode())
            p.dele(n)
        p.quit()
        return texts
    finally:
        p.close()


def smtp(port, source):
    return smtplib.SMTP("127.0.0.1", port, local_hostname="pc", timeout=20,
                        source_address=(source, 0))


def msmtp(test, port, source, auth, rcpt):
    """msmtp from source with the given auth line; its return code."""
    folder = k.new_folder(test)
    rc = os.path.join(folder, "msmtprc")
    with open(rc, "w") as f:
        f.write("account default\nhost 127.0.0.1\nport %d\nsource_ip %s\nfrom me@lan\n"
                "%s\n" % (port, source, auth if "tls on" in auth else "tls off\n" + auth))
    os.chmod(rc, 0o600)
    done = subprocess.run(["msmtp", "-C", rc, rcpt], input=mail(b"msmtp", b"from msmtp"),
                          capture_output=True, timeout=60)
    return done.returncode


class Logins(unittest.TestCase):
    def test_with_accounts(self):
        gw = Gateway(self, CFG, "[MailUsers]\n" + account_lines(self), prepare=store(
            ("Alice", "for alice"), ("bob", "for bob"), ("", "for anyone")))
        text = k.read_bytes(k.settings_path(gw.folder)).decode()
        for password in PASSWORDS.values():
            self.assertNotIn(password, text)

        # POP3: the wrong password refused, the right one gets the account's own box only,
        # also from the address the other account used.
        self.assertEqual(box(gw.pop3_port, "127.0.0.2", "alice", PASSWORDS["bob"]), REFUSED)
        self.assertEqual(box(gw.pop3_port, "127.0.0.2", "bob", PASSWORDS["bob"]),
                         ["for bob", "for anyone"])
        self.assertEqual(box(gw.pop3_port, "127.0.0.2", "alice", PASSWORDS["Alice"]),
                         ["for alice", "for anyone"])
        curl = ["curl", "-sS", "--max-time", "20", "pop3://127.0.0.1:%d/" % gw.pop3_port]
        self.assertEqual(subprocess.run(curl + ["-u", "bob:wrong"], capture_output=True,
                                        timeout=60).returncode, 67)  # login denied
        self.assertEqual(subprocess.run(curl + ["-u", "bob:" + PASSWORDS["bob"]],
                                        capture_output=True, timeout=60).returncode, 0)

        # SMTP: the machine itself sends without AUTH, another address only after it.
        rcpt = "+420603111222@sms.lan"
        with smtp(gw.port, "127.0.0.1") as s:
            self.assertEqual(s.sendmail("me@lan", [rcpt], mail(b"local", b"from cron")), {})
        with smtp(gw.port, "127.0.0.2") as s:
            with self.assertRaises(smtplib.SMTPSenderRefused) as refused:
                s.sendmail("me@lan", [rcpt], mail(b"x", b"y"))
            self.assertEqual(refused.exception.smtp_code, 530)
            with self.assertRaises(smtplib.SMTPAuthenticationError):
                s.login("Alice", "guess")
            s.login("alice", PASSWORDS["Alice"])
            self.assertEqual(s.sendmail("me@lan", [rcpt], mail(b"remote", b"from alice")), {})
        self.assertEqual(msmtp(self, gw.port, "127.0.0.2", "auth plain\nuser bob\npassword x",
                               rcpt), 77)  # authentication failed
        self.assertEqual(msmtp(self, gw.port, "127.0.0.2",
                               "auth plain\nuser bob\npassword " + PASSWORDS["bob"], rcpt), 0)
        # The account, as written in the accounts, stands where the PC stood.
        self.assertTrue(k.wait_until(lambda: len(gw.records("Smtp.Tmp")) == 3, DEADLINE))
        self.assertEqual([r[0] for r in gw.records("Smtp.Tmp")], [b"127.0.0.1", b"Alice", b"bob"])

        # Three wrong passwords within a minute: the address's next answer waits.
        for _ in range(3):
            self.assertEqual(box(gw.pop3_port, "127.0.0.3", "bob", "guess"), REFUSED)
        began = time.monotonic()
        self.assertEqual(box(gw.pop3_port, "127.0.0.3", "bob", "guess"), REFUSED)
        self.assertGreaterEqual(time.monotonic() - began, 1.9)
        self.assertEqual(gw.logged("POP3: 3 wrong passwords from 127.0.0.3 within a minute: "
                                   "its login answers wait 2 s"), 1)

        self.assertEqual(gw.run.stop(), 0)
        traces = "\n".join(gw.run.stdout + gw.run.stderr)
        for name in os.listdir(gw.folder):
            path = os.path.join(gw.folder, name)
            if os.path.isfile(path) and name != "Kolvane.ini":
                traces += k.read_bytes(path).decode("utf-8", "replace")
        self.assertIn("PASS ****", traces)
        for password in PASSWORDS.values():
            self.assertNotIn(password, traces)
            payload = base64.b64encode(b"\0alice\0" + password.encode()).decode()
            self.assertNotIn(payload[:12], traces)

    def test_without_accounts_clients_with_passwords_work(self):
        gw = Gateway(self, CFG, prepare=store(("", "for anyone")))
        rcpt = "+420603111222@sms.lan"
        # msmtp's "auth on" sends a password only over TLS; in clear it is told the method.
        sent = 2
        with smtp(gw.port, "127.0.0.2") as s:
            s.ehlo()
            starttls = s.has_extn("starttls")
        if starttls:
            self.assertEqual(msmtp(self, gw.port, "127.0.0.2", "auth on\nuser me\npassword pw\n"
                                   "tls on\ntls_starttls on\ntls_certcheck off", rcpt), 0)
            sent += 1
        self.assertEqual(msmtp(self, gw.port, "127.0.0.2",
                               "auth login\nuser me\npassword pw", rcpt), 0)
        # The exchange a desktop mail program has: EHLO, AUTH LOGIN, user and password apart.
        with socket.create_connection(("127.0.0.1", gw.port), 20,
                                      source_address=("127.0.0.2", 0)) as c:
            f = c.makefile("rb")

            def say(line):
                if line is not None:
                    c.sendall(line + b"\r\n")
                answer = f.readline()
                while answer[3:4] == b"-":
                    answer = f.readline()
                return answer.rstrip(b"\r\n")

            self.assertEqual(say(None), b"220 Kolvane")
            self.assertEqual(say(b"EHLO [127.0.0.2]"), b"250 AUTH PLAIN LOGIN")
            self.assertEqual(say(b"AUTH LOGIN"), b"334 VXNlcm5hbWU6")
            self.assertEqual(say(base64.b64encode(b"me@office")), b"334 UGFzc3dvcmQ6")
            self.assertEqual(say(base64.b64encode(b"anything")),
                             b"235 2.7.0 Authentication successful")
            self.assertEqual(say(b"MAIL FROM:<me@lan>"), b"250 Kolvane <me@lan> sender ok")
            self.assertEqual(say(b"RCPT TO:<%s>" % rcpt.encode())[:3], b"250")
            self.assertEqual(say(b"DATA")[:3], b"354")
            self.assertEqual(say(mail(b"desk", b"from the desk") + b"\r\n."), b"250 Kolvane")
            self.assertEqual(say(b"QUIT")[:3], b"221")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Smtp.Tmp")) == sent, DEADLINE))
        # The PC, not the user name, decides the mailbox.
        self.assertEqual({r[0] for r in gw.records("Smtp.Tmp")}, {b"127.0.0.2"})
        self.assertEqual(box(gw.pop3_port, "127.0.0.2", "me", "pw"), ["for anyone"])
        self.assertEqual(gw.run.stop(), 0)
        # The lines that answer a challenge are secrets too, with Debug=1.
        traces = "\n".join(gw.run.stdout)
        self.assertIn("SMTP DATA<-|****|", traces)
        self.assertNotIn(base64.b64encode(b"anything").decode(), traces)


if __name__ == "__main__":
    mail_gateway.main()
