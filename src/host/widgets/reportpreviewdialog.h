#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QSpinBox;
class QToolButton;

namespace host {

class PreviewPages;
class PreviewPageView;

// "Visualizar: <título>": the report's pages with page navigation, zoom, "Imprimir…" and
// "Fechar". Keyboard: PgUp/PgDn the page before and after, Home/End (or Ctrl+Home/Ctrl+End) the
// first and last, Ctrl++ and Ctrl+- the zoom, Ctrl+P prints, Esc closes.
class ReportPreviewDialog : public QDialog
{
    Q_OBJECT
public:
    ReportPreviewDialog(const QString &title, PreviewPages &pages, QWidget *parent = nullptr);

    PreviewPageView *view() const { return m_view; }
    QSpinBox *pageBox() const { return m_pageBox; }
    QToolButton *printButton() const { return m_print; }

private:
    QToolButton *addCommand(const QString &text, const QString &accessibleName, const QString &iconName,
                            const QList<QKeySequence> &keys, const std::function<void()> &run);
    void showCurrentPage(int index);
    void showZoom(qreal zoom);

    PreviewPages &m_pages;
    PreviewPageView *m_view = nullptr;
    QSpinBox *m_pageBox = nullptr;
    QLabel *m_zoomLabel = nullptr;
    QToolButton *m_print = nullptr;
    QWidget *m_bar = nullptr;
};

} // namespace host
