"""Relations with the simulated modem over real transports: TCP, a pseudo-terminal as serial
port, and the demo mode that starts the modem itself."""

import os
import re
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import ModemProcess as Modem

RELATION_DEADLINE = 60.0
# Short relations: no phone storage, no wait before the send phase.
# Debug shows every relation's end, which an idle log tells only once an hour.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=9000\nMemCheOn=0\nSendSMSDelay=100\n"
         "Debug=1\n")


def count(run, text):
    return sum(1 for line in run.lines() if line.endswith("  " + text))


def children(pid):
    try:
        with open("/proc/%d/task/%d/children" % (pid, pid)) as f:
            return [int(p) for p in f.read().split()]
    except OSError:
        return []


class Relations(unittest.TestCase):
    def assert_received_once(self, run, folder, text):
        # Listed, stored and deleted in the first relation; the next one finds the SIM empty.
        self.assertEqual(count(run, "GSM gateway received 1 SMS to SIM"), 1, run.lines())
        self.assertEqual(count(run, "POP3 server saved 1 SMS"), 1, run.lines())
        with open(os.path.join(folder, "Pop3.Tmp"), "rb") as f:
            self.assertIn(text, f.read())

    def test_tcp_gateway(self):
        modem = Modem(self, "--tcp", "0", "--sms", "+420777111222:Hello from TCP")
        port = re.search(r":(\d+)$", modem.ready).group(1)
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\n%s"
                    % (port, QUICK + mail_gateway.free_mail_ports()))
        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: count(run, "GSM Gate disconnected") >= 2,
                                     RELATION_DEADLINE), run.lines())
        self.assertGreaterEqual(count(run, "GSM gateway connected"), 2)
        self.assert_received_once(run, folder, b"Hello from TCP")
        self.assertEqual(run.stop(), 0)

    def test_pseudo_terminal_as_serial_port(self):
        folder = k.new_folder(self)
        link = os.path.join(folder, "modem")
        modem = Modem(self, "--pty", link, "--sms", "+420777111222:Hello from the port")
        self.assertTrue(modem.ready.startswith("modemsim pty "), modem.ready)
        k.write_ini(folder, "[CFG]\nComTcp=0\nComName=%s\n%s" % (link, QUICK + mail_gateway.free_mail_ports()))
        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: count(run, link + " disconnected") >= 2,
                                     RELATION_DEADLINE), run.lines())
        self.assertGreaterEqual(count(run, link + " connected"), 2)
        self.assert_received_once(run, folder, b"Hello from the port")
        self.assertEqual(run.stop(), 0)

    def test_demo_runs_the_modem_beside_the_gateway_and_stops_it(self):
        folder = os.path.join(k.new_folder(self), "demo")
        run = k.Running(None, "--demo", folder)
        self.addCleanup(run.kill)
        run.wait_ready()
        self.assertTrue(k.wait_until(
            lambda: count(run, "Connection to GSM Gate through ethernet succeeded") >= 1,
            RELATION_DEADLINE), run.lines())
        modems = children(run.proc.pid)
        self.assertEqual(len(modems), 1)
        self.assertEqual(k.value(folder, "CFG", "ComTcp"), "1")
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "2525")
        self.assertEqual(k.value(folder, "CFG", "Pop3Port"), "2110")
        self.assertEqual(run.stop(timeout=RELATION_DEADLINE), 0)
        self.assertFalse(os.path.exists("/proc/%d" % modems[0]))


if __name__ == "__main__":
    mail_gateway.main()
