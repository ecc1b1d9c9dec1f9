#include "Cli_zub01100.h"

#include "host/services/formcreation.h"

// The one screen instance and whether it exists; exported for the host.
TfrmCustoPlanXReal *frmCustoPlanXReal = nullptr;
bool boIdCriado = false;

void IniProc()
{
    CriaCustoPlanXReal();
}

void CriaCustoPlanXReal()
{
    host::SetScreenCursor(host::crHourGlass);
    // The cursor comes back also when creation fails and the failure goes on to the host.
    struct DefaultCursorOnExit {
        ~DefaultCursorOnExit() { host::SetScreenCursor(host::crDefault); }
    } restoreCursor;
    if (!boIdCriado) {
        host::CreateForm(frmCustoPlanXReal);
        // A start-up that closed the screen has already emptied the reference.
        boIdCriado = frmCustoPlanXReal != nullptr;
    }
    if (frmCustoPlanXReal) {
        frmCustoPlanXReal->SetWindowState(host::wsNormal);
        frmCustoPlanXReal->Show();
    }
}

void TfrmCustoPlanXReal::FormClose(QObject *sender, host::TCloseAction &action)
{
    boIdCriado = false;
    netCustoPlanXReal->Close();
    frmCustoPlanXReal = nullptr;
    host::TfrmDadosGerRel::FormClose(sender, action);
}
