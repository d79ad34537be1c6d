"""An office's traffic against the built program and kolvane-modemsim: mail programs polling
POP3 every second and a mail every 3 s while SMS arrive and leave, and stops in the middle of
it. Nothing of the mail traffic keeps a relation open, and a stop ends the relation at its next
safe point."""

import os
import sys
import threading
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, fetch_all, mail


def stop_timed(run):
    """SIGTERM; the exit code and the seconds to the end (shown, not judged: the stop figures
    are the benchmark's)."""
    began = time.monotonic()
    code = run.stop(timeout=DEADLINE)
    sys.stderr.write("SIGTERM to exit: %.2f s\n" % (time.monotonic() - began))
    return code


class Poller(threading.Thread):
    """A mail program that checks its mailbox every second."""

    def __init__(self, port):
        super().__init__(daemon=True)
        self.port = port
        self.bodies = []
        self.sessions = 0
        self.done = threading.Event()

    def run(self):
        while not self.done.is_set():
            try:
                self.bodies += [body for _, body in fetch_all(self.port)]
                self.sessions += 1
            except OSError:
                pass
            self.done.wait(1.0)


class OfficeTraffic(unittest.TestCase):
    def test_polling_and_mail_do_not_hold_the_relation(self):
        # Debug shows every relation's end.
        gw = Gateway(self, "OnLine=1\nDNSOff=1\nDebug=1\n")
        poller = Poller(gw.pop3_port)
        poller.start()
        self.addCleanup(poller.done.set)
        numbers = ["+42077712%04d" % i for i in range(8)]
        for i, number in enumerate(numbers):
            gw.smtplib(["%s@sms.lan" % number], mail(b"office", b"mail %d" % i))
            gw.modem.inject("+420777999000", "incoming %d" % i)
            time.sleep(3)
        ends = gw.logged("GSM Gate disconnected")
        # Every mail left and every SMS reached the mail program within a relation or two.
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM Gate disconnected") >= ends + 2
                                     or (len(gw.modem.sent()) == 8 and len(poller.bodies) == 8),
                                     DEADLINE), gw.run.lines()[-30:])
        self.assertTrue(k.wait_until(lambda: len(poller.bodies) == 8, 5), poller.bodies)
        self.assertEqual(sorted(r[0] for r in gw.modem.sent()), numbers)
        self.assertEqual(sorted(poller.bodies), ["incoming %d" % i for i in range(8)])
        self.assertGreater(poller.sessions, 10)  # each session waits 1 s after its connect
        self.assertEqual(stop_timed(gw.run), 0)
        poller.done.set()

    def test_sigterm_mid_burst_and_after_it(self):
        gw = Gateway(self, "OnLine=1\nSendFiTxtDelay=1\nDNSOff=1\n")
        numbers = ["+42077713%04d" % i for i in range(20)]
        with open(os.path.join(gw.folder, "SendUp.txt"), "w") as f:
            f.writelines("%s\tburst job\r\n" % n for n in numbers)
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 3, DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(stop_timed(gw.run), 0)
        self.assertLess(len(gw.modem.sent()), 20)
        # The rest leaves after a restart; only the job in flight may have gone twice.
        gw.run = k.start(self, gw.folder)
        self.assertTrue(k.wait_until(lambda: set(r[0] for r in gw.modem.sent()) == set(numbers),
                                     DEADLINE), gw.run.lines()[-30:])
        sent = [r[0] for r in gw.modem.sent()]
        self.assertLessEqual(len(sent) - len(set(sent)), 1, sent)

        # Right after a burst of received SMS: stored once and gone from the SIM.
        for i in range(10):
            gw.modem.inject("+420777999111", "after %d" % i)
        self.assertTrue(k.wait_until(
            lambda: sum(r[4].startswith(b"after ") for r in gw.records("Pop3.Tmp")) == 10,
            DEADLINE), gw.run.lines()[-30:])
        self.assertEqual(stop_timed(gw.run), 0)
        self.assertEqual(len(gw.modem.commands("AT+CMGD=")), 10)
        self.assertEqual(sum(r[4].startswith(b"after ") for r in gw.records("Pop3.Tmp")), 10)


if __name__ == "__main__":
    mail_gateway.main()
