"""The settings file Kolvane.ini as a user sees it across a run: a run that changes nothing
leaves it as it was, hand edits survive, and the counters of the day."""

import datetime
import os
import unittest

import kolvane_e2e as k
import mail_gateway

COUNTERS = ["SmsInCnt", "SmsOutCnt", "EmlInCnt", "EmlOutCnt"]


def saved_moment(when):
    """A date-time as the program writes it in the tests' region (C.UTF-8): "9 Dec 2026 10:00:00"."""
    return "%d %s %d %s" % (when.day, when.strftime("%b"), when.year, when.strftime("%H:%M:%S"))


class UnchangedRun(unittest.TestCase):
    def test_a_run_that_changes_nothing_leaves_the_file_as_it_was(self):
        folder = k.new_folder(self)
        k.write_ini(folder,
                    "; written by hand\n"
                    "[cfg]\n"
                    "; the office modem\n"
                    "MyOwnKey=keep me\n"
                    "smtpport=%d\n"
                    "Language=cz\n"
                    "GsmDevice=primagate\n"
                    "Interval=0.1\n"
                    "MeMaxLi=0x20\n"
                    "Pop3Port=%d\n"
                    "\n"
                    "[AliasComp]\npc1=OFFICE1\n"
                    "[Notes]\n"
                    "who=me\n" % (mail_gateway.free_port(), mail_gateway.free_port()))
        before = k.read_bytes(k.settings_path(folder))
        for _ in range(2):
            k.run_once(self, folder)
            self.assertEqual(k.read_bytes(k.settings_path(folder)), before)

    def test_a_fresh_folder_gets_no_settings_written(self):
        folder = k.new_folder(self)
        k.run_once(self, folder)
        self.assertEqual(k.section(folder, "CFG"), [])

    def test_unreadable_values_are_logged_and_left_to_the_administrator(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nSmtpPort=twenty-five\nCutELong=yes\n")
        lines = k.run_once(self, folder)
        self.assertTrue(any(l.endswith("Settings: SmtpPort=twenty-five is not a number, 25 used")
                            for l in lines), lines)
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "twenty-five")


class ExpiredRouting(unittest.TestCase):
    def test_expired_routing_entries_disappear_only_with_auto_routing_on(self):
        routes = "[AutoPop3Routing]\n111=1|OLDPC\n222=99999.25|NEWPC\n333=no end time\n"
        for switch, expected in [
                ("1", [("222", "99999.25|NEWPC")]),
                ("0", [("111", "1|OLDPC"), ("222", "99999.25|NEWPC"), ("333", "no end time")])]:
            with self.subTest(AutoPop3Routing=switch):
                folder = k.new_folder(self)
                k.write_ini(folder, "[CFG]\nAutoPop3Routing=%s\n%s" % (switch, routes))
                k.run_once(self, folder)
                self.assertEqual(k.section(folder, "AutoPop3Routing"), expected)


class DayCounters(unittest.TestCase):
    def counters_in_force(self, saved):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nSmsInCnt=3\nSmsOutCnt=4\nEmlInCnt=5\nEmlOutCnt=6\n"
                    "DTSaveToIni=%s\n%s" % (saved, mail_gateway.free_mail_ports()))
        run = k.start(self, folder)
        self.assertTrue(k.wait_listening(run), run.lines())
        shown = k.status(folder)
        self.assertEqual(run.stop(), 0)
        return [shown.get(key) for key in COUNTERS]

    def test_counters_saved_today_are_restored(self):
        now = datetime.datetime.now()
        counters = self.counters_in_force(saved_moment(now))
        if datetime.datetime.now().date() != now.date():
            self.skipTest("midnight passed during the test")
        self.assertEqual(counters, ["3", "4", "5", "6"])

    def test_counters_saved_yesterday_or_at_no_readable_moment_start_at_zero(self):
        yesterday = datetime.datetime.now() - datetime.timedelta(days=1)
        for saved in (saved_moment(yesterday), "soon"):
            with self.subTest(saved=saved):
                self.assertEqual(self.counters_in_force(saved), ["0", "0", "0", "0"])


if __name__ == "__main__":
    k.main()
