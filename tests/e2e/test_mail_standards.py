"""Mail programs rely on the standards: every SMTP command is answered and QUIT closes; a mail
becomes the SMS a person would expect or is refused; POP3 keeps every message until it is
fetched, with ids and sizes clients can trust, and Python's email reads each message right."""

import base64
import email
import email.policy
import os
import poplib
import shutil
import smtplib
import subprocess
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, mail

QUICK = ("StartGo=1\nOnLine=1\nIntervalOnLine=8000\nMemCheOn=0\nSendSMSDelay=100\n"
         "DNSOff=1\n")
STILL = "StartGo=1\nOnLine=1\nIntervalOnLine=600000\nDNSOff=1\n"


def multipart(kind, parts, preamble=b"This is a multi-part message in MIME format.\r\n"):
    body = preamble
    for headers, text in parts:
        body += b"--b1\r\n" + headers + b"\r\n" + text + b"\r\n"
    return mail(b"parts", body + b"--b1--\r\n",
                b"MIME-Version: 1.0\r\nContent-Type: multipart/%s; boundary=\"b1\"\r\n" % kind)


HTML = (b"<html><head><style>p {color: red}</style><title>T</title></head><body>"
        b"<p>Dear Jan,</p><p>Fish &amp; chips&nbsp;at 5 &lt;ok&gt;?<br>Caf&#233;</p>"
        b"<script>alert(1)</script></body></html>")
# The simulator writes a line end of a sent text as "\n".
HTML_TEXT = "Dear Jan,\\nFish & chips at 5 <ok>?\\nCafe"
HTML_TYPE = b"Content-Type: text/html; charset=utf-8\r\n"


class Smtp(unittest.TestCase):
    def test_every_command_is_answered_and_quit_closes(self):
        gw = Gateway(self, STILL, modem_args=("--silent",))
        s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
        self.assertEqual(s.noop()[0], 250)
        self.assertEqual(s.verify("someone@lan")[0], 252)
        self.assertEqual(s.docmd("HELP")[0], 214)
        self.assertEqual(s.docmd("EXPN list")[0], 502)
        self.assertEqual(s.docmd("XYZZY")[0], 502)
        # An address without "@" makes no SMS: refused at once.
        s.helo("pc1")
        s.mail("me@lan")
        self.assertEqual(s.rcpt("<+420777500009>")[0], 550)
        self.assertEqual(s.rcpt("+420777500010@sms.lan")[0], 250)
        # Empty, or only an attachment: nothing to send, so refused.
        for message in (mail(b"empty", b""),
                        multipart(b"mixed", [(b"Content-Type: application/pdf\r\n"
                                              b"Content-Disposition: attachment; "
                                              b"filename=a.pdf\r\n", b"JVBERi0=")])):
            self.assertEqual(s.data(message)[0], 554)
            s.mail("me@lan")
            s.rcpt("+420777500010@sms.lan")
        self.assertEqual(s.quit()[0], 221)
        self.assertEqual(gw.records("Smtp.Tmp"), [])
        self.assertEqual(gw.records("Pop3.Tmp"), [])

        swaks = subprocess.run(["swaks", "--server", "127.0.0.1", "--port", str(gw.port),
                                "--helo", "pc3", "--from", "me@lan", "--to",
                                "420603000003@sms.lan", "--body", "Hello", "--timeout", "20"],
                               capture_output=True)
        self.assertEqual(swaks.returncode, 0, swaks.stdout)
        for flag in (b"<**", b"***"):
            self.assertNotIn(flag, swaks.stdout + swaks.stderr)
        path = os.path.join(gw.folder, "curl-mail.txt")
        k.write_bytes(path, mail(b"from curl", b"Hello from curl"))
        subprocess.run(["curl", "-sS", "--max-time", "20", "--url",
                        "smtp://127.0.0.1:%d" % gw.port, "--mail-from", "me@lan",
                        "--mail-rcpt", "+420603000002@sms.lan", "--upload-file", path],
                       check=True, capture_output=True, timeout=30)
        self.assertEqual(len(gw.records("Smtp.Tmp")), 2)

    def test_the_sms_is_the_text_a_person_expects(self):
        gw = Gateway(self, QUICK + "PDUText=0\n")
        attached = multipart(b"mixed", [
            (b"Content-Type: text/plain; charset=utf-8\r\n", b"See the notes_v2."),
            (b"Content-Type: text/plain; name=\"notes.txt\"\r\n"
             b"Content-Disposition: attachment; filename=\"notes.txt\"\r\n", b"secret notes")])
        nested = multipart(b"mixed", [
            (b"Content-Type: multipart/alternative; boundary=\"b2\"\r\n",
             b"--b2\r\nContent-Type: text/plain\r\n\r\nPlain first\r\n--b2\r\n"
             + HTML_TYPE + b"\r\n<p>Html</p>\r\n--b2--"),
            (b"Content-Type: text/plain; name=\"x.txt\"\r\n", b"attached")])
        sends = [
            (["+420603000001@sms.lan"], mail(b"html only", HTML, HTML_TYPE)),
            (["+420603000002@sms.lan"], multipart(b"alternative", [(HTML_TYPE, HTML)])),
            (["+420603000003@sms.lan"], attached),
            (["+420603000004@sms.lan"], nested),
            # One phone written two ways is one SMS.
            (["+420777000010@sms.lan", "420777000010@sms.lan", "00420777000010@sms.lan"],
             mail(b"twice", b"Once only")),
            # The number in a subject: encoded words decoded, times skipped.
            (["office@lan"], mail(b"=?UTF-8?B?%s?=" % base64.b64encode(
                "Žádost +420777700001".encode()), b"Encoded")),
            (["office@lan"], mail(b"Meeting 10:30 +420777700002", b"Meeting")),
        ]
        for rcpts, message in sends:
            gw.smtplib(rcpts, message)
        expected = [("+420603000001", HTML_TEXT), ("+420603000002", HTML_TEXT),
                    ("+420603000003", "See the notes_v2."), ("+420603000004", "Plain first"),
                    ("+420777000010", "Once only"), ("+420777700001", "Encoded"),
                    ("+420777700002", "Meeting")]
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= len(expected), DEADLINE),
                        (gw.modem.sent(), gw.run.lines()))
        time.sleep(1)
        self.assertEqual(sorted(s[:2] for s in gw.modem.sent()), sorted(expected))
        self.assertEqual(gw.records("Pop3.Tmp"), [])


def message_of(box, n):
    _, lines, octets = box.retr(n)
    return email.message_from_bytes(b"\n".join(lines) + b"\n", policy=email.policy.default), octets


class Pop3(unittest.TestCase):
    def test_looking_loses_nothing_and_ids_and_sizes_hold(self):
        gw = Gateway(self, QUICK)
        texts = [".dot first line", "  blanks at both ends  ", "under_score", "a = b, " * 20,
                 "Zdravím, ě\nnext line"]
        for text in texts:
            gw.modem.inject("+420777111222", text)
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == len(texts),
                                     DEADLINE), gw.run.lines())
        # A report of a mail that could not be sent, and an entry with bytes that are not UTF-8.
        gw.smtplib(["nobody@lan"], mail(b"no number", b"Undispatched text"))
        with open(os.path.join(gw.folder, "Pop3.Tmp"), "ab") as f:
            f.write(b"PosID: %s999999\r\nNamePC: \r\nFrom: <x>\r\nTo: <kolvane>\r\n"
                    b"Subject: Raw =E9\r\n\r\nLatin-1 \xe9t\xe9\r\n.\r\n"
                    % time.strftime("%y%m%d").encode())
        total = len(texts) + 2

        def session():
            box = poplib.POP3("127.0.0.1", gw.pop3_port, timeout=20)
            box.user("anyone")
            box.pass_("x")
            return box

        # A mail checker that only looks, and curl listing the box.
        box = session()
        self.assertEqual(box.stat()[0], total)
        uids = box.uidl()[1]
        self.assertEqual(box.uidl(2).split()[2], uids[1].split()[1])
        box.quit()
        if shutil.which("curl"):
            out = subprocess.run(["curl", "-sS", "-u", "anyone:x", "--max-time", "30",
                                  "pop3://127.0.0.1:%d/" % gw.pop3_port],
                                 capture_output=True, timeout=60)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertEqual(len(out.stdout.splitlines()), total)

        box = session()
        self.assertEqual(box.stat()[0], total)
        self.assertEqual(box.uidl()[1], uids)  # the same ids in every session
        sizes = {int(n): int(size) for n, size in (l.split() for l in box.list()[1])}
        got = []
        for n in range(1, total + 1):
            msg, octets = message_of(box, n)
            self.assertEqual(octets, sizes[n])
            got.append((str(msg["Subject"]), msg.get_content()))
        box.dele(1)
        self.assertNotIn(b"1", [l.split()[0] for l in box.list()[1]])
        self.assertRaises(poplib.error_proto, box.retr, 1)
        box.quit()
        self.assertEqual([body.rstrip("\n") for _, body in got[:len(texts)]], texts)
        self.assertEqual(got[-2][0], "Undispatched SMS:  (impossible to use a tel. number in "
                                     "subject)  no number")
        self.assertEqual(got[-2][1], "The SMS to ? was not sent.\n"
                                     "Reason: impossible to use a tel. number in subject\n\n"
                                     "Your text:\nUndispatched text\n")
        self.assertEqual(got[-1], ("Raw =E9", "Latin-1 été\n"))

        # Retrieved messages leave the box.
        box = session()
        self.assertEqual(box.stat(), (0, 0))
        box.quit()


if __name__ == "__main__":
    mail_gateway.main()
