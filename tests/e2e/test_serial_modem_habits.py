"""A serial modem as real ones are, behind a pseudo-terminal: codes nobody asked for before the
send prompt, a prompt left open by an earlier program, an echo that stays on, commands a USB
stick does not support, numeric errors, noise after the port opens, a module that starts anew.
Every mail is sent once, nothing is typed into an SMS body, received SMS arrive."""

import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import Gateway, mail

DEADLINE = 90.0
# Debug shows every opening of the device, which an idle log tells only once an hour.
ONLINE = "StartGo=1\nOnLine=1\nSendSMSDelay=100\nSendFiTxtDelay=1\nDNSOff=1\nMemCheOn=0\nDebug=1\n"
CODES = "Call Ready|+CIEV: 2,3|*PSUTTZ: 2024,5,1,10,20,30,\"+08\",1"


def bodies(gw):
    return sorted(body for *_, body in gw.records("Pop3.Tmp"))


def connections(gw):
    """The times the program opened the serial device."""
    return gw.logged(gw.modem.link + " connected")


class SerialModemHabits(unittest.TestCase):
    def gateway(self, *modem_args, cfg=""):
        return Gateway(self, ONLINE + cfg, modem_args=modem_args, pty=True)

    def send_mails(self, gw, count):
        jobs = [("+42060355500%d" % i, "Mail %d" % i) for i in range(count)]
        for number, text in jobs:
            gw.smtplib(["%s@sms.lan" % number], mail(b"job", text.encode()))
        return jobs

    def assert_sent_once(self, gw, jobs):
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= len(jobs), DEADLINE),
                        gw.run.lines()[-40:])
        k.wait_until(lambda: False, 1)  # nothing more comes
        self.assertEqual(sorted((s[0], s[1]) for s in gw.modem.sent()), sorted(jobs))
        self.assertEqual(gw.logged("GSM Busy - End of session"), 0)

    def assert_received(self, gw, texts):
        self.assertTrue(k.wait_until(lambda: bodies(gw) == sorted(texts), DEADLINE),
                        (bodies(gw), gw.run.lines()[-40:]))

    def unknown_codes_before_the_prompt(self, cfg):
        gw = self.gateway("--fault", "prompt-codes " + CODES, cfg=cfg)
        self.assert_sent_once(gw, self.send_mails(gw, 3))
        self.assertEqual(gw.run.stop(timeout=DEADLINE), 0)

    def test_unknown_codes_before_the_prompt_in_text_mode(self):
        self.unknown_codes_before_the_prompt("")

    def test_unknown_codes_before_the_prompt_in_pdu_mode(self):
        self.unknown_codes_before_the_prompt("PDUText=0\n")

    def test_a_modem_left_at_its_prompt_sends_in_the_first_relation(self):
        gw = self.gateway("--left-at-prompt")
        self.assert_sent_once(gw, self.send_mails(gw, 1))
        self.assertEqual(connections(gw), 1)

    def test_an_echo_that_stays_on_sends_and_receives_everything(self):
        gw = self.gateway("--fault", "echo-stuck on", "--sms", "+420777111222:Heard with echo")
        self.assert_sent_once(gw, self.send_mails(gw, 3))
        self.assert_received(gw, [b"Heard with echo"])

    def test_commands_a_stick_does_not_support_are_left_out(self):
        gw = self.gateway("--fault", "unsupported AT+CSDH=1", "--fault", "unsupported AT+CPAS",
                          "--sms", "+420777111222:Read all the same")
        self.assert_sent_once(gw, self.send_mails(gw, 2))
        self.assert_received(gw, [b"Read all the same"])
        for command in ("AT+CSDH=1", "AT+CPAS"):
            self.assertEqual(len(gw.modem.commands(command)), connections(gw))
            self.assertGreaterEqual(
                gw.logged("GSM command %s not supported by the modem; it is left out" % command), 1)
        self.assertEqual(gw.logged("GSM gateway inactive"), 0)

    def test_indications_refused_with_a_numeric_error_are_polled(self):
        gw = self.gateway("--fault", "cme-error AT+CNMI* 3", cfg="IntervalOnLine=1000\n")
        for i in range(2):
            gw.modem.inject("+420777888%03d" % i, "polled %d" % i)
        self.assert_received(gw, [b"polled 0", b"polled 1"])
        self.assertEqual(len(gw.modem.commands("AT+CMEE=1")), connections(gw))
        self.assertEqual(len(gw.modem.commands("AT+CNMI")), 1)  # refused once, not asked again

    def test_noise_over_the_first_600_ms_and_the_sim_is_read(self):
        gw = self.gateway("--link-fault", "noise 8192 600",
                          "--sms", "+420777111222:Heard through the noise")
        self.assert_received(gw, [b"Heard through the noise"])
        self.assertEqual(gw.logged("Communication on COM port terminated for many errors"), 0)
        self.assertEqual(gw.logged("GSM gateway connected"), 1)

    def test_a_module_that_starts_anew_while_parked_is_set_up_again(self):
        gw = self.gateway()
        self.assertTrue(k.wait_until(lambda: len(gw.modem.commands("AT+CNMI")) == 1, DEADLINE))
        gw.modem.control("power-up")  # echo on, text mode and indications gone
        k.wait_until(lambda: False, 3)
        self.assert_sent_once(gw, self.send_mails(gw, 2))
        self.assertEqual(gw.logged("GSM gateway: non-delivery SMS to +420603555000"), 0)
        self.assertGreaterEqual(connections(gw), 2)


if __name__ == "__main__":
    mail_gateway.main()
