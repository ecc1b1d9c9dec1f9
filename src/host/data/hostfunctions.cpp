#include "host/data/hostfunctions.h"

namespace host {

bool EmptyString(const QString &text)
{
    return text.trimmed().isEmpty();
}

QString Ajusta(const QString &text, int width)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return {};
    if (trimmed.size() >= width)
        return trimmed;
    return QString(width - trimmed.size(), QLatin1Char('0')) + trimmed;
}

QString NomeSemana(const QDate &date)
{
    static const char *const names[] = {"Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado", "Domingo"};
    if (!date.isValid())
        return {};
    return QString::fromUtf8(names[date.dayOfWeek() - 1]);
}

} // namespace host
