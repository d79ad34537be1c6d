#include "mail/smtp_auth.h"

#include <QList>

namespace kolvane {

namespace {

const QByteArray kPlainChallenge = QByteArrayLiteral("334 ");
const QByteArray kUserChallenge = QByteArrayLiteral("334 VXNlcm5hbWU6");      // "Username:"
const QByteArray kPasswordChallenge = QByteArrayLiteral("334 UGFzc3dvcmQ6");  // "Password:"
const QByteArray kCancelled = QByteArrayLiteral("501 5.7.0 Authentication cancelled");
const QByteArray kUndecodable = QByteArrayLiteral("501 5.5.2 Kolvane cannot decode the response");

// A client response: base64, "=" for an empty one. None when it is not base64.
std::optional<QByteArray> decoded(const QByteArray& response) {
  const QByteArray text = response.trimmed();
  if (text == "=") return QByteArray();
  const auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
  if (!result) return std::nullopt;
  return result.decoded;
}

QByteArray upper(QByteArray text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

}  // namespace

SmtpAuthExchange::Step SmtpAuthExchange::failed(const QByteArray& reply) {
  reset();
  return {reply, std::nullopt};
}

SmtpAuthExchange::Step SmtpAuthExchange::begin(const QByteArray& line) {
  reset();
  const QList<QByteArray> words = line.simplified().split(' ');
  if (words.size() < 2 || words.size() > 3) {
    return failed("501 5.5.4 Kolvane syntax: AUTH mechanism [initial-response]");
  }
  const QByteArray mechanism = upper(words[1]);
  const bool initial = words.size() == 3;
  if (mechanism == "PLAIN") {
    if (initial) return plain(words[2]);
    state_ = State::PlainResponse;
    return {kPlainChallenge, std::nullopt};
  }
  if (mechanism == "LOGIN") {
    if (initial) return loginUser(words[2]);
    state_ = State::LoginUser;
    return {kUserChallenge, std::nullopt};
  }
  return failed("504 5.5.4 Kolvane unrecognized authentication type");
}

SmtpAuthExchange::Step SmtpAuthExchange::next(const QByteArray& line) {
  if (line.trimmed() == "*") return failed(kCancelled);
  switch (state_) {
    case State::PlainResponse:
      return plain(line);
    case State::LoginUser:
      return loginUser(line);
    case State::LoginPassword: {
      const auto password = decoded(line);
      if (!password) return failed(kUndecodable);
      SaslCredentials c{{}, user_, *password};
      reset();
      return {{}, c};
    }
    case State::Idle:
      break;
  }
  return failed(kCancelled);
}

// authzid NUL authcid NUL password.
SmtpAuthExchange::Step SmtpAuthExchange::plain(const QByteArray& response) {
  const auto message = decoded(response);
  if (!message) return failed(kUndecodable);
  const QList<QByteArray> parts = message->split('\0');
  if (parts.size() != 3) return failed(kUndecodable);
  reset();
  return {{}, SaslCredentials{parts[0], parts[1], parts[2]}};
}

SmtpAuthExchange::Step SmtpAuthExchange::loginUser(const QByteArray& response) {
  const auto user = decoded(response);
  if (!user) return failed(kUndecodable);
  user_ = *user;
  state_ = State::LoginPassword;
  return {kPasswordChallenge, std::nullopt};
}

}  // namespace kolvane
