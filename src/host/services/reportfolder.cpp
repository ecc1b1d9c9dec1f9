#include "host/services/reportfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace host {

namespace {
QString g_lastFolder;
}

QString reportFolder()
{
    for (const QString &folder : {g_lastFolder, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::homePath();
}

void rememberSavedReport(const QString &path)
{
    g_lastFolder = QFileInfo(path).absolutePath();
}

} // namespace host
