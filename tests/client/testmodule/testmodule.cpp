// Entry points of the test module, as the client calls them.
#include "testform.h"

#include "host/services/formcreation.h"

#include <QFile>

static int g_calls = 0;

extern "C" Q_DECL_EXPORT void IniProc()
{
    ++g_calls;
    const QByteArray marker = qgetenv("ZUB_TESTMODULE_MARKER");
    if (!marker.isEmpty()) {
        QFile file(QString::fromLocal8Bit(marker));
        if (file.open(QIODevice::Append))
            file.write("IniProc\n");
    }
    host::SetScreenCursor(host::crHourGlass);
    if (!frmTeste)
        host::CreateForm(frmTeste);
    if (frmTeste) {
        frmTeste->SetWindowState(host::wsNormal);
        frmTeste->Show();
    }
    host::SetScreenCursor(host::crDefault);
}

extern "C" Q_DECL_EXPORT int TestModuleCalls()
{
    return g_calls;
}

extern "C" Q_DECL_EXPORT QWidget *TestModuleForm()
{
    return frmTeste;
}
