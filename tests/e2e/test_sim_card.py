"""The program on the serial path (a pseudo-terminal) with a modem whose SIM keeps its state as
a real one does: PIN tries that count down across connections, program runs and restarts of the
device, "+CME ERROR: 16" for a wrong PIN, a SIM busy for seconds after its PIN, no SIM at all,
a module that refuses its new-message indications while it boots, and a modem that never
answers."""

import os
import stat
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import Gateway

DEADLINE = 120.0
PIN = "4719"
ONLINE = "StartGo=1\nOnLine=1\nSendSMSDelay=100\nSendFiTxtDelay=1\nDNSOff=1\n"
REMEMBERED = "SIM PIN refused; it is not tried again until SIM PIN is changed in the settings"


def refused(error):
    return ("SIM PIN refused: %s; it is not tried again until SIM PIN is changed in the settings"
            % error)


def drop(gw, number, text):
    k.write_bytes(os.path.join(gw.folder, "SendUp.txt"), b"%s\t%s\r\n" % (number, text))


def bodies(gw):
    return [body for *_, body in gw.records("Pop3.Tmp")]


def tries_left(path):
    with open(path) as f:
        return dict(line.strip().split("=", 1) for line in f if "=" in line)["tries"]


def cnmi_answers(gw):
    """"taken" or "refused" for each AT+CNMI the modem answered, in order."""
    with open(gw.modem.trace_path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    answers, asked = [], False
    for line in lines:
        if line.startswith("<- ") and "AT+CNMI" in line:
            asked = True
        elif asked and line.startswith("-> ") and ("ERROR" in line or "OK" in line):
            answers.append("refused" if "ERROR" in line else "taken")
            asked = False
    return answers


def hook_script(folder):
    """The sibling program the hooks run: it notes each run."""
    script = os.path.join(folder, "CmdKolvane")
    k.write_bytes(script, b'#!/bin/sh\necho "$@" >> "$(dirname "$0")/hook-runs.txt"\n')
    os.chmod(script, stat.S_IRWXU)


def hook_runs(folder):
    try:
        return k.read_bytes(os.path.join(folder, "hook-runs.txt")).splitlines()
    except FileNotFoundError:
        return []


class SimCard(unittest.TestCase):
    def restart(self, gw):
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        gw.run = k.start(self, gw.folder)

    def test_a_wrong_pin_is_entered_once_across_restarts_and_a_changed_one_once(self):
        state = os.path.join(k.new_folder(self), "sim-state")
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\nSimPin=1111\n",
                     modem_args=("--pin", PIN, "--sim-state", state), pty=True)
        self.assertTrue(k.wait_until(lambda: gw.logged(refused("+CME ERROR: 16 (incorrect PIN)")),
                                     DEADLINE), gw.run.lines()[-30:])
        # The mark is in the file at once, never the PIN.
        mark = k.value(gw.folder, "CFG", "SimPinRefused")
        self.assertTrue(mark and "1111" not in mark, mark)
        for _ in range(2):
            self.restart(gw)
            self.assertTrue(k.wait_until(lambda: gw.logged(REMEMBERED), DEADLINE),
                            gw.run.lines()[-30:])
            k.wait_until(lambda: False, 3)  # relations go on; the PIN stays out
            self.assertEqual(gw.logged(REMEMBERED), 1)
        self.assertEqual(gw.modem.commands("AT+CPIN="), ['AT+CPIN="1111"'])
        self.assertEqual(tries_left(state), "2")

        # Changed in the file while the program runs: one try, and the SIM takes it.
        k.set_value(gw.folder, "CFG", "SimPin", PIN)
        gw.run.proc.send_signal(1)  # SIGHUP: settings reloaded
        self.assertTrue(k.wait_until(lambda: gw.logged("SIM PIN entered"), DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.modem.commands("AT+CPIN="), ['AT+CPIN="1111"', 'AT+CPIN="%s"' % PIN])
        self.assertEqual(tries_left(state), "3")
        self.assertTrue(k.wait_until(lambda: k.value(gw.folder, "CFG", "SimPinRefused") == "",
                                     DEADLINE))

    def test_the_right_pin_after_four_seconds_of_a_busy_sim_sends_and_receives(self):
        gw = Gateway(self, ONLINE + "SimPin=%s\n" % PIN, pty=True,
                     modem_args=("--pin", PIN, "--sim-busy-ms", "4000",
                                 "--sms", "+420777111222:Hello after the busy SIM"))
        drop(gw, b"+420777333444", b"Sent after the busy SIM")
        self.assertTrue(k.wait_until(lambda: len(gw.modem.rows()) == 1
                                     and b"Hello after the busy SIM" in bodies(gw), DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.modem.commands("AT+CPIN="), ['AT+CPIN="%s"' % PIN])
        self.assertGreaterEqual(len(gw.modem.commands("AT+CPIN?")), 3)  # asked while busy
        self.assertEqual(gw.logged("SIM PIN entered"), 1)
        self.assertFalse([l for l in gw.run.lines() if "inactive" in l or "non-delivery" in l])

    def test_no_sim_is_told_once_and_the_jobs_wait(self):
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\n", modem_args=("--no-sim",), pty=True)
        drop(gw, b"+420777333444", b"Waits for a SIM")
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CPIN?")) >= 5, DEADLINE),
                        gw.run.lines()[-30:])
        self.assertEqual(gw.logged("No SIM card in the modem"), 1)
        self.assertFalse([l for l in gw.run.lines() if "inactive" in l or "non-delivery" in l])
        self.assertEqual(gw.modem.commands("AT+CMGL"), [])  # nothing after the SIM's answer
        self.assertEqual(gw.modem.rows(), [])
        gw.modem.control("no-sim off")
        self.assertTrue(k.wait_until(lambda: len(gw.modem.rows()) == 1, DEADLINE),
                        gw.run.lines()[-30:])

    def test_instant_receive_comes_back_after_a_replug(self):
        gw = Gateway(self, ONLINE, pty=True)
        self.assertTrue(k.wait_until(lambda: cnmi_answers(gw) == ["taken"], DEADLINE))
        gw.modem.control("cnmi-boot 6000")
        gw.modem.control("unplug")
        time.sleep(2)
        gw.modem.control("replug")
        gw.modem.control("power-up")
        # Refused while the module boots, asked again by a later relation, taken.
        self.assertTrue(k.wait_until(lambda: cnmi_answers(gw)[-2:] == ["refused", "taken"],
                                     DEADLINE), (cnmi_answers(gw), gw.run.lines()[-30:]))
        k.wait_until(lambda: False, 2)
        listings = len(gw.modem.commands("AT+CMGL"))
        k.wait_until(lambda: False, 12)  # parked: no listing without an announcement
        self.assertLessEqual(len(gw.modem.commands("AT+CMGL")), listings + 1)
        gw.modem.inject("+420777888999", "Announced after the replug")
        self.assertTrue(k.wait_until(lambda: b"Announced after the replug" in bodies(gw), 4),
                        gw.run.lines()[-30:])

    def test_a_silent_modem_is_one_line_and_one_hook_run_per_outage(self):
        gw = Gateway(self, ONLINE + "IntervalOnLine=1000\nSmsIndication=0\n"
                     "CmdOnConnectFailed=modem silent\n",
                     modem_args=("--silent",), pty=True, prepare=hook_script)
        closed = lambda: sum(1 for l in gw.run.lines() if l.endswith("modem disconnected"))
        self.assertTrue(k.wait_until(lambda: closed() >= 3, DEADLINE), gw.run.lines()[-30:])
        self.assertEqual(gw.logged("GSM gateway inactive"), 1)
        self.assertTrue(k.wait_until(lambda: len(hook_runs(gw.folder)) == 1, DEADLINE))
        gw.modem.control("silent off")  # the first "OK" ends the outage
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM gateway connected"), DEADLINE))
        gw.modem.control("silent on")
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM gateway inactive") == 2, DEADLINE))
        self.assertTrue(k.wait_until(lambda: len(hook_runs(gw.folder)) == 2, DEADLINE))
        self.assertEqual(hook_runs(gw.folder), [b"modem silent"] * 2)


if __name__ == "__main__":
    mail_gateway.main()
