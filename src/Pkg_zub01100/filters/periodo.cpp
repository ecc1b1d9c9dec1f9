// Period, product types and cost type.
#include "Cli_zub01100.h"

#include "host/data/hostfunctions.h"
#include "host/services/messages.h"
#include "host/widgets/dateeditplus.h"

#include <QLineEdit>

using namespace host;

// The weekday's name cut to three characters (not bytes: "Sáb" keeps its accent).
static QString weekdayAbbreviation(const QDate &date)
{
    return NomeSemana(date).left(3);
}

void PeriodFilters::depDataInicDateChange(QObject *)
{
    m_widgets.edtDataInic->setText(weekdayAbbreviation(m_widgets.depDataInic->GetDate()));
}

void PeriodFilters::depDataFinaDateChange(QObject *)
{
    m_widgets.edtDataFina->setText(weekdayAbbreviation(m_widgets.depDataFina->GetDate()));
}

void PeriodFilters::depDataInicExit(QObject *sender)
{
    if (auto *dateEdit = qobject_cast<TDateEditPlus *>(sender))
        dateEdit->CheckValidDate();
}

void PeriodFilters::Vd_Data(bool required)
{
    m_widgets.depDataInic->CheckValidDate();
    m_widgets.depDataFina->CheckValidDate();
    m_form.refuseFailedCheck(zub01100::checkPeriod(m_form.m_value, required));
}

void PeriodFilters::Vd_TipoProd(bool required)
{
    m_form.refuseFailedCheck(zub01100::checkProductTypes(m_form.m_value, required));
}

void PeriodFilters::Vd_TipoCusto()
{
    m_form.refuseFailedCheck(zub01100::checkCostType(m_form.m_value));
}
