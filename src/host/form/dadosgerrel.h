#pragma once

#include "host/services/dialogcontext.h"
#include "host/services/messages.h"

#include <QWidget>
#include <functional>

class QAbstractButton;
class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QMdiSubWindow;
class QMenu;
class QToolButton;

namespace host {

class TComboBox;
class TReportDesignerDialog;
class TSaveDialog;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TWindowState { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

// The base report form: the report list of a report code, the print, preview and save commands
// and the report dialog. A screen derives from it, lays its filters into grbDadosRel (absolute
// geometry below bvlSeparator, or any layout of its own) and overrides the handlers below, calling
// the base ones. Every handler is raised through the dispatcher.
//
// Geometry (client area 523 x 399): panMenu 523 x 27 at the top with the command buttons and the
// screen and report codes; grbDadosRel 523 x 372 below it, holding panRelat (2, 15, 519 x 24) with
// lblRelat and cbbReportNames, and bvlSeparator at top 71.
//
// Keyboard: Ctrl+P prints, F5 previews, Ctrl+S saves as PDF, Ctrl+T saves as text.
class TfrmDadosGerRel : public QWidget
{
    Q_OBJECT
public:
    // The form passes `context` on to the dialogs it owns (the save and report dialogs, and in
    // FormCreate its lookup buttons); by default the installed host services' context.
    TfrmDadosGerRel(const QString &screenCode, const QString &reportCode, const QString &caption,
                    QWidget *parent = nullptr, DialogContext context = DialogContext::installed());
    ~TfrmDadosGerRel() override;

    QGroupBox *grbDadosRel;
    QWidget *panRelat;
    QLabel *lblRelat;
    TComboBox *cbbReportNames;
    QFrame *bvlSeparator;
    QWidget *panMenu;
    QWidget *panBotoes;
    QToolButton *sbtPrint;
    QToolButton *sbtPreview;
    QToolButton *sbtSalvarComo;
    QMenu *ppmSalvarRelatorio;
    QAction *mnuSalvarTexto;
    QAction *mnuEditRel;
    QAction *mnuRelatPadr;
    TSaveDialog *svdSaveReport;
    QLabel *lblCodTela;
    QLabel *lblCodRel;
    TMessages msgPadrao;
    TReportDesignerDialog *rpddPadrao;

    const DialogContext &context() const { return m_context; }
    QString ScreenCode() const;
    QString ReportCode() const;

    // Handlers of the form's events.
    virtual void FormCreate(QObject *sender);
    virtual void FormActivate(QObject *sender);
    virtual void FormClose(QObject *sender, TCloseAction &action);
    virtual void sbtPrintClick(QObject *sender);
    virtual void sbtPreviewClick(QObject *sender);
    virtual void sbtSalvarComoClick(QObject *sender);
    virtual void mnuEditRelClick(QObject *sender);
    virtual void mnuRelatPadrClick(QObject *sender);
    virtual void mnuSalvarTextoClick(QObject *sender);
    virtual void cbbReportNamesDropDown(QObject *sender);
    virtual void cbbReportNamesEnter(QObject *sender);

    // Fills cbbReportNames with the titles of the report code's layouts; shows Arq_Rel_Err when
    // there is none. Keeps the chosen entry when it still exists.
    void LoadReportNames();

    // Closes the form: FormClose runs, and the close action decides what happens (caFree, the
    // base's choice, frees the form and its sub-window).
    void Close();
    // Visible and in front, in the MDI area when the form is in one. The first time, the first
    // control of the tab order takes the focus.
    void Show();
    void SetWindowState(TWindowState state);
    TWindowState WindowState() const;
    // The MDI sub-window holding the form, if any.
    QMdiSubWindow *subWindow() const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void createCommandBar(const QString &screenCode, const QString &reportCode);
    void createReportArea();
    void bindCommands();
    void bind(QAbstractButton *button, void (TfrmDadosGerRel::*handler)(QObject *));
    void bind(QAction *action, void (TfrmDadosGerRel::*handler)(QObject *));
    // An activation by the window system (not FormActivate called by a handler).
    void windowActivated();
    void runActivation(const std::function<void()> &handler, bool byWindowSystem);
    void windowDeactivated();
    void focusFirstControl();
    void requireLayouts();
    QWidget *stateTarget() const;
    QString suggestedFileName(const QString &extension) const;
    bool askSaveFile(const QString &title, const QString &filter, const QString &extension);
    // Where a saved report went: told to the user, and where the next dialog starts.
    void tellSaved(const QString &path);
    DialogContext m_context;
    QMetaObject::Connection m_activation;
    bool m_shown = false;
    bool m_activationOwed = false; // activated by the window system while not on screen
    bool m_activating = false;
    bool m_deactivatedWhileActivating = false;
    bool m_skipReactivation = false;
};

} // namespace host
