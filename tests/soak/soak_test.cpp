// Weeks of an On-line gateway in simulated time: random mails from several clients, random
// received SMS and injected faults, across the wrap of the 32-bit tick. KOLVANE_SOAK_DAYS sets
// the number of simulated days (default 30), KOLVANE_SOAK_SEED the random seed;
// KOLVANE_SOAK_KNOWN_FAULTS="reason" skips the run with that reason while a known fault is open.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>
#include <deque>
#include <map>
#include <optional>
#include <random>
#include <set>

#include "core/gateway.h"
#include "core/gateway_start.h"
#include "gsm/link_passes.h"
#include "mail/mail_rec.h"
#include "mail/mail_recv.h"
#include "mail/quoted_printable.h"
#include "platform/exclusive_file.h"
#include "support/free_port.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

constexpr std::uint64_t kSec = 1000;
constexpr std::uint64_t kMin = 60 * kSec;
constexpr std::uint64_t kHour = 60 * kMin;
constexpr std::uint64_t kDay = 24 * kHour;
constexpr qint64 kWallLimitMs = 240 * 1000;
// Under AddressSanitizer freed memory waits in its quarantine: resident memory says nothing.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryMeasurable = false;
#elif defined(__has_feature)
constexpr bool kMemoryMeasurable = !__has_feature(address_sanitizer);
#else
constexpr bool kMemoryMeasurable = true;
#endif
// The tick starts three days before it wraps.
constexpr Tick kFirstTick = static_cast<Tick>(0x100000000ULL - 3 * kDay);

int envInt(const char* name, int fallback) {
  bool ok = false;
  const int v = qEnvironmentVariableIntValue(name, &ok);
  return ok ? v : fallback;
}

long vmRssKb() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  }
  return 0;
}

enum class Fault { Silence, Garbage, Drop, CmsError, StoreHeld, DiskFull };
const char* const kFaultNames[] = {"silence",    "garbage",    "dropped link",
                                   "+CMS ERROR", "store held", "disk full"};

// One SMTP client PC, its dialogue driven line by line.
struct MailClient {
  MailClient(Gateway& g, const QString& name) : recv(g, server) { recv.StartInitX(name); }
  QByteArray reply() {
    if (!server.SmtpSendOn) return {};
    server.SmtpSendOn = false;
    return server.SmtpSendStr;
  }
  SmtpServerState server;
  TMailRecv recv;
  QList<QByteArray> keys;  // of the mail whose end is being stored
};

class Soak {
 public:
  Soak(int days, std::uint32_t seed) : days_(days), rng_(seed) {
    modemsim::ModemConfig mc;
    mc.wallClock = [this] { return fromDateTime(clock_.now()); };
    mc.simCapacity = 60;
    sim_ = std::make_shared<SimModem>(clock_, mc);
    QFile ini(dir_.filePath(QStringLiteral("Kolvane.ini")));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write("[CFG]\n" + FreeMailPorts() +
                "ComTcp=0\nOnLine=1\nSmsIndication=0\nIntervalOnLine=5000\n"
                "CutEMail=1\nConcatenateSMS=1\nSendUCS2SmsPermit=1\nPreSetTimeSw=1\nDNSOff=1\n"
                // The POP3 store is read on from where it was: it must keep every record.
                "ExpireDay=0\n");
      ini.close();
    }
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir_.path();
    o.headless = true;
    g_ = std::make_unique<Gateway>(clock_, o);
    g_->log().setEchoSink([this](const QString& line) {
      lastLog_.push_back(line);
      if (lastLog_.size() > 40) lastLog_.pop_front();
    });
    g_->hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim_);
    };
    g_->hooks().runHookCommand = [](const QString&) {};
    EXPECT_TRUE(g_->InitX());
    g_->state().FirstPaintPending = false;
    for (int i = 0; i < 3; ++i) {
      clients_.push_back(std::make_unique<MailClient>(*g_, QStringLiteral("pc%1").arg(i + 1)));
      clients_.back()->reply();
    }
    BBt1Click(*g_, StartSender::Button);
  }

  void run() {
    const std::uint64_t end = days_ * kDay;
    std::uint64_t nextMail = 0, nextSms = 0, nextFault = kHour, nextDay = 0;
    QElapsedTimer wall;
    wall.start();
    while (elapsed_ < end + 6 * kHour) {
      // A gateway that keeps relations running for ever would take hours of wall time.
      if (wall.elapsed() > kWallLimitMs) {
        ADD_FAILURE() << "gave up after " << wall.elapsed() / 1000 << " s at simulated day "
                      << elapsed_ / kDay;
        break;
      }
      const bool open = elapsed_ < end;
      if (open && elapsed_ >= nextMail) {
        sendMail();
        nextMail = elapsed_ + gap(kDay / 40);
      }
      if (open && elapsed_ >= nextSms) {
        receiveSms();
        nextSms = elapsed_ + gap(kDay / 40);
      }
      if (open && elapsed_ >= nextFault && !fault_) {
        startFault();
        nextFault = elapsed_ + gap(kDay / 8);
      }
      if (fault_ && elapsed_ >= faultEnd_) endFault();
      while (!parts_.empty() && parts_.begin()->first <= elapsed_) {
        sim_->modem.storage(modemsim::Storage::SM).add(parts_.begin()->second);
        parts_.erase(parts_.begin());
      }
      if (elapsed_ >= nextDay) {
        sampleDay();
        nextDay += kDay;
      }
      collect();
      std::uint64_t next =
          std::min({nextDay, open ? std::min({nextMail, nextSms}) : end + 6 * kHour,
                    fault_ ? faultEnd_ : (open ? nextFault : UINT64_MAX)});
      if (!parts_.empty()) next = std::min(next, parts_.begin()->first);
      if (!wakes_.empty()) {
        next = std::min(next, *wakes_.begin());
        if (*wakes_.begin() <= elapsed_) {
          wakes_.erase(wakes_.begin());
          lastEvent_ = elapsed_;
        }
      }
      if (busy()) {
        step();
      } else {
        skipTo(std::max(next, elapsed_ + 50));
      }
    }
    collect();
    readPop3();
  }

  void check() {
    int duplicates = 0, lost = 0, mailParts = 0;
    for (const auto& [key, n] : accepted_) {
      const int seen = sent_[key] + reported_[key];
      mailParts += n;
      if (seen < n) {
        ++lost;
        ADD_FAILURE() << "mail job never sent nor reported: " << key.toStdString();
      }
      duplicates += std::max(0, seen - n);
    }
    int notAccepted = 0;
    for (const QByteArray& key : refused_) notAccepted += sent_[key];
    int smsLost = 0, smsDup = 0;
    for (const QByteArray& token : injected_) {
      const int n = stored_[token];
      if (n == 0) ++smsLost;
      smsDup += std::max(0, n - 1);
    }
    long firstRss = rss_.empty() ? 0 : rss_[std::min<std::size_t>(2, rss_.size() - 1)];
    long peak = 0, laterPeak = 0;
    for (std::size_t i = 0; i < rss_.size(); ++i) {
      peak = std::max(peak, rss_[i]);
      if (i > 2) laterPeak = std::max(laterPeak, rss_[i]);
    }
    std::printf(
        "soak: %d days, seed %u, %d relations\n"
        "  mails %d answered 250 (%d jobs), %d answered otherwise; jobs sent %d, reported %d,\n"
        "  lost %d, duplicates %d, refused mails sent %d\n"
        "  SMS %d received (%d parts), lost %d, duplicates %d\n"
        "  faults %d:",
        days_, seed(), relations_, mails250_, mailParts, mailsOther_, sentTotal_, reportTotal_,
        lost, duplicates, notAccepted, static_cast<int>(injected_.size()), partsInjected_, smsLost,
        smsDup, faults_);
    for (int i = 0; i < 6; ++i) std::printf(" %s %d", kFaultNames[i], faultCount_[i]);
    std::printf(
        "\n  memory: day 3 %ld kB, peak %ld kB; largest job store %lld B, Pop3.Tmp %lld B"
        " for %d records\n  preset mails %d: sent early %d, latest send %llu s after its time\n",
        firstRss, peak, maxJobStore_, pop3Size(), pop3Records_, static_cast<int>(presetAt_.size()),
        presetEarly_, static_cast<unsigned long long>(presetLate_ / kSec));
    std::fflush(stdout);

    EXPECT_EQ(lost, 0);
    EXPECT_LE(duplicates, faults_) << "more sends than faults could explain";
    EXPECT_EQ(notAccepted, 0) << "jobs of refused mails were sent";
    EXPECT_EQ(presetEarly_, 0) << "preset mails sent before their time";
    // Faults last at most two minutes; a due preset mail leaves in the relations after them.
    EXPECT_LE(presetLate_, 10 * kMin) << "a preset mail stayed long after its time";
    EXPECT_EQ(smsLost, 0) << "received SMS never stored";
    EXPECT_EQ(smsDup, 0) << "received SMS stored more than once";
    EXPECT_EQ(sim_->modem.storage(modemsim::Storage::SM).used(), 0);
    // Every job store is used up; the POP3 store holds its records and nothing else.
    for (const char* store : {files::kSmtpTmp, files::kSmtpRun, files::kSmtpWaitTmp}) {
      EXPECT_LT(QFileInfo(path(store)).size(), 4096) << store;
    }
    EXPECT_LT(QFileInfo(path("SmsParts.Tmp")).size(), 4096);
    EXPECT_LE(pop3Size(), static_cast<qint64>(pop3Records_) * 2048 + 4096);
    // Memory flat once the first days have filled the caches.
    if (kMemoryMeasurable) {
      EXPECT_LE(laterPeak, firstRss + 16 * 1024) << "resident memory grew";
    }
    if (::testing::Test::HasFailure()) {
      for (const QString& l : lastLog_) std::printf("  log: %s\n", qPrintable(l));
    }
  }

 private:
  std::uint32_t seed() const { return static_cast<std::uint32_t>(envInt("KOLVANE_SOAK_SEED", 1)); }
  QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
  qint64 pop3Size() const { return QFileInfo(path(files::kPop3Tmp)).size(); }
  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  // Exponential gaps around a mean, whole seconds.
  std::uint64_t gap(std::uint64_t mean) {
    const double s = std::exponential_distribution<double>(1.0)(rng_) * mean / kSec;
    return (static_cast<std::uint64_t>(s) + 1) * kSec;
  }
  QString number(int i) { return QStringLiteral("+42077700%1").arg(i, 4, 10, QLatin1Char('0')); }

  // The gateway's timers, as the event loop would run them, in 50 ms steps.
  void step() {
    clock_.advance(50);
    elapsed_ += 50;
    const bool was = g_->state().RelationOn;
    g_->passes().SendPass();
    if (elapsed_ % 100 == 0) g_->TimerTimer();
    if (elapsed_ % 250 == 0) g_->passes().RecvPass();
    if (elapsed_ % 10000 == 0) g_->TmrAlarmTimer();
    if (elapsed_ % 1000 == 0) QCoreApplication::processEvents();
    if (!was && g_->state().RelationOn) ++relations_;
    pollClients();
  }

  // Nothing to do until target: periodic starts held back (their grid moved along), the
  // running relation left to end, then the cycle runs every minute for its clock-bound duties.
  void skipTo(std::uint64_t target) {
    GatewayState& gs = g_->state();
    const auto holdBack = [&] {
      // 0 means "no periodic start".
      if (gs.RelationBase != 0) gs.RelationBase = std::max<Tick>(clock_.tick(), 1);
    };
    while (!gs.RelationIdle && elapsed_ < target) {
      holdBack();
      step();
    }
    while (elapsed_ < target) {
      const std::uint64_t d = std::min(kMin, target - elapsed_);
      clock_.advance(static_cast<std::uint32_t>(d));
      elapsed_ += d;
      holdBack();
      g_->TimerTimer();
      g_->TmrAlarmTimer();
      // A job back from the waiting store (its time or its retry has come) wants a relation.
      if (QFileInfo::exists(path(files::kSmtpTmp))) {
        lastEvent_ = elapsed_;
        break;
      }
    }
    QCoreApplication::processEvents();
  }

  // Relations are needed while anything waits for the modem or the stores; a gateway stuck
  // for 3 minutes after the last event is left to the next one.
  bool busy() {
    if (fault_ || elapsed_ < lastEvent_ + 20 * kSec) return true;
    if (elapsed_ > lastEvent_ + 3 * kMin) return false;
    if (!g_->state().StoreAppends.items.empty()) return true;
    for (const auto& c : clients_) {
      if (c->recv.Storing()) return true;
    }
    return sim_->modem.storage(modemsim::Storage::SM).used() > 0 ||
           QFileInfo::exists(path(files::kSmtpTmp)) || QFileInfo::exists(path(files::kSmtpRun));
  }

  void sendMail() {
    lastEvent_ = elapsed_;
    MailClient* c = nullptr;
    for (const auto& cl : clients_) {
      if (!cl->recv.Storing() && cl->keys.isEmpty()) c = cl.get();
    }
    if (!c) return;
    const QByteArray token = 'M' + QByteArray::number(++mailNo_).rightJustified(6, '0');
    const int kind = pick(0, 9);
    QByteArray subject = "Note " + token, contentType = "text/plain; charset=us-ascii";
    QList<QByteArray> texts;  // one per SMS part
    if (kind < 3) {
      // Long: parts of 153 characters, each starting with its own mark.
      const int parts = pick(2, 3);
      for (int i = 0; i < parts; ++i) {
        texts << (token + char('a' + i) + ' ' + QByteArray(144, char('a' + pick(0, 25))));
      }
      texts.last().chop(pick(0, 100));
    } else if (kind < 5) {
      contentType = "text/plain; charset=utf-8";
      texts << token + "u " + QStringLiteral("Příliš žluťoučký kůň, Привет").toUtf8();
    } else {
      texts << token + "s short note " + QByteArray::number(pick(0, 99999));
    }
    if (kind == 9) {
      // A preset time up to two hours ahead.
      const std::uint64_t ahead = pick(2, 120) * kMin;
      const QDateTime at = fromDateTime(clock_.now()).addMSecs(ahead);
      subject += " SendTime " + at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
      wakes_.insert(elapsed_ + ahead + kSec);
      // The subject holds whole seconds: the time may lie up to a second before elapsed + ahead.
      presetAt_[token] = elapsed_ + ahead - kSec;
    }
    QList<QByteArray> numbers;
    for (int n = pick(1, 3); numbers.size() < n;) {
      const QByteArray no = number(pick(0, 19)).toLatin1();
      if (!numbers.contains(no)) numbers << no;
    }
    say(*c, "MAIL FROM:<user@office.lan>");
    for (const QByteArray& no : numbers) say(*c, "RCPT TO:<" + no + "@sms.lan>");
    if (!say(*c, "DATA").startsWith("354")) return;
    c->recv.AddRecvStr("Subject: " + subject);
    c->recv.AddRecvStr("Content-Type: " + contentType);
    c->recv.AddRecvStr("");
    c->recv.AddRecvStr(texts.join());
    for (const QByteArray& no : numbers) {
      for (const QByteArray& t : texts) c->keys << no + '|' + t.left(8);
    }
    c->recv.AddRecvStr(".");
    pollClients();
  }

  QByteArray say(MailClient& c, const QByteArray& line) {
    c.recv.AddRecvStr(line);
    return c.reply();
  }

  // The answers to the ends of mails, once their stores are written.
  void pollClients() {
    for (const auto& c : clients_) {
      if (c->keys.isEmpty() || c->recv.Storing()) continue;
      const QByteArray r = c->reply();
      if (r.isEmpty()) continue;
      if (r.startsWith("250")) {
        ++mails250_;
        for (const QByteArray& k : c->keys) ++accepted_[k];
      } else {
        ++mailsOther_;
        for (const QByteArray& k : c->keys) refused_.insert(k);
      }
      c->keys.clear();
    }
  }

  void receiveSms() {
    lastEvent_ = elapsed_;
    modemsim::MessageStore& sm = sim_->modem.storage(modemsim::Storage::SM);
    if (sm.freeSlots() < 8) return;
    const QByteArray token = 'S' + QByteArray::number(++smsNo_).rightJustified(6, '0') + 'x';
    modemsim::Injection sms;
    sms.sender = number(pick(100, 199));
    const int kind = pick(0, 9);
    if (kind < 4) {
      for (int i = pick(2, 4); i > 0; --i) sms.parts << QString(100, QChar('a' + pick(0, 25)));
      sms.parts.first().prepend(QString::fromLatin1(token) + ' ');
    } else if (kind < 6) {
      sms.text = QString::fromLatin1(token) + QStringLiteral(" Dobrý den, Ελλάδα");
    } else {
      sms.text = QString::fromLatin1(token) + QStringLiteral(" hello ") + QString::number(kind);
    }
    const QList<int> idx = sim_->modem.inject(sms, clock_.tick());
    if (idx.isEmpty()) return;
    injected_.insert(token);
    partsInjected_ += idx.size();
    // Parts of a concatenated message reach the SIM out of order, some in later relations.
    for (qsizetype i = idx.size() - 1; i >= 1 && idx.size() > 1; --i) {
      if (pick(0, 1) == 0) continue;
      parts_.emplace(elapsed_ + pick(1, 40) * kSec, *sm.find(idx[i]));
      sm.remove(idx[i]);
    }
  }

  void startFault() {
    lastEvent_ = elapsed_;
    const Fault f = static_cast<Fault>(pick(0, 5));
    modemsim::Faults& mf = sim_->modem.faults();
    switch (f) {
      case Fault::Silence:
        mf.silent = true;
        break;
      case Fault::Garbage:
        mf.highBytes = true;
        break;
      case Fault::Drop:
        mf.dropAfter = pick(3, 14);
        break;
      case Fault::CmsError:
        // A network out of order the job waits out, or a number refused for good.
        mf.cmsError = pick(0, 2) == 0 ? 21 : 38;
        break;
      case Fault::StoreHeld:
        held_.emplace(path(pick(0, 1) ? files::kPop3Tmp : files::kSmtpTmp));
        held_->open(QIODevice::ReadWrite);
        break;
      case Fault::DiskFull: {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{};
        getrlimit(RLIMIT_FSIZE, &lim);
        savedFsize_ = lim.rlim_cur;
        lim.rlim_cur = 1;
        setrlimit(RLIMIT_FSIZE, &lim);
        break;
      }
    }
    fault_ = f;
    faultEnd_ = elapsed_ + pick(20, 120) * kSec;
    ++faults_;
    ++faultCount_[static_cast<int>(f)];
  }

  void endFault() {
    sim_->modem.faults() = {};
    held_.reset();
    if (fault_ == Fault::DiskFull) {
      rlimit lim{};
      getrlimit(RLIMIT_FSIZE, &lim);
      lim.rlim_cur = savedFsize_;
      setrlimit(RLIMIT_FSIZE, &lim);
    }
    fault_.reset();
  }

  // What the modem sent since the last call.
  void collect() {
    static const QRegularExpression mark(QStringLiteral("M\\d{6}[a-z]"));
    for (const modemsim::SentSms& s : sim_->modem.takeSent()) {
      ++sentTotal_;
      const QRegularExpressionMatch m = mark.match(s.text);
      if (!m.hasMatch()) continue;
      ++sent_[s.number.toLatin1() + '|' + m.captured().toLatin1()];
      const auto preset = presetAt_.find(m.captured().left(7).toLatin1());
      if (preset == presetAt_.end()) continue;
      if (elapsed_ < preset->second) ++presetEarly_;
      presetLate_ = std::max(presetLate_, elapsed_ - std::min(elapsed_, preset->second));
    }
  }

  // New records of the POP3 store: received SMS by their mark, reports by the job's.
  void readPop3() {
    static const QRegularExpression mark(QStringLiteral("([MS])(\\d{6}[a-z])"));
    QFile f(path(files::kPop3Tmp));
    if (!f.open(QIODevice::ReadOnly) || f.size() <= pop3Read_) return;
    f.seek(pop3Read_);
    const QByteArray data = f.readAll();
    qsizetype off = 0;
    while (off < data.size()) {
      const tMailRec rec = StrToMailRec(data.mid(off), {"Report", "SendTime", {}, clock_.now()});
      if (rec.EndPos < 0) break;
      off += rec.EndPos + 1;
      ++pop3Records_;
      const QString body = QString::fromUtf8(QpDecode(rec.MimeBody));
      const QRegularExpressionMatch m = mark.match(body);
      if (!m.hasMatch()) continue;
      const QByteArray token = m.captured().toLatin1();
      if (m.captured(1) == QLatin1String("S")) {
        ++stored_[token];
      } else {
        ++reportTotal_;
        // The report goes to "<number>" (or "<number@domain>").
        const QByteArray no = rec.Toe.mid(1).split('@').value(0).split('>').value(0);
        ++reported_[no + '|' + token];
      }
    }
    pop3Read_ += off;
  }

  void sampleDay() {
    readPop3();
    rss_.push_back(vmRssKb());
    for (const char* s : {files::kSmtpTmp, files::kSmtpRun, files::kSmtpWaitTmp}) {
      maxJobStore_ = std::max(maxJobStore_, static_cast<long long>(QFileInfo(path(s)).size()));
    }
  }

  int days_;
  std::mt19937 rng_;
  QTemporaryDir dir_;
  ManualClock clock_{kFirstTick, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
  std::shared_ptr<SimModem> sim_;
  std::unique_ptr<Gateway> g_;
  std::vector<std::unique_ptr<MailClient>> clients_;
  std::uint64_t elapsed_ = 0, lastEvent_ = 0;
  std::multimap<std::uint64_t, modemsim::StoredSms> parts_;  // parts still on their way
  std::multiset<std::uint64_t> wakes_;                       // preset send times
  std::map<QByteArray, std::uint64_t> presetAt_;             // preset mails: their time
  int presetEarly_ = 0;
  std::uint64_t presetLate_ = 0;
  std::optional<Fault> fault_;
  std::uint64_t faultEnd_ = 0;
  std::optional<ExclusiveFile> held_;
  rlim_t savedFsize_ = RLIM_INFINITY;
  std::deque<QString> lastLog_;

  int mailNo_ = 0, smsNo_ = 0, relations_ = 0, mails250_ = 0, mailsOther_ = 0;
  int sentTotal_ = 0, reportTotal_ = 0, partsInjected_ = 0, faults_ = 0, pop3Records_ = 0;
  int faultCount_[6] = {};
  std::map<QByteArray, int> accepted_, sent_, reported_, stored_;
  std::set<QByteArray> refused_, injected_;
  qint64 pop3Read_ = 0;
  std::vector<long> rss_;
  long long maxJobStore_ = 0;
};

}  // namespace

TEST(Soak, MonthOnLineWithFaultsAcrossTheTickWrap) {
  if (qEnvironmentVariableIsSet("KOLVANE_SOAK_KNOWN_FAULTS")) {
    GTEST_SKIP() << qPrintable(qEnvironmentVariable("KOLVANE_SOAK_KNOWN_FAULTS"));
  }
  Soak soak(envInt("KOLVANE_SOAK_DAYS", 30),
            static_cast<std::uint32_t>(envInt("KOLVANE_SOAK_SEED", 1)));
  soak.run();
  soak.check();
}
