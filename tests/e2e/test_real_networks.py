"""Listings and sends as real modems and networks make them, behind a pseudo-terminal: a code
between a listed entry's header and its body, a body that does not come, an entry that stays
unreadable, a network that takes its time to accept an SMS, a stop while it does, and SMS that
arrive in bursts while the modem is listed or sends. Nothing is lost, nothing goes out twice."""

import os
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import Gateway, mail

DEADLINE = 90.0
BASE = "StartGo=1\nOnLine=1\nSendSMSDelay=100\nDNSOff=1\n"
# Rounds every few seconds, nothing announced: each round lists the SIM afresh.
ROUNDS = BASE + "SmsIndication=0\nIntervalOnLine=3000\nMemCheOn=0\n"
TEXTS = ["First of five", "Second of five", "Third of five", "Fourth of five", "Fifth of five"]
# An SMS-DELIVER whose alphabet is reserved: no modem listing makes a text of it.
RESERVED = "0004" "0C91247077112122" "000C" "42501001020300" "0161"


def sms_args(texts, number="+42077711100"):
    args = []
    for i, text in enumerate(texts):
        args += ["--sms", "%s%d:%s" % (number, i, text)]
    return args


def bodies(gw):
    return sorted(body.decode() for *_, body in gw.records("Pop3.Tmp"))


def deletes(gw):
    return sorted(gw.modem.commands("AT+CMGD="))


class RealNetworks(unittest.TestCase):
    def gateway(self, cfg, *modem_args):
        return Gateway(self, cfg, modem_args=modem_args, pty=True)

    def assert_stored_once(self, gw, texts):
        self.assertTrue(k.wait_until(lambda: len(deletes(gw)) >= len(texts), DEADLINE),
                        gw.run.lines()[-40:])
        k.wait_until(lambda: False, 2)  # nothing more comes
        self.assertEqual(bodies(gw), sorted(texts))
        self.assertEqual(deletes(gw), ["AT+CMGD=%d" % i for i in range(1, len(texts) + 1)])
        self.assertEqual(gw.logged("Undecodable SMS: 1"), 0)

    def test_a_code_between_a_header_and_its_body_loses_no_sms(self):
        for mode, cfg in [("text", ""), ("PDU", "PDUText=0\n")]:
            with self.subTest(mode):
                gw = self.gateway(ROUNDS + cfg, "--fault", "list-code 2 ^RSSI: 17",
                                  *sms_args(TEXTS))
                self.assert_stored_once(gw, TEXTS)
                self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_body_that_does_not_come_is_read_again_before_anything_is_deleted(self):
        gw = self.gateway(ROUNDS, "--fault", "list-cut 3", *sms_args(TEXTS[:4]))
        self.assert_stored_once(gw, TEXTS[:4])
        self.assertGreaterEqual(
            gw.logged("GSM gateway: the list of SMS does not add up; it is read once more"), 1)
        # The second reading came before the first delete.
        listings = gw.modem.commands("AT+CMGL")
        self.assertGreaterEqual(len(listings), 2)
        with open(gw.modem.trace_path, "rb") as f:
            trace = f.read().decode("latin-1")
        self.assertLess(trace.index("AT+CMGL", trace.index("AT+CMGL") + 1),
                        trace.index("AT+CMGD="))

    def test_an_entry_unreadable_over_three_listings_reaches_pop3_raw_and_leaves(self):
        gw = self.gateway(ROUNDS + "PDUText=0\n", *sms_args(["Readable"]))
        with open(gw.modem.inject_path, "a") as f:
            f.write("+420777555666\t1,,20\\r\\n%s\traw\n" % RESERVED)
        self.assertTrue(k.wait_until(lambda: gw.logged("Undecodable SMS: +420777111222"),
                                     DEADLINE), gw.run.lines()[-40:])
        k.wait_until(lambda: False, 4)
        self.assertEqual(gw.logged("Undecodable SMS: +420777111222"), 1)
        self.assertGreaterEqual(gw.logged("SMS 2 of the SIM storage could not be read whole; it "
                                          "stays in the device and is read again"), 2)
        self.assertEqual(deletes(gw), ["AT+CMGD=1", "AT+CMGD=2"])
        self.assertIn("Readable", bodies(gw))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def send_mails(self, gw, count):
        jobs = [("+42060355500%d" % i, "Mail %d" % i) for i in range(count)]
        for number, text in jobs:
            gw.smtplib(["%s@sms.lan" % number], mail(b"job", text.encode()))
        return jobs

    def test_a_network_slower_than_half_a_minute_sends_each_sms_once(self):
        gw = self.gateway(BASE + "MemCheOn=0\n", "--send-delay", "36000")
        jobs = self.send_mails(gw, 2)
        self.assertTrue(k.wait_until(lambda: gw.logged("GSM gateway dispatched SMS to +420603555001"),
                                     150), gw.run.lines()[-40:])
        k.wait_until(lambda: False, 3)
        self.assertEqual(sorted((s[0], s[1]) for s in gw.modem.sent()), sorted(jobs))
        self.assertEqual(gw.logged("GSM gateway inactive"), 0)
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_result_that_never_comes_waits_for_its_retry_and_a_late_one_counts_as_sent(self):
        # The first body is swallowed, the second accepted after 8 s: both outwait the 3 s.
        gw = self.gateway(BASE + "MemCheOn=0\nSendResultTimeout=3\n", "--send-delay", "8000")
        gw.modem.control("silent-body 1")
        self.assertTrue(k.wait_until(lambda: self.traced(gw, "control: silent-body 1"), 10))
        self.send_mails(gw, 2)
        late = ("GSM gateway: the SMS to +420603555001 was sent after all (its result came late); "
                "it is not sent again")
        self.assertTrue(k.wait_until(lambda: gw.logged(late), DEADLINE), gw.run.lines()[-40:])
        gw.modem.control("send-delay off")
        self.assertEqual(gw.logged("SMS to +420603555000 not sent (no result of the send within "
                                   "3 s), next try in 1 min"), 1)
        # Only the unanswered one waits for its retry, and it goes once then.
        self.assertTrue(k.wait_until(
            lambda: [r[4] for r in gw.records("SmtpWait.Tmp")] == [b"Mail 0"], 10))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) == 2, DEADLINE),
                        gw.run.lines()[-40:])
        k.wait_until(lambda: False, 10)  # past the other one's retry time
        self.assertEqual(sorted((s[0], s[1]) for s in gw.modem.sent()),
                         [("+420603555000", "Mail 0"), ("+420603555001", "Mail 1")])
        self.assertEqual(gw.records("SmtpWait.Tmp"), [])
        self.assertEqual(gw.records("Pop3.Tmp"), [])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def traced(self, gw, text):
        with open(gw.modem.trace_path, "rb") as f:
            return text in f.read().decode("latin-1")

    def test_a_stop_waits_for_the_result_and_the_next_start_sends_nothing_again(self):
        gw = self.gateway(BASE + "MemCheOn=0\n", "--send-delay", "6000")
        self.send_mails(gw, 1)
        # The modem has the body; its result is six seconds away.
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) == 1, DEADLINE),
                        gw.run.lines()[-40:])
        self.assertEqual(gw.run.stop(timeout=30), 0)
        self.assertEqual(gw.logged("GSM gateway dispatched SMS to +420603555000"), 1)
        again = k.start(self, gw.folder)
        k.wait_until(lambda: False, 8)
        self.assertEqual(len(gw.modem.sent()), 1)
        self.assertEqual(again.stop(timeout=DEADLINE), 0)

    def test_sms_arriving_in_bursts_during_listings_and_sends_are_read_at_once(self):
        # On-line mode as shipped: both storages, announced SMS, a round a minute.
        gw = self.gateway(BASE + "SendSMSDelay=1000\n", "--fault", "delay-on AT+CMGL* 800",
                          "--send-delay", "1500")
        jobs = self.send_mails(gw, 3)
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CNMI")) == 1, DEADLINE))
        texts = []
        for burst in range(1, 4):
            gw.modem.control("burst 3 700")
            texts += ["Burst %d.%d" % (burst, i) for i in range(1, 4)]
            k.wait_until(lambda: False, 3)
        # Stored long before the next round would have listed them.
        self.assertTrue(k.wait_until(lambda: bodies(gw) == sorted(texts), 30),
                        (bodies(gw), gw.run.lines()[-40:]))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) == 3, DEADLINE))
        self.assertEqual(sorted((s[0], s[1]) for s in gw.modem.sent()), sorted(jobs))
        self.assertEqual(len(deletes(gw)), len(texts))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
