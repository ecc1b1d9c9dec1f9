#include "report/partialfile.h"

#include "host/data/errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace host {

PartialFile::PartialFile(const QString &target) : m_target(target)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.parcial").arg(info.fileName())));
    if (!file.open())
        throw HostError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(target), file.errorString()));
    file.setAutoRemove(false);
    m_path = file.fileName();
}

PartialFile::~PartialFile()
{
    if (!m_committed)
        QFile::remove(m_path);
}

void PartialFile::commit()
{
    // rename(2) replaces the target atomically; QFile::rename refuses an existing one.
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw HostError(QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                            .arg(QDir::toNativeSeparators(m_target), QString::fromLocal8Bit(std::strerror(errno))));
    m_committed = true;
}

} // namespace host
