"""The program headless beside kolvane-modemsim, with its mail servers on free ports: shared by
the end-to-end tests of the mail paths."""

import fcntl
import hashlib
import os
import poplib
import quopri
import random
import re
import smtplib
import socket
import ssl
import subprocess
import sys
import tempfile
import threading

import kolvane_e2e as k

MODEMSIM = os.path.join(k.BIN_DIR, "kolvane-modemsim")
DEADLINE = 60.0


_given = set()
_claims = []


def _claim(port):
    """Claims the port among all test processes of the machine: a lock on a file named after
    it, held until this process ends (the kernel drops it then). Without it two tests running
    side by side may draw the same free port."""
    folder = os.path.join(tempfile.gettempdir(), "kolvane-test-ports")
    os.makedirs(folder, exist_ok=True)
    try:
        f = open(os.path.join(folder, str(port)), "a")
    except OSError:
        return True
    try:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        f.close()
        return False
    _claims.append(f)
    return True


def free_port():
    """A port free at the moment of asking, drawn below the kernel's ephemeral range (32768 and
    up): a port the kernel handed out for port 0 is the next one it gives an outgoing
    connection, which then holds it when the gateway comes to listen."""
    for _ in range(200):
        port = random.randrange(20000, 32000)
        if port in _given:
            continue
        with socket.socket() as s:
            try:
                s.bind(("0.0.0.0", port))
            except OSError:
                continue
        if not _claim(port):
            continue
        _given.add(port)
        return port
    raise RuntimeError("no free port")


def free_mail_ports():
    """Settings lines that put both mail servers on free ports (port 0 is refused)."""
    return "SmtpPort=%d\nPop3Port=%d\n" % (free_port(), free_port())


class ModemProcess:
    """kolvane-modemsim as a child of the test; its ready line names the port or terminal."""

    def __init__(self, test, *args, stderr=subprocess.DEVNULL, program=MODEMSIM):
        self.proc = subprocess.Popen([program, *args], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=stderr)
        test.addCleanup(self.stop)
        self.ready = self.proc.stdout.readline().decode().strip()
        # Keep draining, so the modem never blocks on a full pipe.
        self.drain = threading.Thread(target=self.proc.stdout.read, daemon=True)
        self.drain.start()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)
        self.drain.join(10)
        self.proc.stdout.close()


class Modem(ModemProcess):
    """kolvane-modemsim on a free TCP port, or on a pseudo-terminal (the serial path), writing
    every SMS it sends to a file; control commands go to its control file."""

    def __init__(self, test, folder, *args, pty=False):
        self.sent_path = os.path.join(folder, "modem-sent.txt")
        self.trace_path = os.path.join(folder, "modem-trace.txt")
        self.inject_path = os.path.join(folder, "modem-inject.txt")
        self.control_path = os.path.join(folder, "modem-control.txt")
        self.link = os.path.join(folder, "modem") if pty else None
        for path in (self.inject_path, self.control_path):
            open(path, "wb").close()
        self.trace = open(self.trace_path, "wb")
        test.addCleanup(self.trace.close)
        where = ("--pty", self.link) if pty else ("--tcp", "0")
        super().__init__(test, *where, "--sent", self.sent_path, "--inject-file",
                         self.inject_path, "--control", self.control_path, "--trace", *args,
                         stderr=self.trace)
        self.port = None if pty else re.search(r":(\d+)$", self.ready).group(1)

    def control(self, line):
        with open(self.control_path, "a") as f:
            f.write(line + "\n")

    def rows(self):
        """The fields of every SMS sent so far, one list per line of the sent file."""
        try:
            with open(self.sent_path, encoding="utf-8") as f:
                return [line.rstrip("\n").split("\t") for line in f if line.endswith("\n")]
        except FileNotFoundError:
            return []

    def sent(self):
        """(number, text, mode, reference, count, part, dcs) of every SMS sent so far."""
        return [(r[1], r[2], r[3], int(r[4]), int(r[5]), int(r[6]), int(r[8]))
                for r in self.rows()]

    def inject(self, number, text, flags=""):
        """Stores an SMS in the running modem, as if it had just arrived."""
        with open(self.inject_path, "a", encoding="utf-8") as f:
            f.write("%s\t%s%s\n" % (number, text.replace("\\", "\\\\").replace("\n", "\\n"),
                                     "\t" + flags if flags else ""))

    def commands(self, prefix):
        """The command lines starting with prefix that the modem received, in order."""
        with open(self.trace_path, "rb") as f:
            lines = f.read().decode("latin-1").splitlines()
        received = (l[3:].split("<13>")[0] for l in lines if l.startswith("<- "))
        return [c for c in received if c.startswith(prefix)]


class Gateway:
    """The program headless beside the modem, its SMTP server on a free port."""

    def __init__(self, test, cfg, sections="", modem_args=(), prepare=None, env=None,
                 folder=None, pty=False):
        """folder: the program folder, when not the modem's."""
        modem_folder = k.new_folder(test)
        self.folder = folder or modem_folder
        self.modem = Modem(test, modem_folder, *modem_args, pty=pty)
        self.port = free_port()
        self.pop3_port = free_port()
        if prepare:
            prepare(self.folder)
        link = ("ComTcp=0\nComName=%s\n" % self.modem.link if pty else
                "ComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%s\n" % self.modem.port)
        k.write_ini(self.folder, "[CFG]\n%sSmtpPort=%d\nPop3Port=%d\n%s%s"
                    % (link, self.port, self.pop3_port, cfg,
                       sections.replace("{folder}", self.folder)))
        self.run = k.start(test, self.folder, env=env)
        test.assertTrue(k.wait_until(lambda: self.logged("SMTP server listens")
                                     and self.logged("POP3 server listens"), DEADLINE),
                        self.run.lines())

    def logged(self, text):
        return sum(1 for line in self.run.lines() if line.endswith("  " + text))

    def records(self, name):
        """(NamePC, From, To, Subject, body) of every record of a store file."""
        try:
            data = k.read_bytes(os.path.join(self.folder, name))
        except FileNotFoundError:
            return []
        # Lines that only some records have (the date, a preset time) follow the subject.
        pattern = re.compile(rb"PosID: \d{12}\r\nNamePC: (.*?)\r\nFrom: (.*?)\r\nTo: (.*?)\r\n"
                             rb"Subject: ([^\r\n]*)\r\n(?:[A-Za-z-]+: [^\r\n]*\r\n)*\r\n"
                             rb"(.*?)\r\n\.\r\n", re.S)
        return [tuple(m.groups()) for m in pattern.finditer(data)]

    def smtplib(self, rcpts, message, source="127.0.0.1"):
        s = smtplib.SMTP("127.0.0.1", self.port, local_hostname="pc1", timeout=20,
                         source_address=(source, 0))
        try:
            s.sendmail("me@lan", rcpts, message)
            s.quit()
        finally:
            s.close()


def fingerprint(folder, digest="sha256"):
    """The fingerprint of the gateway's own certificate in its folder, "AB:CD:..."."""
    with open(os.path.join(folder, "Kolvane.crt")) as f:
        der = ssl.PEM_cert_to_DER_cert(f.read())
    return ":".join("%02X" % b for b in hashlib.new(digest, der).digest())


def fetchmail_setup(gw, keep=True):
    """A fetchmail home in the gateway's folder with Debian's default settings and the
    certificate's fingerprint as its trust: (command, environment, box of delivered mails)."""
    home = os.path.join(gw.folder, "fetchmail")
    box = os.path.join(home, "box")
    os.makedirs(box)
    rc = os.path.join(home, "fetchmailrc")
    with open(rc, "w") as f:
        f.write('set no syslog\npoll 127.0.0.1 protocol POP3 service %d timeout 20\n'
                '  user "anyone" password "secret" sslfingerprint "%s" no sslcertck\n'
                '  mda "cat > %s/msg.$$"\n  %s\n'
                % (gw.pop3_port, fingerprint(gw.folder, "md5"), box,
                   "keep" if keep else "nokeep"))
    os.chmod(rc, 0o600)
    # As root fetchmail keeps its lock in /run whatever its home: one of its own.
    command = ["fetchmail", "-f", rc, "-v", "--pidfile", os.path.join(home, "fetchmail.pid")]
    return command, dict(os.environ, FETCHMAILHOME=home, HOME=home), box


def mail(subject, body, headers=b"Content-Type: text/plain; charset=us-ascii\r\n"):
    return (b"From: Me <me@lan>\r\nTo: someone\r\nSubject: " + subject + b"\r\n" + headers
            + b"\r\n" + body)




class Pop3From(poplib.POP3):
    """poplib from a given loopback address: each address is another PC for the server."""

    def __init__(self, port, source):
        self.source = source
        super().__init__("127.0.0.1", port, timeout=20)

    def _create_socket(self, timeout):
        return socket.create_connection((self.host, self.port), timeout,
                                        source_address=(self.source, 0))


def fetch_all(port, source="127.0.0.1", delete=True):
    """One POP3 session of a PC: every offered message as (headers, body text), then QUIT."""
    box = Pop3From(port, source)
    try:
        box.user("anyone")
        box.pass_("secret")
        out = []
        for n in range(1, box.stat()[0] + 1):
            _, lines, _ = box.retr(n)
            blank = lines.index(b"")
            headers = dict(l.decode("latin-1").split(": ", 1) for l in lines[:blank] if b": " in l)
            # Lines as a mail program reads them: each ended by a newline.
            body = quopri.decodestring(b"\n".join(lines[blank + 1:])).decode("utf-8")
            out.append((headers, body))
            if delete:
                box.dele(n)
        box.quit()
        return out
    finally:
        box.close()


def main():
    """Runs the tests of a module that needs the simulator; skipped when it is not built."""
    if not os.access(MODEMSIM, os.X_OK):
        print("skipped: %s not built" % MODEMSIM)
        sys.exit(k.SKIPPED)
    k.main()
