#include "sim_runner.h"

#include "modemsim/sim_io.h"

#include <cstdio>

namespace kolvane::gatesim {

using modemsim::appendRecordLines;
using modemsim::printLine;
using modemsim::shownBytes;

namespace {

constexpr int kFilePollMs = 200;

}  // namespace

SimRunner::SimRunner(RunOptions options, std::unique_ptr<modemsim::Endpoint> endpoint)
    : options_(std::move(options)), device_(options_.device), endpoint_(std::move(endpoint)) {
  connect(&fileTimer_, &QTimer::timeout, this, &SimRunner::pollFiles);
  connect(endpoint_.get(), &modemsim::Endpoint::received, this, &SimRunner::onReceived);
  connect(endpoint_.get(), &modemsim::Endpoint::connected, this, [this] {
    trace(QStringLiteral("connected"));
    device_.connectionOpened();
  });
  connect(endpoint_.get(), &modemsim::Endpoint::announced, this,
          [](const QString& line) { printLine(stdout, line); });
}

bool SimRunner::start(QString* error) {
  for (const StoredSms& sms : options_.stored) device_.store(sms);
  if (!options_.injectPath.isEmpty()) {
    // Lines already in the file are not ours to store.
    injectFile_.emplace(options_.injectPath);
    injectFile_->readNewLines();
  }
  if (!options_.controlPath.isEmpty()) {
    controlFile_.emplace(options_.controlPath);
    controlFile_->readNewLines();
  }
  if (injectFile_ || controlFile_) fileTimer_.start(kFilePollMs);
  return endpoint_->open(error);
}

void SimRunner::onReceived(const QByteArray& bytes) {
  trace(QStringLiteral("<-"), bytes);
  const QByteArray out = device_.receive(bytes);
  if (!out.isEmpty()) {
    trace(QStringLiteral("->"), out);
    endpoint_->write(out);
  }
  writeRecords();
}

void SimRunner::pollFiles() {
  if (injectFile_) {
    for (const QString& line : injectFile_->readNewLines()) {
      QString why;
      if (const auto sms = parseInjectLine(line, device_.config().modules, &why)) {
        device_.store(*sms);
        trace(QStringLiteral("stored SMS from ") + sms->number);
      } else {
        printLine(stderr, QStringLiteral("gatesim: ") + why);
      }
    }
  }
  if (controlFile_) {
    for (const QString& line : controlFile_->readNewLines()) {
      QString why;
      if (applyControl(device_.config(), line, &why))
        trace(QStringLiteral("control: ") + line);
      else
        printLine(stderr, QStringLiteral("gatesim: ") + why);
    }
  }
}

void SimRunner::writeRecords() {
  for (const QString& why : device_.takeRejected()) trace(QStringLiteral("frame refused: ") + why);
  for (const StoredSms& sms : device_.takeHanded())
    trace(QStringLiteral("handed over SMS from ") + sms.number);
  const std::vector<JobRecord> jobs = device_.takeJobs();
  if (jobs.empty()) return;
  QByteArray lines;
  for (const JobRecord& job : jobs) {
    trace(QStringLiteral("job: ") + jobLine(job));
    lines += jobLine(job).toUtf8() + '\n';
  }
  appendRecordLines(options_.jobsPath, lines, "gatesim");
}

void SimRunner::trace(const QString& what, const QByteArray& bytes) const {
  if (!options_.trace) return;
  printLine(stderr, bytes.isEmpty() ? what : what + u' ' + shownBytes(bytes));
}

}  // namespace kolvane::gatesim
