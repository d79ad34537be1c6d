"""Shared helpers for the end-to-end tests: start the built program headless in a folder,
collect its output, ask it to close and read the settings file it leaves behind."""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest

SKIPPED = 77
DEADLINE = 10.0

_SOURCE_DIR = os.environ.get(
    "KOLVANE_SOURCE_DIR", os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
BIN_DIR = os.environ.get("KOLVANE_BIN_DIR", os.path.join(_SOURCE_DIR, "build", "bin"))
PROGRAM = os.path.join(BIN_DIR, "Kolvane")
# The service program: the same gateway without windows, on the same command line.
SERVICE_PROGRAM = os.path.join(BIN_DIR, "kolvaned")

# The start-up line holds only the time stamp and two spaces.
STAMP_LINE = re.compile(r"^\d\d:\d\d:\d\d  $")
LOG_LINE = re.compile(r"^\d\d:\d\d:\d\d  ")


def require_program():
    """Ends the test file as skipped when the program has not been built."""
    if not os.access(PROGRAM, os.X_OK):
        print("skipped: %s not built" % PROGRAM)
        sys.exit(SKIPPED)


def wait_until(condition, timeout=DEADLINE, step=0.01):
    end = time.monotonic() + timeout
    while True:
        if condition():
            return True
        if time.monotonic() > end:
            return False
        time.sleep(step)


def new_folder(test):
    """A fresh program folder, removed when the test ends. Its name holds no "_": tests send
    paths in SMS texts, and a text-mode SMS shows that character as "-"."""
    while "_" in (folder := tempfile.mkdtemp(prefix="kolvane-e2e-")):
        os.rmdir(folder)
    test.addCleanup(shutil.rmtree, folder, True)
    return folder


def scratch_folder(test):
    """A folder outside the system temp folder: a program file run from the temp folder is
    taken for an installer's copy and ends at once."""
    base = os.path.join(os.path.dirname(BIN_DIR), "e2e-scratch")
    os.makedirs(base, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="copy-", dir=base)
    test.addCleanup(shutil.rmtree, folder, True)
    return folder


def program_copy(test, tail=b"", name="Kolvane", folder=None):
    """A copy of the program file with `tail` appended, in a scratch folder by default."""
    folder = folder or scratch_folder(test)
    path = os.path.join(folder, name)
    shutil.copy2(PROGRAM, path)
    with open(path, "ab") as f:
        f.write(tail)
    return path


def signals_caught(pid):
    """True once the process handles SIGINT and SIGTERM itself (before that a signal kills it)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    mask = int(line.split()[1], 16)
                    wanted = (1 << (signal.SIGINT - 1)) | (1 << (signal.SIGTERM - 1))
                    return mask & wanted == wanted
    except OSError:
        return False
    return False


def program_env(extra=None):
    """The environment of a run; numbers and dates in a fixed region so hand-written values
    such as "0.1" read the same on every machine."""
    env = dict(os.environ)
    env["LC_ALL"] = "C.UTF-8"
    # Without a display the demo runs headless like the rest.
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    env.update(extra or {})
    return env


class Running:
    """One running program; collects stdout and stderr lines as they come. Without a folder
    the program uses its own."""

    def __init__(self, folder, *texts, program=PROGRAM, env=None, prefix=()):
        self.folder = folder
        full_env = program_env(env)
        self.proc = subprocess.Popen(
            [*prefix, program, "--headless", *(["--dir", folder] if folder else []), *texts],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=full_env)
        self.stdout = []
        self.stderr = []
        self._lock = threading.Lock()
        self._readers = [
            threading.Thread(target=self._read, args=(self.proc.stdout, self.stdout), daemon=True),
            threading.Thread(target=self._read, args=(self.proc.stderr, self.stderr), daemon=True),
        ]
        for r in self._readers:
            r.start()

    def _read(self, stream, into):
        for raw in iter(stream.readline, b""):
            with self._lock:
                into.append(raw.decode("utf-8", "replace").rstrip("\r\n"))
        stream.close()

    def lines(self):
        with self._lock:
            return list(self.stdout)

    def wait_ready(self, timeout=DEADLINE):
        """Waits for the start-up line and for the signal handlers."""
        ok = wait_until(
            lambda: any(STAMP_LINE.match(l) for l in self.lines()) and signals_caught(self.proc.pid),
            timeout)
        if not ok:
            self.kill()
            raise AssertionError("program did not start; stdout=%r stderr=%r"
                                 % (self.stdout, self.stderr))
        return self

    def running(self):
        return self.proc.poll() is None

    def wait_end(self, timeout=DEADLINE):
        try:
            rc = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("program did not end; stdout=%r" % self.lines())
        for r in self._readers:
            r.join(timeout)
        return rc

    def stop(self, sig=signal.SIGTERM, timeout=DEADLINE):
        """Asks the program to close; returns its exit code."""
        self.proc.send_signal(sig)
        return self.wait_end(timeout)

    def kill(self):
        if self.running():
            self.proc.kill()
            self.proc.wait()


def start(test, folder, *texts, **kwargs):
    """Starts the program, waits until it runs, and makes sure it ends with the test."""
    run = Running(folder, *texts, **kwargs)
    test.addCleanup(run.kill)
    return run.wait_ready()


def run_once(test, folder, *texts, **kwargs):
    """Starts the program and closes it again with SIGTERM; returns the stdout lines."""
    run = start(test, folder, *texts, **kwargs)
    test.assertEqual(run.stop(), 0)
    return run.stdout


def wait_listening(run):
    """Waits until both mail servers listen: the gateway has started."""
    return wait_until(lambda: sum(1 for l in run.lines()
                                  if l.endswith("  SMTP server listens")
                                  or l.endswith("  POP3 server listens")) >= 2)


def status(folder, program=PROGRAM):
    """The --status lines of the program running on the folder, as a dict."""
    done = subprocess.run([program, "--status", "--dir", folder], capture_output=True,
                          env=program_env(), timeout=DEADLINE)
    lines = done.stdout.decode("utf-8").splitlines()
    return dict(line.split(": ", 1) for line in lines if ": " in line)


def run_to_end(folder, *texts, program=PROGRAM, env=None, timeout=DEADLINE):
    """Runs a start that is expected to end by itself; returns (exit code, stdout, stderr)."""
    full_env = program_env(env)
    done = subprocess.run([program, "--headless", "--dir", folder, *texts],
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout,
                          env=full_env)
    return (done.returncode, done.stdout.decode("utf-8", "replace"),
            done.stderr.decode("utf-8", "replace"))


# --- The settings file ---------------------------------------------------------------------

def settings_path(folder):
    return os.path.join(folder, "Kolvane.ini")


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def ini_lines(folder):
    """The lines of Kolvane.ini (CR LF or LF breaks); none when there is no file."""
    if not os.path.exists(settings_path(folder)):
        return []
    text = read_bytes(settings_path(folder)).decode("utf-8")
    return re.split(r"\r\n|\n", text.rstrip("\r\n")) if text else []


def section(folder, name):
    """Ordered (key, value) pairs of one section; section names without regard to case."""
    pairs, inside = [], False
    for line in ini_lines(folder):
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            inside = stripped[1:-1].strip().lower() == name.lower()
        elif inside and "=" in line and not stripped.startswith(";"):
            key, value = line.split("=", 1)
            pairs.append((key.strip(), value))
    return pairs


def value(folder, sect, key):
    """Value of a key (without regard to case), or None."""
    for k, v in section(folder, sect):
        if k.lower() == key.lower():
            return v
    return None


def write_ini(folder, text):
    """Writes a settings file by hand, with CR LF line breaks."""
    write_bytes(settings_path(folder), text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8"))


def set_value(folder, sect, key, new_value):
    """Changes one existing key of the settings file in place."""
    lines, inside, done = ini_lines(folder), False, False
    for i, line in enumerate(lines):
        stripped = line.strip()
        if stripped.startswith("[") and stripped.endswith("]"):
            inside = stripped[1:-1].strip().lower() == sect.lower()
        elif inside and line.split("=", 1)[0].strip().lower() == key.lower():
            lines[i] = "%s=%s" % (line.split("=", 1)[0], new_value)
            done = True
    if not done:
        raise AssertionError("no key %s in [%s]" % (key, sect))
    write_bytes(settings_path(folder), ("\r\n".join(lines) + "\r\n").encode("utf-8"))


def main():
    require_program()
    unittest.main()
