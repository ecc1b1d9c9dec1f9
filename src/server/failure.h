#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

namespace server {

// What the server's own errors share: a Portuguese message, readable through std::exception by
// the handlers of last resort at the thread and C-callback boundaries.
class ServerFailure : public std::exception
{
public:
    explicit ServerFailure(QString text) : message(std::move(text)), m_what(message.toUtf8()) {}
    const char *what() const noexcept override { return m_what.constData(); }

    QString message;

private:
    QByteArray m_what;
};

} // namespace server
