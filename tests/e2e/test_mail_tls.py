"""Encrypted mail with the gateway's own certificate and nothing else set up: Debian's swaks,
curl, msmtp and fetchmail and Python's smtplib and poplib over STARTTLS, STLS and the TLS
ports, trusting the certificate by its fingerprint; with MailTlsRequired nothing goes in
clear."""

import hashlib
import os
import poplib
import shutil
import signal
import smtplib
import socket
import ssl
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway
from mail_gateway import DEADLINE, Gateway, free_port, mail

QUICK = ("StartGo=1\nOnLine=1\nSmsIndication=0\nIntervalOnLine=600000\nMemCheOn=0\n"
         "DNSOff=1\n")


def trusting_nothing():
    """A client context that encrypts without checking the certificate (Python's clients)."""
    context = ssl.create_default_context()
    context.check_hostname = False
    context.verify_mode = ssl.CERT_NONE
    return context


def tls_gateway(test, cfg=""):
    sp, p3s = free_port(), free_port()
    gw = Gateway(test, QUICK + "SmtpsPort=%d\nPop3sPort=%d\n" % (sp, p3s) + cfg)
    gw.smtps_port, gw.pop3s_port = sp, p3s
    test.assertTrue(k.wait_until(lambda: gw.logged("SMTPS server listens")
                                 and gw.logged("POP3S server listens"), DEADLINE),
                    gw.run.lines())
    return gw


class MailTls(unittest.TestCase):
    def swaks(self, gw, *args):
        done = subprocess.run(["swaks", "--server", "127.0.0.1", "--helo", "pc3",
                               "--from", "me@lan", "--body", "Hello", "--timeout", "20", *args],
                              capture_output=True)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        return done.stdout

    def test_real_clients_send_and_fetch_encrypted(self):
        gw = tls_gateway(self)
        gw.modem.inject("+420777111222", "Received SMS")
        self.assertTrue(k.wait_until(lambda: len(gw.records("Pop3.Tmp")) == 1, 3 * DEADLINE),
                        gw.run.lines())
        sent = 0
        if shutil.which("swaks"):
            out = self.swaks(gw, "--port", str(gw.port), "--tls", "--to", "420603000001@sms.lan")
            self.assertIn(b"TLS started", out)
            self.swaks(gw, "--port", str(gw.smtps_port), "--tls-on-connect",
                       "--to", "420603000002@sms.lan")
            sent += 2
        s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
        s.ehlo()
        self.assertIn("starttls", s.esmtp_features)
        s.starttls(context=trusting_nothing())
        s.ehlo()
        self.assertNotIn("starttls", s.esmtp_features)
        s.sendmail("me@lan", ["+420603000003@sms.lan"], mail(b"starttls", b"Over STARTTLS"))
        s.quit()
        with smtplib.SMTP_SSL("127.0.0.1", gw.smtps_port, local_hostname="pc1", timeout=20,
                              context=trusting_nothing()) as s:
            s.sendmail("me@lan", ["+420603000004@sms.lan"], mail(b"smtps", b"Over SMTPS"))
        sent += 2
        if shutil.which("msmtp"):
            home = os.path.join(gw.folder, "msmtp")
            os.makedirs(home)
            rc = os.path.join(home, "msmtprc")
            with open(rc, "w") as f:
                f.write("account gw\nhost 127.0.0.1\nport %d\nfrom me@lan\ntls on\n"
                        "tls_fingerprint %s\naccount default : gw\n"
                        % (gw.port, mail_gateway.fingerprint(gw.folder)))
            os.chmod(rc, 0o600)
            done = subprocess.run(["msmtp", "-C", rc, "420603000005@sms.lan"],
                                  input=mail(b"msmtp", b"Over msmtp"), capture_output=True,
                                  timeout=60)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            sent += 1
        # The modem may have sent some already: the server's own count tells.
        self.assertEqual(gw.logged("SMTP server received and saved 1 mails"), sent,
                         gw.run.lines())

        # Fetching: poplib both ways, curl over STLS, fetchmail trusting the fingerprint.
        p = mail_gateway.Pop3From(gw.pop3_port, "127.0.0.2")
        self.assertIn("STLS", p.capa())
        p.stls(context=trusting_nothing())
        self.assertNotIn("STLS", p.capa())
        p.user("anyone")
        p.pass_("secret")
        self.assertEqual(p.stat()[0], 1)
        p.quit()
        p = poplib.POP3_SSL("127.0.0.1", gw.pop3s_port, timeout=20,
                            context=trusting_nothing())
        p.user("anyone")
        p.pass_("secret")
        self.assertEqual(p.stat()[0], 1)
        p.quit()
        if shutil.which("curl"):
            # Another PC: what one PC retrieved has left its box.
            done = subprocess.run(["curl", "-s", "--ssl-reqd", "-k", "--max-time", "30",
                                   "--interface", "127.0.0.3",
                                   "-u", "anyone:secret",
                                   "pop3://127.0.0.1:%d/1" % gw.pop3_port],
                                  capture_output=True)
            self.assertEqual(done.returncode, 0, done.stderr)
            self.assertIn(b"Received SMS", done.stdout)
        if shutil.which("fetchmail"):
            command, env, box = mail_gateway.fetchmail_setup(gw)
            done = subprocess.run(command, env=env, capture_output=True, timeout=120)
            said = done.stdout + done.stderr
            self.assertEqual(done.returncode, 0, said)
            self.assertIn(b"POP3> STLS", said)
            self.assertEqual(len(os.listdir(box)), 1, said)

    def test_nothing_in_clear_when_tls_is_required(self):
        gw = tls_gateway(self, "MailTlsRequired=1\nEhlo500=1\nMailListenAddress=127.0.0.1\n")
        # Bound to one address: another of the machine's is not served.
        for port in (gw.port, gw.pop3_port, gw.smtps_port, gw.pop3s_port):
            with self.assertRaises(ConnectionRefusedError):
                socket.create_connection(("127.0.0.2", port), timeout=5).close()
        s = smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20)
        self.assertEqual(s.ehlo()[0], 250)
        self.assertEqual(s.docmd("MAIL FROM:<me@lan>")[0], 530)
        self.assertEqual(s.docmd("AUTH PLAIN AGEAYg==")[0], 538)
        self.assertEqual(s.docmd("RCPT TO:<+420603000001@sms.lan>")[0], 503)
        s.starttls(context=trusting_nothing())
        s.sendmail("me@lan", ["+420603000001@sms.lan"], mail(b"tls", b"Encrypted"))
        s.quit()
        p = poplib.POP3("127.0.0.1", gw.pop3_port, timeout=20)
        with self.assertRaises(poplib.error_proto) as refused:
            p.user("anyone")
        self.assertIn(b"[AUTH] TLS required", refused.exception.args[0])
        p.stls(context=trusting_nothing())
        p.user("anyone")
        p.quit()
        self.assertEqual(len(gw.records("Smtp.Tmp")), 1, gw.run.lines())

    def test_sighup_serves_the_replaced_certificate(self):
        folder = k.new_folder(self)
        crt, key = os.path.join(folder, "named.crt"), os.path.join(folder, "named.key")

        def make_certificate():
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                            "ec_paramgen_curve:P-256", "-nodes", "-days", "30",
                            "-subj", "/CN=gateway.lan", "-keyout", key, "-out", crt],
                           check=True, capture_output=True)
            with open(crt) as f:
                return hashlib.sha256(ssl.PEM_cert_to_DER_cert(f.read())).hexdigest()

        def served(gw):
            with smtplib.SMTP("127.0.0.1", gw.port, local_hostname="pc1", timeout=20) as s:
                s.starttls(context=trusting_nothing())
                return hashlib.sha256(s.sock.getpeercert(binary_form=True)).hexdigest()

        first = make_certificate()
        gw = tls_gateway(self, "TlsCertFile=%s\nTlsKeyFile=%s\nMailListenAddress=office\n"
                         % (crt, key))
        # An address that is none: told once, every address is served.
        self.assertEqual(gw.logged('MailListenAddress "office" is no address: the mail servers '
                                   'listen on every address'), 1, gw.run.lines())
        socket.create_connection(("127.0.0.2", gw.port), timeout=5).close()
        self.assertEqual(served(gw), first, gw.run.lines())
        second = make_certificate()
        reloaded = gw.logged("Settings reloaded")
        gw.run.proc.send_signal(signal.SIGHUP)
        self.assertTrue(k.wait_until(lambda: gw.logged("Settings reloaded") > reloaded,
                                     DEADLINE), gw.run.lines())
        self.assertEqual(served(gw), second, gw.run.lines())


if __name__ == "__main__":
    mail_gateway.main()
