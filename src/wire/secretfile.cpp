#include "wire/secretfile.h"

#include <QFile>
#include <sys/stat.h>

namespace wire {

std::optional<QByteArray> readOwnerOnlyFile(const QString &path, const QString &label, qint64 maxBytes, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Não foi possível ler o %1 %2: %3.").arg(label, path, file.errorString());
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.handle(), &status) != 0 || (status.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        *error = QStringLiteral("O %1 %2 está acessível a outros usuários (permissões %3); restrinja-o ao dono com: chmod 600 %2")
                     .arg(label, path, QString::number(status.st_mode & 0777, 8));
        return std::nullopt;
    }
    return file.read(maxBytes);
}

} // namespace wire
