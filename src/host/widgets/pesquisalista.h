#pragma once

#include <QString>

namespace host {

class TDataSource;
class UserInteraction;

// The multi-select list over a data source. `titles` is the dialog title and the text shown
// for an empty list, joined by "|". The rows whose key (field `keyField`, trimmed) is in
// `keyList` start marked; with `flag` true the rows whose IDMARCADO is "S" start marked as well.
// On confirm answers true and sets `keyList` to the marked keys in row order ("_K1_K2_", or ""
// when nothing is marked). On cancel, and for an empty list (its text is shown), answers false
// and leaves `keyList` as it was. The IDMARCADO column is never shown as data.
bool PesquisaLista(UserInteraction &ui, TDataSource *source, const QString &keyField, const QString &titles, bool flag,
                   QString &keyList);
// The same, asking through the installed host services: for callers without a context of their own.
bool PesquisaLista(TDataSource *source, const QString &keyField, const QString &titles, bool flag, QString &keyList);

} // namespace host
