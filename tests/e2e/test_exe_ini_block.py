"""Defaults carried in INI text appended to the program file itself."""

import datetime
import os
import unittest

import kolvane_e2e as k

WINDOW = 65535


def padded_block(text, size):
    """`text` preceded by a comment line so that the whole is exactly `size` bytes."""
    body = text.encode()
    filler = size - len(body) - 2
    assert filler >= 0
    return b";" + b"x" * filler + b"\n" + body


class BlockValues(unittest.TestCase):
    def test_block_values_are_used(self):
        program = k.program_copy(self, b"\n[CFG]\nUserName=fromblock\nSmtpPort=2626\n")
        folder = k.new_folder(self)
        k.run_once(self, folder, program=program)
        self.assertEqual(k.value(folder, "CFG", "UserName"), "fromblock")
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "2626")

    def test_the_settings_file_wins_over_the_block(self):
        program = k.program_copy(self, b"\n[CFG]\nUserName=fromblock\nSmtpPort=2626\n")
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nUserName=fromfile\n")
        k.run_once(self, folder, program=program)
        self.assertEqual(k.value(folder, "CFG", "UserName"), "fromfile")
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "2626")

    def test_block_lines_may_end_with_cr_or_cr_lf(self):
        program = k.program_copy(self, b"\r\n[CFG]\rUserName=crblock\r\nPop3Port=2110\r")
        folder = k.new_folder(self)
        k.run_once(self, folder, program=program)
        self.assertEqual(k.value(folder, "CFG", "UserName"), "crblock")
        self.assertEqual(k.value(folder, "CFG", "Pop3Port"), "2110")

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
    def test_text_only_tail_logs_over_and_is_ignored(self):
        tail = padded_block("[CFG]\nUserName=overblock\n", WINDOW + 100)
        program = k.program_copy(self, tail)
        folder = k.new_folder(self)
        lines = k.run_once(self, folder, program=program)
        errors = [l for l in lines if "Exe-Ini" in l]
        self.assertEqual(len(errors), 1, lines)
        self.assertRegex(errors[0], r"^\d\d:\d\d:\d\d  Error Exe-Ini over$")
        self.assertEqual(k.value(folder, "CFG", "UserName"), "kolvane")

    def test_block_filling_the_window_but_one_byte_is_still_read(self):
        text = "\n[CFG]\nUserName=edge\n"
        for size, used in [(WINDOW - 1, True), (WINDOW, False)]:
            with self.subTest(size=size):
                program = k.program_copy(self, b"\x00" + padded_block(text, size))
                folder = k.new_folder(self)
                lines = k.run_once(self, folder, program=program)
                over = any(l.endswith("Error Exe-Ini over") for l in lines)
                self.assertEqual(over, not used)
                self.assertEqual(k.value(folder, "CFG", "UserName"), "edge" if used else "kolvane")


if __name__ == "__main__":
    k.main()
