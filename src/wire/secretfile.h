#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace wire {

// Reads up to `maxBytes` of a file that holds a secret (the server's token, an operator's
// password). Like ssh with its keys, a file other users may reach is refused. `label` names the
// file in the messages ("arquivo da credencial"); on refusal answers nothing and puts a
// Portuguese reason in *error.
std::optional<QByteArray> readOwnerOnlyFile(const QString &path, const QString &label, qint64 maxBytes, QString *error);

} // namespace wire
