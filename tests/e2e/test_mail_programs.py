"""Mail programs as people use them, against the real program and the simulated modem: a reply
to an SMS-mail sends the answer without the quote, whatever program wrote it; each mail is read
in its own charset; a received SMS shows the time it arrived, not the time it was fetched."""

import datetime
import email.quoprimime
import email.utils
import os
import subprocess
import time
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, fetch_all

# A relation at start and then every 8 s; long mails may become several SMS, so a quote that
# went along would show as a second one.
QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=8000\nMemCheOn=0\n"
         "SendSMSDelay=100\nDNSOff=1\nCutEMail=1\nCutEMax=5\n")
NUMBER = "+420777123456"
TO = NUMBER + "@sms.kolvane.lan"


def qp(text, charset="utf-8"):
    """Quoted-printable lines ended by CR LF, as mail programs write them."""
    return email.quoprimime.body_encode(text.encode(charset).decode("latin-1"),
                                        eol="\r\n").encode("latin-1")


def headers(*lines):
    return "".join(line + "\r\n" for line in lines).encode("utf-8")


def alternative(head, boundary, plain, html, charset="UTF-8"):
    return (head + headers("MIME-Version: 1.0",
                           'Content-Type: multipart/alternative; boundary="%s"' % boundary, "")
            + b"--" + boundary.encode() + b"\r\n"
            + headers('Content-Type: text/plain; charset="%s"' % charset,
                      "Content-Transfer-Encoding: quoted-printable", "")
            + qp(plain, charset) + b"\r\n\r\n--" + boundary.encode() + b"\r\n"
            + headers('Content-Type: text/html; charset="%s"' % charset,
                      "Content-Transfer-Encoding: quoted-printable", "")
            + qp(html, charset) + b"\r\n\r\n--" + boundary.encode() + b"--\r\n")


def thunderbird(subject, body):
    return headers("Message-ID: <4f1c2a1e-7a3b-4c8e-9d2f-0b1a2c3d4e5f@firma.cz>",
                   "Date: Thu, 10 Dec 2026 10:02:17 +0100", "MIME-Version: 1.0",
                   "User-Agent: Mozilla Thunderbird", "Subject: " + subject,
                   "Content-Language: cs", "To: " + TO,
                   "From: =?UTF-8?Q?Jan_Nov=C3=A1k?= <jan.novak@firma.cz>",
                   "Content-Type: text/plain; charset=UTF-8; format=flowed",
                   "Content-Transfer-Encoding: 8bit", "") + body.replace("\n", "\r\n").encode()


def outlook(language, plain, html, charset):
    head = headers("From: John Smith <john.smith@acme.com>", "To: kolvane <%s>" % TO,
                   "Subject: %s: SMS from phone No.: %s" % ("RE" if language == "en" else "ODP",
                                                             NUMBER),
                   "Thread-Topic: SMS from phone No.: " + NUMBER,
                   "Thread-Index: AQHZ3k2l4Q5yVb1xT0aC7mR2w9uXyA==",
                   "Date: Thu, 10 Dec 2026 09:03:41 +0000",
                   "Message-ID: <DB9PR01MB1234ABCD@DB9PR01MB1234.eurprd01.prod.outlook.com>",
                   "Content-Language: " + language, "X-MS-Has-Attach:")
    return alternative(head, "_000_DB9PR01MB1234ABCD_", plain, html, charset)


def gmail(subject, plain, html):
    head = headers("MIME-Version: 1.0", "Date: Thu, 10 Dec 2026 10:04:55 +0100",
                   "Message-ID: <CAF=x5Q7+Yt1kZr0b@mail.gmail.com>", "Subject: " + subject,
                   "From: Jana Dvorak <jana.dvorak@gmail.com>", "To: " + TO)
    return alternative(head, "000000000000a1b2c3d4e5f60718", plain, html)


THUNDERBIRD_CZ = thunderbird(
    "Re: SMS from phone No.: " + NUMBER,
    "Ano, budu tam v 15:00. Vezmu s sebou i podklady k rozpočtu a prezentaci \n"
    "pro vedení.\n\nDne 10. 12. 2026 v 9:58 kolvane napsal(a):\n"
    "> Přijdeš zítra na poradu? Začínáme ve 14:30 ve velké zasedačce, vezmi \n"
    "> prosím podklady.\n>\n")
THUNDERBIRD_EN = thunderbird(
    "Re: SMS from phone No.: " + NUMBER,
    "On 12/10/26 9:58 AM, kolvane wrote:\n> Are you coming to the meeting tomorrow? We start \n"
    "> at 2:30 pm in the big room.\n\nYes, I will be there at 3 pm.\n\n-- \nJohn Smith\n"
    "Acme Ltd., sales\n")
OUTLOOK_EN = outlook(
    "en",
    "Yes, I will be there at 3 pm.\n\nJohn\n\nFrom: kolvane <%s>\n"
    "Sent: Thursday, December 10, 2026 9:58 AM\nTo: John Smith <john.smith@acme.com>\n"
    "Subject: SMS from phone No.: %s\n\nAre you coming to the meeting tomorrow? We start at "
    "2:30 pm in the big room.\n" % (TO, NUMBER),
    '<html><head><meta http-equiv="Content-Type" content="text/html; charset=us-ascii">'
    "<style>p.MsoNormal {margin:0cm;}</style></head><body lang=\"EN-US\"><div "
    'class="WordSection1"><p class="MsoNormal">Yes, I will be there at 3 pm.<o:p></o:p></p>'
    '<p class="MsoNormal"><o:p>&nbsp;</o:p></p><p class="MsoNormal">John<o:p></o:p></p>'
    '<div style="border:none;border-top:solid #E1E1E1 1.0pt;padding:3.0pt 0cm 0cm 0cm">'
    '<p class="MsoNormal"><b>From:</b> kolvane &lt;%s&gt; <br><b>Sent:</b> Thursday, December '
    "10, 2026 9:58 AM<br><b>To:</b> John Smith<br><b>Subject:</b> SMS from phone No.: %s</p>"
    '</div><p class="MsoNormal">Are you coming to the meeting tomorrow?</p></div></body></html>'
    % (TO, NUMBER), "us-ascii")
OUTLOOK_CZ = outlook(
    "cs",
    "Ano, budu tam v 15:00.\n\n\u00a0\n\nOd: kolvane <%s>\nOdesláno: čtvrtek 10. prosince 2026 "
    "9:58\nKomu: Jan Novák <jan.novak@firma.cz>\nPředmět: SMS from phone No.: %s\n\n\u00a0\n\n"
    "Přijdeš zítra na poradu? Začínáme ve 14:30 ve velké zasedačce, vezmi prosím podklady.\n"
    % (TO, NUMBER),
    '<html><body lang="CS"><div class="WordSection1"><p class="MsoNormal">Ano, budu tam v '
    "15:00.</p><p class=\"MsoNormal\">&nbsp;</p><div><div style=\"border:none;border-top:solid "
    '#E1E1E1 1.0pt"><p class="MsoNormal"><b>Od:</b> kolvane<br><b>Odesláno:</b> čtvrtek 10. '
    "prosince 2026 9:58</p></div></div><p>Přijdeš zítra na poradu?</p></div></body></html>",
    "iso-8859-2")
GMAIL_CZ = gmail(
    "Re: SMS from phone No.: " + NUMBER,
    "Ano, budu tam v 15:00.\n\nčt 10. 12. 2026 v 9:58 odesílatel kolvane <%s>\nnapsal:\n\n"
    "> Přijdeš zítra na poradu? Začínáme ve 14:30 ve velké zasedačce, vezmi\n"
    "> prosím podklady.\n>\n" % TO,
    '<div dir="ltr">Ano, budu tam v 15:00.</div><br><div class="gmail_quote"><div dir="ltr" '
    'class="gmail_attr">čt 10. 12. 2026 v 9:58 odesílatel kolvane &lt;<a href="mailto:%s">%s'
    '</a>&gt; napsal:<br></div><blockquote class="gmail_quote" style="margin:0px 0px 0px 0.8ex;'
    'border-left:1px solid rgb(204,204,204);padding-left:1ex">Přijdeš zítra na poradu? '
    "Začínáme ve 14:30 ve velké zasedačce, vezmi prosím podklady.<br></blockquote></div>"
    % (TO, TO))
# Gmail's HTML behind a plain part left empty, as some programs send it; the answer below the
# quote.
GMAIL_EN = gmail(
    "Re: SMS from phone No.: " + NUMBER, "",
    '<div dir="ltr"><div class="gmail_quote"><div dir="ltr" class="gmail_attr">On Thu, Dec 10, '
    "2026 at 9:58 AM kolvane &lt;%s&gt; wrote:<br></div><blockquote class=\"gmail_quote\">Are "
    "you coming to the meeting tomorrow?</blockquote></div><div>Yes, see you at 3 pm.</div>"
    "</div>" % TO)
# A monitoring script: no reply, so its ">" line is the message.
MONITORING = headers("From: monit@srv1.firma.cz", "To: " + TO,
                     "Subject: [monit] disk usage on srv1", "") + b"Disk /var on srv1:\r\n> 90 %\r\n"

ANSWERS = [
    (THUNDERBIRD_CZ, "Ano, budu tam v 15:00. Vezmu s sebou i podklady k rozpoctu a prezentaci "
                     "pro vedeni."),
    (THUNDERBIRD_EN, "Yes, I will be there at 3 pm."),
    (OUTLOOK_EN, "Yes, I will be there at 3 pm.\\r\\n\\r\\nJohn"),
    (OUTLOOK_CZ, "Ano, budu tam v 15:00."),
    (GMAIL_CZ, "Ano, budu tam v 15:00."),
    (GMAIL_EN, "Yes, see you at 3 pm."),
    # The simulator writes the line end of a sent text as "\r\n".
    (MONITORING, "Disk /var on srv1:\\r\\n> 90 %"),
]


class MailPrograms(unittest.TestCase):
    def test_replies_send_the_answer_only(self):
        gw = Gateway(self, QUICK)
        for message, _ in ANSWERS:
            gw.smtplib([TO], message)
        want = [(NUMBER, answer) for _, answer in ANSWERS]
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= len(want), DEADLINE),
                        gw.run.lines())
        self.assertEqual([(number, text) for number, text, *_ in gw.modem.sent()], want)
        self.assertEqual(gw.records("Pop3.Tmp"), [])

    def test_each_mail_in_its_own_charset(self):
        # PDU mode: the euro sign goes as it is (text mode would send "e").
        gw = Gateway(self, QUICK + "PDUText=0\n")
        windows = os.path.join(gw.folder, "windows-1250.eml")
        # swaks takes an argument beginning with "+" for an option: the number without it.
        k.write_bytes(windows, headers("From: jan@firma.cz", "To: " + TO[1:], "Subject: porada",
                                       "Content-Type: text/plain; charset=windows-1250", "")
                      + "Přijdu v 15:00, žádné změny.".encode("cp1250"))
        swaks = subprocess.run(["swaks", "--server", "127.0.0.1", "--port", str(gw.port),
                                "--protocol", "SMTP", "--helo", "pc1",
                                "--from", "jan@firma.cz", "--to", TO[1:], "--data", "@" + windows,
                                "--timeout", "20"], capture_output=True, timeout=60)
        self.assertEqual(swaks.returncode, 0, swaks.stdout + swaks.stderr)
        # A script's mail: UTF-8, no charset named.
        cron = os.path.join(gw.folder, "cron.eml")
        k.write_bytes(cron, headers("From: root@srv1", "To: " + TO,
                                    "Subject: Cron <root@srv1> /usr/local/bin/backup", "")
                      + "Záloha hotová: 12 GB, příště v 02:00.\r\n".encode())
        subprocess.run(["curl", "-sS", "--max-time", "20", "--url",
                        "smtp://127.0.0.1:%d" % gw.port, "--mail-from", "root@srv1",
                        "--mail-rcpt", TO, "--upload-file", cron],
                       check=True, capture_output=True, timeout=60)
        gw.smtplib([TO], headers("From: eva@firma.de", "To: " + TO, "Subject: Rechnung",
                                 "Content-Type: text/plain; charset=ISO-8859-15",
                                 "Content-Transfer-Encoding: 8bit", "")
                   + "Die Rechnung über 120 € ist bezahlt.".encode("iso-8859-15"))
        want = [(NUMBER[1:], "Prijdu v 15:00, zadne zmeny."),
                (NUMBER, "Zaloha hotova: 12 GB, priste v 02:00."),
                (NUMBER, "Die Rechnung uber 120 € ist bezahlt.")]
        self.assertTrue(k.wait_until(lambda: len(gw.modem.sent()) >= len(want), DEADLINE),
                        gw.run.lines())
        self.assertEqual([(number, text) for number, text, *_ in gw.modem.sent()], want)
        self.assertEqual(gw.records("Pop3.Tmp"), [])

    def test_a_received_sms_shows_when_it_arrived(self):
        gw = Gateway(self, QUICK)
        # The network stamped it 70 s ago: the PC fetches it more than a minute after.
        gw.modem.inject("+420777111222", "Jsem na miste.", "age=70")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == 1, DEADLINE),
                        gw.run.lines())
        fetched = datetime.datetime.now(datetime.timezone.utc)
        (headers_, body), = fetch_all(gw.pop3_port)
        self.assertEqual(body, "Jsem na miste.")
        arrived = email.utils.parsedate_to_datetime(headers_["Date"])
        self.assertIsNotNone(arrived.tzinfo, headers_["Date"])
        self.assertGreaterEqual((fetched - arrived).total_seconds(), 69)
        self.assertLess((fetched - arrived).total_seconds(), 70 + DEADLINE)
        # A record written before records were dated still shows the time of fetching.
        with open(os.path.join(gw.folder, "Pop3.Tmp"), "ab") as f:
            f.write(b"PosID: %s999999\r\nNamePC: \r\nFrom: <x>\r\nTo: <kolvane>\r\n"
                    b"Subject: old\r\n\r\nold record\r\n.\r\n" % time.strftime("%y%m%d").encode())
        (headers_, body), = fetch_all(gw.pop3_port)
        self.assertEqual(body, "old record")
        age = datetime.datetime.now(datetime.timezone.utc) - email.utils.parsedate_to_datetime(
            headers_["Date"])
        self.assertLess(abs(age.total_seconds()), 30)


if __name__ == "__main__":
    mail_gateway.main()
