"""The installer switch and the uninstaller's copy in the temporary folder, with the built
program."""

import os
import shutil
import subprocess
import unittest

import kolvane_e2e as k


def no_display_env():
    env = k.program_env()
    for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
        env.pop(name, None)
    return env


class Installer(unittest.TestCase):
    def test_switch_without_a_display_says_so(self):
        for name, text in (("Kolvane", ["*I"]), ("Kolvane_SETUP", [])):
            program = k.program_copy(self, name=name)
            done = subprocess.run([program, *text], capture_output=True, timeout=k.DEADLINE,
                                  env=no_display_env())
            self.assertEqual(done.returncode, 1)
            self.assertIn(b"needs a graphical display", done.stderr)
            self.assertEqual(os.listdir(os.path.dirname(program)), [name])


class InstallerStart(unittest.TestCase):
    def test_a_text_holding_star_i_is_sent_not_a_switch(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nRunParamAsSMS=1\n")
        first = k.start(self, folder)
        rc, _, _ = k.run_to_end(folder, "see *important* note")
        self.assertEqual(rc, 0)
        self.assertEqual(k.section(folder, "ParamAsSMS"), [("1", "see *important* note")])
        self.assertEqual(first.stop(), 0)


class UninstallerCopy(unittest.TestCase):
    def start_copy(self, folder):
        """The wizard's copy of the program in the temporary folder, started on `folder`; its
        closing message box waits offscreen, so the test ends it."""
        home = k.new_folder(self)
        record = os.path.join(home, ".local", "share", "kolvane", "uninstall.ini")
        os.makedirs(os.path.dirname(record))
        with open(record, "w") as f:
            f.write("[Kolvane]\nDisplayName=Kolvane\nDisplayIcon=%s/Kolvane\n" % folder)
        copy = os.path.join(k.new_folder(self), "U_123456")
        shutil.copy2(k.PROGRAM, copy)
        env = k.program_env({"HOME": home, "QT_QPA_PLATFORM": "offscreen"})
        env.pop("XDG_DATA_HOME", None)
        proc = subprocess.Popen([copy, folder], stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
        self.addCleanup(proc.wait)
        self.addCleanup(proc.kill)
        # The copy removes itself once its work is done.
        self.assertTrue(k.wait_until(lambda: not os.path.exists(copy)))
        return record

    def test_removes_the_installation_and_its_record(self):
        folder = k.new_folder(self)
        shutil.copy2(k.PROGRAM, os.path.join(folder, "Kolvane"))
        for name in ("Kolvane.ini", "Kolvane.lock"):
            k.write_bytes(os.path.join(folder, name), b"x")
        k.write_bytes(os.path.join(folder, "Kolvane.files"), b"Kolvane\nKolvane.ini\n")
        record = self.start_copy(folder)
        self.assertFalse(os.path.exists(folder))
        self.assertFalse(os.path.exists(record))

    def test_removes_only_what_the_installer_wrote(self):
        folder = k.new_folder(self)
        shutil.copy2(k.PROGRAM, os.path.join(folder, "Kolvane"))
        for name in ("Kolvane.ini", "notes.txt", "photo.jpg", "Smtp.Tmp"):
            k.write_bytes(os.path.join(folder, name), b"x")
        k.write_bytes(os.path.join(folder, "Kolvane.files"), b"Kolvane\nKolvane.ini\n")
        record = self.start_copy(folder)
        self.assertEqual(sorted(os.listdir(folder)), ["Smtp.Tmp", "notes.txt", "photo.jpg"])
        self.assertFalse(os.path.exists(record))

    def test_leaves_a_folder_without_an_installation(self):
        folder = k.new_folder(self)
        k.write_bytes(os.path.join(folder, "notes.txt"), b"mine")
        self.start_copy(folder)
        self.assertEqual(os.listdir(folder), ["notes.txt"])


if __name__ == "__main__":
    k.main()
