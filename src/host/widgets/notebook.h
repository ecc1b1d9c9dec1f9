#pragma once

#include <QStackedWidget>

namespace host {

// Pages of which one shows at a time, chosen by index or by name, without tabs.
class TNotebook : public QStackedWidget
{
    Q_OBJECT
public:
    using QStackedWidget::QStackedWidget;

    // Adds an empty page named `name` and answers it for the caller to fill.
    QWidget *addPage(const QString &name);
    int PageIndex() const { return currentIndex(); }
    void setPageIndex(int index) { setCurrentIndex(index); }
    QString ActivePage() const;
    void setActivePage(const QString &name); // raises for an unknown name
};

} // namespace host
