"""Mail accounts from the command line: the password set from a pipe reaches the running
program at once, the settings file keeps only its hash, and no secret of a login reaches a
trace, with Debug=1."""

import base64
import os
import poplib
import smtplib
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway

SECRET = "Tajne-Heslo-9"


def password_tool(folder, *args, stdin=b""):
    done = subprocess.run([k.PROGRAM, *args, "--dir", folder], input=stdin, capture_output=True,
                          env=k.program_env(), timeout=DEADLINE)
    return done.returncode, done.stdout.decode("utf-8"), done.stderr.decode("utf-8")


class Accounts(unittest.TestCase):
    def test_password_tools_reach_the_running_program_and_no_secret_is_traced(self):
        gw = Gateway(self, "Debug=1\nLogFiOn=1\n", sections="[Other]\nKeep=this\n")
        rc, out, err = password_tool(gw.folder, "--set-password", "alice",
                                     stdin=(SECRET + "\n").encode())
        self.assertEqual((rc, err), (0, ""))
        self.assertEqual(len(out.splitlines()), 1)
        self.assertIn("the running program took it over", out)
        self.assertTrue(k.wait_until(
            lambda: gw.logged("Mail accounts reloaded: alice in force"), DEADLINE), gw.run.lines())
        text = k.read_bytes(k.settings_path(gw.folder)).decode("utf-8")
        self.assertRegex(text, r"\[MailUsers\]\r?\nalice=\$y\$")
        self.assertNotIn(SECRET, text)
        self.assertIn("Keep=this", text)
        self.assertEqual(password_tool(gw.folder, "--set-password", "bob", stdin=b"\n")[0], 1)

        # Logins with the secret, both servers, every way a client may send it.
        payload = base64.b64encode(b"\0alice\0" + SECRET.encode()).decode()
        box = poplib.POP3("127.0.0.1", gw.pop3_port, timeout=20)
        box.user("alice")
        box.pass_(SECRET)
        box.quit()
        for command in ("AUTH PLAIN " + payload, "AUTH PLAIN"):
            s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
            s.ehlo()
            code, _ = s.docmd(command)
            if code == 334:
                s.docmd(payload)
            s.quit()
        self.assertTrue(k.wait_until(lambda: any("PASS ****" in l for l in gw.run.lines())))
        self.assertTrue(any("AUTH PLAIN ****" in l for l in gw.run.lines()), gw.run.lines())

        rc, out, _ = password_tool(gw.folder, "--delete-user", "ALICE")
        self.assertEqual(rc, 0)
        self.assertTrue(k.wait_until(
            lambda: gw.logged("Mail accounts reloaded: 0 in force"), DEADLINE), gw.run.lines())
        self.assertEqual(password_tool(gw.folder, "--delete-user", "alice")[0], 1)
        # The program's own write-back at its end leaves the accounts as the tools made them.
        self.assertEqual(password_tool(gw.folder, "--set-password", "bob", stdin=b"pw\n")[0], 0)
        self.assertEqual(gw.run.stop(), 0)
        self.assertRegex(k.read_bytes(k.settings_path(gw.folder)).decode(), r"\nbob=\$y\$")

        traces = "\n".join(gw.run.stdout + gw.run.stderr)
        for name in os.listdir(gw.folder):
            path = os.path.join(gw.folder, name)
            if os.path.isfile(path):
                traces += k.read_bytes(path).decode("utf-8", "replace")
        for secret in (SECRET, payload, base64.b64encode(SECRET.encode()).decode()):
            self.assertNotIn(secret, traces)
        self.assertNotIn("[MailUsers]\r\nalice", k.read_bytes(k.settings_path(gw.folder)).decode())


if __name__ == "__main__":
    mail_gateway.main()
