"""The POP3 server of the running program: records written into the POP3 store are fetched
whole with poplib and with curl, and the next session of the same PC gets only newer ones."""

import os
import poplib
import shutil
import subprocess
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway


def record(pos_id, body, name_pc=""):
    """One record in the store layout."""
    lines = ["PosID: " + pos_id, "NamePC: " + name_pc, "From: <+420777111222@sms.example>",
             "To: <kolvane>", "Subject: SMS from phone No.: +420777111222", "", body, "."]
    return ("\r\n".join(lines) + "\r\n").encode("ascii")


class Pop3(unittest.TestCase):
    def setUp(self):
        gw = Gateway(self, "StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=9000\nMemCheOn=0\nDNSOff=1\n")
        self.folder, self.port, self.run_ = gw.folder, gw.pop3_port, gw.run
        self.today = time.strftime("%y%m%d")

    def append(self, data):
        with open(os.path.join(self.folder, "Pop3.Tmp"), "ab") as f:
            f.write(data)

    def session(self):
        box = poplib.POP3("127.0.0.1", self.port, timeout=20)
        box.user("anyone")
        box.pass_("secret")
        return box

    def test_fetch_whole_then_only_newer(self):
        big = "\r\n".join("line %05d of the long message" % i for i in range(3500))
        self.assertGreater(len(big), 100_000)
        self.append(record(self.today + "000001", "Hello from the phone"))
        self.append(record(self.today + "000002", big))

        box = self.session()
        self.assertEqual(box.stat()[0], 2)
        _, lines, _ = box.retr(1)
        self.assertIn(b"From: <+420777111222@sms.example>", lines)
        self.assertEqual(lines[-1], b"Hello from the phone")
        _, lines, _ = box.retr(2)
        body = lines[lines.index(b"") + 1:]
        self.assertEqual(b"\r\n".join(body).decode(), big)
        box.dele(1)
        box.dele(2)
        box.quit()

        self.append(record(self.today + "000003", "Newer text"))
        curl = shutil.which("curl")
        if curl:
            out = subprocess.run([curl, "-s", "-u", "anyone:secret", "--max-time", "30",
                                  "pop3://127.0.0.1:%d/1" % self.port],
                                 capture_output=True, timeout=60)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertTrue(out.stdout.rstrip(b"\r\n").endswith(b"\r\n\r\nNewer text"), out.stdout)
            self.assertIn(b"Subject: SMS from phone No.: +420777111222", out.stdout)

        box = self.session()
        self.assertEqual(box.stat()[0], 0 if curl else 1)
        box.quit()
        self.assertTrue(k.wait_until(
            lambda: any("POP3 client received 2 SMS" in l for l in self.run_.lines())))
        self.assertEqual(self.run_.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
