#include "host/widgets/maskvalidator.h"

#include "host/data/errors.h"

namespace host {

MaskValidator::MaskValidator(const QString &mask, QObject *parent) : QValidator(parent)
{
    Case letterCase = Case::Keep;
    for (const QChar c : mask.section(QLatin1Char(';'), 0, 0)) {
        if (c == QLatin1Char('>'))
            letterCase = Case::Upper;
        else if (c == QLatin1Char('<'))
            letterCase = Case::Lower;
        else if (QStringLiteral("aAlL90").contains(c))
            m_slots.append({c, letterCase});
        else
            throw HostError(QStringLiteral("Máscara de edição não suportada: \"%1\".").arg(mask));
    }
}

bool MaskValidator::accepts(QChar kind, QChar c)
{
    const bool letter = (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
    const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
    switch (kind.toLatin1()) {
    case 'a':
    case 'A':
        return letter || digit;
    case 'l':
    case 'L':
        return letter;
    default:
        return digit;
    }
}

QValidator::State MaskValidator::validate(QString &input, int &) const
{
    if (input.size() > m_slots.size())
        return Invalid;
    for (int i = 0; i < input.size(); ++i) {
        const Slot &slot = m_slots[i];
        if (!accepts(slot.kind, input[i]))
            return Invalid;
        if (slot.letterCase == Case::Upper)
            input[i] = input[i].toUpper();
        else if (slot.letterCase == Case::Lower)
            input[i] = input[i].toLower();
    }
    for (int i = int(input.size()); i < m_slots.size(); ++i) {
        if (m_slots[i].kind.isUpper() || m_slots[i].kind == QLatin1Char('0'))
            return Intermediate;
    }
    return Acceptable;
}

} // namespace host
