// Period, product types and cost type.
#include "Cli_zub01100.h"
#include "ui_custoplanxreal.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"
#include "host/widgets/dateeditplus.h"

using namespace host;

// The weekday's name cut to three characters (not bytes: "Sáb" keeps its accent).
static QString weekdayAbbreviation(const QDate &date)
{
    return NomeSemana(date).left(3);
}

void TfrmCustoPlanXReal::depDataInicDateChange(QObject *)
{
    m_ui->edtDataInic->setText(weekdayAbbreviation(m_ui->depDataInic->GetDate()));
}

void TfrmCustoPlanXReal::depDataFinaDateChange(QObject *)
{
    m_ui->edtDataFina->setText(weekdayAbbreviation(m_ui->depDataFina->GetDate()));
}

void TfrmCustoPlanXReal::depDataInicExit(QObject *sender)
{
    if (auto *dateEdit = qobject_cast<TDateEditPlus *>(sender))
        dateEdit->CheckValidDate();
}

void TfrmCustoPlanXReal::Vd_Data(bool required)
{
    m_ui->depDataInic->CheckValidDate();
    m_ui->depDataFina->CheckValidDate();
    refuseFailedCheck(zub01100::checkPeriod(m_value, required));
}

void TfrmCustoPlanXReal::Vd_TipoProd(bool required)
{
    refuseFailedCheck(zub01100::checkProductTypes(m_value, required));
}

void TfrmCustoPlanXReal::Vd_TipoCusto()
{
    refuseFailedCheck(zub01100::checkCostType(m_value));
}
