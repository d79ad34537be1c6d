#include "core/status_report.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>

#include "core/gateway.h"
#include "core/mail_ports.h"
#include "core/queue_listing.h"
#include "gsm/serial_device_link.h"
#include "mail/pop3_render.h"
#include "mail/pop3_server.h"
#include "mail/store_file.h"
#include "platform/exclusive_file.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

constexpr const char* kCounterKeys[] = {"SmsInCnt", "SmsOutCnt", "EmlInCnt", "EmlOutCnt"};

std::array<int, 4> countersOf(const Settings& s) {
  return {s.SmsInCnt, s.SmsOutCnt, s.EmlInCnt, s.EmlOutCnt};
}

QString moment(DateTime at) {
  return fromDateTime(at).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

class Lines {
 public:
  void add(const QString& key, const QString& value) {
    lines_ << key + QStringLiteral(": ") + value;
  }
  void add(const QString& key, long long value) { add(key, QString::number(value)); }
  QStringList take() { return std::move(lines_); }

 private:
  QStringList lines_;
};

void programLines(Gateway& g, Lines& out) {
  const GatewayState& gs = g.state();
  out.add(QStringLiteral("program"), QStringLiteral("Kolvane ") + gs.ProgramVersion);
  out.add(QStringLiteral("folder"), QDir::toNativeSeparators(gs.ProgramDir));
  out.add(QStringLiteral("pid"), QCoreApplication::applicationPid());
  const DateTime started = g.statusNotes().started();
  out.add(QStringLiteral("started"), moment(started));
  const auto seconds = static_cast<long long>((g.clock().now() - started) * 86400.0 + 0.5);
  out.add(QStringLiteral("uptime"),
          QStringLiteral("%1 s (%2 d %3)")
              .arg(seconds)
              .arg(seconds / 86400)
              .arg(QTime(0, 0).addSecs(static_cast<int>(seconds % 86400)).toString("HH:mm:ss")));
}

QString registrationText(std::int8_t state) {
  static const char* const kStates[] = {"not registered", "registered, home network",
                                        "searching",      "registration denied",
                                        "unknown",        "registered, roaming"};
  if (state < 0 || state > 5) return QStringLiteral("unknown");
  return QLatin1String(kStates[state]);
}

QString linkText(Gateway& g) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  if (link.Outage.failures > 0) {
    return QStringLiteral("cannot be opened: ") +
           (link.LinkKind == 1 ? gs.DeviceOpenProblem : QStringLiteral("no connection"));
  }
  if (gs.StartWaitOn) return QStringLiteral("connecting");
  if (gs.RelationOn) return QStringLiteral("relation open");
  if (gs.Lamps.semaphore == 1 || gs.RelationBase != 0) return QStringLiteral("between relations");
  return QStringLiteral("stopped");
}

void deviceLines(Gateway& g, Lines& out) {
  const GatewayState& gs = g.state();
  const LinkState& link = g.link();
  const QString kind = QString::fromUtf8(gsmDevices().at(gs.GsmDeviceIdx).displayName);
  const QString where = gs.ComTcpIdx == 1 ? QStringLiteral("TCP %1:%2")
                                                .arg(QString::fromUtf8(gs.cfg.GtIPAdress))
                                                .arg(gs.cfg.GtTCPPort)
                                          : serialDeviceOf(gs);
  out.add(QStringLiteral("device"), where + QStringLiteral(" (") + kind + QLatin1Char(')'));
  out.add(QStringLiteral("link"), linkText(g));
  if (link.Outage.failures > 0) {
    out.add(QStringLiteral("link failures in a row"), static_cast<long long>(link.Outage.failures));
  }
  if (gs.IntervalMs != 0 && gs.RelationBase != 0 && !gs.RelationOn) {
    const auto left = static_cast<std::int32_t>(gs.RelationBase + gs.IntervalMs - g.clock().tick());
    out.add(QStringLiteral("next relation"),
            QStringLiteral("in %1 s").arg(std::max<std::int32_t>(0, left) / 1000));
  }
  out.add(QStringLiteral("sim"),
          link.SimState.isEmpty() ? QStringLiteral("unknown") : QString::fromLatin1(link.SimState));
  out.add(QStringLiteral("registration"), registrationText(link.RegState));
  const StatusNotes::Line signal = g.statusNotes().lastSignal();
  out.add(QStringLiteral("signal"), signal.text.isEmpty()
                                        ? QStringLiteral("unknown")
                                        : signal.text + QStringLiteral(" at ") + moment(signal.at));
}

void mailLines(Gateway& g, Lines& out) {
  out.add(QStringLiteral("smtp"), mailPortState(g, true));
  out.add(QStringLiteral("pop3"), mailPortState(g, false));
}

void jobLines(Gateway& g, Lines& out) {
  const GatewayState& gs = g.state();
  const auto stores = waitingJobs(gs.ProgramDir, gs.cfg.SmtpRunPos,
                                  subjectRules(gs.cfg, g.clock().now()), gs.SendPhaseOn);
  static const char* const kKeys[] = {"jobs run file", "jobs priority", "jobs queue",
                                      "jobs waiting for their time"};
  for (std::size_t i = 0; i < stores.size() && i < std::size(kKeys); ++i) {
    out.add(QLatin1String(kKeys[i]), stores[i].readable ? QString::number(stores[i].jobs.size())
                                                        : QStringLiteral("store held by a writer"));
  }
  out.add(QStringLiteral("appends waiting for a store"),
          static_cast<long long>(gs.StoreAppends.items.size()));
}

// The received SMS in the POP3 store, and those each known PC has still to fetch.
void pop3Lines(Gateway& g, Lines& out) {
  const GatewayState& gs = g.state();
  const QList<tSocketClient>& clients = g.pop3().Clients();
  std::vector<long long> positions;
  const IniFile* ini = g.settingsFile();
  for (const tSocketClient& c : clients) {
    bool ok = false;
    const long long pos =
        ini ? ini->value(QStringLiteral("ClientsPos"), c.Name).toLongLong(&ok) : 0;
    positions.push_back(ok ? pos : 0);
  }
  std::vector<int> waiting(static_cast<std::size_t>(clients.size()), 0);
  int stored = 0;
  ExclusiveFile file(gs.file(files::kPop3Tmp));
  if (file.open(QIODevice::ReadOnly)) {
    const SubjectRules rules = subjectRules(gs.cfg, g.clock().now());
    for (qint64 offset = 0;;) {
      const auto window = ReadRecordWindow(file.file(), offset, 4096, HoldsWholeRecord);
      if (!window || window->isEmpty()) break;
      const tMailRec rec = StrToMailRec(*window, rules);
      if (rec.EndPos < 0) break;
      offset += rec.EndPos + 1;
      ++stored;
      const long long id = rec.PosID.toLongLong();
      for (qsizetype i = 0; i < clients.size(); ++i) {
        const auto n = static_cast<std::size_t>(i);
        if (id > positions[n] && IsReleasable(gs, rec, clients[i].Name)) ++waiting[n];
      }
    }
  }
  out.add(QStringLiteral("pop3 store"), stored);
  for (qsizetype i = 0; i < clients.size(); ++i) {
    out.add(QStringLiteral("pop3 waiting for ") + clients[i].Name,
            waiting[static_cast<std::size_t>(i)]);
  }
}

void counterLines(Gateway& g, Lines& out) {
  StatusNotes& notes = g.statusNotes();
  const std::array<int, 4> today = countersOf(g.state().cfg);
  notes.foldCounters(today);
  const std::array<int, 4> total = notes.sinceStart();
  for (std::size_t i = 0; i < today.size(); ++i) out.add(QLatin1String(kCounterKeys[i]), today[i]);
  for (std::size_t i = 0; i < total.size(); ++i) {
    out.add(QLatin1String(kCounterKeys[i]) + QStringLiteral(" since start"), total[i]);
  }
}

void errorLines(Gateway& g, Lines& out) {
  const StatusNotes::Line error = g.statusNotes().lastError();
  out.add(QStringLiteral("last error"), error.text.isEmpty()
                                            ? QStringLiteral("none")
                                            : moment(error.at) + QStringLiteral("  ") + error.text);
}

// The parts of the report in the order they print; a new part is one more function.
using Part = void (*)(Gateway&, Lines&);
constexpr Part kParts[] = {programLines, deviceLines,  mailLines, jobLines,
                           pop3Lines,    counterLines, errorLines};

}  // namespace

void StatusNotes::begin(DateTime started, const std::array<int, 4>& counters) {
  started_ = started;
  seen_ = counters;
  total_ = {};
}

void StatusNotes::noteLine(const QString& text, DateTime at) {
  // The signal quality line in either language of the catalogue.
  static const CatalogueEntry* const kSignal = catalogueEntry(57);
  for (const char* prefix : {kSignal->english, kSignal->czech}) {
    const QString p = QString::fromUtf8(prefix);
    if (!text.startsWith(p)) continue;
    std::lock_guard lock(mutex_);
    signal_ = {text.mid(p.size()).trimmed(), at};
    return;
  }
  if (!isErrorLine(text)) return;
  std::lock_guard lock(mutex_);
  error_ = {text, at};
}

void StatusNotes::foldCounters(const std::array<int, 4>& counters) {
  for (std::size_t i = 0; i < counters.size(); ++i) {
    // Below what was seen: the day's counters began again at 0.
    total_[i] += counters[i] >= seen_[i] ? counters[i] - seen_[i] : counters[i];
    seen_[i] = counters[i];
  }
}

StatusNotes::Line StatusNotes::lastError() const {
  std::lock_guard lock(mutex_);
  return error_;
}

StatusNotes::Line StatusNotes::lastSignal() const {
  std::lock_guard lock(mutex_);
  return signal_;
}

bool isErrorLine(const QString& text) {
  static const char* const kMarks[] = {"!!!",   "rror",  "failed", "cannot", "refused",
                                       "Chyba", "chyba", "selhal", "nelze",  "nemůže"};
  return std::any_of(std::begin(kMarks), std::end(kMarks),
                     [&](const char* mark) { return text.contains(QString::fromUtf8(mark)); });
}

QStringList statusLines(Gateway& g) {
  Lines out;
  for (const Part part : kParts) part(g, out);
  return out.take();
}

}  // namespace kolvane
