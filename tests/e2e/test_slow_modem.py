"""A modem that answers late, drops the link after an answer or lists odd SMS: the built program
headless beside kolvane-modemsim. Every SMS is stored once and deleted once, mails go out, and
every relation opens with its kick-off (ESC, then "AT")."""

import os
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import Gateway, mail

DEADLINE = 180.0
RELATIONS = "OnLine=1\nSmsIndication=0\nIntervalOnLine=5000\nSendSMSDelay=100\n"


def sms_args(storage, texts):
    args = ["--storage", storage]
    for number, text in texts:
        args += ["--sms", "%s:%s" % (number, text)]
    return args


def relations(modem):
    """The command lines of each connection the modem saw, in order."""
    with open(modem.trace_path, "rb") as f:
        lines = f.read().decode("latin-1").splitlines()
    out = []
    for line in lines:
        if line.endswith("connected") and not line.startswith("<-"):
            out.append([])
        elif line.startswith("<- ") and out:
            out[-1] += [c for c in line[3:].split("<13>") if c]
    return out


class SlowModem(unittest.TestCase):
    def test_late_answers_store_and_delete_every_sms_once(self):
        sim = [("+42077711100%d" % i, "On the SIM %d" % i) for i in range(3)]
        phone = [("+42077722200%d" % i, "In the phone %d" % i) for i in range(3)]
        for how, fault in [
                ("storage switch and signal 2.5 s late",
                 ["--fault", "delay-on AT+CPMS* 2500", "--fault", "delay-on AT+CSQ 2500"]),
                ("every answer 0-3 s late", ["--fault", "delay 0-3000"])]:
            with self.subTest(how):
                gw = Gateway(self, RELATIONS + "MemCheOn=1\n",
                             modem_args=fault + sms_args("SM", sim) + sms_args("ME", phone))
                for i in range(3):
                    gw.smtplib(["+42060300000%d@sms.lan" % i], mail(b"job", b"Mail %d" % i))
                self.assertTrue(k.wait_until(
                    lambda: len(gw.modem.sent()) == 3 and len(gw.records("Pop3.Tmp")) == 6,
                    DEADLINE), gw.run.lines())
                self.assertTrue(k.wait_until(
                    lambda: len(gw.modem.commands("AT+CMGD=")) == 6, DEADLINE), gw.run.lines())
                k.wait_until(lambda: False, 2)
                bodies = [r[4] for r in gw.records("Pop3.Tmp")]
                for _, text in sim + phone:
                    self.assertEqual(bodies.count(text.encode()), 1, bodies)
                self.assertEqual(sorted(gw.modem.commands("AT+CMGD=")),
                                 ["AT+CMGD=%d" % i for i in (1, 1, 2, 2, 3, 3)])
                self.assertEqual(sorted(r[1] for r in gw.modem.sent()),
                                 ["Mail %d" % i for i in range(3)])
                self.assertEqual(gw.logged("GSM gateway inactive"), 0)
                self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_link_dropped_after_a_deletes_answer_leaves_nothing_for_the_next_relation(self):
        gw = Gateway(self, RELATIONS + "MemCheOn=0\n",
                     modem_args=["--link-fault", "drop-after-answer AT+CMGD=1"] +
                     sms_args("SM", [("+420777111222", "First"), ("+420777333444", "Second")]))
        self.assertTrue(k.wait_until(lambda: len(relations(gw.modem)) >= 3, DEADLINE),
                        gw.run.lines())
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        for commands in relations(gw.modem):
            if commands:
                self.assertEqual(commands[:2], ["<27>", "AT"], commands)
        self.assertEqual(sorted(gw.modem.commands("AT+CMGD=")), ["AT+CMGD=1", "AT+CMGD=2"])
        bodies = [r[4] for r in gw.records("Pop3.Tmp")]
        self.assertEqual(sorted(bodies), [b"First", b"Second"])

    def test_sms_without_sender_or_text_reach_pop3_and_leave_the_sim(self):
        gw = Gateway(self, RELATIONS + "MemCheOn=0\n",
                     modem_args=sms_args("SM", [("", "Who sent this?"), ("+420777111222", "")]))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CMGD=")) == 2, DEADLINE),
                        gw.run.lines())
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 2 SMS"), DEADLINE),
                        gw.run.lines())
        got = mail_gateway.fetch_all(gw.pop3_port)
        self.assertEqual(len(got), 2, got)
        by_body = {body: headers for headers, body in got}
        self.assertIn("unknown", by_body["Who sent this?"]["From"])
        self.assertIn("", by_body)
        self.assertIn("+420777111222", by_body[""]["Subject"])
        self.assertEqual(gw.logged("Command from unknown refused: the sender is no telephone "
                                   "number"), 0)
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
