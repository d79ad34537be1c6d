"""kolvaned, the service program: no window or graphics library, and the gateway of
`Kolvane --headless` on the same command line."""

import os
import re
import signal
import subprocess
import unittest

import kolvane_e2e as k
import mail_gateway

DESKTOP = re.compile(r"libQt6(Widgets|Gui|OpenGL|XcbQpa)|libX11|libxcb|libEGL|libGL|libOpenGL")


def run(program, *args):
    done = subprocess.run([program, *args], stdin=subprocess.DEVNULL, capture_output=True,
                          env=k.program_env(), timeout=k.DEADLINE)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


class ServiceProgram(unittest.TestCase):
    def setUp(self):
        if not os.access(k.SERVICE_PROGRAM, os.X_OK):
            self.skipTest("kolvaned not built")

    def test_it_links_no_desktop_library(self):
        linked = subprocess.run(["ldd", k.SERVICE_PROGRAM], capture_output=True,
                                text=True).stdout
        self.assertIn("libQt6Network", linked)
        self.assertIsNone(DESKTOP.search(linked), linked)

    def test_it_answers_the_command_line_as_the_window_program(self):
        folder = k.new_folder(self)
        for args in (["--version"], ["--dir", folder, "--frobnicate"], ["--status", "--dir", folder]):
            rc, out, err = run(k.SERVICE_PROGRAM, *args)
            self.assertEqual((rc, out, err.replace("kolvaned", "Kolvane")),
                             run(k.PROGRAM, *args), args)
        rc, out, _ = run(k.SERVICE_PROGRAM, "--help")
        self.assertEqual(rc, 0)
        self.assertTrue(out.startswith("Usage: kolvaned"), out)
        rc, _, err = run(k.SERVICE_PROGRAM, "--dir", folder, "*I")
        self.assertEqual(rc, 2)
        self.assertIn("package kolvane-desktop", err)

    def test_it_serves_mail_and_holds_its_folder_against_the_window_program(self):
        folder = k.new_folder(self)
        smtp, pop3 = mail_gateway.free_port(), mail_gateway.free_port()
        k.write_ini(folder, "[CFG]\nComName=%s\nSmtpPort=%d\nPop3Port=%d\n"
                    % (os.path.join(folder, "none"), smtp, pop3))
        # Started with --headless as well: both programs take one command line.
        service = k.Running(folder, program=k.SERVICE_PROGRAM)
        self.addCleanup(service.kill)
        service.wait_ready()
        self.assertTrue(k.wait_listening(service), service.lines())
        self.assertEqual(mail_gateway.fetch_all(pop3), [])
        self.assertIn(str(pop3), k.status(folder, program=k.SERVICE_PROGRAM)["pop3"])
        rc, _, err = k.run_to_end(folder)
        self.assertEqual(rc, 1)
        self.assertIn("Kolvane already runs on", err)
        self.assertEqual(service.stop(signal.SIGTERM), 0)


if __name__ == "__main__":
    unittest.main()
