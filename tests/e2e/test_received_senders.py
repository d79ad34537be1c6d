"""Received SMS that the modem lists awkwardly, against the real program and the simulated
modem: senders that are names, parts of different senders with one reference, 16-bit
references, entries that cannot be decoded, a listing that stalls inside a body, and a name
spelled like an allowed number that sends a command."""

import email
import email.policy
import os
import re
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, fetch_all

# Relations far enough apart that one never runs into the next.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=15000\nMemCheOn=0\nSendSMSDelay=100\n"
         "DNSOff=1\n")


def inject_raw(gw, entry):
    """A listing entry as the modem shows it after "+CMGL: INDEX,"; \\r\\n as escapes."""
    with open(gw.modem.inject_path, "a", encoding="utf-8") as f:
        f.write("-\t%s\traw\n" % entry)


class Senders(unittest.TestCase):
    def test_names_and_parts_arrive_from_the_right_senders(self):
        gw = Gateway(self, QUICK + "PDUText=0\n")
        # Parts listed interleaved, so that a reader grouping by reference alone mixes them.
        gw.modem.inject("InfoSMS", "Your code is 1234", "alpha")
        gw.modem.inject("+420777111222", "First from A, |second from A", "ref=7")
        gw.modem.inject("+420777333444", "First from B, |second from B", "ref=7")
        gw.modem.inject("+420777333444", "Sixteen one, |sixteen two", "ref=263")
        gw.modem.inject("+420777333444", "Other one, |other two", "ref=519")
        inject_raw(gw, "1,,12\\r\\n00040C9124707711212200004250100102030005C8")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) >= 6, DEADLINE),
                        gw.run.lines())
        got = fetch_all(gw.pop3_port)
        raw = re.compile(r"\+CMGL: \d+,1,,12\r?\n00040C9124707711212200004250100102030005C8")
        self.assertEqual(
            sorted((h["From"], h["Subject"], "raw" if raw.fullmatch(body) else body)
                   for h, body in got),
            sorted([
                ("<name.InfoSMS@kolvane.lan>", "SMS from: InfoSMS (name)", "Your code is 1234"),
                ("<+420777111222@kolvane.lan>", "SMS from phone No.: +420777111222",
                 "First from A, second from A"),
                ("<+420777333444@kolvane.lan>", "SMS from phone No.: +420777333444",
                 "First from B, second from B"),
                ("<+420777333444@kolvane.lan>", "SMS from phone No.: +420777333444",
                 "Sixteen one, sixteen two"),
                ("<+420777333444@kolvane.lan>", "SMS from phone No.: +420777333444",
                 "Other one, other two"),
                ("<+420777111222@kolvane.lan>", "Undecodable SMS: +420777111222", "raw"),
            ]))
        # Every entry left the SIM, the undecodable one too.
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CMGD=")) >= 10, DEADLINE))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_name_spelled_like_an_allowed_number_runs_nothing(self):
        # With the default route mark: a refused command reaches the PC that fetches, not a PC
        # named "command".
        gw = Gateway(self, QUICK + "PDUText=1\nSmsToCmdSw=1\n",
                     "[SmsToCmdTelNo]\nA0=111111111\nA1=+420777111222\n"
                     "[SmsToCmdSubst]\ntouch=/usr/bin/touch\n")
        forged = os.path.join(gw.folder, "forged")
        allowed = os.path.join(gw.folder, "allowed")
        gw.modem.inject("111111111", "#command#touch#" + forged, "alpha")
        gw.modem.inject("+420777111222", "#command#touch#" + allowed)
        self.assertTrue(k.wait_until(lambda: os.path.exists(allowed), DEADLINE), gw.run.lines())
        got = fetch_all(gw.pop3_port)
        plain = [(h["From"], body) for h, body in got
                 if h["Subject"] == "SMS from: 111111111 (name)"]
        self.assertEqual(plain, [("<name.1-1-1-1-1-1-1-1-1@kolvane.lan>",
                                  "#command#touch#" + forged)])
        self.assertFalse(os.path.exists(forged))
        self.assertTrue(k.wait_until(
            lambda: any("refused" in line for line in gw.run.lines()), DEADLINE), gw.run.lines())
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_name_spelled_as_a_number_is_shown_as_a_name_and_a_reply_reaches_nobody(self):
        gw = Gateway(self, QUICK + "PDUText=1\n")
        gw.modem.inject("+420777000111", "Your parcel waits", "alpha")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) >= 1, DEADLINE),
                        gw.run.lines())
        box = mail_gateway.Pop3From(gw.pop3_port, "127.0.0.1")
        box.user("anyone")
        box.pass_("secret")
        _, lines, _ = box.retr(1)
        box.dele(1)
        box.quit()
        got = email.message_from_bytes(b"\r\n".join(lines), policy=email.policy.default)
        self.assertEqual(str(got["Subject"]), "SMS from: +420777000111 (name)")
        sender = got["From"].addresses[0].addr_spec
        self.assertIsNone(re.search(r"\+?\d\d", sender), sender)

        # The mail program's reply: to the name's address, the number in its subject.
        reply = mail_gateway.mail(("Re: " + str(got["Subject"])).encode(), b"Who is this?")
        gw.smtplib([sender], reply)
        self.assertTrue(k.wait_until(
            lambda: any(r[3].startswith(b"Undispatched SMS") for r in gw.records("Pop3.Tmp")),
            DEADLINE), gw.run.lines())
        report = [r for r in gw.records("Pop3.Tmp") if r[3].startswith(b"Undispatched SMS")][0]
        self.assertIn(b"the recipient is the name of an SMS sender", report[3])
        self.assertEqual(gw.modem.sent(), [])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_a_body_cut_by_a_stall_is_read_whole_later(self):
        whole = "A text long enough to be cut in the middle by the stall"
        gw = Gateway(self, QUICK + "PDUText=1\n", modem_args=(
            "--stall-body", "3000", "--sms", "+420777111222:" + whole,
            "--sms", "+420777333444:Second"))
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) >= 2, DEADLINE),
                        gw.run.lines())
        self.assertTrue(any(l.endswith("SMS 1 incomplete when the listing stalled, left for the "
                                       "next reading") for l in gw.run.lines()))
        self.assertEqual([r[4] for r in gw.records("Pop3.Tmp")], [b"Second", whole.encode()])
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)


if __name__ == "__main__":
    mail_gateway.main()
