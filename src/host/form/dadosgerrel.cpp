#include "host/form/dadosgerrel.h"

#include "host/form/reportdialog.h"
#include "host/services/dispatcher.h"
#include "host/services/reportfolder.h"
#include "host/services/userinteraction.h"
#include "host/widgets/btnpesquisa.h"
#include "host/widgets/combobox.h"
#include "host/widgets/savedialog.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QRegularExpression>
#include <QShortcut>
#include <QToolButton>
#include <utility>

namespace host {

static const QStringList kBaseMessages = {
    QStringLiteral("Arq_Rel_Err|O arquivo contendo a definição do Relatório de código '%s' não foi encontrado no diretório '%s'."),
    QStringLiteral("NovoCaption|Título do Relatório"),
    QStringLiteral("NovoPrompt|Informe o título do relatório:"),
};

// Fills the "%s" placeholders of a message in order.
static QString fillPlaceholders(QString text, const QStringList &values)
{
    for (const QString &value : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"));
        if (at < 0)
            break;
        text.replace(at, 2, value);
    }
    return text;
}

// Without an icon theme the buttons show their text only: the style's stock pixmaps say other things.
static QToolButton *commandButton(QWidget *parent, const QString &text, const QString &iconName, const QString &tip)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setIcon(QIcon::fromTheme(iconName));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setToolTip(tip);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

TfrmDadosGerRel::TfrmDadosGerRel(const QString &screenCode, const QString &reportCode, const QString &caption,
                                 QWidget *parent, DialogContext context)
    : QWidget(parent), msgPadrao(kBaseMessages), m_context(std::move(context))
{
    setWindowTitle(caption);
    setFixedSize(523, 399);
    createCommandBar(screenCode, reportCode);
    createReportArea();
    svdSaveReport = new TSaveDialog(m_context, this);
    rpddPadrao = new TReportDesignerDialog(this, m_context);
    rpddPadrao->ReportCode = reportCode;
    bindCommands();
}

// The buttons and their save menu, and the screen's and the report's codes beside them.
void TfrmDadosGerRel::createCommandBar(const QString &screenCode, const QString &reportCode)
{
    panMenu = new QWidget(this);
    panMenu->setObjectName(QStringLiteral("panMenu"));
    panMenu->setGeometry(0, 0, 523, 27);
    panBotoes = new QWidget(panMenu);
    panBotoes->setObjectName(QStringLiteral("panBotoes"));
    auto *buttons = new QHBoxLayout(panBotoes);
    buttons->setContentsMargins(2, 1, 2, 1);
    buttons->setSpacing(2);
    sbtPrint = commandButton(panBotoes, QStringLiteral("Imprimir"), QStringLiteral("document-print"),
                             QStringLiteral("Imprimir o relatório (Ctrl+P)"));
    sbtPreview = commandButton(panBotoes, QStringLiteral("Visualizar"), QStringLiteral("document-print-preview"),
                               QStringLiteral("Visualizar o relatório na tela (F5)"));
    sbtSalvarComo = commandButton(panBotoes, QStringLiteral("Salvar como"), QStringLiteral("document-save-as"),
                                  QStringLiteral("Salvar o relatório em PDF ou CSV (Ctrl+S)"));
    ppmSalvarRelatorio = new QMenu(this);
    mnuSalvarTexto = ppmSalvarRelatorio->addAction(QStringLiteral("Salvar como texto..."));
    mnuSalvarTexto->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    mnuEditRel = ppmSalvarRelatorio->addAction(QStringLiteral("Editar relatório..."));
    mnuRelatPadr = ppmSalvarRelatorio->addAction(QStringLiteral("Relatório padrão"));
    for (QAction *action : ppmSalvarRelatorio->actions()) {
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        addAction(action);
    }
    sbtSalvarComo->setMenu(ppmSalvarRelatorio);
    sbtSalvarComo->setPopupMode(QToolButton::MenuButtonPopup);
    buttons->addWidget(sbtPrint);
    buttons->addWidget(sbtPreview);
    buttons->addWidget(sbtSalvarComo);
    panBotoes->setGeometry(0, 0, 360, 27);

    lblCodTela = new QLabel(screenCode, panMenu);
    lblCodRel = new QLabel(reportCode, panMenu);
    lblCodTela->setObjectName(QStringLiteral("lblCodTela"));
    lblCodRel->setObjectName(QStringLiteral("lblCodRel"));
    lblCodTela->setToolTip(QStringLiteral("Código da tela"));
    lblCodRel->setToolTip(QStringLiteral("Código do relatório"));
    lblCodTela->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCodRel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblCodTela->setGeometry(365, 0, 80, 27);
    lblCodRel->setGeometry(449, 0, 70, 27);
}

// The report list at the top of the group box that a screen fills with its filters.
void TfrmDadosGerRel::createReportArea()
{
    grbDadosRel = new QGroupBox(this);
    grbDadosRel->setObjectName(QStringLiteral("grbDadosRel"));
    grbDadosRel->setGeometry(0, 27, 523, 372);
    panRelat = new QWidget(grbDadosRel);
    panRelat->setObjectName(QStringLiteral("panRelat"));
    panRelat->setGeometry(2, 15, 519, 24);
    lblRelat = new QLabel(QStringLiteral("Relatório"), panRelat);
    lblRelat->setGeometry(8, 4, 60, 16);
    cbbReportNames = new TComboBox(panRelat);
    cbbReportNames->setObjectName(QStringLiteral("cbbReportNames"));
    cbbReportNames->setGeometry(69, 0, 405, 24);
    lblRelat->setBuddy(cbbReportNames);
    bvlSeparator = new QFrame(grbDadosRel);
    bvlSeparator->setObjectName(QStringLiteral("bvlSeparator"));
    bvlSeparator->setFrameShape(QFrame::HLine);
    bvlSeparator->setFrameShadow(QFrame::Sunken);
    bvlSeparator->setGeometry(2, 71, 519, 2);
}

void TfrmDadosGerRel::bindCommands()
{
    bind(sbtPrint, &TfrmDadosGerRel::sbtPrintClick);
    bind(sbtPreview, &TfrmDadosGerRel::sbtPreviewClick);
    bind(sbtSalvarComo, &TfrmDadosGerRel::sbtSalvarComoClick);
    bind(mnuSalvarTexto, &TfrmDadosGerRel::mnuSalvarTextoClick);
    bind(mnuEditRel, &TfrmDadosGerRel::mnuEditRelClick);
    bind(mnuRelatPadr, &TfrmDadosGerRel::mnuRelatPadrClick);
    const std::pair<QKeySequence, QToolButton *> keys[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_P), sbtPrint},
        {QKeySequence(Qt::Key_F5), sbtPreview},
        {QKeySequence(Qt::CTRL | Qt::Key_S), sbtSalvarComo},
    };
    for (const auto &[sequence, button] : keys) {
        auto *shortcut = new QShortcut(sequence, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, button, &QToolButton::click);
    }
    // Entering the report list may run the first activation (a screen's choice), so it is guarded as one.
    connect(cbbReportNames, &TComboBox::dropDown, this,
            [this] { runActivation([this] { cbbReportNamesDropDown(cbbReportNames); }, false); });
    connect(cbbReportNames, &TComboBox::entered, this,
            [this] { runActivation([this] { cbbReportNamesEnter(cbbReportNames); }, false); });
}

TfrmDadosGerRel::~TfrmDadosGerRel() = default;

void TfrmDadosGerRel::bind(QAbstractButton *button, void (TfrmDadosGerRel::*handler)(QObject *))
{
    connect(button, &QAbstractButton::clicked, this, [this, button, handler] { Dispatch([&] { (this->*handler)(button); }); });
}

void TfrmDadosGerRel::bind(QAction *action, void (TfrmDadosGerRel::*handler)(QObject *))
{
    connect(action, &QAction::triggered, this, [this, action, handler] { Dispatch([&] { (this->*handler)(action); }); });
}

QString TfrmDadosGerRel::ScreenCode() const
{
    return lblCodTela->text();
}

QString TfrmDadosGerRel::ReportCode() const
{
    return lblCodRel->text();
}

void TfrmDadosGerRel::LoadReportNames()
{
    const QString chosen = cbbReportNames->currentText();
    rpddPadrao->ReportCode = ReportCode();
    const QStringList titles = rpddPadrao->ReportTitles();
    cbbReportNames->clear();
    cbbReportNames->addItems(titles);
    const QStringList unreadable = rpddPadrao->UnreadableUserLayouts();
    if (!unreadable.isEmpty())
        MensErro(QStringLiteral("Layouts ignorados:\n") + unreadable.join(QLatin1Char('\n')), false);
    if (titles.isEmpty()) {
        MensErro(fillPlaceholders(msgPadrao.Msg(QStringLiteral("Arq_Rel_Err")),
                                  {ReportCode(), QDir::toNativeSeparators(rpddPadrao->ReportFolder())}),
                 false);
        return;
    }
    cbbReportNames->setCurrentIndex(qMax(0, int(titles.indexOf(chosen))));
}

void TfrmDadosGerRel::requireLayouts()
{
    if (cbbReportNames->count() == 0)
        MensErro(fillPlaceholders(msgPadrao.Msg(QStringLiteral("Arq_Rel_Err")),
                                  {ReportCode(), QDir::toNativeSeparators(rpddPadrao->ReportFolder())}),
                 true);
    rpddPadrao->ReportIndex = cbbReportNames->currentIndex();
}

QString TfrmDadosGerRel::suggestedFileName(const QString &extension) const
{
    QString name = cbbReportNames->currentText().trimmed();
    name.replace(QRegularExpression(QStringLiteral("[\\\\/:*?\"<>|]+")), QStringLiteral("-"));
    if (name.isEmpty())
        name = ReportCode();
    return QDir(reportFolder()).filePath(name + QLatin1Char('.') + extension);
}

void TfrmDadosGerRel::FormCreate(QObject *)
{
    // The screen's lookup buttons exist by now: its constructor laid out its controls.
    for (TBtnPesquisa *button : findChildren<TBtnPesquisa *>())
        button->setContext(m_context);
    LoadReportNames();
}

void TfrmDadosGerRel::FormActivate(QObject *)
{
}

void TfrmDadosGerRel::FormClose(QObject *, TCloseAction &action)
{
    action = caFree;
}

void TfrmDadosGerRel::sbtPrintClick(QObject *)
{
    requireLayouts();
    rpddPadrao->Print();
}

void TfrmDadosGerRel::sbtPreviewClick(QObject *)
{
    requireLayouts();
    rpddPadrao->Preview();
}

bool TfrmDadosGerRel::askSaveFile(const QString &title, const QString &filter, const QString &extension)
{
    requireLayouts();
    svdSaveReport->Title = title;
    svdSaveReport->Filter = filter;
    svdSaveReport->DefaultExt = extension;
    svdSaveReport->FileName = suggestedFileName(extension);
    return svdSaveReport->Execute();
}

void TfrmDadosGerRel::sbtSalvarComoClick(QObject *)
{
    if (!askSaveFile(QStringLiteral("Salvar relatório como"), QStringLiteral("Documento PDF (*.pdf);;Planilha CSV (*.csv);;Planilha Excel (*.xlsx)"), QStringLiteral("pdf")))
        return;
    rpddPadrao->SaveAs(svdSaveReport->FileName);
    tellSaved(svdSaveReport->FileName);
}

void TfrmDadosGerRel::mnuSalvarTextoClick(QObject *)
{
    if (!askSaveFile(QStringLiteral("Salvar relatório como texto"), QStringLiteral("Arquivo de texto (*.txt)"), QStringLiteral("txt")))
        return;
    rpddPadrao->SaveAsText(svdSaveReport->FileName);
    tellSaved(svdSaveReport->FileName);
}

void TfrmDadosGerRel::tellSaved(const QString &path)
{
    rememberSavedReport(path);
    m_context.interaction().showSaved(path);
}

void TfrmDadosGerRel::mnuEditRelClick(QObject *)
{
    requireLayouts();
    rpddPadrao->NewReportCaption = msgPadrao.Msg(QStringLiteral("NovoCaption"));
    rpddPadrao->NewReportPrompt = msgPadrao.Msg(QStringLiteral("NovoPrompt"));
    const int created = rpddPadrao->EditReport();
    if (created < 0)
        return;
    LoadReportNames();
    cbbReportNames->setCurrentIndex(created);
}

void TfrmDadosGerRel::mnuRelatPadrClick(QObject *)
{
    requireLayouts();
    rpddPadrao->StandardReport();
}

void TfrmDadosGerRel::cbbReportNamesDropDown(QObject *)
{
}

void TfrmDadosGerRel::cbbReportNamesEnter(QObject *)
{
}

QMdiSubWindow *TfrmDadosGerRel::subWindow() const
{
    return qobject_cast<QMdiSubWindow *>(parentWidget());
}

QWidget *TfrmDadosGerRel::stateTarget() const
{
    if (QMdiSubWindow *window = subWindow())
        return window;
    return const_cast<TfrmDadosGerRel *>(this);
}

void TfrmDadosGerRel::Close()
{
    if (QMdiSubWindow *window = subWindow())
        window->close();
    else
        close();
}

void TfrmDadosGerRel::Show()
{
    QWidget::show();
    // Before the window comes up, which brings the focus along: the user has not entered a
    // control yet (the report list's entering runs a screen's activation).
    if (!m_shown) {
        m_shown = true;
        focusFirstControl();
    }
    if (QMdiSubWindow *window = subWindow()) {
        window->show();
        window->raise();
        if (QMdiArea *area = window->mdiArea()) {
            area->setActiveSubWindow(window);
            // The area may have made the hidden sub-window its active one while FormCreate waited
            // for the server (the window manager activates the main window meanwhile): then
            // setActiveSubWindow says nothing, and the activation kept back is given now.
            if (std::exchange(m_activationOwed, false) && area->activeSubWindow() == window)
                windowActivated();
        }
    } else {
        raise();
        activateWindow();
    }
}

void TfrmDadosGerRel::SetWindowState(TWindowState state)
{
    QWidget *target = stateTarget();
    Qt::WindowStates states = target->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state == wsMinimized)
        states |= Qt::WindowMinimized;
    else if (state == wsMaximized)
        states |= Qt::WindowMaximized;
    target->setWindowState(states);
}

TWindowState TfrmDadosGerRel::WindowState() const
{
    const Qt::WindowStates states = stateTarget()->windowState();
    if (states & Qt::WindowMinimized)
        return wsMinimized;
    if (states & Qt::WindowMaximized)
        return wsMaximized;
    return wsNormal;
}

void TfrmDadosGerRel::focusFirstControl()
{
    for (QWidget *widget = nextInFocusChain(); widget && widget != this; widget = widget->nextInFocusChain()) {
        if (isAncestorOf(widget) && widget->isEnabled() && widget->isVisibleTo(this) && (widget->focusPolicy() & Qt::TabFocus)) {
            widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void TfrmDadosGerRel::windowActivated()
{
    // A form that is not on screen is not active for its user: FormCreate may still be running
    // (a message box of its own re-activates the hidden sub-window), or it closed the form. Show()
    // gives the activation once the form is on screen.
    if (!isVisible()) {
        m_activationOwed = true;
        return;
    }
    runActivation([this] { FormActivate(this); }, true);
}

void TfrmDadosGerRel::runActivation(const std::function<void()> &handler, bool byWindowSystem)
{
    if (m_activating)
        return;
    // The window system re-activates the form when the error box of a failed activation closes;
    // running the activation again would fail again, box after box. The user's next
    // activation tries again.
    if (byWindowSystem && std::exchange(m_skipReactivation, false))
        return;
    m_activating = true;
    m_deactivatedWhileActivating = false;
    const bool done = Dispatch(handler);
    m_activating = false;
    m_skipReactivation = !done && m_deactivatedWhileActivating;
}

void TfrmDadosGerRel::windowDeactivated()
{
    if (m_activating)
        m_deactivatedWhileActivating = true;
}

bool TfrmDadosGerRel::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange) {
        QMdiSubWindow *window = subWindow();
        disconnect(m_activation);
        if (window && window->mdiArea()) {
            m_activation = connect(window->mdiArea(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow *active) {
                if (active && active == subWindow())
                    windowActivated();
                else
                    windowDeactivated();
            });
        }
    } else if (event->type() == QEvent::WindowActivate && isWindow()) {
        windowActivated();
    } else if (event->type() == QEvent::WindowDeactivate) {
        // Also in a sub-window: a modal box deactivates the whole main window.
        windowDeactivated();
    }
    return QWidget::event(event);
}

void TfrmDadosGerRel::closeEvent(QCloseEvent *event)
{
    TCloseAction action = caHide;
    // A failing close handler keeps the form open: its state is unknown, and the error was shown.
    if (!Dispatch([&] { FormClose(this, action); })) {
        event->ignore();
        return;
    }
    switch (action) {
    case caNone:
        event->ignore();
        return;
    case caMinimize:
        event->ignore();
        SetWindowState(wsMinimized);
        return;
    case caHide:
        event->accept();
        return;
    case caFree:
        event->accept();
        if (QMdiSubWindow *window = subWindow())
            window->deleteLater();
        else
            deleteLater();
        return;
    }
}

} // namespace host
