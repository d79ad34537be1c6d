#include "gsm/sim_pin_mark.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include "context/gateway_context.h"

namespace kolvane {

namespace {

constexpr char kScheme[] = "pbkdf2-sha256";
constexpr int kIterations = 20000;
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;

QByteArray Derived(const QString& pin, const QByteArray& salt, int iterations) {
  return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(), salt,
                                            iterations, kKeyBytes);
}

QString Formatted(const QByteArray& salt, int iterations, const QByteArray& key) {
  return QStringLiteral("%1$%2$%3$%4")
      .arg(QLatin1String(kScheme))
      .arg(iterations)
      .arg(QString::fromLatin1(salt.toBase64()), QString::fromLatin1(key.toBase64()));
}

// The same file without the gateway's failure line: the caller says why it matters.
bool WriteMark(GatewayContext& g, const QString& value) {
  const IniFile* file = g.settingsFile();
  if (!file) return true;  // no settings file to keep it in: the mark lives in memory
  IniFile quiet(file->path());
  return quiet.setValue(QStringLiteral("CFG"), QStringLiteral("SimPinRefused"), value);
}

}  // namespace

QString PinDigest(const QString& pin) {
  QByteArray salt(kSaltBytes, '\0');
  QRandomGenerator::system()->generate(salt.begin(), salt.end());
  return Formatted(salt, kIterations, Derived(pin, salt, kIterations));
}

bool DigestMatches(const QString& digest, const QString& pin) {
  const QStringList parts = digest.trimmed().split(QLatin1Char('$'));
  if (parts.size() != 4 || parts[0] != QLatin1String(kScheme)) return false;
  bool ok = false;
  const int iterations = parts[1].toInt(&ok);
  if (!ok || iterations < 1 || iterations > 10 * kIterations) return false;
  const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
  const QByteArray key = QByteArray::fromBase64(parts[3].toLatin1());
  return !salt.isEmpty() && key.size() == kKeyBytes && Derived(pin, salt, iterations) == key;
}

bool PinMarked(const GatewayContext& g) {
  const Settings& cfg = g.state().cfg;
  return !cfg.SimPinRefused.trimmed().isEmpty() && DigestMatches(cfg.SimPinRefused, cfg.SimPin);
}

bool MarkPin(GatewayContext& g) {
  Settings& cfg = g.state().cfg;
  const QString digest = PinDigest(cfg.SimPin);
  if (!WriteMark(g, digest)) return false;
  cfg.SimPinRefused = digest;
  return true;
}

void ClearPinMark(GatewayContext& g) {
  Settings& cfg = g.state().cfg;
  if (cfg.SimPinRefused.isEmpty()) return;
  // Emptied rather than removed: the file then holds what the program holds. A file that
  // cannot be written keeps its mark, and no PIN is entered while it cannot.
  WriteMark(g, QString());
  cfg.SimPinRefused.clear();
}

}  // namespace kolvane
