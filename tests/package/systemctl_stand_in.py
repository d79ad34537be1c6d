#!/usr/bin/env python3
"""A stand-in for systemctl where no systemd runs (a build container): the package try-out
bind-mounts it over /usr/bin/systemctl in a mount namespace of its own, so the maintainer
scripts' deb-systemd-helper and deb-systemd-invoke calls act on a service. It runs a unit as
its file says: preset as Debian's default (enable), ExecStart as User/Group with SupplementaryGroups, AmbientCapabilities and UMask,
the StateDirectory made, ExecReload, KillSignal and TimeoutStopSec on stop (then SIGKILL).
Each start, stop and reload is noted in STATE/UNIT.events; the program's output goes to
STATE/UNIT.log."""

import grp
import os
import pwd
import re
import signal
import sys
import time

STATE = os.environ.get("KOLVANE_STAND_IN_STATE", "/run/systemd/stand-in")
UNITS = ("/etc/systemd/system", "/lib/systemd/system", "/usr/lib/systemd/system")


def unit_file(unit):
    for folder in UNITS:
        path = os.path.join(folder, unit)
        if os.path.isfile(path):
            return path
    return None


def unit_keys(unit):
    keys = {}
    path = unit_file(unit)
    if not path:
        return keys
    for line in open(path):
        line = line.strip()
        if not line or line.startswith(("#", ";", "[")) or "=" not in line:
            continue
        key, value = line.split("=", 1)
        keys.setdefault(key.strip(), value.strip())
    return keys


def note(unit, event):
    with open(os.path.join(STATE, unit + ".events"), "a") as f:
        f.write("%.3f %s\n" % (time.time(), event))


def pid_of(unit):
    try:
        pid = int(open(os.path.join(STATE, unit + ".pid")).read())
    except (OSError, ValueError):
        return None
    try:
        stat = open("/proc/%d/stat" % pid).read()
    except OSError:
        return None
    # A zombie has ended.
    return None if stat.rsplit(")", 1)[1].split()[0] == "Z" else pid


def enabled(unit):
    for folder in os.listdir("/etc/systemd/system") if os.path.isdir("/etc/systemd/system") else []:
        if folder.endswith(".wants") and os.path.lexists(
                os.path.join("/etc/systemd/system", folder, unit)):
            return True
    return False


def masked(unit):
    path = os.path.join("/etc/systemd/system", unit)
    return os.path.islink(path) and os.readlink(path) == "/dev/null"


def preset(unit):
    """Debian's preset enables every unit: the links its [Install] section names."""
    path = unit_file(unit)
    for target in unit_keys(unit).get("WantedBy", "").split():
        wants = os.path.join("/etc/systemd/system", target + ".wants")
        os.makedirs(wants, exist_ok=True)
        if not os.path.lexists(os.path.join(wants, unit)):
            os.symlink(path, os.path.join(wants, unit))
    return 0


def start(unit):
    if pid_of(unit):
        return 0
    keys = unit_keys(unit)
    if not keys or masked(unit):
        print("Failed to start %s: Unit %s not found or masked." % (unit, unit), file=sys.stderr)
        return 5
    user = keys.get("User", "root")
    group = keys.get("Group", pwd.getpwnam(user).pw_name)
    uid, gid = pwd.getpwnam(user).pw_uid, grp.getgrnam(group).gr_gid
    groups = [gid] + [grp.getgrnam(g).gr_gid for g in keys.get("SupplementaryGroups", "").split()]
    if "StateDirectory" in keys:
        path = os.path.join("/var/lib", keys["StateDirectory"])
        os.makedirs(path, exist_ok=True)
        os.chown(path, uid, gid)
        os.chmod(path, int(keys.get("StateDirectoryMode", "0755"), 8))
    caps = [c.lower().replace("cap_", "") for c in keys.get("AmbientCapabilities", "").split()]
    command = keys["ExecStart"].split()
    log = os.open(os.path.join(STATE, unit + ".log"), os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o600)
    pid = os.fork()
    if pid == 0:
        os.setsid()
        null = os.open(os.devnull, os.O_RDONLY)
        os.dup2(null, 0)
        os.dup2(log, 1)
        os.dup2(log, 2)
        # Nothing of dpkg's or apt's pipes may stay open in the service.
        os.closerange(3, os.sysconf("SC_OPEN_MAX"))
        os.umask(int(keys.get("UMask", "0022"), 8))
        os.chdir("/")
        setpriv = ["setpriv", "--reuid=%d" % uid, "--regid=%d" % gid,
                   "--groups=" + ",".join(map(str, groups))]
        if caps:
            wanted = ",".join("+" + c for c in caps)
            setpriv += ["--inh-caps=" + wanted, "--ambient-caps=" + wanted]
        os.execvp("setpriv", setpriv + ["--"] + command)
    os.close(log)
    with open(os.path.join(STATE, unit + ".pid"), "w") as f:
        f.write(str(pid))
    note(unit, "start %d" % pid)
    return 0


def stop(unit):
    pid = pid_of(unit)
    if not pid:
        return 0
    keys = unit_keys(unit)
    sig = getattr(signal, keys.get("KillSignal", "SIGTERM"))
    timeout = float(re.sub(r"s$", "", keys.get("TimeoutStopSec", "90")))
    began = time.monotonic()
    os.kill(pid, sig)
    while pid_of(unit) and time.monotonic() - began < timeout:
        time.sleep(0.05)
    how = "ended"
    if pid_of(unit):
        os.kill(pid, signal.SIGKILL)
        how = "killed"
        while pid_of(unit):
            time.sleep(0.05)
    note(unit, "stop %d %s after %.2f s" % (pid, how, time.monotonic() - began))
    return 0


def reload(unit):
    pid = pid_of(unit)
    if not pid:
        return 7
    command = unit_keys(unit).get("ExecReload", "")
    if "-HUP" in command:
        os.kill(pid, signal.SIGHUP)
    note(unit, "reload %d" % pid)
    return 0


def main(argv):
    if "--version" in argv:
        print("systemd 252 (stand-in)")
        return 0
    words = [a for a in argv if not a.startswith("-")]
    quiet = "--quiet" in argv or "-q" in argv
    if not words:
        return 0
    action, units = words[0], words[1:]
    os.makedirs(STATE, exist_ok=True)
    if action in ("daemon-reload", "reset-failed"):
        return 0
    rc = 0
    for unit in units:
        if action == "is-enabled":
            state = "masked" if masked(unit) else "enabled" if enabled(unit) else "disabled"
            if not quiet:
                print(state)
            rc = rc or (0 if state == "enabled" else 1)
        elif action == "is-active":
            active = pid_of(unit) is not None
            if not quiet:
                print("active" if active else "inactive")
            rc = rc or (0 if active else 3)
        elif action == "start":
            rc = rc or start(unit)
        elif action == "stop":
            rc = rc or stop(unit)
        elif action in ("restart", "try-restart"):
            was = pid_of(unit)
            stop(unit)
            if was or action == "restart":
                rc = rc or start(unit)
        elif action == "preset":
            rc = rc or preset(unit)
        elif action == "reload":
            rc = rc or reload(unit)
        else:
            print("stand-in: %s not known" % action, file=sys.stderr)
            rc = 1
    return rc


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
