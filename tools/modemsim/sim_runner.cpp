#include "sim_runner.h"

#include "modemsim/sim_io.h"

#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "modemsim/injection_text.h"
#include "modemsim/link_faults.h"
#include "modemsim/sent_sms.h"

namespace kolvane::modemsim {
namespace {

constexpr int kFilePollMs = 200;

// The SIM as its state file left it ("tries=N", "pin=P" lines), and the file kept up to date.
ModemConfig withSimState(const RunOptions& o) {
  ModemConfig m = o.modem;
  const QString path = o.simStatePath;
  if (path.isEmpty()) return m;
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    for (const QByteArray& line : file.readAll().split('\n')) {
      bool ok = false;
      if (line.startsWith("tries=")) {
        const int tries = line.mid(6).trimmed().toInt(&ok);
        if (ok && tries >= 0 && tries <= 3) m.pinTries = tries;
      } else if (line.startsWith("pin=") && !m.simPin.isEmpty()) {
        m.simPin = QString::fromLatin1(line.mid(4).trimmed());
      }
    }
  }
  m.simChanged = [path](int tries, const QString& pin) {
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write("tries=" + QByteArray::number(tries) + "\npin=" + pin.toLatin1() + '\n');
    if (!out.commit()) printLine(stderr, QStringLiteral("modemsim: cannot write ") + path);
  };
  return m;
}

}  // namespace

SimRunner::SimRunner(RunOptions options, std::unique_ptr<Endpoint> endpoint)
    : options_(std::move(options)), sim_(withSimState(options_)), endpoint_(std::move(endpoint)) {
  clock_.start();
  pumpTimer_.setSingleShot(true);
  connect(&pumpTimer_, &QTimer::timeout, this, &SimRunner::pump);
  connect(&fileTimer_, &QTimer::timeout, this, &SimRunner::pollFiles);
  connect(endpoint_.get(), &Endpoint::received, this, &SimRunner::onReceived);
  connect(endpoint_.get(), &Endpoint::connected, this, [this] {
    trace(QStringLiteral("connected"));
    sim_.connectionOpened(tick());
    pump();  // unsolicited codes run from the first moment
  });
  connect(endpoint_.get(), &Endpoint::announced, this,
          [](const QString& line) { printLine(stdout, line); });
}

bool SimRunner::start(QString* error) {
  for (const Injection& sms : options_.injections) {
    if (sim_.inject(sms, tick()).isEmpty()) {
      *error = QStringLiteral("storage full: cannot store the SMS from ") + sms.sender;
      return false;
    }
  }
  if (!options_.injectPath.isEmpty()) {
    // Lines already in the file are not ours to inject.
    injectFile_.emplace(options_.injectPath);
    injectFile_->readNewLines();
  }
  if (!options_.controlPath.isEmpty()) {
    controlFile_.emplace(options_.controlPath);
    controlFile_->readNewLines();
  }
  if (injectFile_ || controlFile_) fileTimer_.start(kFilePollMs);
  if (!endpoint_->open(error)) return false;
  pump();
  return true;
}

void SimRunner::onReceived(const QByteArray& bytes) {
  trace(QStringLiteral("<-"), bytes);
  sim_.receive(bytes, tick());
  pump();
}

void SimRunner::pump() {
  const QByteArray out = sim_.takeOutput(tick());
  if (!out.isEmpty()) {
    trace(QStringLiteral("->"), out);
    endpoint_->write(out);
  }
  if (sim_.takeHangup()) {
    trace(QStringLiteral("dropping the link"));
    endpoint_->drop();
  }
  if (sim_.lastRejection() != lastRejection_) {
    lastRejection_ = sim_.lastRejection();
    trace(QStringLiteral("SMS refused: ") + lastRejection_);
  }
  writeSent();
  if (const std::optional<Tick> due = sim_.nextDue())
    pumpTimer_.start(std::max(0, static_cast<int>(static_cast<std::int32_t>(*due - tick()))));
  else
    pumpTimer_.stop();
}

void SimRunner::pollFiles() {
  if (injectFile_) {
    for (const QString& line : injectFile_->readNewLines()) {
      QString why;
      const std::optional<Injection> sms = parseInjectLine(line, options_.injectStorage, &why);
      if (!sms)
        printLine(stderr, QStringLiteral("modemsim: ") + why);
      else if (sim_.inject(*sms, tick()).isEmpty())
        printLine(stderr,
                  QStringLiteral("modemsim: storage full, SMS from %1 lost").arg(sms->sender));
      else
        trace(QStringLiteral("stored SMS from ") + sms->sender);
    }
  }
  if (controlFile_) {
    for (const QString& line : controlFile_->readNewLines()) controlLine(line);
  }
  pump();
}

// "burst N GAP_MS [NUMBER]": N SMS arrive GAP_MS apart, as the parts of a long SMS do.
bool SimRunner::burst(const QString& line) {
  const QStringList words = line.split(u' ', Qt::SkipEmptyParts);
  if (words.value(0).compare(u"burst", Qt::CaseInsensitive) != 0) return false;
  bool countOk = false;
  bool gapOk = false;
  const int count = words.value(1).toInt(&countOk);
  const int gap = words.value(2).toInt(&gapOk);
  if (!countOk || !gapOk || count < 1 || count > 100 || gap < 0 || words.size() > 4) {
    printLine(stderr, QStringLiteral("modemsim: bad control command: ") + line);
    return true;
  }
  ++bursts_;
  for (int k = 0; k < count; ++k) {
    Injection sms;
    sms.sender = words.value(3, QStringLiteral("+420777000111"));
    sms.text = QStringLiteral("Burst %1.%2").arg(bursts_).arg(k + 1);
    sim_.injectAt(sms, tick() + static_cast<Tick>(k * gap));
  }
  trace(QStringLiteral("control: ") + line);
  pump();
  return true;
}

void SimRunner::controlLine(const QString& line) {
  if (burst(line.trimmed())) return;
  if (line.trimmed().compare(u"power-up", Qt::CaseInsensitive) == 0) {
    trace(QStringLiteral("control: power-up"));
    sim_.powerUp(tick());
    pump();
    return;
  }
  QString why;
  std::optional<bool> applied = applyLinkFaultCommand(sim_.linkFaults(), line, &why);
  if (!applied) applied = applyFaultCommand(sim_.faults(), line, &why);
  if (*applied) {
    trace(QStringLiteral("control: ") + line);
  } else {
    printLine(stderr, QStringLiteral("modemsim: ") + why);
  }
  if (sim_.linkFaults().unplugged == unplugged_) return;
  unplugged_ = sim_.linkFaults().unplugged;
  if (unplugged_)
    endpoint_->unplug();
  else
    endpoint_->replug();
}

void SimRunner::writeSent() {
  const std::vector<SentSms> sent = sim_.takeSent();
  if (sent.empty()) return;
  QByteArray lines;
  for (const SentSms& sms : sent) {
    trace(QStringLiteral("sent: ") + sentLine(sms));
    lines += sentLine(sms).toUtf8() + '\n';
  }
  appendRecordLines(options_.sentPath, lines, "modemsim");
}

void SimRunner::trace(const QString& what, const QByteArray& bytes) const {
  if (!options_.trace) return;
  printLine(stderr, bytes.isEmpty() ? what : what + u' ' + shownBytes(bytes));
}

}  // namespace kolvane::modemsim
