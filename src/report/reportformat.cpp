#include "report/reportformat.h"

#include <QDateTime>
#include <cmath>
#include <QLocale>
#include <QRegularExpression>

namespace host {

static const QLocale &brazil(bool grouping = true)
{
    // Both kept: setting a copy's options allocates, once per cell of a long report.
    static const QLocale grouped(QLocale::Portuguese, QLocale::Brazil);
    static const QLocale plain = [] {
        QLocale locale(QLocale::Portuguese, QLocale::Brazil);
        locale.setNumberOptions(QLocale::OmitGroupSeparator);
        return locale;
    }();
    return grouping ? grouped : plain;
}

QString ReportFormat::number(double value, int decimals, bool grouping)
{
    // "-0,00" would read as a loss where there is none.
    const double scale = std::pow(10.0, decimals);
    if (std::round(value * scale) == 0)
        value = 0;
    return brazil(grouping).toString(value, 'f', decimals);
}

QDate ReportFormat::day(const QVariant &value)
{
    if (value.typeId() == QMetaType::QDate || value.typeId() == QMetaType::QDateTime)
        return value.toDate();
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

QString ReportFormat::date(const QVariant &value)
{
    const QDate day = ReportFormat::day(value);
    return day.isValid() ? day.toString(QStringLiteral("dd/MM/yyyy")) : value.toString();
}

QString ReportFormat::value(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return number(double(value.toLongLong()), 0);
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        return ReportFormat::number(number, number == std::floor(number) ? 0 : 2);
    }
    case QMetaType::QDate:
    case QMetaType::QDateTime:
        return date(value);
    default:
        break;
    }
    static const QRegularExpression isoDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QString text = value.toString();
    return isoDate.match(text).hasMatch() ? date(text) : text;
}

QString ReportFormat::param(const TParam &param)
{
    if (param.IsNull())
        return QStringLiteral("(sem valor)");
    if (param.DataType == ParamType::DateTime) {
        const QDateTime when = param.AsDateTime();
        return when.time() == QTime(0, 0) ? when.toString(QStringLiteral("dd/MM/yyyy"))
                                          : when.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
    return param.AsString();
}

QVariant ReportFormat::bindValue(const TParam &param)
{
    if (param.IsNull())
        return QVariant(param.DataType == ParamType::Integer ? QMetaType(QMetaType::LongLong) : QMetaType(QMetaType::QString));
    if (param.DataType == ParamType::DateTime) {
        const QDateTime when = param.AsDateTime();
        if (when.time() == QTime(0, 0))
            return when.date();
    }
    // An empty text is bound as '' (Qt SQL would bind a null QString as NULL, and "= ''" in a
    // layout's query would then never hold).
    if (param.DataType == ParamType::String && param.Value.toString().isEmpty())
        return QStringLiteral("");
    return param.Value;
}

QString ReportFormat::fill(const QString &text, const std::function<QString(const QString &)> &lookup)
{
    static const QRegularExpression optional(QStringLiteral("\\[([^\\]]*)\\]"));
    static const QRegularExpression field(QStringLiteral("\\{([A-Za-z0-9_]+)\\}"));
    auto substitute = [&](const QString &part, bool *anyEmpty) {
        QString result;
        qsizetype last = 0;
        for (auto it = field.globalMatch(part); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const QString value = lookup(match.captured(1));
            if (value.trimmed().isEmpty() && anyEmpty)
                *anyEmpty = true;
            result += part.mid(last, match.capturedStart() - last) + value;
            last = match.capturedEnd();
        }
        return result + part.mid(last);
    };
    QString result;
    qsizetype last = 0;
    for (auto it = optional.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += substitute(text.mid(last, match.capturedStart() - last), nullptr);
        bool anyEmpty = false;
        const QString part = substitute(match.captured(1), &anyEmpty);
        if (!anyEmpty)
            result += part;
        last = match.capturedEnd();
    }
    return result + substitute(text.mid(last), nullptr);
}

} // namespace host
