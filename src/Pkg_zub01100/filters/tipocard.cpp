// Menu types of the central ("Todos"/"Lista").
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"

using namespace host;

void TfrmCustoPlanXReal::rbtListaTipoCardClick(QObject *)
{
    apply(chooseList(m_value, zub01100::Selection::MenuTypes));
}

void TfrmCustoPlanXReal::rbtTodosTipoCardClick(QObject *)
{
    apply(chooseAll(m_value, zub01100::Selection::MenuTypes));
}

void TfrmCustoPlanXReal::rbtListaTipoCardKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtTipoCardClick(sender);
}

void TfrmCustoPlanXReal::sbtTipoCardClick(QObject *)
{
    qryTipoCard->Close();
    qryTipoCard->Open();
    searchMarks(zub01100::Selection::MenuTypes, QStringLiteral("CDTIPOCARD"));
}

void TfrmCustoPlanXReal::qryTipoCardBeforeOpen(TDataSet *)
{
    qryTipoCard->ParamByName(QStringLiteral("P_CDFILCENTZUB")).setAsString(m_value.central);
}

QString TfrmCustoPlanXReal::montaListaTipoCard()
{
    qryTipoCard->Close();
    qryTipoCard->Open();
    QStringList active;
    for (qryTipoCard->First(); !qryTipoCard->Eof(); qryTipoCard->Next())
        active << qryTipoCard->FieldByName(QStringLiteral("CDTIPOCARD"))->AsString();
    return zub01100::menuTypeKeys(active);
}

void TfrmCustoPlanXReal::Vd_TipoCard()
{
    refuseFailedCheck(checkMenuTypes(m_value));
}
