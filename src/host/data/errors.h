#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace host {

// A failure with a message for the user; the dispatcher shows it as an error.
class HostError : public std::exception
{
public:
    explicit HostError(const QString &text) : m_text(text), m_utf8(text.toUtf8()) {}
    const QString &text() const { return m_text; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
};

// A failure raised by the application server or in talking to it. Screens pass it on unchanged.
class ServerError : public HostError
{
public:
    using HostError::HostError;
};

// Ends the running command quietly: its message has already been shown (MensErro with abort).
class AbortError : public std::exception
{
public:
    const char *what() const noexcept override { return "operação interrompida"; }
};

} // namespace host
