#include "report/reportexpression.h"

#include "host/data/errors.h"

#include <cmath>

namespace host {

struct ReportExpression::Cursor {
    const Lookup &value;
    qsizetype position = 0;
    bool failed = false;
};

ReportExpression::ReportExpression(const QString &text) : m_text(text)
{
    auto fail = [&text](const QString &why) {
        return HostError(QStringLiteral("Expressão de coluna inválida \"%1\": %2").arg(text, why));
    };
    for (qsizetype i = 0; i < text.size();) {
        const QChar c = text[i];
        if (c.isSpace()) {
            ++i;
        } else if (c.isLetter() || c == QLatin1Char('_')) {
            qsizetype end = i;
            while (end < text.size() && (text[end].isLetterOrNumber() || text[end] == QLatin1Char('_')))
                ++end;
            m_tokens.append({Token::Name, text.mid(i, end - i)});
            i = end;
        } else if (c.isDigit() || c == QLatin1Char('.')) {
            qsizetype end = i;
            while (end < text.size() && (text[end].isDigit() || text[end] == QLatin1Char('.')))
                ++end;
            bool ok = false;
            const double number = text.mid(i, end - i).toDouble(&ok);
            if (!ok)
                throw fail(QStringLiteral("número mal escrito na posição %1.").arg(i + 1));
            m_tokens.append({Token::Number, text.mid(i, end - i), number});
            i = end;
        } else if (QStringLiteral("+-*/()").contains(c)) {
            m_tokens.append({Token::Operator, QString(c)});
            ++i;
        } else {
            throw fail(QStringLiteral("caractere \"%1\" não permitido.").arg(c));
        }
    }
    // A dry run over constant values finds unbalanced parentheses and dangling operators.
    const Lookup one = [](const QString &) { return std::optional<double>(1.0); };
    Cursor at{one};
    sum(at);
    if (m_tokens.isEmpty() || at.failed || at.position != m_tokens.size())
        throw fail(QStringLiteral("operadores ou parênteses fora de lugar."));
}

std::optional<double> ReportExpression::evaluate(const Lookup &value) const
{
    Cursor at{value};
    return sum(at);
}

QStringList ReportExpression::fields() const
{
    QStringList names;
    for (const Token &token : m_tokens) {
        if (token.kind == Token::Name && !names.contains(token.text))
            names.append(token.text);
    }
    return names;
}

static std::optional<double> apply(QChar op, std::optional<double> left, std::optional<double> right)
{
    if (!left || !right)
        return std::nullopt;
    switch (op.toLatin1()) {
    case '+': return *left + *right;
    case '-': return *left - *right;
    case '*': return *left * *right;
    default:
        if (std::abs(*right) < 1e-12)
            return std::nullopt;
        return *left / *right;
    }
}

bool ReportExpression::operatorAt(const Cursor &at, const char *operators) const
{
    if (at.position >= m_tokens.size() || m_tokens[at.position].kind != Token::Operator)
        return false;
    const QString &text = m_tokens[at.position].text;
    return text.size() == 1 && QLatin1String(operators).contains(text[0]);
}

std::optional<double> ReportExpression::sum(Cursor &at) const
{
    std::optional<double> result = product(at);
    while (operatorAt(at, "+-")) {
        const QChar op = m_tokens[at.position++].text[0];
        result = apply(op, result, product(at));
    }
    return result;
}

std::optional<double> ReportExpression::product(Cursor &at) const
{
    std::optional<double> result = factor(at);
    while (operatorAt(at, "*/")) {
        const QChar op = m_tokens[at.position++].text[0];
        result = apply(op, result, factor(at));
    }
    return result;
}

std::optional<double> ReportExpression::factor(Cursor &at) const
{
    if (at.position >= m_tokens.size()) {
        at.failed = true;
        return std::nullopt;
    }
    const Token &token = m_tokens[at.position++];
    switch (token.kind) {
    case Token::Number:
        return token.number;
    case Token::Name:
        return at.value(token.text);
    case Token::Operator:
        if (token.text == QLatin1String("-")) {
            const std::optional<double> negated = factor(at);
            return negated ? std::optional<double>(-*negated) : std::nullopt;
        }
        if (token.text == QLatin1String("(")) {
            const std::optional<double> inner = sum(at);
            if (at.position >= m_tokens.size() || m_tokens[at.position].text != QLatin1String(")"))
                at.failed = true;
            else
                ++at.position;
            return inner;
        }
        break;
    }
    at.failed = true;
    return std::nullopt;
}

} // namespace host
