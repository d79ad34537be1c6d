"""SMS to e-mail against the real program and the simulated modem: received SMS are listed,
stored, deleted from the modem and fetched by mail programs over POP3; routing to PCs; commands
run from SMS; the round trip from a mail to an SMS and back to the PC that sent it."""

import datetime
import os
import shutil
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, fetch_all, mail

# A relation at start and then every 8 s; no phone storage, a short pause between jobs.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=8000\nMemCheOn=0\nSendSMSDelay=100\n"
         "DNSOff=1\n")
CZECH = "Příliš žluťoučký kůň úpěl ďábelské ódy"
CYRILLIC = "Привет, как дела? Всё хорошо."
LONG = " ".join("Word%03d" % i for i in range(31))  # 247 characters: two parts


def store_record(pos_id, body):
    return ("PosID: %s\r\nNamePC: \r\nFrom: <+420777111222@kolvane.lan>\r\nTo: <kolvane>\r\n"
            "Subject: SMS from phone No.: +420777111222\r\n\r\n%s\r\n.\r\n"
            % (pos_id, body)).encode("ascii")


class Received(unittest.TestCase):
    def listed_sms_reach_the_mail_programs(self, pdu_text):
        gw = Gateway(self, QUICK + "PDUText=%d\n" % pdu_text, modem_args=(
            "--sms", "+420777111222:Hello\\nsecond line", "--sms", "+420777333444:" + LONG,
            "--sms", "+420777555666:" + CZECH, "--sms", "+79161234567:" + CYRILLIC))
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 5 SMS"), DEADLINE),
                        gw.run.lines())
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CMGD=")) >= 5, DEADLINE))
        # Deleted in list order, the two parts of the long message among them.
        self.assertEqual(gw.modem.commands("AT+CMGD=")[:5],
                         ["AT+CMGD=%d" % i for i in range(1, 6)])

        got = fetch_all(gw.pop3_port)
        self.assertEqual([body for _, body in got],
                         ["Hello\nsecond line", LONG, CZECH, CYRILLIC])
        self.assertEqual(got[0][0]["From"], "<+420777111222@kolvane.lan>")
        self.assertEqual(got[3][0]["Subject"], "SMS from phone No.: +79161234567")
        self.assertEqual(got[2][0]["Content-Type"], 'text/plain; charset="UTF-8"')

        # A newer SMS: curl fetches it, and the next session of the PC finds nothing old.
        gw.modem.inject("+420777111222", "Newer text")
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 1 SMS"), DEADLINE),
                        gw.run.lines())
        if shutil.which("curl"):
            out = subprocess.run(["curl", "-sS", "-u", "anyone:secret", "--max-time", "30",
                                  "pop3://127.0.0.1:%d/1" % gw.pop3_port],
                                 capture_output=True, timeout=60)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertTrue(out.stdout.rstrip(b"\r\n").endswith(b"\r\n\r\nNewer text"),
                            out.stdout)
            self.assertEqual(fetch_all(gw.pop3_port), [])
        else:
            self.assertEqual([body for _, body in fetch_all(gw.pop3_port)], ["Newer text"])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_text_mode(self):
        self.listed_sms_reach_the_mail_programs(1)

    def test_pdu_mode(self):
        self.listed_sms_reach_the_mail_programs(0)

    def test_routing_basket_and_aliases(self):
        gw = Gateway(self, QUICK + "AliasOn=1\nBasketOn=1\nBasketName=127.0.0.4\n",
                     "[AliasComp]\nA0=127.0.0.3\n[AliasName]\nA0=SALES\n")

        def bodies(pc):
            return [body for _, body in fetch_all(gw.pop3_port, pc)]

        # A route names a PC the server knows: this one has fetched before.
        self.assertEqual(bodies("127.0.0.2"), [])
        gw.modem.inject("+420777111222", "#127.0.0.2#for two")
        gw.modem.inject("+420777111222", "#SALES#for sales")
        gw.modem.inject("+420777111222", "for anyone")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == 3, DEADLINE),
                        gw.run.lines())

        self.assertEqual(bodies("127.0.0.5"), [])
        self.assertEqual(bodies("127.0.0.2"), ["#127.0.0.2#for two"])
        self.assertEqual(bodies("127.0.0.3"), ["#SALES#for sales"])
        self.assertEqual(bodies("127.0.0.4"), ["for anyone"])
        # The records it may not fetch make one line with their count.
        self.assertTrue(any(l.split("  ", 1)[-1].startswith("POP3 Email denied release to : 127.0.0.5")
                            for l in gw.run.lines()))

    def test_expired_records_go_at_start(self):
        old = (datetime.date.today() - datetime.timedelta(days=10)).strftime("%y%m%d")
        today = datetime.date.today().strftime("%y%m%d")

        def prepare(folder):
            k.write_bytes(os.path.join(folder, "Pop3.Tmp"),
                          store_record(old + "000000", "Old") +
                          store_record(today + "000000", "Today"))

        gw = Gateway(self, QUICK + "ExpireDay=7\n",
                     "[ClientsPos]\nOLDPC=%s000000\nNEWPC=%s000000\n" % (old, today),
                     prepare=prepare)
        self.assertEqual([r[4] for r in gw.records("Pop3.Tmp")], [b"Today"])
        self.assertEqual(k.section(gw.folder, "ClientsPos"), [("NEWPC", today + "000000")])
        self.assertEqual([body for _, body in fetch_all(gw.pop3_port)], ["Today"])


class Commands(unittest.TestCase):
    def test_commands_run_directly_and_their_results_come_back_by_sms(self):
        allowed = "+420777111222"

        def prepare(folder):
            script = os.path.join(folder, "record.sh")
            k.write_bytes(script, b'#!/bin/sh\nprintf "%s\\n" "$@" > "$(dirname "$0")/args.txt"\n')
            os.chmod(script, 0o755)

        gw = Gateway(self, QUICK + "SmsToCmdSw=1\n",
                     "[SmsToCmdTelNo]\nA0=%s\n[SmsToCmdSubst]\nrec={folder}/record.sh\n"
                     "gone=/bin/kolvane-no-such-program\n" % allowed,
                     prepare=prepare)

        pwned = os.path.join(gw.folder, "pwned")
        gw.modem.inject(allowed, "#command#rec#one; touch %s $(id) `id` | x" % pwned)
        gw.modem.inject(allowed, "#Command#gone#")
        # Not a listed name: delivered as a message, nothing runs.
        touched = os.path.join(gw.folder, "x")
        gw.modem.inject(allowed, "#command#/usr/bin/touch " + touched)
        gw.modem.inject("+421777111222", "#command#rec#from elsewhere")

        def results():
            return "".join(s[1] for s in gw.modem.sent() if s[0] == allowed)

        self.assertTrue(k.wait_until(lambda: results().count("Return code") >= 2, DEADLINE),
                        (gw.modem.sent(), gw.run.lines()))
        with open(os.path.join(gw.folder, "args.txt")) as f:
            self.assertEqual(f.read().split("\n")[:-1],
                             ["one;", "touch", pwned, "$(id)", "`id`", "|", "x"])
        self.assertFalse(os.path.exists(pwned))
        self.assertFalse(os.path.exists(touched))
        self.assertIn("Description : OK", results())
        # The simulator writes line ends in the sent text as \r and \n.
        self.assertIn("Return code : 2\\r\\nDescription : Error - file not found", results())
        self.assertNotIn("kolvane-no-such-program", results())

        # The number that may not run commands sent an ordinary message, delivered unrouted.
        records = gw.records("Pop3.Tmp")
        plain = [r for r in records if r[3] == b"SMS from phone No.: +421777111222"]
        self.assertEqual([(r[0], r[4]) for r in plain], [(b"", b"#command#rec#from elsewhere")])
        reports = [r for r in records if r[3].endswith(b" SMS to Command Line")]
        self.assertEqual(len(reports), 2)
        self.assertEqual([r[4] for r in records if r[3] == b"SMS from phone No.: " + allowed.encode()],
                         [b"#command#/usr/bin/touch " + touched.encode()])
        self.assertTrue(gw.logged("Command SMS from %s names no listed command: delivered as a "
                                  "message" % allowed))
        self.assertTrue(all(r[0] == b"localhost" for r in reports))


    def test_results_tell_the_exit_status_and_first_line_never_the_path(self):
        allowed = "+420777111222"

        def prepare(folder):
            script = os.path.join(folder, "status.sh")
            k.write_bytes(script, b'#!/bin/sh\necho "disk 42% full"\necho second\n')
            os.chmod(script, 0o755)

        gw = Gateway(self, QUICK + "SmsToCmdSw=1\nCmdTimeout=2\n",
                     "[SmsToCmdTelNo]\nA0=%s\n[SmsToCmdSubst]\nfail=/bin/false\nok=/bin/true\n"
                     "slow=/bin/sleep\nsay={folder}/status.sh\n" % allowed, prepare=prepare)
        for text in ("#command#fail#", "#command#ok#", "#command#slow#8", "#command#say#"):
            gw.modem.inject(allowed, text)

        def results():
            return [s[1] for s in gw.modem.sent() if s[0] == allowed]

        self.assertTrue(k.wait_until(lambda: len(results()) >= 4, DEADLINE),
                        (gw.modem.sent(), gw.run.lines()))
        self.assertEqual(sorted(results()), sorted([
            "Return code : 1\\r\\nDescription : Error - exit status 1",
            "Return code : 0\\r\\nDescription : OK",
            "Description : still running\\r\\nParameters : 8",
            "Return code : 0\\r\\nDescription : OK\\r\\nOutput : disk 42% full",
        ]))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)


class RoundTrip(unittest.TestCase):
    def test_mail_to_sms_and_the_reply_back_to_the_sending_pc(self):
        gw = Gateway(self, QUICK + "AutoPop3Routing=1\n",
                     modem_args=("--echo", "--echo-delay-ms", "300"))
        gw.smtplib(["+420603000009@sms.lan"], mail(b"ping", b"Are you there?"),
                   source="127.0.0.3")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) >= 1, DEADLINE),
                        (gw.modem.sent(), gw.run.lines()))
        self.assertEqual([s[:2] for s in gw.modem.sent()],
                         [("+420603000009", "Are you there?")])
        # Routed back to the PC the mail came from; another PC gets nothing.
        self.assertEqual(fetch_all(gw.pop3_port, "127.0.0.6"), [])
        got = fetch_all(gw.pop3_port, "127.0.0.3")
        self.assertEqual([body for _, body in got], ["Re: Are you there?"])
        self.assertEqual(got[0][0]["From"], "<+420603000009@kolvane.lan>")
        self.assertEqual(gw.records("Pop3.Tmp")[0][0], b"127.0.0.3")
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
