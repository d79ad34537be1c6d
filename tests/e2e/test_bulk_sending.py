"""Many mails through the real program at full pace: 200 SMS taken in over SMTP leave the
simulated modem in the order they came, none twice, and an SMS that arrives meanwhile reaches
the POP3 store while the sending goes on."""

import unittest

import kolvane_e2e as k
from mail_gateway import Gateway, mail

COUNT = 200
DEADLINE = 300.0
# One relation held open for the whole run, no pause between jobs.
FAST = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=1000\nMemCheOn=0\nSendSMSDelay=0\nDNSOff=1\n")


class BulkSending(unittest.TestCase):
    def test_two_hundred_mails_leave_in_order_while_an_sms_comes_in(self):
        gw = Gateway(self, FAST)
        texts = ["bulk %03d" % i for i in range(COUNT)]
        for i, text in enumerate(texts):
            gw.smtplib(["+420603%06d@sms.lan" % i], mail(b"bulk", text.encode()))
            if i == COUNT // 4:
                gw.modem.inject("+420777999000", "Incoming while sending")

        self.assertTrue(k.wait_until(lambda: len(gw.modem.rows()) >= COUNT, DEADLINE),
                        gw.run.lines()[-20:])
        sent = [(r[1], r[2]) for r in gw.modem.rows()]
        self.assertEqual(sent, [("+420603%06d" % i, t) for i, t in enumerate(texts)])

        self.assertTrue(k.wait_until(
            lambda: any(body == b"Incoming while sending"
                        for *_, body in gw.records("Pop3.Tmp")), DEADLINE),
            gw.run.lines()[-20:])


if __name__ == "__main__":
    k.main()
