#include "report/partialfile.h"

#include "host/data/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace host {

namespace {

// The process's umask, read without changing it (umask(2) only sets it, and setting it back
// races with other threads creating files); Linux tells it in /proc since 4.7.
mode_t currentUmask()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Umask:", 0) == 0)
            return mode_t(std::stoul(line.substr(6), nullptr, 8));
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

HostError cannotWrite(const QString &target, const QString &reason)
{
    return HostError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2").arg(QDir::toNativeSeparators(target), reason));
}

// Partial files of `target` whose runs are gone: no lock held on them.
void removeAbandoned(const QFileInfo &target)
{
    const QDir folder = target.absoluteDir();
    const QStringList names = folder.entryList({QStringLiteral(".%1.??????.parcial").arg(target.fileName())}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.constData());
        ::close(fd);
    }
}

} // namespace

PartialFile::PartialFile(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    removeAbandoned(info);
    QTemporaryFile file(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.parcial").arg(info.fileName())));
    if (!file.open())
        throw cannotWrite(target, file.errorString());
    file.setAutoRemove(false);
    m_path = file.fileName();
    // The temporary name is created owner-only; the report itself is a document like any other
    // the user saves, readable by whoever the umask lets read it (a shared folder's colleagues).
    if (::fchmod(file.handle(), 0666 & ~currentUmask()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(m_path);
        throw cannotWrite(target, reason);
    }
    // Held while this run lives: the lock goes with the process, however it ends.
    m_lock = ::dup(file.handle());
    if (m_lock >= 0)
        ::flock(m_lock, LOCK_EX | LOCK_NB);
}

PartialFile::~PartialFile()
{
    if (!m_committed)
        QFile::remove(m_path);
    if (m_lock >= 0)
        ::close(m_lock);
}

void PartialFile::commit()
{
    // rename(2) replaces the target atomically; QFile::rename refuses an existing one.
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw cannotWrite(m_target, QString::fromLocal8Bit(std::strerror(errno)));
    m_committed = true;
}

} // namespace host
