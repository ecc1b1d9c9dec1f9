#pragma once

#include "host/form/dadosgerrel.h"

class QRadioButton;
class QToolButton;

namespace host {
class TBtnPesquisa;
class TClientDataSet;
class TDataSource;
class TDateEditPlus;
class TMaskEdit;
} // namespace host

// A small report screen on the host framework, loaded as a module by the client's tests.
class TfrmTeste : public host::TfrmDadosGerRel
{
    Q_OBJECT
public:
    explicit TfrmTeste(QWidget *parent = nullptr);

    void FormCreate(QObject *sender) override;
    void FormClose(QObject *sender, host::TCloseAction &action) override;

    host::TMaskEdit *medCdFilial;
    host::TBtnPesquisa *btnFilial;
    host::TDateEditPlus *depDataInic;
    QRadioButton *rbtTodos;
    QRadioButton *rbtLista;
    QToolButton *sbtLista;
    host::TClientDataSet *cdsFilial;
    host::TDataSource *dtsFilial;
    QString sListaFilial;
};

extern TfrmTeste *frmTeste;
