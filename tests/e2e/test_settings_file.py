"""The settings file Kolvane.ini as a user sees it across a run: defaults, saved keys and their
order, hand edits that survive, and the counters of the day."""

import datetime
import re
import unittest

import kolvane_e2e as k

# The keys written back at shutdown, in the order they are written.
SAVED_ORDER = [
    "GsmDevice", "ComNo", "ComTcp", "OnLine", "Interval", "StartGo", "MaxSmsSendOn",
    "MaxSmsSendNo", "EndClose", "SmtpRunPos",
    "Language", "AliasOn", "ReplAddrOn", "ReplTelNoOn", "SmtpPort", "Pop3Port",
    "AutoPop3Routing", "AutoPop3RouteTout",
    "BasketOn", "BasketToo", "BasketName", "EmlSmsChConv", "EmlSmsAuto", "EmlSmsNoOk",
    "CutEMail", "CutEMax", "CutELong", "ConcatenateSMS", "PreSetTimeSw", "PreSetPrefix",
    "PreSetErr", "PreSetMaskDT", "PreSetMaskTi", "ReportSw", "ReportPrefix", "ReportAll",
    "SmtpCliLimOn", "Pop3CliLimOn", "SmtpCliMax", "Pop3CliMax", "UserName", "SendUCS2SmsPermit",
    "SmsToCmdSw", "SmsToCmdEml", "SmsToCmdStat", "SmsToCmdPC", "SmsToTtsSw", "SmsToTtsEml",
    "SmsToTtsPC", "TtsVoice", "PrioritySw", "PriorityEmail",
    "RTSOn", "DTROn", "BaudRate", "PDUText",
    "GtIPAdress", "GtTCPPort", "SmsInCnt", "SmsOutCnt", "EmlInCnt", "EmlOutCnt", "DTSaveToIni",
]

DEFAULTS = {
    "GsmDevice": "Unknown", "ComNo": "1", "ComTcp": "0", "OnLine": "0", "Interval": "5",
    "StartGo": "0", "MaxSmsSendOn": "0", "MaxSmsSendNo": "20", "EndClose": "0",
    "SmtpRunPos": "0", "Language": "EN", "SmtpPort": "25", "Pop3Port": "110",
    "AutoPop3RouteTout": "120", "EmlSmsAuto": "1", "CutEMax": "5", "CutELong": "1",
    "PreSetPrefix": "SendTime", "PreSetErr": "1", "PreSetMaskDT": "YYYY-MM-DD HH:NN:SS",
    "PreSetMaskTi": "HH:NN:SS", "ReportPrefix": "Report", "SmtpCliMax": "100",
    "Pop3CliMax": "100", "UserName": "kolvane", "SmsToCmdEml": "1", "SmsToCmdStat": "1",
    "SmsToCmdPC": "localhost", "SmsToTtsEml": "1", "SmsToTtsPC": "localhost", "RTSOn": "0",
    "DTROn": "1", "BaudRate": "9600", "PDUText": "1", "GtTCPPort": "11201",
    "SmsInCnt": "0", "SmsOutCnt": "0", "EmlInCnt": "0", "EmlOutCnt": "0",
}

COUNTERS = ["SmsInCnt", "SmsOutCnt", "EmlInCnt", "EmlOutCnt"]

# A POSIX zone whose calendar day is always the day before the one in UTC.
YESTERDAY_ZONE = {"TZ": "AAA24"}
TODAY_ZONE = {"TZ": "UTC0"}


class FreshFolder(unittest.TestCase):
    def test_saves_the_defaults_in_the_documented_order(self):
        folder = k.new_folder(self)
        before = datetime.datetime.now().replace(microsecond=0)
        k.run_once(self, folder)
        after = datetime.datetime.now()

        cfg = k.section(folder, "CFG")
        self.assertEqual([key for key, _ in cfg], SAVED_ORDER)
        values = dict(cfg)
        for key, default in DEFAULTS.items():
            self.assertEqual(values[key], default, key)
        self.assertEqual(k.section(folder, "FCfg"), [("PgNdx", "0")])

        # The save moment in the machine's date format: four-digit year and the time of day.
        saved = values["DTSaveToIni"]
        self.assertIn(str(before.year), saved)
        clocks = re.findall(r"(\d{1,2})[:.](\d\d)[:.](\d\d)", saved)
        self.assertTrue(clocks, saved)
        moment = datetime.datetime.combine(
            before.date(), datetime.time(*(int(g) for g in clocks[-1])))
        self.assertTrue(before - datetime.timedelta(seconds=1) <= moment
                        <= after + datetime.timedelta(seconds=1), saved)

    def test_new_file_uses_cr_lf_line_breaks(self):
        folder = k.new_folder(self)
        k.run_once(self, folder)
        data = k.read_bytes(k.settings_path(folder))
        self.assertTrue(data.endswith(b"\r\n"))
        self.assertEqual(data.count(b"\n"), data.count(b"\r\n"))

    def test_a_second_run_keeps_one_line_per_key(self):
        folder = k.new_folder(self)
        k.run_once(self, folder)
        first = [key for key, _ in k.section(folder, "CFG")]
        k.run_once(self, folder)
        self.assertEqual([key for key, _ in k.section(folder, "CFG")], first)
        self.assertEqual(sum(1 for l in k.ini_lines(folder) if l.strip() == "[CFG]"), 1)


class HandEditedFile(unittest.TestCase):
    def test_comments_unknown_keys_and_unsaved_keys_survive(self):
        folder = k.new_folder(self)
        k.write_ini(folder,
                    "; written by hand\n"
                    "[CFG]\n"
                    "; the office modem\n"
                    "MyOwnKey=keep me\n"
                    "Debug=1\n"
                    "MeMaxLi=0x20\n"
                    "SmtpPort=2525\n"
                    "\n"
                    "[Notes]\n"
                    "who=me\n")
        k.run_once(self, folder)
        lines = k.ini_lines(folder)
        for kept in ["; written by hand", "; the office modem", "MyOwnKey=keep me", "Debug=1",
                     "MeMaxLi=0x20", "[Notes]", "who=me"]:
            self.assertEqual(lines.count(kept), 1, kept)
        # The hand-set value was in force and is written back.
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "2525")
        self.assertEqual(k.value(folder, "Notes", "who"), "me")
        self.assertEqual(lines.index("; written by hand"), 0)
        self.assertLess(lines.index("; the office modem"), lines.index("MyOwnKey=keep me"))

    def test_section_and_key_names_are_matched_without_regard_to_case(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[cfg]\nsmtpport=2526\nusername=office\n")
        k.run_once(self, folder)
        lines = k.ini_lines(folder)
        self.assertEqual([l for l in lines if l.startswith("[")].count("[cfg]"), 1)
        self.assertNotIn("[CFG]", lines)
        self.assertEqual([l for l in lines if l.lower().startswith("smtpport=")], ["smtpport=2526"])
        self.assertEqual([l for l in lines if l.lower().startswith("username=")], ["username=office"])

    def test_unreadable_values_give_the_defaults(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nSmtpPort=twenty-five\nCutELong=yes\nMaxSmsSendNo=0x1E\n")
        k.run_once(self, folder)
        self.assertEqual(k.value(folder, "CFG", "SmtpPort"), "25")
        self.assertEqual(k.value(folder, "CFG", "CutELong"), "1")
        self.assertEqual(k.value(folder, "CFG", "MaxSmsSendNo"), "30")


class ValuesInForce(unittest.TestCase):
    """Values the program derives from the file show in what it writes back."""

    def run_with(self, text):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\n" + text)
        k.run_once(self, folder)
        return folder

    def test_language_is_written_as_en_cz_or_ini(self):
        for given, saved in [("cz", "CZ"), ("Ini", "INI"), ("DE", "EN")]:
            with self.subTest(given=given):
                self.assertEqual(k.value(self.run_with("Language=%s\n" % given), "CFG", "Language"),
                                 saved)

    def test_gsm_device_is_written_as_its_identifier(self):
        for given, saved in [("primagate", "PRImaGate"), ("FaxMachine", "Unknown")]:
            with self.subTest(given=given):
                self.assertEqual(k.value(self.run_with("GsmDevice=%s\n" % given), "CFG", "GsmDevice"),
                                 saved)

    def test_port_number_comes_from_comno_only_between_1_and_99(self):
        for given, saved in [("ComNdx=4\nComNo=7\n", "7"), ("ComNdx=4\nComNo=0\n", "5"),
                             ("ComNdx=4\nComNo=100\n", "5")]:
            with self.subTest(given=given):
                self.assertEqual(k.value(self.run_with(given), "CFG", "ComNo"), saved)

    def test_interval_out_of_range_is_saved_as_zero(self):
        self.assertEqual(k.value(self.run_with("Interval=0.1\n"), "CFG", "Interval"), "0")
        self.assertEqual(k.value(self.run_with("Interval=1000\n"), "CFG", "Interval"), "1000")

    def test_serial_parameters_are_saved_only_with_comparamon(self):
        folder = self.run_with("ComParamOn=0\nBaudRate=19200\n")
        keys = [key for key, _ in k.section(folder, "CFG")]
        for key in ["RTSOn", "DTROn", "PDUText"]:
            self.assertNotIn(key, keys)
        self.assertEqual(k.value(folder, "CFG", "BaudRate"), "19200")

    def test_priority_switch_starts_off_whatever_was_saved(self):
        self.assertEqual(k.value(self.run_with("PrioritySw=1\n"), "CFG", "PrioritySw"), "0")


class ListSections(unittest.TestCase):
    def test_lists_are_rewritten_with_numbered_keys(self):
        folder = k.new_folder(self)
        k.write_ini(folder,
                    "[AliasComp]\npc1=OFFICE1\npc2=OFFICE2\n"
                    "[AliasName]\npc1=Boss\n"
                    "[ReplAdrTel]\n+420111=a@example.org\n+420222=\n"
                    "[SmsToCmdTelNo]\nfirst=+420333\n"
                    "[SmsToCmdSubst]\nbackup=/usr/bin/backup now\n")
        k.run_once(self, folder)
        self.assertEqual(k.section(folder, "AliasComp"), [("A0", "OFFICE1"), ("A1", "OFFICE2")])
        self.assertEqual(k.section(folder, "AliasName"), [("A0", "Boss"), ("A1", "")])
        self.assertEqual(k.section(folder, "ReplAdrTel"), [("+420111", "a@example.org")])
        self.assertEqual(k.section(folder, "SmsToCmdTelNo"), [("A0", "+420333")])
        self.assertEqual(k.section(folder, "SmsToCmdSubst"), [("backup", "/usr/bin/backup now")])

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
    def saved_counters_after_restart(self, first_zone):
        folder = k.new_folder(self)
        k.run_once(self, folder, env=first_zone)
        for n, key in enumerate(COUNTERS, start=3):
            k.set_value(folder, "CFG", key, str(n))
        k.run_once(self, folder, env=TODAY_ZONE)
        return [k.value(folder, "CFG", key) for key in COUNTERS]

    def test_counters_saved_today_are_restored(self):
        day = datetime.datetime.now(datetime.timezone.utc).date()
        counters = self.saved_counters_after_restart(TODAY_ZONE)
        if datetime.datetime.now(datetime.timezone.utc).date() != day:
            self.skipTest("midnight passed during the test")
        self.assertEqual(counters, ["3", "4", "5", "6"])

    def test_counters_saved_yesterday_start_at_zero(self):
        self.assertEqual(self.saved_counters_after_restart(YESTERDAY_ZONE), ["0", "0", "0", "0"])

    def test_unreadable_save_moment_starts_at_zero(self):
        folder = k.new_folder(self)
        k.write_ini(folder, "[CFG]\nSmsInCnt=9\nDTSaveToIni=soon\n")
        k.run_once(self, folder)
        self.assertEqual(k.value(folder, "CFG", "SmsInCnt"), "0")


if __name__ == "__main__":
    k.main()
