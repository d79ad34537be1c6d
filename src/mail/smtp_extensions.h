#pragma once

#include <QByteArray>
#include <optional>

namespace kolvane {

struct Settings;

// The largest mail the server takes, in bytes, as SIZE announces it.
qint64 SmtpMaxMailBytes(const Settings& cfg);

// The answer to EHLO: the first line as HELO's, then the extensions the server has.
// rest is the upper-cased argument with its leading space, empty when there is none;
// startTls offers STARTTLS (a connection in clear that could be encrypted), auth offers AUTH
// (not in clear when encryption is required).
QByteArray EhloReply(const Settings& cfg, const QByteArray& rest, bool startTls = false,
                     bool auth = true);

// The SIZE=n a MAIL line declares after its address; none when it declares no size. A number
// too large to read is taken as too large for any mail.
std::optional<qint64> DeclaredMailSize(const QByteArray& upperLine);

}  // namespace kolvane
