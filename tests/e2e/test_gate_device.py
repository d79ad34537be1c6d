"""The ISDN/LAN gateway devices end to end: the program headless beside kolvane-gatesim over TCP
and over a pseudo-terminal, with real mail clients."""

import os
import re
import sys
import time
import unittest

import kolvane_e2e as k
import mail_gateway as mg

GATESIM = os.path.join(k.BIN_DIR, "kolvane-gatesim")
DEADLINE = 90.0
# A relation ends 9 s after the device fell silent; the next one starts 14 s after the last.
# Debug shows every relation's end, which an idle log tells only once an hour.
CFG = "GsmDevice=PRImaGate\nStartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=14000\nDebug=1\n"


class GateSim(mg.ModemProcess):
    """kolvane-gatesim as a child of the test, with its jobs, inject and control files."""

    def __init__(self, test, folder, *args):
        self.jobs_path = os.path.join(folder, "gate-jobs.txt")
        self.inject_path = os.path.join(folder, "gate-inject.txt")
        self.control_path = os.path.join(folder, "gate-control.txt")
        for p in (self.inject_path, self.control_path):
            open(p, "wb").close()
        self.trace = open(os.path.join(folder, "gate-trace.txt"), "wb")
        test.addCleanup(self.trace.close)
        super().__init__(test, "--jobs", self.jobs_path, "--inject-file", self.inject_path,
                         "--control", self.control_path, "--trace", *args, stderr=self.trace,
                         program=GATESIM)

    def control(self, line):
        with open(self.control_path, "a") as f:
            f.write(line + "\n")
        time.sleep(0.5)  # polled every 200 ms

    def inject(self, number, text, flags=""):
        with open(self.inject_path, "a", encoding="utf-8") as f:
            f.write("%s\t%s%s\n" % (number, text, "\t" + flags if flags else ""))

    def jobs(self):
        """(counter, module, number, text, coding, outcome) of every job handed over."""
        try:
            with open(self.jobs_path, encoding="utf-8") as f:
                rows = [l.rstrip("\n").split("\t") for l in f if l.endswith("\n")]
        except FileNotFoundError:
            return []
        return [(int(r[1]), int(r[2]), r[3], r[4], r[5], r[6]) for r in rows]

    def outcomes(self, number):
        return [j[5] for j in self.jobs() if j[2] == number]

    def traced(self, text):
        with open(self.trace.name, "rb") as f:
            return f.read().decode("latin-1").count(text)


class Gateway(mg.Gateway):
    """The program headless beside the simulated gateway device."""

    def __init__(self, test, link, sim_args=(), cfg=""):
        self.folder = k.new_folder(test)
        if link == "tcp":
            self.sim = GateSim(test, self.folder, "--tcp", "0", *sim_args)
            port = re.search(r":(\d+)$", self.sim.ready).group(1)
            linkcfg = "ComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\n" % port
        else:
            path = os.path.join(self.folder, "gate")
            self.sim = GateSim(test, self.folder, "--pty", path, *sim_args)
            test.assertTrue(self.sim.ready.startswith("gatesim pty "), self.sim.ready)
            linkcfg = "ComTcp=0\nComName=%s\nBaudRate=19200\n" % path
        self.port = mg.free_port()
        self.pop3_port = mg.free_port()
        k.write_ini(self.folder, "[CFG]\n%sSmtpPort=%d\nPop3Port=%d\n%s%s"
                    % (linkcfg, self.port, self.pop3_port, CFG, cfg))
        self.run = k.start(test, self.folder)
        self.test = test

    def until(self, condition, what):
        self.test.assertTrue(k.wait_until(condition, DEADLINE, 0.1),
                             "%s; log=%r" % (what, self.run.lines()[-40:]))

    def send(self, number, subject, body=b"text"):
        self.smtplib(["%s@sms.lan" % number], mg.mail(subject, body))

    def fetch(self):
        return mg.fetch_all(self.pop3_port)

    def relation_ends(self, after):
        """Waits for the next end of a relation after the count `after` of ends."""
        self.until(lambda: self.ends() > after, "relation end")

    def ends(self):
        return self.logged("GSM Gate disconnected") + self.logged(
            os.path.join(self.folder, "gate") + " disconnected")


class GateDevice(unittest.TestCase):
    def test_tcp_whole_exchange(self):
        gw = Gateway(self, "tcp", ("--modules", "4", "--inactive", "2", "--sms",
                                   "+420777100200:Hello from the gate @ 5$"))
        gw.sim.inject("+420777100300", "Čau světe", "ucs2,module=3")
        # Identification, both SMS handed over and acknowledged, stored for POP3.
        gw.until(lambda: len(gw.records("Pop3.Tmp")) == 2, "received SMS stored")
        mails = sorted(gw.fetch(), key=lambda m: m[0]["Subject"])
        self.assertEqual(mails[0][0]["Subject"],
                         "SMS from phone No.: +420777100200, GSM MODUL No.: 1 ")
        self.assertEqual(mails[0][1], "Hello from the gate @ 5$")
        self.assertEqual(mails[1][0]["Subject"],
                         "SMS from phone No.: +420777100300 UCS2, GSM MODUL No.: 3 ")
        self.assertEqual(mails[1][1], "Čau světe")
        self.assertEqual(gw.sim.traced("handed over SMS from"), 2)

        # Jobs by SMTP, confirmed by their counters; a full buffer re-queues one.
        gw.send("+420601000001", b"first MODUL 3")
        gw.send("+420601000002", b"second MODUL 40")
        gw.until(lambda: len(gw.sim.jobs()) == 2, "jobs handed over")
        self.assertEqual([(j[1], j[2], j[5]) for j in gw.sim.jobs()],
                         [(3, "+420601000001", "confirmed"), (255, "+420601000002", "confirmed")])
        gw.sim.control("cause 254")
        gw.send("+420601000003", b"full buffer")
        gw.until(lambda: gw.sim.outcomes("+420601000003") == ["cause 254"], "buffer full")
        gw.until(lambda: any(r[3] == b"!!! caution !!!" for r in gw.records("Pop3.Tmp")),
                 "queue full notice")
        gw.sim.control("cause off")
        # Inactive module: reported back by POP3. Unconfirmed: re-sent after identification.
        gw.send("+420601000004", b"to MODUL 2")
        gw.until(lambda: gw.sim.outcomes("+420601000003") == ["cause 254", "confirmed"],
                 "re-queued job sent again")
        gw.until(lambda: gw.sim.outcomes("+420601000004") == ["cause 240"], "inactive module")
        gw.until(lambda: any(b"inactive MODULE" in r[3] for r in gw.records("Pop3.Tmp")),
                 "inactive module report")
        subjects = [m[0]["Subject"].strip() for m in gw.fetch()]
        self.assertIn("to MODUL 2, inactive MODULE", subjects)
        self.assertIn("!!! caution !!!", subjects)

        gw.sim.control("confirm off")
        ends = gw.ends()
        gw.send("+420601000005", b"unconfirmed")
        gw.until(lambda: gw.sim.outcomes("+420601000005") == ["unconfirmed"], "unconfirmed job")
        gw.sim.control("confirm on")
        gw.relation_ends(ends)
        gw.until(lambda: gw.sim.outcomes("+420601000005") == ["unconfirmed", "confirmed"],
                 "unconfirmed job re-sent after identification")
        # Nothing lost, nothing sent twice beyond the re-sending of unconfirmed jobs.
        confirmed = [j[2] for j in gw.sim.jobs() if j[5] == "confirmed"]
        self.assertEqual(sorted(confirmed), ["+420601000001", "+420601000002", "+420601000003",
                                             "+420601000005"])
        self.assertEqual(len(gw.records("Pop3.Tmp")), 4)  # no SMS handed over twice
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_sms_that_cannot_be_stored_stays_in_the_device(self):
        gw = Gateway(self, "tcp")
        store = os.path.join(gw.folder, "Pop3.Tmp")
        os.mkdir(store)  # no file can be opened under that name, not even by root
        ends = gw.ends()
        gw.sim.inject("+420777100600", "Kept by the device")
        gw.until(lambda: gw.logged("!!! Pop3.Tmp - OpenFile fault !!!") > 0, "store refused")
        gw.relation_ends(ends)
        self.assertEqual(gw.sim.traced("handed over SMS from"), 0)
        os.rmdir(store)
        gw.until(lambda: len(gw.records("Pop3.Tmp")) == 1, "stored in a later relation")
        self.assertEqual([m[1] for m in gw.fetch()], ["Kept by the device"])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_unconfirmed_job_is_sent_again_after_a_restart(self):
        gw = Gateway(self, "tcp")
        gw.until(lambda: gw.logged("SMTP server listens") > 0, "SMTP server")
        gw.send("+420601000010", b"confirmed before")
        gw.until(lambda: gw.sim.outcomes("+420601000010") == ["confirmed"], "first job")
        gw.sim.control("confirm off")
        gw.send("+420601000011", b"never confirmed")
        gw.until(lambda: gw.sim.outcomes("+420601000011") == ["unconfirmed"], "unconfirmed job")
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        gw.sim.control("confirm on")
        gw.run = k.start(self, gw.folder)
        gw.until(lambda: gw.sim.outcomes("+420601000011") == ["unconfirmed", "confirmed"],
                 "the job sent again after the restart")
        gw.until(lambda: gw.logged("SMTP server listens") > 0, "SMTP server")
        gw.send("+420601000012", b"after the restart")
        gw.until(lambda: gw.sim.outcomes("+420601000012") == ["confirmed"], "a new job")
        self.assertEqual(gw.sim.outcomes("+420601000010"), ["confirmed"])
        self.assertEqual(gw.sim.outcomes("+420601000011"), ["unconfirmed", "confirmed"])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_pty_with_echoed_broken_and_cut_frames(self):
        gw = Gateway(self, "pty", ("--echo", "--sms", "+420777100400:Over the port"))
        gw.sim.control("malformed")
        gw.sim.control("truncated")
        gw.until(lambda: len(gw.records("Pop3.Tmp")) == 1, "received SMS over the port")
        self.assertEqual(gw.fetch()[0][1], "Over the port")
        gw.send("+420601000009", b"by the port")
        gw.until(lambda: gw.sim.outcomes("+420601000009") == ["confirmed"], "job confirmed")
        self.assertGreaterEqual(gw.logged("!!! ISDN Gate Recv Err - echo !!!"), 3)
        self.assertEqual(gw.logged("!!! ISDN Gate Recv Err - LEN !!!"), 1)
        self.assertEqual(gw.logged("!!! ISDN Gate Recv Err - cut !!!"), 1)
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_demo_with_the_gateway_device(self):
        folder = os.path.join(k.new_folder(self), "demo")
        run = k.Running(None, "--demo", folder, "--device", "gate")
        self.addCleanup(run.kill)
        run.wait_ready()
        inject = os.path.join(folder, "gatesim-inject.txt")
        # The folder is prepared once the simulator listens.
        self.assertTrue(k.wait_until(lambda: os.path.exists(k.settings_path(folder)) and k.value(
            folder, "CFG", "GsmDevice") == "PRImaGate", DEADLINE))
        with open(inject, "a") as f:
            f.write("+420777100500\tHello demo\n")
        pop3 = os.path.join(folder, "Pop3.Tmp")
        self.assertTrue(k.wait_until(
            lambda: os.path.exists(pop3) and b"Hello demo" in k.read_bytes(pop3), DEADLINE),
            run.lines()[-30:])
        self.assertEqual(run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    if not os.access(GATESIM, os.X_OK):
        print("skipped: %s not built" % GATESIM)
        sys.exit(k.SKIPPED)
    k.main()
