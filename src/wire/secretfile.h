#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace wire {

// Reads up to `maxBytes` of a file that holds a secret (the server's token, an operator's
// password). Like ssh with its keys, a file other users may reach is refused. `label` names the
// file in the messages ("arquivo da credencial"); on refusal answers nothing and puts a
// Portuguese reason in *error.
// With `groupMayRead` the file's group may read it too (a service's key, read by its group), but
// not write it.
std::optional<QByteArray> readOwnerOnlyFile(const QString &path, const QString &label, qint64 maxBytes, QString *error,
                                            bool groupMayRead = false);

// Creates `path` empty, readable and writable by its owner only, whatever the umask; never through
// a link planted at the name. False with the reason in *error when it cannot (also when it exists).
bool createOwnerOnlyFile(const QString &path, QString *error);

} // namespace wire
