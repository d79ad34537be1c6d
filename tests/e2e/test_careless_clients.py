"""Careless and hostile LAN clients against the real program: silent and slow clients are
closed while the others are served beside them, what clients send never grows the
program's memory, a mail has a bounded number of recipients, a small descriptor table keeps
some for the stores and does not spin, every POP3 line is answered and control bytes never come back."""

import os
import poplib
import socket
import subprocess
import threading
import time
import unittest

import kolvane_e2e as k
import mail_gateway
import test_smtp
from mail_gateway import DEADLINE, Gateway
from test_smtp import read_line

# The modem never answers, so no send phase takes the stores over: they keep what arrives.
STILL = "StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=600000\nDNSOff=1\n"
SILENT = ("--silent",)
IDLE_MS = 1500
MB = 1024 * 1024


def connect(port, timeout=10):
    s = test_smtp.connect(port, "127.0.0.1")
    s.settimeout(timeout)
    return s


def say(s, line):
    s.sendall(line + b"\r\n")
    return read_line(s)


def closed(s):
    try:
        return s.recv(1) == b""
    except (ConnectionResetError, socket.timeout):
        return False


def memory_kb(pid):
    """(VmRSS, VmHWM) of a process in kB."""
    values = {}
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values["VmRSS"], values["VmHWM"]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def stream(s, total, chunk):
    """Sends total bytes of chunk repeated; stops quietly when the peer goes away."""
    try:
        while total > 0:
            s.sendall(chunk[:total])
            total -= len(chunk)
    except OSError:
        pass


class Silence(unittest.TestCase):
    def test_silent_and_slow_clients_are_closed_and_others_served_meanwhile(self):
        gw = Gateway(self, STILL, modem_args=SILENT, env={"KOLVANE_TEST_IDLE_MS": str(IDLE_MS)})
        silent = connect(gw.port)
        self.assertEqual(read_line(silent), b"220 Kolvane")
        for line, reply in ((b"HELO a", b"250 Kolvane A"), (b"MAIL FROM:<a@lan>", None),
                            (b"RCPT TO:<+420603000001@sms.lan>", None),
                            (b"DATA", b"354 Kolvane")):
            got = say(silent, line)
            if reply:
                self.assertEqual(got, reply)
        silent.sendall(b"Subject: half\r\n\r\nNever finished\r\n")
        slow = connect(gw.port)
        self.assertEqual(read_line(slow), b"220 Kolvane")
        after = connect(gw.port)
        self.assertEqual(read_line(after), b"220 Kolvane")
        self.assertEqual(say(after, b"HELO c"), b"250 Kolvane C")
        # One byte a second is never silence, but completes nothing.
        for b in b"HELO slow\r\nNOOP\r\n":
            try:
                slow.send(bytes([b]))
            except OSError:
                break
            time.sleep(0.25)
        self.assertTrue(closed(slow))
        self.assertTrue(closed(silent))
        self.assertEqual(gw.records("Smtp.Tmp"), [])
        lines = gw.run.lines()
        self.assertTrue(k.wait_until(
            lambda: len([l for l in gw.run.lines() if "silent for 1.5 s" in l]) >= 1, DEADLINE),
            lines[-5:])
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.1" completed nothing in 1.5 s: '
                              'connection closed') >= 1, DEADLINE), gw.run.lines()[-5:])

        pop_silent = connect(gw.pop3_port)
        self.assertEqual(read_line(pop_silent), b"+OK POP3 server ready")
        pop_next = connect(gw.pop3_port)
        self.assertEqual(read_line(pop_next), b"+OK POP3 server ready")
        self.assertTrue(closed(pop_silent))


class Memory(unittest.TestCase):
    def test_floods_leave_memory_bounded_and_the_client_answered(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        pid = gw.run.proc.pid
        served = connect(gw.port, timeout=60)
        self.assertEqual(read_line(served), b"220 Kolvane")

        # A flooding client's 300 MB never grow the memory, and the others are served meanwhile.
        flood = connect(gw.port)
        sender = threading.Thread(target=stream, args=(flood, 300 * MB, b"x" * MB), daemon=True)
        sender.start()
        sender.join(3)
        self.assertEqual(say(served, b"HELO one"), b"250 Kolvane ONE")
        flood.shutdown(socket.SHUT_RDWR)
        flood.close()
        sender.join(10)

        # One 200 MB line is refused whole; the dialogue goes on.
        served.sendall(b"HELO ")
        stream(served, 200 * MB, b"a" * MB)
        self.assertEqual(say(served, b""), b"500")
        self.assertEqual(say(served, b"HELO two"), b"250 Kolvane TWO")

        # A 40 MB mail is refused and nothing of it is stored.
        for line in (b"MAIL FROM:<me@lan>", b"RCPT TO:<+420603000001@sms.lan>"):
            say(served, line)
        self.assertEqual(say(served, b"DATA"), b"354 Kolvane")
        served.sendall(b"Subject: big\r\n\r\n")
        stream(served, 40 * MB, (b"y" * 1022 + b"\r\n") * 1024)
        self.assertEqual(say(served, b"."), b"552")
        self.assertEqual(say(served, b"HELO three"), b"250 Kolvane THREE")
        self.assertEqual(gw.records("Smtp.Tmp"), [])

        rss, peak = memory_kb(pid)
        self.assertLess(peak, 100 * 1024, (rss, peak))


class Recipients(unittest.TestCase):
    def test_at_most_100_recipients_and_one_job_per_number(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        s = connect(gw.port)
        read_line(s)
        say(s, b"HELO pc")
        say(s, b"MAIL FROM:<me@lan>")
        replies = [say(s, b"RCPT TO:<+420603%06d@sms.lan>" % i)[:3] for i in range(200)]
        self.assertEqual(replies, [b"250"] * 100 + [b"452"] * 100)
        self.assertEqual(say(s, b"DATA"), b"354 Kolvane")
        s.sendall(b"Subject: many\r\n\r\nTo many\r\n")
        self.assertEqual(say(s, b"."), b"250 Kolvane")

        # Several addresses with one number make one job.
        say(s, b"MAIL FROM:<me@lan>")
        for rcpt in (b"+420777000001@a.lan", b"+420777000001@b.lan", b"+420777000001@c.lan"):
            self.assertEqual(say(s, b"RCPT TO:<" + rcpt + b">")[:3], b"250")
        say(s, b"DATA")
        s.sendall(b"Subject: once\r\n\r\nOnce\r\n")
        self.assertEqual(say(s, b"."), b"250 Kolvane")
        jobs = [r[2] for r in gw.records("Smtp.Tmp")]
        self.assertEqual(jobs[:100], [b"<+420603%06d@sms.lan>" % i for i in range(100)])
        self.assertEqual(jobs[100:], [b"<+420777000001@a.lan>"])


class Descriptors(unittest.TestCase):
    def test_a_small_descriptor_table_keeps_some_for_the_stores_and_the_cpu_idle(self):
        gw = Gateway(self, STILL + "MailCliPerHostMax=1000\nMailCliTotalMax=1000\n",
                     modem_args=SILENT)
        pid = gw.run.proc.pid
        subprocess.run(["prlimit", "--pid", str(pid), "--nofile=64:64"], check=True)
        clients = [connect(gw.port) for _ in range(100)]
        self.addCleanup(lambda: [c.close() for c in clients])
        answers = [read_line(c) for c in clients]
        served = [c for c, a in zip(clients, answers) if a == b"220 Kolvane"]
        self.assertTrue(served, answers)
        self.assertEqual(len(served) + answers.count(b"421 4.7.0 Kolvane too many connections"),
                         100, answers)
        before = cpu_seconds(pid)
        time.sleep(3)
        self.assertLess(cpu_seconds(pid) - before, 0.5)

        # The descriptors kept in reserve store a mail.
        s = served[-1]
        for line in (b"HELO pc", b"MAIL FROM:<me@lan>", b"RCPT TO:<+420603000001@sms.lan>"):
            self.assertEqual(say(s, line)[:3], b"250")
        self.assertEqual(say(s, b"DATA"), b"354 Kolvane")
        s.sendall(b"Subject: kept\r\n\r\nStored all the same\r\n")
        self.assertEqual(say(s, b"."), b"250 Kolvane")
        self.assertEqual([r[4] for r in gw.records("Smtp.Tmp")], [b"Stored all the same"])

        for c in clients:
            c.close()
        self.assertTrue(k.wait_until(
            lambda: gw.logged('SMTP client "127.0.0.1" disconnected') == len(served)))
        late = connect(gw.port)
        self.assertEqual(read_line(late), b"220 Kolvane")


class Replies(unittest.TestCase):
    def test_every_pop3_line_is_answered_and_control_bytes_are_not_echoed(self):
        gw = Gateway(self, STILL, modem_args=SILENT)
        box = poplib.POP3("127.0.0.1", gw.pop3_port, timeout=10)
        box.user("anyone")
        box.pass_("secret")
        for ask in (lambda: box.top(1, 0), lambda: box._shortcmd("XYZZY"),
                    lambda: box._shortcmd("A" * 70000)):
            with self.assertRaises(poplib.error_proto) as caught:
                ask()
            self.assertEqual(caught.exception.args[0], b"-ERR")
        self.assertEqual(box.noop(), b"+OK")
        box.quit()
        box.close()
        for command in ("TOP 1 0", "XYZZY"):
            done = subprocess.run(["curl", "-sS", "--max-time", "10", "-u", "anyone:secret",
                                   "-X", command, "pop3://127.0.0.1:%d/" % gw.pop3_port],
                                  capture_output=True)
            self.assertNotEqual(done.returncode, 28, done.stderr)  # 28: timed out
            self.assertNotEqual(done.returncode, 0)

        s = connect(gw.port)
        read_line(s)
        self.assertEqual(say(s, b"HELO a\x00b\x1bc\x7f"), b"250 Kolvane A?B?C?")
        self.assertEqual(say(s, b"MAIL FROM:<x\x01y>"), b"250 Kolvane <x?y> sender ok")
        # The log line reaches the test through the program's output, after the reply.
        self.assertTrue(k.wait_until(
            lambda: any(l.endswith('SMTP client "a?b?c?" logged in') for l in gw.run.lines()),
            DEADLINE), gw.run.lines()[-5:])


if __name__ == "__main__":
    mail_gateway.main()
