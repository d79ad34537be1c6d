"""Mail programs against the real program: Python's smtplib, curl and swaks deliver mails over
SMTP; the jobs land in the stores and leave the simulated modem as SMS; failures come back as
reports in the POP3 store; waiting clients, switched-off PCs and the client limit."""

import base64
import os
import quopri
import socket
import subprocess
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, mail

CZECH = "Příliš žluťoučký kůň úpěl ďábelské ódy"
CZECH_ASCII = "Prilis zlutoucky kun upel dabelske ody"
# A relation at start and then every 8 s; no phone storage, a short pause between jobs.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=8000\nMemCheOn=0\nSendSMSDelay=100\n"
         "DNSOff=1\n")
# The servers open with the link, but a modem that never answers lists nothing, so no send
# phase takes the stores over: they keep what arrives.
STILL = "StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=600000\nDNSOff=1\n"
SILENT = ("--silent",)


def czech_mails():
    """The same Czech sentence in four character sets and transfer encodings."""
    return [
        ("+420603000002", mail(b"utf-8", CZECH.encode("utf-8"),
                               b"Content-Type: text/plain; charset=utf-8\r\n"
                               b"Content-Transfer-Encoding: 8bit\r\n")),
        ("+420603000003", mail(b"windows-1250 qp", quopri.encodestring(CZECH.encode("cp1250")),
                               b"Content-Type: text/plain; charset=\"windows-1250\"\r\n"
                               b"Content-Transfer-Encoding: quoted-printable\r\n")),
        ("+420603000004", mail(b"iso-8859-2 base64",
                               base64.encodebytes(CZECH.encode("iso8859_2")),
                               b"Content-Type: text/plain; charset=iso-8859-2\r\n"
                               b"Content-Transfer-Encoding: base64\r\n")),
        ("+420603000005", mail(b"utf-8 base64", base64.encodebytes(CZECH.encode("utf-8")),
                               b"Content-Type: text/plain; charset=UTF-8\r\n"
                               b"Content-Transfer-Encoding: BASE64\r\n")),
    ]


MULTIPART = mail(
    b"alternative",
    b"This is a multi-part message in MIME format.\r\n\r\n"
    b"--b1\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nPlain part\r\n"
    b"--b1\r\nContent-Type: text/html; charset=us-ascii\r\n\r\n<b>HTML part</b>\r\n--b1--\r\n",
    b"MIME-Version: 1.0\r\nContent-Type: multipart/alternative; boundary=\"b1\"\r\n")

LONG_TEXT = ("0123456789" * 31)[:306]


class SmtpToSms(unittest.TestCase):
    def test_smtplib_curl_and_swaks_store_their_mails(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        gw.smtplib(["+420603000001@sms.lan"], mail(b"from smtplib", b"Hello from smtplib"))

        body = os.path.join(gw.folder, "curl-mail.txt")
        k.write_bytes(body, mail(b"from curl", b"Hello from curl"))
        subprocess.run(["curl", "-sS", "--max-time", "20", "--url",
                        "smtp://127.0.0.1:%d" % gw.port, "--mail-from", "me@lan",
                        "--mail-rcpt", "+420603000002@sms.lan", "--upload-file", body],
                       check=True, capture_output=True)
        done = subprocess.run(["swaks", "--server", "127.0.0.1", "--port", str(gw.port),
                               "--helo", "pc3", "--from", "me@lan",
                               # A leading "+" would be taken for an option prefix.
                               "--to", "420603000003@sms.lan", "--header",
                               "Subject: from swaks", "--body", "Hello from swaks",
                               "--timeout", "20"],
                              capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout.decode(errors="replace"))

        jobs = gw.records("Smtp.Tmp")
        self.assertEqual([(j[0], j[2], j[3], j[4]) for j in jobs], [
            (b"127.0.0.1", b"<+420603000001@sms.lan>", b" from smtplib", b"Hello from smtplib"),
            (b"127.0.0.1", b"<+420603000002@sms.lan>", b" from curl", b"Hello from curl"),
            (b"127.0.0.1", b"<420603000003@sms.lan>", b" from swaks", b"Hello from swaks"),
        ])
        # Each client's EHLO was answered, and none reads like an attack. Log lines reach the
        # output with the next cycle, maybe after the client is done.
        self.assertTrue(k.wait_until(lambda: len(
            [l for l in gw.run.lines() if '" logged in' in l]) == 3), gw.run.lines())
        self.assertFalse([l for l in gw.run.lines() if "Denied" in l])
        self.assertEqual(gw.logged('SMTP client "127.0.0.1" connected'), 3)
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.1" disconnected') == 3))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        self.assertEqual(k.value(gw.folder, "CFG", "EmlInCnt"), "3")
        self.assertIsNotNone(k.value(gw.folder, "SmtpCliDateTime", "127.0.0.1"))
        self.assertEqual(k.value(gw.folder, "SmtpCliOnOff", "127.0.0.1"), "1")

    def test_mails_leave_the_modem_as_sms_and_failures_come_back(self):
        gw = Gateway(self, QUICK + "PDUText=0\nCutEMail=1\nConcatenateSMS=1\nPreSetTimeSw=1\n"
                     "PreSetErr=0\n")
        gw.smtplib(["+420603000001@sms.lan"], mail(b"ascii", b"Plain ASCII text"))
        for number, message in czech_mails():
            gw.smtplib([number + "@sms.lan"], message)
        gw.smtplib(["+420603000006@sms.lan"], MULTIPART)
        gw.smtplib(["+420603000007@sms.lan", "Office <+420603000008@sms.lan>"],
                   mail(b"two", b"For two"))
        gw.smtplib(["office@sms.lan"], mail(b"+420603000009", b"Number in subject"))
        gw.smtplib(["+420603000010@sms.lan"], mail(b"long", LONG_TEXT.encode()))
        gw.smtplib(["+420603000011@sms.lan"],
                   mail(b"SendTime 2099-01-01 10:00:00", b"Later"))
        gw.smtplib(["alice@lan", "bob@lan"], mail(b"nobody", b"No number"))
        gw.smtplib(["carol@lan"], mail(b"no number either", b"Nothing"))

        expected = [("+420603000001", "Plain ASCII text")]
        expected += [(n, CZECH_ASCII) for n, _ in czech_mails()]
        expected += [("+420603000006", "Plain part"), ("+420603000007", "For two"),
                     ("+420603000008", "For two"), ("+420603000009", "Number in subject")]
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= len(expected) + 2,
                                     DEADLINE), (gw.modem.sent(), gw.run.lines()))
        time.sleep(0.5)
        sent = gw.modem.sent()
        single = sorted((s[0], s[1]) for s in sent if s[4] == 0)
        self.assertEqual(single, sorted(expected))
        self.assertTrue(all(s[2] == "pdu" and s[6] == 0 for s in sent), sent)
        # 306 characters: two concatenated parts of 153 under one reference.
        parts = [s for s in sent if s[4] != 0]
        self.assertEqual([(s[0], s[4], s[5]) for s in parts],
                         [("+420603000010", 2, 1), ("+420603000010", 2, 2)])
        self.assertEqual(parts[0][3], parts[1][3])
        self.assertEqual(parts[0][1] + parts[1][1], LONG_TEXT)

        # The preset job waits in its own store.
        waiting = gw.records("SmtpWait.Tmp")
        self.assertEqual([w[2] for w in waiting], [b"<+420603000011@sms.lan>"])
        reports = gw.records("Pop3.Tmp")
        self.assertEqual(sorted((r[2], r[3]) for r in reports), [
            (b"<alice@lan>",
             b"Undispatched SMS:  (impossible to use a tel. number in address)  nobody"),
            (b"<bob@lan>",
             b"Undispatched SMS:  (impossible to use a tel. number in address)  nobody"),
            (b"<carol@lan>",
             b"Undispatched SMS:  (impossible to use a tel. number in subject)  no number either"),
        ])

    def test_ucs2_job_when_permitted(self):
        # Text mode: the PDU encoder writes the GSM alphabet only.
        gw = Gateway(self, QUICK + "PDUText=1\nSendUCS2SmsPermit=1\n")
        number, message = czech_mails()[0]
        gw.smtplib([number + "@sms.lan"], message)
        gw.smtplib(["+420603000001@sms.lan"], mail(b"ascii", b"Plain ASCII text"))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 2, DEADLINE),
                        gw.run.lines())
        sent = sorted((s[0], s[1], s[6]) for s in gw.modem.sent())
        self.assertEqual(sent, [("+420603000001", "Plain ASCII text", 0),
                                (number, CZECH, 8)])


def connect(port, source):
    s = socket.create_connection(("127.0.0.1", port), timeout=10,
                                 source_address=(source, 0))
    s.settimeout(10)
    return s


def read_line(s):
    data = b""
    while not data.endswith(b"\r\n"):
        chunk = s.recv(1)
        if not chunk:
            return None
        data += chunk
    return data[:-2]


def silent(s, seconds=0.6):
    """True when nothing arrives for a while and the connection stays open."""
    s.settimeout(seconds)
    try:
        s.recv(1)
        return False
    except socket.timeout:
        return True
    finally:
        s.settimeout(10)


def closed_at_once(s):
    try:
        return s.recv(1) == b""
    except ConnectionResetError:
        return True


class Admission(unittest.TestCase):
    def test_waiting_client_switched_off_pc_and_limit(self):
        gw = Gateway(self, STILL + "SmtpCliLimOn=1\nSmtpCliMax=1\n",
                     "[SmtpCliDateTime]\n127.0.0.5=46000\n[SmtpCliOnOff]\n127.0.0.5=0\n",
                     modem_args=SILENT)
        first = connect(gw.port, "127.0.0.1")
        self.addCleanup(first.close)
        self.assertEqual(read_line(first), b"220 Kolvane")
        second = connect(gw.port, "127.0.0.2")  # one switched-on PC before it: admitted
        self.addCleanup(second.close)
        self.assertTrue(silent(second))
        third = connect(gw.port, "127.0.0.3")   # two before it: over the limit
        self.addCleanup(third.close)
        self.assertTrue(closed_at_once(third))
        off = connect(gw.port, "127.0.0.5")
        self.addCleanup(off.close)
        self.assertTrue(closed_at_once(off))

        first.sendall(b"HELO one\r\n")
        self.assertEqual(read_line(first), b"250 Kolvane ONE")
        first.sendall(b"QUIT\r\n")
        self.assertEqual(read_line(first), b"221 Kolvane")
        self.assertTrue(closed_at_once(first))  # and the next client is served
        first.close()
        self.assertEqual(read_line(second), b"220 Kolvane")
        second.sendall(b"HELO two\r\n")
        self.assertEqual(read_line(second), b"250 Kolvane TWO")
        second.close()
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.2" disconnected') == 1))
        self.assertEqual([k.value(gw.folder, "SmtpCliOnOff", "127.0.0.%d" % i)
                          for i in (1, 2, 3, 5)], ["1", "1", "0", "0"])
        for i in (1, 2, 3, 5):
            self.assertEqual(gw.logged('SMTP client "127.0.0.%d" connected' % i), 1)


if __name__ == "__main__":
    mail_gateway.main()
