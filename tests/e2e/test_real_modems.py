"""The program with a modem as real ones are: a SIM that asks for its PIN, unsolicited codes
arriving every 0.15 s (even between the send command and its prompt), received SMS announced
with +CMTI, a modem that refuses the announcements, and a network that is not there."""

import os
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import Gateway, mail

DEADLINE = 120.0
PIN = "4719"
# On-line with the default interval and announcements; no pause before the send phase.
ONLINE = "StartGo=1\nOnLine=1\nSendSMSDelay=100\nSendFiTxtDelay=1\nDNSOff=1\nDebug=1\n"


def story(gw):
    """The log without the traces of what the modem said."""
    return [l for l in gw.run.lines() if "->|" not in l and "<-|" not in l][:60]


def bodies(gw):
    return [body for *_, body in gw.records("Pop3.Tmp")]


def drop(gw, jobs):
    k.write_bytes(os.path.join(gw.folder, "SendUp.txt"),
                  b"".join(b"%s\t%s\r\n" % (n.encode(), t.encode()) for n, t in jobs))


class RealModems(unittest.TestCase):
    def assert_pin_never_shown(self, gw):
        self.assertFalse([l for l in gw.run.lines() if PIN in l])
        for name in os.listdir(gw.folder):
            path = os.path.join(gw.folder, name)
            if os.path.isfile(path) and not name.startswith("modem-") and name != "Kolvane.ini":
                self.assertNotIn(PIN.encode(), k.read_bytes(path), name)

    def test_pin_locked_sim_with_the_right_pin_sends_and_receives(self):
        gw = Gateway(self, ONLINE + "SimPin=%s\n" % PIN,
                     modem_args=("--pin", PIN, "--sms", "+420777111222:Hello after the PIN"))
        drop(gw, [("+420777333444", "Sent after the PIN")])
        self.assertTrue(k.wait_until(lambda: len(gw.modem.rows()) == 1
                                     and b"Hello after the PIN" in bodies(gw), DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.modem.commands("AT+CPIN="), ['AT+CPIN="%s"' % PIN])
        self.assertEqual(gw.logged("SIM PIN entered"), 1)
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        self.assert_pin_never_shown(gw)

    def test_a_wrong_pin_is_tried_once_and_the_jobs_wait(self):
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\nSimPin=1111\n",
                     modem_args=("--pin", PIN))
        drop(gw, [("+420777333444", "Never without the SIM")])
        refused = ("SIM PIN refused: +CME ERROR: 16 (incorrect PIN); it is not tried again until "
                   "SIM PIN is changed in the settings")
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM Gate disconnected") >= 4, DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.modem.commands("AT+CPIN="), ['AT+CPIN="1111"'])
        self.assertEqual(gw.logged(refused), 1)
        self.assertEqual(gw.modem.rows(), [])
        self.assertFalse(any("non-delivery" in l for l in gw.run.lines()))

    def test_unsolicited_codes_every_150_ms_lose_and_repeat_nothing(self):
        gw = Gateway(self, ONLINE, modem_args=("--urc-ms", "150"))
        jobs = [("+420603%06d" % i, "urc %02d" % i) for i in range(30)]
        drop(gw, jobs)
        for i in range(6):
            gw.modem.inject("+420777999%03d" % i, "arrived %d" % i)
            k.wait_until(lambda: False, 1.5)
        expected = sorted(b"arrived %d" % i for i in range(6))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.rows()) >= 30
                                     and sorted(bodies(gw)) == expected, DEADLINE),
                        (len(gw.modem.rows()), bodies(gw), story(gw)))
        k.wait_until(lambda: False, 3)  # nothing more comes
        self.assertEqual([(r[1], r[2]) for r in gw.modem.rows()], jobs)
        self.assertEqual(sorted(bodies(gw)), expected)
        self.assertFalse(any("GSM Busy - End of session" in l for l in gw.run.lines()))

    def test_a_modem_refusing_announcements_is_polled(self):
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\n", modem_args=("--no-cnmi",))
        for i in range(3):
            gw.modem.inject("+420777888%03d" % i, "polled %d" % i)
            k.wait_until(lambda: False, 1.0)
        expected = sorted(b"polled %d" % i for i in range(3))
        self.assertTrue(k.wait_until(lambda: sorted(bodies(gw)) == expected, DEADLINE),
                        gw.run.lines()[-30:])
        # Refused three times in a row: not asked again until the module restarts.
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CNMI")) == 3, DEADLINE))
        k.wait_until(lambda: False, 3)
        self.assertEqual(len(gw.modem.commands("AT+CNMI")), 3)
        self.assertEqual(gw.logged("GSM modem refused to announce new SMS three times (ERROR); "
                                   "it is polled until it restarts"), 1)

    def test_jobs_wait_while_the_network_is_not_registered(self):
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\n", modem_args=("--creg", "2"))
        drop(gw, [("+420777333444", "Waits for the network")])
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM Gate disconnected") >= 2, DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.logged("GSM network not registered"), 1)  # while it lasts
        self.assertEqual(gw.modem.rows(), [])
        self.assertFalse(any("non-delivery" in l for l in gw.run.lines()))


if __name__ == "__main__":
    mail_gateway.main()
