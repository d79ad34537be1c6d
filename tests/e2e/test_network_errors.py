"""SMS over a network with its habits, modem and program as the world runs them (a pseudo-
terminal for the serial path): temporary send errors tried again at their time, once, also
across a restart; refused SMS reported with their reason, their text as written and a reply
address; subjects without a telephone number; the GSM alphabet reaching the mail programs as
itself; two SMS alike, each stored, and one listed again after a failed delete, stored once."""

import email
import email.policy
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, Pop3From, mail

ONLINE = ("StartGo=1\nOnLine=1\nIntervalOnLine=2000\nSendSMSDelay=100\nDNSOff=1\nMemCheOn=0\n"
          "SmsIndication=0\n")
WRITTEN = "Refused “at once”, naïve"
GSM_ALPHABET = "àèìòù ÅåÆæØøÑñß ÄÖÜäöü ÉÇ £¥§¿¡ _¤@ ΔΦΓΛΩΠΨΣΘΞ {[~]}|^€\\"


def messages(port):
    """Every message one POP3 session offers, parsed as a mail program does, then deleted."""
    box = Pop3From(port, "127.0.0.1")
    try:
        box.user("anyone")
        box.pass_("secret")
        out = []
        for n in range(1, box.stat()[0] + 1):
            _, lines, _ = box.retr(n)
            out.append(email.message_from_bytes(b"\n".join(lines) + b"\n",
                                                 policy=email.policy.default))
            box.dele(n)
        box.quit()
        return out
    finally:
        box.close()


class NetworkErrors(unittest.TestCase):
    def test_a_temporary_error_is_tried_at_its_time_once_across_a_restart(self):
        gw = Gateway(self, ONLINE, modem_args=("--fault", "send-errors 38|21"), pty=True)
        gw.smtplib(["+420603555001@sms.lan"], mail(b"first", b"Tried again"))
        self.assertTrue(k.wait_until(lambda: gw.logged(
            "SMS to +420603555001 not sent (+CMS ERROR: 38 (network out of order)), "
            "next try in 1 min"), DEADLINE), gw.run.lines()[-30:])
        failed_at = time.monotonic()
        gw.smtplib(["+420603555002@sms.lan"], mail(
            b"second", WRITTEN.encode(), b"Content-Type: text/plain; charset=utf-8\r\n"))
        self.assertTrue(k.wait_until(lambda: gw.logged(
            "GSM gateway: non-delivery SMS to +420603555002"), DEADLINE), gw.run.lines()[-30:])
        self.assertEqual(gw.modem.sent(), [])

        got = messages(gw.pop3_port)
        self.assertEqual(len(got), 1)
        report = got[0]
        self.assertEqual(report["Subject"], "Non-delivery SMS:  second")
        self.assertEqual(report["From"].addresses[0].addr_spec, "kolvane@kolvane.lan")
        self.assertEqual(report["Reply-To"].addresses[0].addr_spec, "+420603555002@kolvane.lan")
        body = report.get_content()
        self.assertIn("The SMS to +420603555002 was not sent.\n", body)
        self.assertIn("Reason: +CMS ERROR: 21 (the network rejected the SMS)\n", body)
        self.assertRegex(body, r"Attempts:\n  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d  "
                               r"\+CMS ERROR: 21 \(the network rejected the SMS\)\n")
        self.assertTrue(body.rstrip("\n").endswith("Your text:\n" + WRITTEN), body)

        # Stopped while the job waits; the next run tries it at its time, once.
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)
        gw.run = k.start(self, gw.folder)
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 1, 120),
                        gw.run.lines()[-30:])
        self.assertGreater(time.monotonic() - failed_at, 50)
        k.wait_until(lambda: False, 6)  # a few relations more
        self.assertEqual([(s[0], s[1]) for s in gw.modem.sent()],
                         [("+420603555001", "Tried again")])
        self.assertEqual(messages(gw.pop3_port), [])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_subject_number_must_look_like_one(self):
        gw = Gateway(self, ONLINE)
        gw.smtplib(["office@sms.lan"], mail(b"Order 12345 shipped", b"Your order"))
        gw.smtplib(["office@sms.lan"], mail(b"Call +420603555003", b"From the subject"))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= 1, DEADLINE))
        k.wait_until(lambda: False, 3)
        self.assertEqual([(s[0], s[1]) for s in gw.modem.sent()],
                         [("+420603555003", "From the subject")])
        got = messages(gw.pop3_port)
        self.assertEqual([m["Subject"] for m in got], [
            "Undispatched SMS:  (impossible to use a tel. number in subject)  Order 12345 shipped"])
        self.assertIn("Reason: impossible to use a tel. number in subject", got[0].get_content())
        self.assertIn("Your text:\nYour order", got[0].get_content())

    def alphabet_reaches_pop3_as_itself(self, pdu_text):
        gw = Gateway(self, ONLINE + "PDUText=%d\n" % pdu_text, pty=True)
        gw.modem.inject("+420777111222", GSM_ALPHABET, "gsm")
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 1 SMS"), DEADLINE),
                        gw.run.lines()[-30:])
        got = messages(gw.pop3_port)
        self.assertEqual([m.get_content().rstrip("\n") for m in got], [GSM_ALPHABET])

    def test_the_gsm_alphabet_reaches_pop3_as_itself_in_pdu_mode(self):
        self.alphabet_reaches_pop3_as_itself(0)

    def test_the_gsm_alphabet_reaches_pop3_as_itself_in_text_mode(self):
        self.alphabet_reaches_pop3_as_itself(1)

    def test_sms_alike_are_each_stored_and_one_not_deleted_once(self):
        gw = Gateway(self, ONLINE, pty=True)
        same = ("+420777111222", "Same words", "stamp=2026-12-11T10:00:00")
        gw.modem.inject(*same)
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 1 SMS") == 1, DEADLINE))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CMGD=")) == 1, DEADLINE))
        k.wait_until(lambda: False, 1)
        gw.modem.inject(*same)
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 1 SMS") == 2, DEADLINE),
                        gw.run.lines()[-30:])
        # The third is not deleted at first: listed again, it is no new SMS.
        k.wait_until(lambda: False, 1)
        gw.modem.control("error-on AT+CMGD=*")
        gw.modem.inject(*same)
        self.assertTrue(k.wait_until(lambda: gw.logged("POP3 server saved 0 SMS") >= 1, DEADLINE),
                        gw.run.lines()[-30:])
        gw.modem.control("error-off all")
        deletes = len(gw.modem.commands("AT+CMGD="))
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CMGD=")) > deletes,
                                     DEADLINE), gw.run.lines()[-40:])
        k.wait_until(lambda: False, 3)
        bodies = [body for *_, body in gw.records("Pop3.Tmp")]
        self.assertEqual(bodies, [b"Same words"] * 3)
        self.assertEqual(gw.logged("POP3 server saved 1 SMS"), 3)
        self.assertGreaterEqual(gw.logged(
            "SMS from +420777111222 at SM 1 was stored before and its delete was not confirmed: "
            "it is not stored again"), 1)


if __name__ == "__main__":
    mail_gateway.main()
