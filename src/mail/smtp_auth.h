#pragma once

#include <QByteArray>
#include <optional>

namespace kolvane {

// What a client sent to log in.
struct SaslCredentials {
  QByteArray authzid;  // empty: the user itself
  QByteArray user;
  QByteArray password;
};

// The exchange of an SMTP AUTH command, PLAIN or LOGIN, with or without an initial response.
// Each step gives a reply to send (a challenge or a refusal) or, at its end, the credentials
// to check.
class SmtpAuthExchange {
 public:
  struct Step {
    QByteArray reply;  // empty when credentials are given
    std::optional<SaslCredentials> credentials;
  };

  // The AUTH line as received.
  Step begin(const QByteArray& line);
  // A line the exchange asked for ("*" cancels it).
  Step next(const QByteArray& line);
  // A challenge is out: the next line belongs to the exchange.
  bool active() const { return state_ != State::Idle; }
  void reset() { *this = {}; }

 private:
  enum class State { Idle, PlainResponse, LoginUser, LoginPassword };
  Step plain(const QByteArray& response);
  Step loginUser(const QByteArray& response);
  Step failed(const QByteArray& reply);

  State state_ = State::Idle;
  QByteArray user_;
};

}  // namespace kolvane
