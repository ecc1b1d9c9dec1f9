#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace host {

// Arithmetic over a row's numeric fields for computed report columns: names, numbers,
// + - * / and parentheses, e.g. "VRREAL / QTREFESERV - VRPLAN / QTREFEPLAN". A missing value
// or a division by zero gives no value, shown as an empty cell rather than a wrong number.
class ReportExpression
{
public:
    using Lookup = std::function<std::optional<double>(const QString &field)>;

    // Raises HostError naming the expression when it is malformed.
    explicit ReportExpression(const QString &text);

    std::optional<double> evaluate(const Lookup &value) const;
    QStringList fields() const;
    QString text() const { return m_text; }

private:
    struct Token {
        enum Kind { Name, Number, Operator } kind;
        QString text;
        double number = 0;
    };
    struct Cursor;
    // The token at the cursor is one of the one-character operators given.
    bool operatorAt(const Cursor &at, const char *operators) const;
    std::optional<double> sum(Cursor &at) const;
    std::optional<double> product(Cursor &at) const;
    std::optional<double> factor(Cursor &at) const;

    QString m_text;
    QList<Token> m_tokens;
};

} // namespace host
