#include "wire/secretfile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wire {

std::optional<QByteArray> readOwnerOnlyFile(const QString &path, const QString &label, qint64 maxBytes, QString *error, bool groupMayRead)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Não foi possível ler o %1 %2: %3.").arg(label, path, file.errorString());
        return std::nullopt;
    }
    struct stat status {};
    const mode_t forbidden = groupMayRead ? (S_IWGRP | S_IXGRP | S_IRWXO) : (S_IRWXG | S_IRWXO);
    if (::fstat(file.handle(), &status) != 0 || (status.st_mode & forbidden) != 0) {
        *error = QStringLiteral("O %1 %2 está acessível a outros usuários (permissões %3); restrinja-o ao dono com: chmod %4 %2")
                     .arg(label, path, QString::number(status.st_mode & 0777, 8), groupMayRead ? QStringLiteral("640") : QStringLiteral("600"));
        return std::nullopt;
    }
    return file.read(maxBytes);
}

bool createOwnerOnlyFile(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0) {
        *error = QStringLiteral("Não foi possível criar %1: %2.").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    // The mode given to open() is narrowed by the umask, never widened: 0600 stands.
    ::close(fd);
    return true;
}

} // namespace wire
