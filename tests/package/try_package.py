"""Installs the package, runs the service's command line by hand (no systemd here) as the
service user with the service's capability, mails an SMS through it to kolvane-modemsim,
fetches a received SMS over POP3, and removes the package: the data folder must stay."""

import os
import poplib
import re
import shutil
import signal
import smtplib
import socket
import subprocess
import sys
import tempfile
import time

DATA = "/var/lib/kolvane"
UNIT = "/lib/systemd/system/kolvane.service"


def run(*cmd):
    print("$", " ".join(cmd), flush=True)
    subprocess.run(cmd, check=True)


def wait_for(what, condition, timeout=60, step=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(step)
    sys.exit("timed out waiting for " + what)


def port_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def unit_command():
    text = open(UNIT).read()
    for key in ("User=kolvane", "AmbientCapabilities=CAP_NET_BIND_SERVICE", "Restart=on-failure",
                "ProtectSystem=strict", "ReadWritePaths=/var/lib/kolvane"):
        assert key in text, key + " missing in the unit"
    return re.search(r"^ExecStart=(.*)$", text, re.M).group(1).split()


def main():
    deb = os.path.abspath(sys.argv[1])
    run("apt-get", "install", "-y", "-qq", deb)
    assert os.path.isdir(DATA), "no data folder"
    assert (os.stat(DATA).st_mode & 0o777) == 0o700, "data folder not private"

    work = tempfile.mkdtemp()
    sent = os.path.join(work, "sent.txt")
    inject = os.path.join(work, "inject.txt")
    open(inject, "w").close()
    sim = subprocess.Popen(["/usr/bin/kolvane-modemsim", "--tcp", "0", "--sent", sent,
                            "--inject-file", inject], stdout=subprocess.PIPE, text=True)
    port = int(re.search(r":(\d+)", sim.stdout.readline()).group(1))

    # The service's own ports when this machine has them free.
    smtp_port, pop3_port = (25, 110) if port_free(25) and port_free(110) else (2525, 2110)
    with open(os.path.join(DATA, "Kolvane.ini"), "w") as ini:
        ini.write("[CFG]\nComTcp=1\nGtIPAdress=127.0.0.1\nGtTCPPort=%d\nSmtpPort=%d\n"
                  "Pop3Port=%d\nOnLine=1\nSmsIndication=0\nIntervalOnLine=2000\n" % (port, smtp_port, pop3_port))
    shutil.chown(os.path.join(DATA, "Kolvane.ini"), "kolvane", "kolvane")

    cmd = unit_command()
    print("service command:", " ".join(cmd), "on ports", smtp_port, pop3_port, flush=True)
    gw = subprocess.Popen(["setpriv", "--reuid=kolvane", "--regid=kolvane", "--init-groups",
                           "--inh-caps=+net_bind_service", "--ambient-caps=+net_bind_service",
                           "--"] + cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True)
    ok = False
    try:
        wait_for("the SMTP server", lambda: not port_free(smtp_port))
        s = smtplib.SMTP("127.0.0.1", smtp_port, timeout=30)
        s.sendmail("pc@office.lan", ["600111222@kolvane.lan"],
                   "From: pc@office.lan\r\nSubject: test\r\n\r\nHello from the package\r\n")
        s.close()
        wait_for("the SMS at the modem", lambda: os.path.exists(sent) and
                 "Hello from the package" in open(sent, encoding="utf-8").read())
        with open(inject, "a") as f:
            f.write("+420600333444\tAnswer to the package\n")
        def fetched():
            p = poplib.POP3("127.0.0.1", pop3_port, timeout=30)
            p.user("pc")
            p.pass_("x")
            count = len(p.list()[1])
            text = b"\n".join(b"\n".join(p.retr(i + 1)[1]) for i in range(count))
            p.quit()
            return b"Answer to the package" in text
        # Every logged POP3 session keeps the relation with the modem going: ask seldom enough
        # for it to end and the next one to read the SIM.
        wait_for("the SMS over POP3", fetched, timeout=150, step=15)
        print("SMTP and POP3 served by the installed program", flush=True)
        ok = True
    finally:
        gw.send_signal(signal.SIGTERM)
        out = gw.communicate(timeout=60)[0]
        sim.terminate()
        sim.wait()
        if not ok:
            print(out)
    owner = os.stat(os.path.join(DATA, "Pop3.Tmp")).st_uid
    assert owner == int(subprocess.check_output(["id", "-u", "kolvane"])), "store not the user's"

    run("dpkg", "-r", "kolvane")
    assert not os.path.exists("/usr/bin/Kolvane"), "program left after removal"
    assert os.path.exists(os.path.join(DATA, "Pop3.Tmp")), "data folder removed"
    print("removed; %s kept" % DATA)
    if gw.returncode not in (0, -signal.SIGTERM):
        print(out)
        sys.exit("gateway ended with %d" % gw.returncode)


if __name__ == "__main__":
    main()
