"""Mail sessions side by side against the built program: silent, trickling, flooding or
connect-and-leave clients keep no other PC waiting; a laptop's second POP3 session replaces
its first; QUIT closes; LF files go through curl; commands out of order get 503; twenty PCs
polling while SMS arrive each get every SMS once."""

import os
import poplib
import smtplib
import socket
import subprocess
import threading
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, Pop3From, fetch_all, mail
from test_smtp import connect, read_line

STILL = "StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=600000\nDNSOff=1\n"
SILENT = ("--silent",)
# "At once": what a mail program on the LAN would not notice.
AT_ONCE = 3.0


def timed(what):
    began = time.monotonic()
    result = what()
    return result, time.monotonic() - began


def closed(s, seconds=AT_ONCE):
    s.settimeout(seconds)
    try:
        while True:
            if s.recv(4096) == b"":
                return True
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


class SideBySide(unittest.TestCase):
    def test_silent_sessions_keep_no_one_waiting(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        smtp_silent = connect(gw.port, "127.0.0.9")
        self.addCleanup(smtp_silent.close)
        self.assertEqual(read_line(smtp_silent), b"220 Kolvane")
        smtp_silent.sendall(b"HELO sleeper\r\nMAIL FROM:<a@lan>\r\n")
        pop_silent = connect(gw.pop3_port, "127.0.0.9")
        self.addCleanup(pop_silent.close)
        self.assertEqual(read_line(pop_silent), b"+OK POP3 server ready")
        pop_silent.sendall(b"USER sleeper\r\n")

        _, took = timed(lambda: gw.smtplib(["+420603000001@sms.lan"],
                                           mail(b"meanwhile", b"sent meanwhile"), "127.0.0.2"))
        self.assertLess(took, AT_ONCE)
        self.assertEqual([r[4] for r in gw.records("Smtp.Tmp")], [b"sent meanwhile"])
        _, took = timed(lambda: fetch_all(gw.pop3_port, "127.0.0.2"))
        self.assertLess(took, AT_ONCE)  # its own 1 s pause after the connect, nothing more

    def test_a_trickling_client_is_closed_at_its_limit_and_others_served_meanwhile(self):
        gw = Gateway(self, STILL, modem_args=SILENT, env={"KOLVANE_TEST_IDLE_MS": "4000"})
        slow = connect(gw.port, "127.0.0.9")
        self.addCleanup(slow.close)
        self.assertEqual(read_line(slow), b"220 Kolvane")
        began = time.monotonic()
        served = 0
        stop = threading.Event()

        def trickle():
            try:
                while not stop.is_set():
                    for b in b"NOOP\r\n":
                        slow.send(bytes([b]))
                        time.sleep(0.2)
            except OSError:
                pass

        t = threading.Thread(target=trickle, daemon=True)
        t.start()
        self.addCleanup(stop.set)
        while time.monotonic() - began < 3:
            _, took = timed(lambda: gw.smtplib(["+420603000002@sms.lan"],
                                               mail(b"m", b"meanwhile %d" % served), "127.0.0.2"))
            self.assertLess(took, AT_ONCE)
            served += 1
        self.assertTrue(closed(slow, 8))
        self.assertLess(time.monotonic() - began, 4 + 2)
        self.assertTrue(k.wait_until(lambda: gw.logged(
            'SMTP client "127.0.0.9" completed nothing in 4 s: connection closed') == 1))
        self.assertEqual(len(gw.records("Smtp.Tmp")), served)

    def test_500_idle_connections_are_refused_or_served_at_once(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        flood = []
        self.addCleanup(lambda: [s.close() for s in flood])
        answers = []
        for i in range(500):
            s = connect(gw.port, "127.0.0.9")
            flood.append(s)
        for s in flood:
            answers.append(read_line(s))
        self.assertEqual(answers.count(b"220 Kolvane"), 10)
        self.assertEqual(answers.count(b"421 4.7.0 Kolvane too many connections"), 490)
        extra, took = timed(lambda: read_line(connect(gw.port, "127.0.0.9")))
        self.assertEqual(extra, b"421 4.7.0 Kolvane too many connections")
        self.assertLess(took, AT_ONCE)
        _, took = timed(lambda: gw.smtplib(["+420603000003@sms.lan"], mail(b"m", b"normal"),
                                           "127.0.0.2"))
        self.assertLess(took, AT_ONCE)
        # The bounds hold for both servers together.
        pop = connect(gw.pop3_port, "127.0.0.9")
        self.addCleanup(pop.close)
        self.assertEqual(read_line(pop), b"-ERR [SYS/TEMP] too many connections")
        for s in flood[:10]:
            s.close()
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.9" disconnected') == 10))
        pops = [connect(gw.pop3_port, "127.0.0.9") for _ in range(11)]
        self.addCleanup(lambda: [s.close() for s in pops])
        replies = [read_line(s) for s in pops]
        self.assertEqual(replies.count(b"+OK POP3 server ready"), 10)
        self.assertEqual(replies.count(b"-ERR [SYS/TEMP] too many connections"), 1)
        self.assertEqual(gw.logged('SMTP server refused a connection from 127.0.0.9: too many '
                                   'connections'), 1)  # not once a connection

    def test_a_connect_and_leave_loop_delays_nobody(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        stop = threading.Event()
        self.addCleanup(stop.set)

        def churn():
            while not stop.is_set():
                try:
                    socket.create_connection(("127.0.0.1", gw.pop3_port), timeout=5,
                                             source_address=("127.0.0.9", 0)).close()
                except OSError:
                    pass
                time.sleep(0.05)

        threading.Thread(target=churn, daemon=True).start()
        time.sleep(1)
        for _ in range(3):
            _, took = timed(lambda: fetch_all(gw.pop3_port, "127.0.0.2"))
            self.assertLess(took, AT_ONCE)


class Pop3Sessions(unittest.TestCase):
    def test_a_laptops_second_session_replaces_its_first(self):
        gw = Gateway(self, "OnLine=1\nDNSOff=1\n")
        for i in range(2):
            gw.modem.inject("+420777000111", "sms %d" % i)
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == 2, DEADLINE))
        asleep = Pop3From(gw.pop3_port, "127.0.0.5")
        asleep.user("me")
        asleep.pass_("x")
        asleep.dele(1)  # never confirmed by QUIT
        awake = Pop3From(gw.pop3_port, "127.0.0.5")
        awake.user("me")
        awake.pass_("x")
        self.assertEqual(awake.stat()[0], 2)
        self.assertRaises((poplib.error_proto, OSError), asleep.noop)
        awake.quit()
        self.assertTrue(k.wait_until(lambda: gw.logged(
            'POP3 client "127.0.0.5" logged in again: its earlier session is closed, its '
            'deletions dropped') == 1))

    def test_nc_ends_at_quit(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        run, took = timed(lambda: subprocess.run(
            ["nc", "127.0.0.1", str(gw.pop3_port)], input=b"USER a\r\nPASS b\r\nSTAT\r\nQUIT\r\n",
            capture_output=True, timeout=30))
        self.assertEqual(run.stdout, b"+OK POP3 server ready\r\n+OK\r\n+OK\r\n+OK 0 0\r\n+OK\r\n")
        self.assertLess(took, AT_ONCE)


class SmtpDialogue(unittest.TestCase):
    def test_curl_uploads_an_lf_file_and_order_is_kept(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        path = os.path.join(gw.folder, "alert.txt")
        k.write_bytes(path, b"From: alarm@lan\nSubject: alert\n\nPump 3 stopped\nat 10:05\n")
        subprocess.run(["curl", "-sS", "--max-time", "20", "--url",
                        "smtp://127.0.0.1:%d" % gw.port, "--mail-from", "alarm@lan",
                        "--mail-rcpt", "+420603000004@sms.lan", "--upload-file", path],
                       check=True, capture_output=True, timeout=30)
        records = gw.records("Smtp.Tmp")
        self.assertEqual(len(records), 1)
        self.assertEqual(records[0][3].strip(), b"alert")
        self.assertIn(b"Pump 3 stopped", records[0][4])

        s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
        s.helo("pc1")
        bad = (503, b"5.5.1 Kolvane bad sequence of commands")
        self.assertEqual(s.docmd("RCPT", "TO:<+420603000005@sms.lan>"), bad)
        self.assertEqual(s.docmd("DATA"), bad)
        s.mail("me@lan")
        self.assertEqual(s.docmd("DATA"), bad)
        s.quit()


class Polling(unittest.TestCase):
    def test_20_pcs_polling_every_second_each_get_every_sms_once(self):
        gw = Gateway(self, "OnLine=1\nIntervalOnLine=2000\nDNSOff=1\n")
        stop = threading.Event()
        self.addCleanup(stop.set)
        got = {i: [] for i in range(20)}
        errors = []

        def poll(i):
            while not stop.is_set():
                try:
                    got[i].extend(body for _, body in fetch_all(gw.pop3_port, "127.0.1.%d" % i))
                except (OSError, poplib.error_proto) as e:
                    errors.append(repr(e))
                stop.wait(1.0)

        for i in range(20):
            threading.Thread(target=poll, args=(i,), daemon=True).start()
        texts = ["arrival %d" % n for n in range(200)]
        for n, text in enumerate(texts):
            gw.modem.inject("+420777%06d" % n, text)
            if n % 20 == 19:
                time.sleep(1)
        self.assertTrue(k.wait_until(
            lambda: all(len(v) >= 200 for v in got.values()), 240), {i: len(v) for i, v in got.items()})
        time.sleep(3)
        stop.set()
        for i in range(20):
            self.assertEqual(sorted(got[i]), sorted(texts), i)
        self.assertEqual(errors, [])


if __name__ == "__main__":
    mail_gateway.main()
