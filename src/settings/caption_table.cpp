#include "settings/caption_table.h"

#include <array>

namespace kolvane {

namespace {

constexpr const char* kMain = "FMain";
constexpr const char* kCfg = "FCfg";
constexpr const char* kInst = "FInst";
constexpr const char* kSiSend = "fSiSend";
constexpr const char* kLicenceList = "LiLi1";
constexpr const char* kSmtpTmpView = "fSmtpTmpView";
constexpr const char* kPop3TmpView = "fPop3TmpView";
constexpr const char* kWaitTmpView = "fWaitTmpView";
constexpr const char* kSmtpCliView = "fSmtpCliView";
constexpr const char* kPop3CliView = "fPop3CliView";

constexpr CaptionEntry control(const char* form, const char* name, const char* en, const char* cz) {
  return {form, CaptionTarget::Control, name, 0, 0, en, cz};
}

constexpr CaptionEntry cfg(const char* name, const char* en, const char* cz) {
  return control(kCfg, name, en, cz);
}

constexpr CaptionEntry node(int index, const char* page, const char* en, const char* cz) {
  return {kCfg, CaptionTarget::TreeNode, "tv1", index, 0, en, cz, page};
}

constexpr CaptionEntry cell(const char* grid, int col, int row, const char* en, const char* cz) {
  return {kCfg, CaptionTarget::GridCell, grid, col, row, en, cz};
}

constexpr CaptionEntry title(const char* form, const char* en, const char* cz) {
  return control(form, kCaptionTitle, en, cz);
}

constexpr CaptionEntry column(const char* form, int index, const char* en, const char* cz) {
  return {form, CaptionTarget::GridCell, kViewGrid, index, 0, en, cz};
}

constexpr CaptionEntry inst(const char* name, const char* en, const char* cz) {
  return control(kInst, name, en, cz);
}

constexpr CaptionEntry instList(const char* name, const char* en, const char* cz) {
  return {kInst, CaptionTarget::ListBox, name, 0, 0, en, cz};
}

// clang-format off
constexpr std::array kEntries = std::to_array<CaptionEntry>({
    control(kMain, "LaMa1", "SMS and SMTP, POP3 server", "SMS a SMTP, POP3 server"),
    control(kMain, "LaMa2", "GSM Port :", "GSM port :"),
    control(kMain, "BtMa2", "More setting", "Další nastavení"),

    // Tree of pages; node 1 ("SMTP, POP3") reads the same in every language.
    node(0, "tsGsm", "GSM device", "GSM zařízení"),
    node(2, "tsExchange", "Exchange", "Výměna"),
    node(3, "tsEmlToSms", "E-mail to SMS", "E-mail na SMS"),
    node(4, "tsLongEml", "Long E-Mail", "Dlouhý e-mail"),
    node(5, "tsCharset", "Charset", "Znaková sada"),
    node(6, "tsPreSetTime", "Pre-set Time", "Přednastavený čas"),
    node(7, "tsReport", "Report", "Potvrzení doručení"),
    node(8, "tsPriority", "Priority", "Priorita"),
    node(9, "tsSmsToEml", "SMS to e-mail", "SMS na e-mail"),
    node(10, "tsAutorouting", "Autorouting", "Automatické směrování"),
    node(11, "tsBasket", "Basket", "Koš"),
    node(12, "tsAliases", "Aliases PC", "Aliasy PC"),
    node(13, "tsReplace", "Replace address-phone", "Náhrada adresa-telefon"),
    node(14, "tsSmsToCmd", "SMS to Commandline", "SMS na příkazový řádek"),
    node(15, "tsAuthNumbers", "Authorized numbers", "Povolená čísla"),
    node(16, "tsSubstCmd", "Substitute command", "Náhrada příkazu"),
    node(17, "tsSmsToTts", "SMS to Text-To-Speech", "SMS na řeč (Text-To-Speech)"),
    node(18, "tsVoice", "Select voice", "Výběr hlasu"),

    // GSM device
    cfg("LaDevice", "Select GSM device", "Vyberte GSM zařízení"),
    {kCfg, CaptionTarget::ListBox, "ComTcp", 0, 0, "Serial COM port\rEthernet TCP-IP",
     "Sériový COM port\rEthernet TCP-IP"},
    cfg("GbSerial", "Serial COM port", "Sériový COM port"),
    cfg("LaComNo", "COM port number", "Číslo COM portu"),
    cfg("LaComName", "Device", "Zařízení"),
    cfg("LaBaudRate", "Baud Rate", "Přenosová rychlost"),
    cfg("CbDTROn", "DTR On", "DTR zapnuto"),
    cfg("CbRTSOn", "RTS On", "RTS zapnuto"),
    cfg("GbEthernet", "Ethernet IP address and TCP port of GSM gate",
        "IP adresa a TCP port GSM brány v síti ethernet"),
    cfg("LaIPAdress", "IP address", "IP adresa"),
    cfg("LaTCPPort", "TCP port", "TCP port"),
    cfg("BtDefault", "Default", "Výchozí"),
    cfg("LaSimPin", "SIM PIN", "PIN SIM karty"),
    cfg("LaSendRetryHours", "SMS met by temporary network errors are tried again for :",
        "SMS s dočasnou chybou sítě se zkoušejí znovu po dobu :"),
    cfg("LaSendRetryUnit", "hours (0 = report at once)", "hodin (0 = ihned oznámit)"),
    cfg("LaSendResultTimeout", "Wait for the result of a sent SMS", "Čekat na výsledek odeslané SMS"),
    cfg("GbSmsMode", "SMS format or mode", "Formát nebo režim SMS"),
    cfg("LaUcs2Text", "UCS2 - unicode characters (diacritical marks) can be used only in text mode.",
        "UCS2 - znaky unicode (diakritiku) lze použít jen v textovém režimu."),
    cfg("LaPduNot", "PDU mode can not be used with equipment PRIma Gate and Blue BRI Brave.",
        "Režim PDU nelze použít se zařízeními PRIma Gate a Blue BRI Brave."),

    // SMTP, POP3
    cfg("LaSmtpPort", "Port where the SMTP server listens", "Port, na kterém naslouchá SMTP server"),
    cfg("CbSmtpCliLimOn", "Limit the number of SMTP clients", "Omezit počet SMTP klientů"),
    cfg("LaSmtpCliMax", "Maximum number of SMTP clients list",
        "Maximální počet klientů v seznamu SMTP"),
    cfg("LaPop3Port", "Port where the POP3 server listens", "Port, na kterém naslouchá POP3 server"),
    cfg("CbPop3CliLimOn", "Limit the number of POP3 clients", "Omezit počet POP3 klientů"),
    cfg("LaPop3CliMax", "Maximum number of POP3 clients list",
        "Maximální počet klientů v seznamu POP3"),
    cfg("LaMailCliPerHostMax", "Connections side by side from one address",
        "Souběžných spojení z jedné adresy"),
    cfg("LaMailCliTotalMax", "Connections side by side in all", "Souběžných spojení celkem"),
    cfg("LaUserName", "User Name", "Uživatelské jméno"),
    cfg("GbMailUsers", "Mail accounts (none: every user name and password is taken)",
        "Poštovní účty (žádný: platí každé jméno a heslo)"),
    cfg("LaMailUser", "Account", "Účet"),
    cfg("BtSetPassword", "Set password...", "Nastavit heslo..."),
    cfg("BtRemoveUser", "Remove", "Odebrat"),

    // Exchange
    cfg("LaExMode", "SMS, E-mail exchange mode :", "Režim výměny SMS, e-mail :"),
    cfg("RbPeriodically", "Periodically", "Pravidelně"),
    cfg("RbOnLine", "On line", "Trvale (On line)"),
    cfg("LaInterval", "Interval for SMS, E-mail exchange :", "Interval výměny SMS, e-mail :"),
    cfg("CbStartGo", "Start SMS, E-mail exchange at program beginning",
        "Spustit výměnu SMS, e-mail při startu programu"),
    cfg("CbMaxSmsSendOn", "Limit the number of SMS sent in one batch = in one period.",
        "Omezit počet SMS odeslaných v jedné dávce = v jedné periodě."),
    cfg("LaMaxSmsSendNo", "Maximum number of SMS in a single batch :",
        "Maximální počet SMS v jedné dávce :"),
    cfg("LaMaxSmsNote",
        "Limiting helps if there are problems with sending a large number of SMS at a time.",
        "Omezení pomůže, pokud jsou potíže s odesíláním velkého počtu SMS najednou."),

    // E-mail to SMS, Long E-mail
    cfg("LaLongEml", "If e-mail to send as SMS is longer than 160 characters :",
        "Pokud je e-mail k odeslání jako SMS delší než 160 znaků :"),
    cfg("CbCutEMail", "Cut outgoing e-mail to several SMSs", "Rozdělit odchozí e-mail do více SMS"),
    cfg("CbMailCutQuotes", "From a reply send only the answer, without the quoted mail and signature",
        "Z odpovědi odeslat jen odpověď, bez citované zprávy a podpisu"),
    cfg("LaCutEMax", "Max. number of SMS messages for one e-mail is:",
        "Max. počet SMS zpráv pro jeden e-mail je:"),
    cfg("RbSendPart", "send only part", "odeslat jen část"),
    cfg("RbReturnLong", "return as undeliverable", "vrátit jako nedoručitelný"),
    cfg("CbConcatenateSMS", "Add tags of the individual SMSs and link them to concatenated SMS",
        "Přidat značky jednotlivých SMS a spojit je do zřetězené SMS"),
    cfg("LaUcs2NoCut", "This setting cannot be applied to SMS in charset UCS2 (unicode).",
        "Toto nastavení nelze použít pro SMS ve znakové sadě UCS2 (unicode)."),
    cfg("LaUcs2Max",
        "The maximum SMS size  is 70 characters, the maximum number is one SMS from one email.",
        "Maximální délka SMS je 70 znaků, z jednoho e-mailu nejvýše jedna SMS."),

    // E-mail to SMS, Charset
    cfg("LaChConv", "Charset conversion of e-mail body to SMS text",
        "Konverze znakové sady těla e-mailu na text SMS"),
    cfg("CbEmlSmsAuto", "try charset autodetection", "zkusit rozpoznat znakovou sadu automaticky"),
    cfg("LaChNext", "if charset autodetection fails or not checked, use next selection",
        "pokud rozpoznání selže nebo není zapnuto, použít následující výběr"),
    cfg("LaNotGsm",
        "When the email contains a character that is not in the basic GSM character set",
        "Pokud e-mail obsahuje znak, který není v základní znakové sadě GSM"),
    cfg("CbSendUCS2SmsPermit", "Send all characters without conversion to the character set GSM",
        "Odeslat všechny znaky bez konverze do znakové sady GSM"),
    cfg("LaUcs2Sms", "SMS will be sent in charset UCS2 (unicode)",
        "SMS bude odeslána ve znakové sadě UCS2 (unicode)"),
    cfg("LaUcs2One", "One sms with a maximum length of 70 characters",
        "Jedna SMS o délce nejvýše 70 znaků"),
    cfg("LaConvFail", "If conversion of all e-mail characters is not successful, then:",
        "Pokud se nepodaří převést všechny znaky e-mailu, pak:"),
    cfg("RbUndispatched", "send e-mail back to sender as \"undispatched\"",
        "vrátit e-mail odesílateli jako \"neodeslaný\""),
    cfg("RbReplaceDash", "replace mismatched chars with char \"-\" and send it as SMS",
        "nahradit nevyhovující znaky znakem \"-\" a odeslat jako SMS"),

    // E-mail to SMS, Pre-set Time
    cfg("LaPreSetSubj", "Sending time must be set in subject of e-mail",
        "Čas odeslání musí být uveden v předmětu e-mailu"),
    cfg("CbPreSetTimeSw", "Switch on sending of SMS in pre-set time",
        "Zapnout odesílání SMS v přednastaveném čase"),
    cfg("LaPrefix", "Prefix", "Předpona"),
    cfg("LaPrefixNote", "announcing that sending time follows", "ohlašující, že následuje čas odeslání"),
    cfg("LaMask", "Mask", "Maska"),
    cfg("LaMaskNote", "for transfer of text into time", "pro převod textu na čas"),
    cfg("LaMaskLetters", "Y-year, M-month, D-day, H-hour, N-minute, S-second",
        "Y-rok, M-měsíc, D-den, H-hodina, N-minuta, S-sekunda"),
    cfg("LaMaskDT", "Date and time", "Datum a čas"),
    cfg("LaMaskTi", "Only time", "Pouze čas"),
    cfg("LaPreSetErr1", "If checked Switch on sending of SMS in pre-set time and",
        "Pokud je zapnuto odesílání SMS v přednastaveném čase a"),
    cfg("LaPreSetErr2",
        "if detection or conversion of text into time is unsuccessful, e-mail will be :",
        "rozpoznání nebo převod textu na čas se nepodaří, bude e-mail :"),
    cfg("RbSentNoDelay", "sent without delay", "odeslán bez odkladu"),
    cfg("RbReturned", "returned to sender", "vrácen odesílateli"),

    // E-mail to SMS, Report
    cfg("LaReportPdu", "If you want to send SMS with Status Report, switch to the PDU mode!",
        "Pro odesílání SMS s potvrzením doručení je nutné použít režim PDU!"),
    cfg("LaReportSubj", "Sending must be set in subject of e-mail or switched on for all SMS",
        "Odesílání musí být nastaveno v předmětu e-mailu nebo zapnuto pro všechny SMS"),
    cfg("CbReportSw", "Switch on possibility of sending Status Report",
        "Zapnout možnost odesílání potvrzení doručení"),
    cfg("LaReportOne", "For one SMS - Insert text to subject of e-mail",
        "Pro jednu SMS - vložte text do předmětu e-mailu"),
    cfg("LaReportPrefix", "Text, which switch Status Report to ON for this SMS",
        "Text, který zapne potvrzení doručení pro tuto SMS"),
    cfg("LaReportAll", "For all SMS", "Pro všechny SMS"),
    cfg("CbReportAll", "switch Status Report to ON for all SMS",
        "zapnout potvrzení doručení pro všechny SMS"),

    // E-mail to SMS, Priority
    cfg("LaPriorityNote", "When a message is higher priority,SMS outrun queue broadcast.",
        "Má-li zpráva vyšší prioritu, předběhne SMS frontu k odeslání."),
    cfg("CbPrioritySw", "Switch possibility setting Priority", "Zapnout možnost nastavení priority"),
    cfg("CbPriorityEmail", "Use the \"high importance\" in the e-mail",
        "Použít \"vysokou důležitost\" v e-mailu"),

    // SMS to e-mail, Autorouting
    cfg("CbAutoPop3Routing", "Use autorouting of incoming SMS messages for POP3 clients",
        "Použít automatické směrování příchozích SMS pro POP3 klienty"),
    cfg("LaRouteTout", "Timeout for auto routing", "Časový limit automatického směrování"),
    cfg("LaRoute1", "For example if you send an SMS with request",
        "Například pokud odešlete SMS s dotazem"),
    cfg("LaRoute2", "and the SMS answer comes before the timeout expiration",
        "a odpověď SMS přijde před uplynutím časového limitu,"),
    cfg("LaRoute3", "the answer will come only on the computer that sent the request.",
        "odpověď přijde jen na počítač, který dotaz odeslal."),
    cfg("LaRoute4", "If autorouting is off or timeout expired",
        "Pokud je automatické směrování vypnuto nebo časový limit uplynul,"),
    cfg("LaRoute5", "POP3 server transmits the SMS to clients under the rules in the Basket tab.",
        "POP3 server předá SMS klientům podle pravidel na stránce Koš."),

    // SMS to e-mail, Basket
    cfg("LaBasket1", "SMS can be addressed to the individual PC* like this:",
        "SMS lze adresovat jednotlivému PC* takto:"),
    cfg("LaBasket2", "#NamePC# SMS text message continues", "#JmenoPC# následuje text SMS zprávy"),
    cfg("LaBasket3", "Selection of recipients of SMS messages delivered as e-mail",
        "Výběr příjemců SMS zpráv doručovaných jako e-mail"),
    cfg("LaBasket4", "SMS recipient (PC):", "Příjemce SMS (PC):"),
    cfg("LaBasket5", "unaddressed:", "neadresované:"),
    cfg("LaBasket6", "addressed:             individual PC*",
        "adresované:             jednotlivé PC*"),
    cfg("LaBasket7",
        "Message \"Undispatched\" and \"Non-delivery\" is always addressed only to sender.",
        "Zprávy \"Neodeslaná\" a \"Nedoručená\" jdou vždy jen odesílateli."),
    cfg("RbEveryone", "everyone", "všem"),
    cfg("RbBasketOn", "only to the basket**", "jen do koše**"),
    cfg("CbBasketToo", "and in the basket**", "a také do koše**"),
    cfg("LaBasketName", "Name of the PC specified as a basket**", "Jméno PC určeného jako koš**"),

    // SMS to e-mail, Aliases
    cfg("CbAliasOn", "Use alias of computer name", "Použít alias jména počítače"),
    cfg("BtAddKnown", "Add known computer names", "Přidat známá jména počítačů"),
    cell("SgAs1", 0, 0, "Computer name", "Jméno počítače"),
    cell("SgAs1", 1, 0, "Alias name", "Alias"),

    // Replace address-phone
    cfg("LaReplace1", "In conversion mail-sms it can be replaced :",
        "Při převodu e-mail-SMS lze nahradit :"),
    cfg("CbReplAddrOn", "Email address for phone number (E-mail to SMS)",
        "E-mailovou adresu telefonním číslem (E-mail na SMS)"),
    cfg("CbReplTelNoOn", "Phone number for email address (SMS to E-mail)",
        "Telefonní číslo e-mailovou adresou (SMS na E-mail)"),
    cfg("LaReplace2",
        "Can be replaced if it is inserted in the table below: (or automatic transmission)",
        "Nahradit lze, pokud je uvedeno v tabulce níže: (nebo automatický přenos)"),
    cell("SgRp1", 0, 0, "Phone number", "Telefonní číslo"),
    cell("SgRp1", 1, 0, "Email address", "E-mailová adresa"),

    // SMS to Commandline
    cfg("CbSmsToCmdSw", "Allow use of sms to command line", "Povolit SMS pro příkazový řádek"),
    cfg("CbSmsToCmdEml", "Save a copy of the received command line as an email",
        "Uložit kopii přijatého příkazového řádku jako e-mail"),
    cfg("LaSmsToCmdPC", "Command line as email receives only computer with name:",
        "Příkazový řádek jako e-mail dostane jen počítač se jménem:"),
    cfg("CbSmsToCmdStat", "Send the return value of the command line launch as SMS",
        "Poslat návratovou hodnotu spuštěného příkazového řádku jako SMS"),
    cfg("LaCmdEx1", "Example", "Příklad"),
    cfg("LaCmdEx2", "SMS text : #command#ntp#", "Text SMS : #command#ntp#"),
    cfg("LaCmdEx3", "Substitute command > Substitution : ntp", "Náhrada příkazu > Náhrada : ntp"),
    cfg("LaCmdEx4", "Substitute command > Command to CommandLine : notepad.exe",
        "Náhrada příkazu > Příkaz pro příkazový řádek : notepad.exe"),
    cfg("LaCmdEx5", "Command Line : notepad.exe", "Příkazový řádek : notepad.exe"),
    cfg("LaCmdTimeout", "Wait for the command's result at most :",
        "Na výsledek příkazu čekat nejvýše :"),
    cfg("LaCmdTimeoutUnit", "s", "s"),

    // SMS to Commandline, Authorized numbers
    cfg("LaAuthList", "List of numbers which are allowed to use command line",
        "Seznam čísel, která smějí používat příkazový řádek"),
    cell("SgTn1", 0, 0, "Phone Numbers", "Telefonní čísla"),
    cfg("LaAuthRecom", "Recommendation", "Doporučení"),
    cfg("LaAuthShapes", "Enter all shapes of the number - for example:",
        "Zadejte všechny tvary čísla - například:"),
    cfg("LaAuthRows", "Each number in another row", "Každé číslo na zvláštní řádek"),

    // SMS to Commandline, Substitute command
    cfg("LaSubstList", "List of commands in the command line, which will be substituted",
        "Seznam příkazů v příkazovém řádku, které budou nahrazeny"),
    cell("SgSc1", 0, 0, "Substitution", "Náhrada"),
    cell("SgSc1", 1, 0, "Command to Command Line", "Příkaz pro příkazový řádek"),

    // SMS to Speech
    cfg("CbSmsToTtsSw", "Allow use of sms to Text-To-Speech", "Povolit předčítání SMS (Text-To-Speech)"),
    cfg("CbSmsToTtsEml", "Save a copy of SMS for Text-To-Speech as an email",
        "Uložit kopii SMS k předčítání jako e-mail"),
    cfg("LaSmsToTtsPC", "Text-To-Speech as email receive only computer with name :",
        "Předčítanou SMS jako e-mail dostane jen počítač se jménem :"),
    cfg("LaTtsEx1", "Example", "Příklad"),
    cfg("LaTtsEx2", "SMS text : #tts#This is the text that needs to be read aloud.",
        "Text SMS : #tts#Toto je text, který se má přečíst nahlas."),
    cfg("LaTtsEx3", "Text SMS to Speech : This is the text that needs to be read aloud.",
        "Text SMS k předčítání : Toto je text, který se má přečíst nahlas."),

    // SMS to Speech, Voice
    cfg("LaVoice", "Select voice, which is to be read text", "Vyberte hlas, kterým se má text číst"),
    cfg("LaVerify", "Verification text", "Zkušební text"),
    cfg("BtReadVerify", "Read verification text", "Přečíst zkušební text"),

    cfg("BtCancel", "Cancel", "Storno"),

    // Installer
    inst("RbInstNew", "Install new program", "Instalovat nový program"),
    inst("RbInstUpgrade", "Upgrade  /  Reinstall", "Aktualizovat  /  Přeinstalovat"),
    inst("RbInstChange", "Change installation setup", "Změnit nastavení instalace"),
    inst("RbInstUninstall", "Uninstall", "Odinstalovat"),
    inst("LaLicence", "Licence agreement", "Licenční ujednání"),
    instList(kLicenceList,
             "Kolvane - SMS gateway server\r"
             " \r"
             "This program is provided \"as is\", without warranty of any kind,\r"
             "express or implied, including fitness for a particular purpose.\r"
             "The authors are not liable for any damage, lost messages or costs\r"
             "arising from the use of this program.\r"
             " \r"
             "By pressing \"I Agree\" you accept these terms.",
             "Kolvane - SMS brána\r"
             " \r"
             "Tento program je poskytován \"tak, jak je\", bez jakékoli záruky,\r"
             "výslovné či předpokládané, včetně vhodnosti pro určitý účel.\r"
             "Autoři neodpovídají za žádné škody, ztracené zprávy ani náklady\r"
             "vzniklé používáním tohoto programu.\r"
             " \r"
             "Stisknutím \"Souhlasím\" tyto podmínky přijímáte."),
    inst("BtAgree", "I Agree", "Souhlasím"),
    inst("LaDestination", "Destination Folder", "Cílová složka"),
    inst("BtBrowse", "Browse ...", "Procházet ..."),
    inst("CbKeepIni", "Keep previous setting (Kolvane.ini)",
         "Ponechat předchozí nastavení (Kolvane.ini)"),
    inst("CbRenameOld", "Rename old Kolvane.exe to Kolvane_Old.exe",
         "Přejmenovat starý Kolvane.exe na Kolvane_Old.exe"),
    inst("LaSelectOld", "select old installation", "vyberte předchozí instalaci"),
    inst("LaIniChanged", "Kolvane.ini will be changed", "Kolvane.ini bude změněn"),
    inst("LaFolderRemoved", "Selected folder will be removed", "Vybraná složka bude odstraněna"),
    inst("LaProgramFolder", "Program Folder", "Složka programu"),
    inst("CbAddToStart", "Add icon to the \"Start\" Program Folder",
         "Přidat ikonu do složky programů nabídky \"Start\""),
    inst("LaExistingFolders", "Existing Folders :", "Existující složky :"),
    inst("CbAddToDesktop", "Add icon to the Desktop", "Přidat ikonu na plochu"),
    inst("CbAddToStartup", "Add icon to the Startup", "Přidat ikonu do spouštění po přihlášení"),
    inst("LaGsmPort", "GSM Port", "GSM port"),
    inst("LaHint", "   Hint   ", "   Upozornění   "),
    instList("LiHint",
             "For cooperation with this program it is necessary to refresh\r"
             "the setting also at clients that want to connect to this\r"
             "SMTP, POP3 server too.\r"
             " \r"
             "It deals with account setting in program administering    \r"
             "electronical mail of client (e.g. Outlook).\r"
             " \r"
             "In program administering electronical mail, the account\r"
             "with setting of SMTP and POP3 server containing IP address\r"
             "or net name of this computer must be established. ",
             "Pro spolupráci s tímto programem je nutné upravit\r"
             "nastavení také u klientů, kteří se chtějí připojovat k tomuto\r"
             "SMTP, POP3 serveru.\r"
             " \r"
             "Jde o nastavení účtu v programu pro správu\r"
             "elektronické pošty klienta (např. Outlook).\r"
             " \r"
             "V programu pro správu elektronické pošty je třeba zřídit účet\r"
             "s nastavením SMTP a POP3 serveru, které obsahuje IP adresu\r"
             "nebo síťové jméno tohoto počítače."),
    inst("LaPressOk", "Press OK for finish", "Pro dokončení stiskněte OK"),
    inst("BtBack", "<< Back", "<< Zpět"),
    inst("BtNext", "Next >>", "Další >>"),
    inst("BtCancel", "Cancel", "Storno"),

    // Send-SMS dialog
    control(kSiSend, "LaTelNo", "Telephone number", "Telefonní číslo"),
    control(kSiSend, "BtSend", "Send   (add to SMTP container for sending)",
            "Poslat (přidat do zásobníku SMTP pro odesílání)"),

    // Window titles, under the key "Caption" of each form.
    title(kCfg, "Kolvane setting", "Nastavení Kolvane"),
    title(kSiSend, "Program Kolvane To Send SMS", "Program Kolvane - odeslání SMS"),
    title("fInSmsAlarm", "Kolvane - Alarm", "Kolvane - Poplach"),

    // The monitor views: title and column titles of their grid (column 0 numbers the rows).
    title(kSmtpTmpView, "Smtp.Tmp  Explorer", "Prohlížeč Smtp.Tmp"),
    title(kPop3TmpView, "Pop3.Tmp  Explorer", "Prohlížeč Pop3.Tmp"),
    title(kWaitTmpView, "SmtpWait.Tmp  Explorer", "Prohlížeč SmtpWait.Tmp"),
    column(kSmtpTmpView, 1, "PosID", "PosID"),
    column(kSmtpTmpView, 2, "NamePC", "Jméno PC"),
    column(kSmtpTmpView, 3, "From", "Od"),
    column(kSmtpTmpView, 4, "To", "Komu"),
    column(kSmtpTmpView, 5, "Subject", "Předmět"),
    column(kSmtpTmpView, 6, "Body", "Text"),
    column(kPop3TmpView, 1, "PosID", "PosID"),
    column(kPop3TmpView, 2, "NamePC", "Jméno PC"),
    column(kPop3TmpView, 3, "From", "Od"),
    column(kPop3TmpView, 4, "To", "Komu"),
    column(kPop3TmpView, 5, "Subject", "Předmět"),
    column(kPop3TmpView, 6, "Body", "Text"),
    column(kWaitTmpView, 1, "PosID", "PosID"),
    column(kWaitTmpView, 2, "NamePC", "Jméno PC"),
    column(kWaitTmpView, 3, "From", "Od"),
    column(kWaitTmpView, 4, "To", "Komu"),
    column(kWaitTmpView, 5, "Subject", "Předmět"),
    column(kWaitTmpView, 6, "Body", "Text"),
    title(kSmtpCliView, "Smtp Clients Explorer", "Prohlížeč SMTP klientů"),
    title(kPop3CliView, "Pop3 Clients Explorer", "Prohlížeč POP3 klientů"),
    column(kSmtpCliView, 1, "NamePC", "Jméno PC"),
    column(kSmtpCliView, 2, "On/Off", "Zap./Vyp."),
    column(kSmtpCliView, 3, "Connect", "Připojení"),
    column(kSmtpCliView, 4, "Date+Time", "Datum a čas"),
    column(kPop3CliView, 1, "NamePC", "Jméno PC"),
    column(kPop3CliView, 2, "On/Off", "Zap./Vyp."),
    column(kPop3CliView, 3, "Connect", "Připojení"),
    column(kPop3CliView, 4, "Date+Time", "Datum a čas"),
    column(kPop3CliView, 5, "PosID", "PosID"),
});
// clang-format on

}  // namespace

std::span<const CaptionEntry> captionEntries() {
  return kEntries;
}

QString captionKey(const CaptionEntry& entry) {
  const QString name = QString::fromUtf8(entry.control);
  switch (entry.target) {
    case CaptionTarget::TreeNode:
      return name + QLatin1Char('_') + QString::number(entry.index);
    case CaptionTarget::GridCell:
      return name + QLatin1Char('_') + QString::number(entry.index) + QLatin1Char('_') +
             QString::number(entry.row);
    case CaptionTarget::Control:
    case CaptionTarget::ListBox:
      break;
  }
  return name;
}

QString listItemKey(const CaptionEntry& entry, int line) {
  return QString::fromUtf8(entry.control) + QLatin1Char('_') +
         QStringLiteral("%1").arg(line, 2, 10, QLatin1Char('0'));
}

bool keepsTextUnderLanguageFile(const CaptionEntry& entry) {
  return qstrcmp(entry.form, kInst) == 0 && qstrcmp(entry.control, kLicenceList) == 0;
}

}  // namespace kolvane
