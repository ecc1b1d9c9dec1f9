#include "host/widgets/reportpreviewdialog.h"

#include "host/services/dispatcher.h"
#include "host/services/previewpages.h"
#include "host/widgets/previewpageview.h"

#include <QAction>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace host {

ReportPreviewDialog::ReportPreviewDialog(const QString &title, PreviewPages &pages, QWidget *parent)
    : QDialog(parent), m_pages(pages)
{
    setWindowTitle(QStringLiteral("Visualizar: %1").arg(title));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    m_view = new PreviewPageView(pages, this);
    m_view->setAccessibleName(QStringLiteral("Páginas do relatório"));

    m_bar = new QWidget(this);
    auto *bar = new QHBoxLayout(m_bar);
    bar->setContentsMargins(6, 4, 6, 4);
    const auto separator = [this, bar] {
        auto *line = new QFrame(m_bar);
        line->setFrameShape(QFrame::VLine);
        line->setFrameShadow(QFrame::Sunken);
        bar->addWidget(line);
    };
    const int last = qMax(1, pages.pageCount());
    bar->addWidget(addCommand(QStringLiteral("Primeira"), QStringLiteral("Primeira página"), QStringLiteral("go-first"),
                              {Qt::Key_Home, Qt::CTRL | Qt::Key_Home}, [this] { m_view->showPage(0); }));
    bar->addWidget(addCommand(QStringLiteral("Anterior"), QStringLiteral("Página anterior"), QStringLiteral("go-previous"),
                              {Qt::Key_PageUp}, [this] { m_view->showPage(m_view->currentPage() - 1); }));
    m_pageBox = new QSpinBox(m_bar);
    m_pageBox->setRange(1, last);
    m_pageBox->setPrefix(QStringLiteral("Página "));
    m_pageBox->setSuffix(QStringLiteral(" de %1").arg(last));
    m_pageBox->setKeyboardTracking(false);
    m_pageBox->setAccessibleName(QStringLiteral("Número da página"));
    m_pageBox->setToolTip(QStringLiteral("Digite o número de uma página e tecle Enter"));
    connect(m_pageBox, &QSpinBox::valueChanged, this, [this](int page) { m_view->showPage(page - 1); });
    bar->addWidget(m_pageBox);
    bar->addWidget(addCommand(QStringLiteral("Próxima"), QStringLiteral("Próxima página"), QStringLiteral("go-next"),
                              {Qt::Key_PageDown}, [this] { m_view->showPage(m_view->currentPage() + 1); }));
    bar->addWidget(addCommand(QStringLiteral("Última"), QStringLiteral("Última página"), QStringLiteral("go-last"),
                              {Qt::Key_End, Qt::CTRL | Qt::Key_End}, [this] { m_view->showPage(m_pages.pageCount() - 1); }));
    separator();
    bar->addWidget(addCommand(QStringLiteral("Largura"), QStringLiteral("Ajustar à largura"), QStringLiteral("zoom-fit-width"), {},
                              [this] { m_view->setFit(PreviewPageView::Fit::Width); }));
    bar->addWidget(addCommand(QStringLiteral("Página inteira"), QStringLiteral("Página inteira"), QStringLiteral("zoom-fit-best"), {},
                              [this] { m_view->setFit(PreviewPageView::Fit::Page); }));
    bar->addWidget(addCommand(QStringLiteral("−"), QStringLiteral("Diminuir o zoom"), QStringLiteral("zoom-out"),
                              {QKeySequence::ZoomOut}, [this] { m_view->zoomOut(); }));
    m_zoomLabel = new QLabel(m_bar);
    m_zoomLabel->setAccessibleName(QStringLiteral("Zoom"));
    m_zoomLabel->setMinimumWidth(m_zoomLabel->fontMetrics().horizontalAdvance(QStringLiteral("0000%")));
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    bar->addWidget(m_zoomLabel);
    // Ctrl+= too: on many keyboards "+" is the shifted "=".
    bar->addWidget(addCommand(QStringLiteral("+"), QStringLiteral("Aumentar o zoom"), QStringLiteral("zoom-in"),
                              {QKeySequence::ZoomIn, Qt::CTRL | Qt::Key_Equal}, [this] { m_view->zoomIn(); }));
    bar->addStretch();
    m_print = addCommand(QStringLiteral("Imprimir…"), QStringLiteral("Imprimir o relatório"), QStringLiteral("document-print"),
                         {QKeySequence::Print}, [this] { Dispatch([this] { m_pages.print(this); }); });
    bar->addWidget(m_print);
    bar->addWidget(addCommand(QStringLiteral("Fechar"), QStringLiteral("Fechar a visualização"), QStringLiteral("window-close"), {},
                              [this] { reject(); }));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_bar);
    layout->addWidget(m_view, 1);

    connect(m_view, &PreviewPageView::currentPageChanged, this, &ReportPreviewDialog::showCurrentPage);
    connect(m_view, &PreviewPageView::zoomChanged, this, &ReportPreviewDialog::showZoom);
    showCurrentPage(0);
    showZoom(m_view->zoom());

    const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    resize(qMin(1000, room.width() * 9 / 10), room.height() * 9 / 10);
    m_view->setFocus();
}

QToolButton *ReportPreviewDialog::addCommand(const QString &text, const QString &accessibleName, const QString &iconName,
                                             const QList<QKeySequence> &keys, const std::function<void()> &run)
{
    auto *action = new QAction(QIcon::fromTheme(iconName), text, this);
    action->setShortcuts(keys);
    action->setToolTip(keys.isEmpty() ? accessibleName
                                      : QStringLiteral("%1 (%2)").arg(accessibleName, keys.first().toString(QKeySequence::NativeText)));
    connect(action, &QAction::triggered, this, run);
    addAction(action);
    auto *button = new QToolButton(m_bar);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    button->setAccessibleName(accessibleName);
    return button;
}

void ReportPreviewDialog::showCurrentPage(int index)
{
    const QSignalBlocker quiet(m_pageBox);
    m_pageBox->setValue(index + 1);
    m_view->setAccessibleDescription(QStringLiteral("Página %1 de %2").arg(index + 1).arg(m_pages.pageCount()));
}

void ReportPreviewDialog::showZoom(qreal zoom)
{
    m_zoomLabel->setText(QStringLiteral("%1%").arg(qRound(zoom * 100)));
}

} // namespace host
