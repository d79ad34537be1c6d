"""Sending through the real program: lines dropped into SendUp.txt reach the simulated modem
over TCP in text and PDU mode, and a run file interrupted by SIGKILL is continued after a
restart without losing a job."""

import os
import signal
import unittest

import kolvane_e2e as k
import mail_gateway

DEADLINE = 60.0
# A relation at start and then every 30 s (no overlap even with a slow modem), no phone
# storage, the file drop every second.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=30000\nMemCheOn=0\nSendSMSDelay=100\n"
         "SendFiTxtDelay=1\n")


class Modem(mail_gateway.Modem):
    def sent(self):
        """(number, text, mode, raw body) of every SMS sent so far."""
        return [(r[1], r[2], r[3], r[10]) for r in self.rows()]


def configure(folder, modem, extra=""):
    k.write_ini(folder, "[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\n%s%s"
                % (modem.port, QUICK + mail_gateway.free_mail_ports(), extra))


def drop(folder, data):
    k.write_bytes(os.path.join(folder, "SendUp.txt"), data)


def sent_out_log(folder):
    names = [n for n in os.listdir(folder) if n.startswith("SentOut_")]
    if len(names) != 1:
        return []
    text = k.read_bytes(os.path.join(folder, names[0])).decode("latin-1")
    return [line.split("\t", 1)[1] for line in text.split("\r\n") if line]


class Sending(unittest.TestCase):
    def test_text_mode_from_a_crlf_drop_file(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        configure(folder, modem)
        drop(folder, b"+420777111222\tHello one\r\n+420777333444\tHello two\r\n")
        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: len(modem.sent()) >= 2, DEADLINE), run.lines())
        self.assertEqual(modem.sent(), [("+420777111222", "Hello one", "text", "Hello one"),
                                        ("+420777333444", "Hello two", "text", "Hello two")])
        self.assertTrue(k.wait_until(
            lambda: any(l.endswith("GSM gateway dispatched SMS to +420777333444")
                        for l in run.lines())), run.lines())
        self.assertEqual(sent_out_log(folder),
                         ["+420777111222\tHello one", "+420777333444\tHello two"])
        self.assertEqual(run.stop(timeout=DEADLINE), 0)
        self.assertEqual(k.value(folder, "CFG", "SmsOutCnt"), "2")

    def test_pdu_mode_from_an_lf_only_drop_file(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder)
        configure(folder, modem, "PDUText=0\n")
        drop(folder, b"+420777111222\tFirst in PDU\n420777333444\tSecond in PDU\n")
        run = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: len(modem.sent()) >= 2, DEADLINE), run.lines())
        self.assertEqual([s[:3] for s in modem.sent()],
                         [("+420777111222", "First in PDU", "pdu"),
                          ("420777333444", "Second in PDU", "pdu")])

    def test_killed_in_the_middle_of_a_run_file_continues_at_its_position(self):
        folder = k.new_folder(self)
        modem = Modem(self, folder, "--delay-ms", "300")
        configure(folder, modem)
        jobs = [("+42077710000%d" % i, "job %d" % i) for i in range(1, 7)]
        drop(folder, b"".join(b"%s\t%s\r\n" % (n.encode(), t.encode()) for n, t in jobs))

        first = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: len(modem.sent()) >= 2, DEADLINE), first.lines())
        first.proc.send_signal(signal.SIGKILL)
        first.wait_end()
        before = [s[:2] for s in modem.sent()]
        self.assertLess(len(before), len(jobs))
        self.assertTrue(os.path.exists(os.path.join(folder, "Smtp.Run")))
        self.assertGreater(int(k.value(folder, "CFG", "SmtpRunPos")), 0)

        modem.control("delay 0")
        second = k.start(self, folder)
        self.assertTrue(k.wait_until(lambda: {s[:2] for s in modem.sent()} >= set(jobs),
                                     DEADLINE), second.lines())
        # The used-up run file goes, and its position is reset on disk at once.
        self.assertTrue(k.wait_until(
            lambda: not os.path.exists(os.path.join(folder, "Smtp.Run"))
            and k.value(folder, "CFG", "SmtpRunPos") == "0", DEADLINE))

        sent = [s[:2] for s in modem.sent()]
        # In order, each job once, except that the job in flight at the kill may come twice.
        unique = [job for i, job in enumerate(sent) if i == 0 or sent[i - 1] != job]
        self.assertEqual(unique, jobs, sent)
        self.assertLessEqual(len(sent) - len(jobs), 1, sent)


if __name__ == "__main__":
    mail_gateway.main()
