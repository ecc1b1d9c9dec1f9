#include "host/services/programfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace host {

namespace {

QString besideProgram(const QString &relative)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') + relative);
}

} // namespace

QString ModulesFolder()
{
    const QString installed = besideProgram(QStringLiteral("../lib/zub"));
    return QFileInfo(installed).isDir() ? installed : QCoreApplication::applicationDirPath();
}

QString LayoutsFolder()
{
    const QString beside = besideProgram(QStringLiteral("reports"));
    return QFileInfo(beside).isDir() ? beside : besideProgram(QStringLiteral("../share/zub/reports"));
}

QString HelpFolder()
{
    return besideProgram(QStringLiteral("../share/zub/help"));
}

} // namespace host
