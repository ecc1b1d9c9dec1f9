// Menu types of the central ("Todos"/"Lista").
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"

using namespace host;

void ServiceFilters::rbtListaTipoCardClick(QObject *)
{
    m_form.apply(chooseList(m_form.m_value, zub01100::Selection::MenuTypes));
}

void ServiceFilters::rbtTodosTipoCardClick(QObject *)
{
    m_form.apply(chooseAll(m_form.m_value, zub01100::Selection::MenuTypes));
}

void ServiceFilters::rbtListaTipoCardKeyDown(QObject *sender, int &key, Qt::KeyboardModifiers)
{
    if (SelectionList::isSearchKey(key))
        sbtTipoCardClick(sender);
}

void ServiceFilters::sbtTipoCardClick(QObject *)
{
    m_form.qryTipoCard->Close();
    m_form.qryTipoCard->Open();
    m_form.searchMarks(zub01100::Selection::MenuTypes, QStringLiteral("CDTIPOCARD"));
}

void ServiceFilters::qryTipoCardBeforeOpen(TDataSet *)
{
    m_form.qryTipoCard->ParamByName(QStringLiteral("P_CDFILCENTZUB")).setAsString(m_form.m_value.central);
}

QString ServiceFilters::montaListaTipoCard()
{
    m_form.qryTipoCard->Close();
    m_form.qryTipoCard->Open();
    QStringList active;
    for (m_form.qryTipoCard->First(); !m_form.qryTipoCard->Eof(); m_form.qryTipoCard->Next())
        active << m_form.qryTipoCard->FieldByName(QStringLiteral("CDTIPOCARD"))->AsString();
    return zub01100::menuTypeKeys(active);
}

void ServiceFilters::Vd_TipoCard()
{
    m_form.refuseFailedCheck(checkMenuTypes(m_form.m_value));
}
