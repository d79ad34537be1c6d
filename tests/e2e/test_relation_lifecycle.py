"""Relations that end in the middle of a send, a SIM full of SMS in On-line mode, the file drop
in On-line mode, noise at connect and a serial device that goes away: the built program
headless beside kolvane-modemsim."""

import os
import signal
import time
import unittest

import kolvane_e2e as k
import mail_gateway

DEADLINE = 60.0


def count(run, text):
    return sum(1 for line in run.lines() if line.endswith("  " + text))


def drop(folder, line):
    with open(os.path.join(folder, "SendUp.txt"), "ab") as f:
        f.write(line.encode() + b"\r\n")


class Modem(mail_gateway.Modem):
    """The TCP modem; faults are switched on while it runs through its control file."""

    def texts(self):
        return [row[1] for row in self.sent()]


def start(test, folder, modem, cfg):
    k.write_ini(folder, "[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\nSmtpPort=%d\n"
                "Pop3Port=%d\n%s" % (modem.port, mail_gateway.free_port(),
                                     mail_gateway.free_port(), cfg))
    return k.start(test, folder)


class Lifecycle(unittest.TestCase):
    def test_after_each_end_mid_send_the_next_relation_sends_the_job(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        run = start(self, folder, modem, "OnLine=1\nSmsIndication=0\nIntervalOnLine=2000\nMemCheOn=0\n"
                    "SendSMSDelay=100\nSendFiTxtDelay=1\n")
        # A body the modem never answers waits for its retry instead (test_real_networks).
        faults = [("drop-at-send 1", None), ("error-on AT+CMGS*", "error-off all"),
                  ("drop-after-accept 1", None)]
        for n, (fault, heal) in enumerate(faults):
            modem.control(fault)
            text = "Job %d after %s" % (n, fault.split()[0])
            drop(folder, "+42077711122%d\t%s" % (n, text))
            if heal:
                self.assertTrue(k.wait_until(
                    lambda: count(run, "GSM Busy - End of session") >= 1, DEADLINE), run.lines())
                modem.control(heal)
            self.assertTrue(k.wait_until(lambda: text in modem.texts(), DEADLINE), run.lines())
        # Every job went out once, nothing waits, and the program still closes.
        self.assertEqual(len(modem.texts()), len(faults), modem.texts())
        self.assertEqual(len(set(modem.texts())), len(faults), modem.texts())
        self.assertFalse(os.path.exists(os.path.join(folder, "SendUp.txt")))
        self.assertEqual(run.stop(timeout=DEADLINE), 0)
        self.assertEqual(k.value(folder, "CFG", "SmsOutCnt"), str(len(faults)))

    def test_250_sms_in_on_line_mode_are_stored_and_deleted_once(self):
        folder = k.new_folder(self)
        # Every answer held back 20 ms: the 250 deletions alone outlast the 1 s interval many
        # times over, whatever the machine's pace.
        args = ["--sim-size", "250", "--delay-ms", "20"]
        for i in range(250):
            args += ["--sms", "+420777%06d:SMS number %d" % (i, i)]
        modem = Modem(self, folder, *args)
        run = start(self, folder, modem, "OnLine=1\nIntervalOnLine=1000\nSmsIndication=0\n")
        self.assertTrue(k.wait_until(lambda: count(run, "GSM gateway received 250 SMS to SIM"),
                                     DEADLINE), run.lines())
        # Asked to close in the middle of the relation: it ends first, then the program.
        run.proc.send_signal(signal.SIGTERM)
        self.assertEqual(run.wait_end(DEADLINE), 0)
        self.assertEqual(count(run, "Close denied - to close is possible after end of relation"), 1)
        self.assertEqual(count(run, "GSM Gate disconnected"), 1, run.lines())
        self.assertFalse([l for l in run.lines() if "Length(SmsRecvArr)" in l])
        deletes = modem.commands("AT+CMGD=")
        self.assertEqual(sorted(deletes), sorted("AT+CMGD=%d" % i for i in range(1, 251)))
        store = k.read_bytes(os.path.join(folder, "Pop3.Tmp"))
        self.assertEqual(store.count(b"PosID: "), 250)
        for i in range(250):
            self.assertEqual(store.count(b"SMS number %d\r\n" % i), 1, i)

    def test_on_line_with_defaults_sends_dropped_lines_within_the_drop_delay(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        run = start(self, folder, modem, "OnLine=1\nSmsIndication=0\n")
        self.assertTrue(k.wait_until(lambda: len(modem.commands("AT+CSQ")) >= 2, DEADLINE),
                        run.lines())
        for i in range(3):
            drop(folder, "+42077733344%d\tDropped line %d" % (i, i))
        # SendFiTxtDelay (10 s by default) and one relation at most.
        self.assertTrue(k.wait_until(lambda: len(modem.texts()) == 3, 10 + 15), run.lines())
        self.assertEqual(run.stop(timeout=DEADLINE), 0)

    def test_an_idle_on_line_minute_logs_at_most_three_lines(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        run = start(self, folder, modem, "OnLine=1\nSmsIndication=0\n")
        # The first relations tell the state once.
        self.assertTrue(k.wait_until(lambda: len(modem.commands("AT+CSQ")) >= 3, DEADLINE),
                        run.lines())
        before, relations = len(run.lines()), len(modem.commands("AT+CSQ"))
        time.sleep(60)
        idle = run.lines()[before:]
        self.assertLessEqual(len(idle), 3, idle)
        # The relations went on all the while: one every 5 s by default.
        self.assertGreaterEqual(len(modem.commands("AT+CSQ")) - relations, 8)
        self.assertEqual(run.stop(timeout=DEADLINE), 0)

    def test_with_debug_each_status_line_is_shown(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        run = start(self, folder, modem, "OnLine=1\nSmsIndication=0\nDebug=1\n")
        for text in ("GSM gateway connected", "SMTP server no mails to send for GSM gateway"):
            self.assertTrue(k.wait_until(lambda: count(run, text) >= 3, DEADLINE), run.lines())
        self.assertEqual(run.stop(timeout=DEADLINE), 0)

    def test_noise_at_connect_is_dropped_and_the_sim_read(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder, "--link-fault", "noise 8192",
                      "--sms", "+420777111222:Heard through the noise")
        run = start(self, folder, modem, "Interval=0\nMemCheOn=0\n")
        self.assertTrue(k.wait_until(lambda: count(run, "GSM Gate disconnected") >= 1, DEADLINE),
                        run.lines())
        self.assertEqual(count(run, "GSM gateway connected"), 1)
        self.assertEqual(count(run, "GSM gateway received 1 SMS to SIM"), 1, run.lines())
        self.assertEqual(count(run, "Communication on COM port terminated for many errors"), 0)
        self.assertEqual(modem.commands("AT+CMGD="), ["AT+CMGD=1"])
        self.assertIn(b"Heard through the noise", k.read_bytes(os.path.join(folder, "Pop3.Tmp")))
        self.assertLess(len(run.lines()), 40, run.lines())
        self.assertEqual(run.stop(), 0)

    def test_a_pseudo_terminal_that_goes_away_ends_the_relation_once(self):
        folder = k.new_folder(self)
        link = os.path.join(folder, "modem")
        control = os.path.join(folder, "modem-control.txt")
        k.write_bytes(control, b"")
        modem = mail_gateway.ModemProcess(self, "--pty", link, "--control", control,
                                          "--delay-ms", "200")
        self.assertTrue(modem.ready.startswith("modemsim pty "), modem.ready)
        k.write_ini(folder, "[CFG]\nComTcp=0\nComName=%s\nOnLine=1\nSmsIndication=0\nIntervalOnLine=2000\n"
                    "MemCheOn=0\n%s" % (link, mail_gateway.free_mail_ports()))
        run = k.start(self, folder)

        def unplug_mid_relation(times):
            connected = count(run, "GSM gateway connected")
            self.assertTrue(k.wait_until(lambda: count(run, "GSM gateway connected") > connected,
                                         DEADLINE), run.lines())
            with open(control, "a") as f:
                f.write("unplug\n")
            self.assertTrue(k.wait_until(
                lambda: count(run, link + " prematurely disconnected") == times, DEADLINE),
                run.lines())

        unplug_mid_relation(1)
        k.wait_until(lambda: False, 5)  # starts meanwhile find no device
        self.assertEqual(count(run, link + " prematurely disconnected"), 1)
        self.assertLessEqual(count(run, "Error reading the state of communication"), 1)
        # Reported once for the outage, not at every start that finds nothing.
        self.assertEqual(count(run, "Serial device %s cannot be opened: missing" % link), 1,
                         run.lines())
        self.assertTrue(run.running())
        with open(control, "a") as f:
            f.write("replug\n")
        # The device is back: the next relation; gone again: SIGTERM still closes.
        unplug_mid_relation(2)
        self.assertEqual(run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
