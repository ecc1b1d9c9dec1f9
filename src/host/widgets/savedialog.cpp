#include "host/widgets/savedialog.h"

#include "host/services/userinteraction.h"

#include <QDir>
#include <QFileInfo>

namespace host {

TSaveDialog::TSaveDialog(DialogContext context, QObject *parent) : QObject(parent), m_context(std::move(context))
{
}

bool TSaveDialog::Execute()
{
    const QString suggested = QFileInfo(FileName).isAbsolute() || InitialDir.isEmpty()
                                  ? FileName
                                  : QDir(InitialDir).filePath(FileName);
    const std::optional<QString> chosen = m_context.interaction().chooseSaveFile(Title, suggested, Filter);
    if (!chosen || chosen->trimmed().isEmpty())
        return false;
    FileName = *chosen;
    if (!DefaultExt.isEmpty() && QFileInfo(FileName).suffix().isEmpty())
        FileName += QLatin1Char('.') + DefaultExt;
    return true;
}

} // namespace host
