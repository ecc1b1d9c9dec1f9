#pragma once

#include "host/services/dialogcontext.h"

#include <QObject>
#include <QString>

namespace host {

// The save-file question of a form: title, filter and default extension; Execute() asks the
// user through the host's user interaction and keeps the chosen name in FileName.
class TSaveDialog : public QObject
{
    Q_OBJECT
public:
    explicit TSaveDialog(DialogContext context, QObject *parent = nullptr);

    QString Title = QStringLiteral("Salvar como");
    QString Filter;     // "PDF (*.pdf)"
    QString DefaultExt; // "pdf": added when the chosen name has no extension
    QString InitialDir;
    QString FileName;

    bool Execute();

private:
    DialogContext m_context;
};

} // namespace host
