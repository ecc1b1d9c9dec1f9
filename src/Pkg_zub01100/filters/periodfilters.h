#pragma once

#include "zub01100export.h"

class QObject;
class TfrmCustoPlanXReal;

// The period, the product types and the cost type of the screen, with their checks.
class ZUB01100_EXPORT PeriodFilters
{
public:
    explicit PeriodFilters(TfrmCustoPlanXReal &form) : m_form(form) {}

    void depDataInicDateChange(QObject *sender);
    void depDataFinaDateChange(QObject *sender);
    void depDataInicExit(QObject *sender);
    void Vd_Data(bool required);
    void Vd_TipoProd(bool required);
    void Vd_TipoCusto();

private:
    TfrmCustoPlanXReal &m_form;
};
