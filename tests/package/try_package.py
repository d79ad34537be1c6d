"""The packages' whole life on this machine, as an administrator goes through it:

  install   kolvane and kolvane-desktop: the user, the private data folder, the commented
            Kolvane.ini, the service enabled and started (SMTP and POP3 answer); kolvaned
            loads no window or graphics library
  use       the device named in Kolvane.ini (kolvane-modemsim over TCP), a restart, a mail
            sent as SMS, a received SMS fetched over POP3, reload, --status
  upgrade   the packages of a higher version: the service restarted, the new program runs,
            the edited Kolvane.ini kept
  remove    the service stopped, the programs gone, the data folder kept
  purge     the data folder and the kolvane user gone

Where no systemd runs (a build container), the try-out runs in a mount namespace of its own
in which /run/systemd/system exists and systemctl_stand_in.py stands in for systemctl: the
maintainer scripts call deb-systemd-helper and deb-systemd-invoke as they would under
systemd, and the stand-in runs the unit as its file says.

    try_package.py SERVICE.deb DESKTOP.deb UPGRADE-SERVICE.deb UPGRADE-DESKTOP.deb
"""

import os
import poplib
import re
import smtplib
import socket
import subprocess
import sys
import tempfile
import time

DATA = "/var/lib/kolvane"
UNIT = "kolvane.service"
HERE = os.path.dirname(os.path.abspath(__file__))
STATE = "/run/systemd/stand-in"
DESKTOP_LIBS = re.compile(r"libQt6(Widgets|Gui|OpenGL|XcbQpa)|libX11|libxcb|libEGL|libGL|libOpenGL")


def run(*cmd, check=True):
    print("$", " ".join(cmd), flush=True)
    return subprocess.run(cmd, check=check)


def output(*cmd):
    return subprocess.run(cmd, check=True, capture_output=True, text=True).stdout


def wait_for(what, condition, timeout=60, step=0.2):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if condition():
            return
        time.sleep(step)
    sys.exit("timed out waiting for " + what + "\n" + service_log())


def service_log():
    try:
        return open(os.path.join(STATE, UNIT + ".log"), errors="replace").read()[-4000:]
    except OSError:
        pass
    done = subprocess.run(["journalctl", "-u", UNIT, "-n", "200", "--no-pager"],
                          capture_output=True, text=True)
    return done.stdout


def systemd_here():
    """Real systemd, or the stand-in in a namespace of our own (re-executing this script).
    There a container's policy-rc.d that forbids every start (exit 101) gives way too: an
    administrator's machine has none."""
    if os.environ.get("KOLVANE_TRY_NS") == "1":
        return False
    if os.path.isdir("/run/systemd/system"):
        return True
    policy = "/usr/sbin/policy-rc.d"
    script = ("mount -t tmpfs tmpfs /run/systemd && mkdir /run/systemd/system && "
              "mount --bind %s /usr/bin/systemctl && %s exec python3 %s \"$@\""
              % (os.path.join(HERE, "systemctl_stand_in.py"),
                 "mount --bind /bin/true %s &&" % policy if os.path.exists(policy) else "",
                 os.path.abspath(__file__)))
    env = dict(os.environ, KOLVANE_TRY_NS="1")
    os.makedirs("/run/systemd", exist_ok=True)
    done = subprocess.run(["unshare", "--mount", "--propagation", "private", "sh", "-c", script,
                           "sh", *sys.argv[1:]], env=env)
    sys.exit(done.returncode)


def active():
    return subprocess.run(["systemctl", "--quiet", "is-active", UNIT]).returncode == 0


def main_pid():
    if os.path.exists(os.path.join(STATE, UNIT + ".pid")):
        return int(open(os.path.join(STATE, UNIT + ".pid")).read())
    return int(output("systemctl", "show", "-p", "MainPID", "--value", UNIT))


def program_of(pid):
    return os.readlink("/proc/%d/exe" % pid)


def port_free(port):
    with socket.socket() as s:
        try:
            s.bind(("127.0.0.1", port))
            return True
        except OSError:
            return False


def answers(port, greeting):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
            return s.recv(200).startswith(greeting)
    except OSError:
        return False


def loaded_libraries(pid):
    libs = set()
    for line in open("/proc/%d/maps" % pid):
        path = line.split()[-1]
        if ".so" in path:
            libs.add(path)
    return libs


def set_cfg(values):
    """Edits [CFG] of the service's Kolvane.ini as an administrator would: in place."""
    path = os.path.join(DATA, "Kolvane.ini")
    lines = open(path).read().splitlines()
    for key, value in values.items():
        at = [i for i, l in enumerate(lines) if re.match(r"%s\s*=" % key, l)]
        if at:
            lines[at[0]] = "%s=%s" % (key, value)
        else:
            lines.insert(lines.index("[CFG]") + 1, "%s=%s" % (key, value))
    open(path, "w").write("\n".join(lines) + "\n")


def install(debs):
    run("apt-get", "install", "-y", "-qq", "--allow-downgrades", *debs)


def installed():
    done = subprocess.run(["dpkg-query", "-W", "-f", "${Status}\n", "kolvane", "kolvane-desktop"],
                          capture_output=True, text=True)
    return "installed" in done.stdout or "config-files" in done.stdout


def main():
    real = systemd_here()
    if installed():
        run("dpkg", "--purge", "kolvane-desktop", "kolvane")
    try:
        lifecycle(real)
    except BaseException:
        print(service_log(), flush=True)
        # A failed try-out leaves this machine as it found it.
        if installed():
            run("dpkg", "--purge", "kolvane-desktop", "kolvane", check=False)
        raise


def lifecycle(real):
    service_deb, desktop_deb, up_service, up_desktop = map(os.path.abspath, sys.argv[1:5])
    print("systemd:", "this machine's" if real else "the stand-in (no systemd runs here)",
          flush=True)

    # --- install
    ports_free = port_free(25) and port_free(110)
    install([service_deb, desktop_deb])
    assert (os.stat(DATA).st_mode & 0o777) == 0o700, "data folder not private"
    ini = os.path.join(DATA, "Kolvane.ini")
    assert open(ini).read().startswith("; Settings of the Kolvane service"), "no sample settings"
    st = os.stat(ini)
    assert (st.st_uid, st.st_mode & 0o777) == (int(output("id", "-u", "kolvane")), 0o600), \
        "sample settings not the service user's"
    wait_for("the service to run", active, timeout=20)
    first = main_pid()
    assert program_of(first) == "/usr/bin/kolvaned", program_of(first)
    if ports_free:
        wait_for("SMTP and POP3 on 25 and 110",
                 lambda: answers(25, b"220") and answers(110, b"+OK"), timeout=30)
        print("installed: the service runs (pid %d), SMTP 25 and POP3 110 answer" % first,
              flush=True)
    else:
        print("installed: the service runs (pid %d); ports 25/110 are taken here" % first)
    desktop = sorted(l for l in loaded_libraries(first) if DESKTOP_LIBS.search(l))
    assert not desktop, "the service loads %s" % desktop
    linked = output("ldd", "/usr/bin/kolvaned")
    assert not DESKTOP_LIBS.search(linked), linked
    print("kolvaned: %d libraries linked, %d loaded, none of a desktop"
          % (len(linked.splitlines()), len(loaded_libraries(first))), flush=True)
    # The unit as systemd itself reads it (its documentation included), where the tool is.
    if subprocess.run(["sh", "-c", "command -v systemd-analyze"], capture_output=True).returncode == 0:
        verified = subprocess.run(["systemd-analyze", "verify", "/lib/systemd/system/" + UNIT],
                                  capture_output=True, text=True, timeout=120)
        assert verified.returncode == 0 and not verified.stderr.strip(), verified.stderr
        print("systemd-analyze verify: the unit is sound", flush=True)
    assert os.access("/usr/bin/Kolvane", os.X_OK), "no window program"
    assert os.path.exists("/usr/share/doc/kolvane/README.Debian")

    # --- use: the device and the ports as an administrator sets them, then a restart
    work = tempfile.mkdtemp()
    sent = os.path.join(work, "sent.txt")
    inject = os.path.join(work, "inject.txt")
    open(inject, "w").close()
    sim = subprocess.Popen(["/usr/bin/kolvane-modemsim", "--tcp", "0", "--sent", sent,
                            "--inject-file", inject], stdout=subprocess.PIPE, text=True)
    try:
        port = int(re.search(r":(\d+)", sim.stdout.readline()).group(1))
        smtp_port, pop3_port = (25, 110) if ports_free else (2525, 2110)
        set_cfg({"ComTcp": 1, "GtIPAdress": "127.0.0.1", "GtTCPPort": port,
                 "SmtpPort": smtp_port, "Pop3Port": pop3_port, "SmsIndication": 0,
                 "IntervalOnLine": 2000})
        run("systemctl", "restart", UNIT)
        wait_for("the SMTP server", lambda: answers(smtp_port, b"220"))
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
        print("used: a mail sent as SMS, a received SMS fetched over POP3", flush=True)
        run("systemctl", "reload", UNIT)
        wait_for("the reload", lambda: "Settings reloaded" in service_log(), timeout=20)
        status = output("/usr/bin/kolvaned", "--status", "--dir", DATA)
        assert "link" in status, status
        print(status, flush=True)

        # --- upgrade
        before = main_pid()
        install([up_service, up_desktop])
        wait_for("the restarted service", active, timeout=20)
        after = main_pid()
        assert after != before, "the upgrade did not restart the service"
        assert program_of(after) == "/usr/bin/kolvaned", "old program runs: " + program_of(after)
        assert "GtTCPPort=%d" % port in open(ini).read(), "the upgrade replaced Kolvane.ini"
        wait_for("SMTP after the upgrade", lambda: answers(smtp_port, b"220"))
        print("upgraded: the service restarted (pid %d -> %d), the new program runs"
              % (before, after), flush=True)

        # --- remove
        run("apt-get", "remove", "-y", "-qq", "kolvane-desktop", "kolvane")
        assert not active(), "the service runs after removal"
        assert not os.path.exists("/proc/%d" % after) or \
            open("/proc/%d/stat" % after).read().rsplit(")", 1)[1].split()[0] == "Z"
        assert not os.path.exists("/usr/bin/kolvaned") and not os.path.exists("/usr/bin/Kolvane")
        assert os.path.exists(os.path.join(DATA, "Pop3.Tmp")), "removal took the data folder"
        assert port_free(smtp_port), "SMTP port still held"
        print("removed: the service stopped, %s kept" % DATA, flush=True)
    finally:
        sim.terminate()
        sim.wait()

    # --- purge
    run("dpkg", "--purge", "kolvane-desktop", "kolvane")
    assert not os.path.exists(DATA), "purge left " + DATA
    assert subprocess.run(["getent", "passwd", "kolvane"], capture_output=True).returncode != 0, \
        "purge left the kolvane user"
    assert subprocess.run(["getent", "group", "kolvane"], capture_output=True).returncode != 0, \
        "purge left the kolvane group"
    assert not os.path.lexists("/etc/systemd/system/multi-user.target.wants/" + UNIT)
    print("purged: %s and the kolvane user are gone" % DATA, flush=True)
    if not real:
        print(open(os.path.join(STATE, UNIT + ".events")).read(), flush=True)


if __name__ == "__main__":
    main()
