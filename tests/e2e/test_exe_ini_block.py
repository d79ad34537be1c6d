"""Defaults carried in INI text appended to the program file itself."""

import datetime
import os
import unittest

import kolvane_e2e as k
import mail_gateway

WINDOW = 65535


def padded_block(text, size):
    """`text` preceded by a comment line so that the whole is exactly `size` bytes."""
    body = text.encode()
    filler = size - len(body) - 2
    assert filler >= 0
    return b";" + b"x" * filler + b"\n" + body


def ports_in_force(test, program, ini=None):
    """The SMTP and POP3 ports the program copy listens on in a fresh folder."""
    folder = k.new_folder(test)
    if ini:
        k.write_ini(folder, ini)
    run = k.start(test, folder, program=program)
    test.assertTrue(k.wait_listening(run), run.lines())
    shown = k.status(folder)
    test.assertEqual(run.stop(), 0)
    return shown.get("smtp"), shown.get("pop3")


def listening(port):
    return "listening on port %d" % port


class BlockValues(unittest.TestCase):
    def test_block_values_are_used(self):
        smtp, pop3 = mail_gateway.free_port(), mail_gateway.free_port()
        program = k.program_copy(self, b"\n[CFG]\nSmtpPort=%d\nPop3Port=%d\n" % (smtp, pop3))
        self.assertEqual(ports_in_force(self, program), (listening(smtp), listening(pop3)))

    def test_the_settings_file_wins_over_the_block(self):
        smtp, pop3, mine = (mail_gateway.free_port() for _ in range(3))
        program = k.program_copy(self, b"\n[CFG]\nSmtpPort=%d\nPop3Port=%d\n" % (smtp, pop3))
        self.assertEqual(ports_in_force(self, program, "[CFG]\nSmtpPort=%d\n" % mine),
                         (listening(mine), listening(pop3)))

    def test_block_lines_may_end_with_cr_or_cr_lf(self):
        smtp, pop3 = mail_gateway.free_port(), mail_gateway.free_port()
        program = k.program_copy(self, b"\r\n[CFG]\rSmtpPort=%d\r\nPop3Port=%d\r" % (smtp, pop3))
        self.assertEqual(ports_in_force(self, program), (listening(smtp), listening(pop3)))

    def test_unsaved_keys_from_the_block_take_effect(self):
        program = k.program_copy(self, b"\n[CFG]\nLogFiOn=1\n")
        folder = k.new_folder(self)
        k.run_once(self, folder, program=program)
        day = datetime.date.today().strftime("%y%m%d")
        self.assertIn("Log%s001.txt" % day, os.listdir(folder))

    def test_program_without_block_logs_no_error(self):
        folder = k.new_folder(self)
        run = k.start(self, folder, program=k.program_copy(self))
        self.assertEqual(run.stop(), 0)
        self.assertEqual([l for l in run.stdout if "Exe-Ini" in l], [])


class BlockErrors(unittest.TestCase):
    # A block in force writes a log file (LogFiOn=1); the folder's own file holds free ports.
    def run_block(self, tail):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\n" + mail_gateway.free_mail_ports())
        lines = k.run_once(self, folder, program=k.program_copy(self, tail))
        day = datetime.date.today().strftime("%y%m%d")
        return lines, "Log%s001.txt" % day in os.listdir(folder)

    def test_text_only_tail_logs_over_and_is_ignored(self):
        lines, used = self.run_block(padded_block("[CFG]\nLogFiOn=1\n", WINDOW + 100))
        errors = [l for l in lines if "Exe-Ini" in l]
        self.assertEqual(len(errors), 1, lines)
        self.assertRegex(errors[0], r"^\d\d:\d\d:\d\d  Error Exe-Ini over$")
        self.assertFalse(used)

    def test_block_filling_the_window_but_one_byte_is_still_read(self):
        text = "\n[CFG]\nLogFiOn=1\n"
        for size, in_force in [(WINDOW - 1, True), (WINDOW, False)]:
            with self.subTest(size=size):
                lines, used = self.run_block(b"\x00" + padded_block(text, size))
                over = any(l.endswith("Error Exe-Ini over") for l in lines)
                self.assertEqual(over, not in_force)
                self.assertEqual(used, in_force)


if __name__ == "__main__":
    k.main()
