#pragma once

#include "host/services/clientconfig.h"

#include <QString>

#include <optional>

namespace client {

// What an operator types to sign in.
struct Credentials {
    QString operatorCode;
    QString password;
};

// The server's answer to a sign-in: the session's token and whom it belongs to.
struct SignedIn {
    QString token;
    QString operatorCode;
    QString operatorName;
    QString branch;
    QString central;
    QString role; // "E" school, "C" central, "A" administrator
};

// Signs in at the configured application server ("Sessao.entrar"); raises host::HostError with
// the server's Portuguese refusal (wrong password, locked, disabled) or the connection failure.
SignedIn signIn(const host::ClientConfig &config, const Credentials &credentials);
// Ends the session ("Sessao.sair"); a failure is only reported on stderr, the session then ends
// by its idle expiry.
void signOut(const host::ClientConfig &config, const QString &token);
// Signs a session out when the run ends, however it ends (an error, a stop signal); nothing
// without a session.
class SignOutAtEnd
{
public:
    SignOutAtEnd(const host::ClientConfig &config, const std::optional<SignedIn> &session)
        : m_config(config), m_token(session ? session->token : QString())
    {
    }
    ~SignOutAtEnd()
    {
        if (!m_token.isEmpty())
            signOut(m_config, m_token);
    }
    SignOutAtEnd(const SignOutAtEnd &) = delete;
    SignOutAtEnd &operator=(const SignOutAtEnd &) = delete;

private:
    const host::ClientConfig &m_config;
    QString m_token;
};
// The logged-in context comes from the session: token, operator, branch; a school's operator
// is held to its branch.
void adoptSession(host::ClientConfig &config, const SignedIn &session);

// Credentials without a person: a file of "operador=CODE" and "senha=PASSWORD" lines that only
// its owner may read (refused otherwise, as ssh refuses keys), else the environment variables
// ZUB_OPERADOR and ZUB_SENHA. Nothing when neither is given; raises host::HostError on a file
// that is unreadable, too open or incomplete.
std::optional<Credentials> unattendedCredentials(const QString &file);

} // namespace client
