#include "host/widgets/notebook.h"

#include "host/data/errors.h"

namespace host {

QWidget *TNotebook::addPage(const QString &name)
{
    auto *page = new QWidget(this);
    page->setObjectName(name);
    addWidget(page);
    return page;
}

QString TNotebook::ActivePage() const
{
    return currentWidget() ? currentWidget()->objectName() : QString();
}

void TNotebook::setActivePage(const QString &name)
{
    for (int i = 0; i < count(); ++i) {
        if (widget(i)->objectName() == name) {
            setCurrentIndex(i);
            return;
        }
    }
    throw HostError(QStringLiteral("Página \"%1\" inexistente.").arg(name));
}

} // namespace host
