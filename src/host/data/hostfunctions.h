#pragma once

#include <QDate>
#include <QString>
#include <QVariant>

namespace host {

// True for an empty string or one of blanks only.
bool EmptyString(const QString &text);

// A code padded on the left with "0" to the width, after trimming. Blank stays empty, and a
// text longer than the width comes back whole: a cut code could name another record.
QString Ajusta(const QString &text, int width);

// "Domingo", "Segunda", ..., "Sábado"; empty for an invalid date.
QString NomeSemana(const QDate &date);

} // namespace host
