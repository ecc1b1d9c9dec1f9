#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace host {

// Key lists as the selection dialogs hand them over: "_K1_K2_" (every key followed by "_",
// with a leading "_"), and the empty string when nothing is marked.
QString JoinKeyList(const QStringList &keys);
// The keys of a list with or without the leading "_" ("_K1_K2_" or "K1_K2_"); "" gives none.
QStringList SplitKeyList(const QString &keyList);
// The marked keys, in row order.
QString MarkedKeyList(const QStringList &keys, const QList<bool> &marks);

} // namespace host
