#include "host/data/codepicture.h"

#include "host/data/errors.h"

namespace host {

TPictObj::TPictObj(const QString &picture) : m_picture(picture.trimmed())
{
    int width = 0;
    for (const QChar c : m_picture) {
        if (c.isLetterOrNumber()) {
            ++width;
        } else if (width > 0) {
            m_widths.append(width);
            width = 0;
        }
    }
    if (width > 0)
        m_widths.append(width);
}

int TPictObj::TamAcNivel(const QString &level) const
{
    bool ok = false;
    const int levels = level.trimmed().toInt(&ok);
    if (!ok || levels < 0)
        throw HostError(QStringLiteral("Nível de código inválido: \"%1\".").arg(level));
    int width = 0;
    for (int i = 0; i < levels && i < m_widths.size(); ++i)
        width += m_widths[i];
    return width;
}

QString TPictObj::format(const QString &code) const
{
    QString text;
    qsizetype pos = 0;
    for (int i = 0; i < m_widths.size() && pos < code.size(); ++i) {
        if (i > 0)
            text += QLatin1Char('.');
        text += code.mid(pos, m_widths[i]);
        pos += m_widths[i];
    }
    if (pos < code.size())
        text += code.mid(pos);
    return text;
}

} // namespace host
