// Menu types of the central ("Todos"/"Lista").
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"

using namespace host;

void TfrmCustoPlanXReal::rbtListaTipoCardClick(QObject *)
{
    m_tipoCardList->syncSearchButton();
}

void TfrmCustoPlanXReal::rbtTodosTipoCardClick(QObject *)
{
    m_tipoCardList->syncSearchButton();
    sListaTipoCard.clear();
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
    m_tipoCardList->search(QStringLiteral("CDTIPOCARD"), sListaTipoCard);
}

void TfrmCustoPlanXReal::qryTipoCardBeforeOpen(TDataSet *)
{
    qryTipoCard->ParamByName(QStringLiteral("P_CDFILCENTZUB")).setAsString(medCentral->text());
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
    refuseFailedCheck(checkMenuTypes(filterValue()));
}
