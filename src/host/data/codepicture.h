#pragma once

#include <QList>
#include <QString>

namespace host {

// The structure of a hierarchical code, from its picture: "99.99.999" is a code of three
// levels of 2, 2 and 3 characters. Codes are stored without the separators.
class TPictObj
{
public:
    explicit TPictObj(const QString &picture = QString());

    QString picture() const { return m_picture; }
    int GetTtNiveis() const { return int(m_widths.size()); }
    // The width of the code up to the level given as decimal text ("0" is 0; past the last
    // level, the whole width). Raises on a text that is not a level number.
    int TamAcNivel(const QString &level) const;
    QList<int> levelWidths() const { return m_widths; }
    // The code with the picture's separators, e.g. "0101001" as "01.01.001".
    QString format(const QString &code) const;

private:
    QString m_picture;
    QList<int> m_widths;
};

} // namespace host
