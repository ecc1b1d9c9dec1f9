#include "filters/selectionlist.h"

#include "host/data/errors.h"
#include "host/services/dispatcher.h"
#include "host/services/messages.h"
#include "host/widgets/pesquisalista.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QRadioButton>

SelectionList::SelectionList(QRadioButton *todos, QRadioButton *lista, QAbstractButton *search,
                             const host::TMessages &messages, host::UserInteraction &ui, const Dialog &dialog,
                             Handlers handlers)
    : QObject(todos), m_todos(todos), m_lista(lista), m_search(search), m_messages(messages), m_ui(ui), m_dialog(dialog),
      m_handlers(std::move(handlers))
{
    // toggled(true) comes for clicks and for setChecked alike, and not for a radio that was already checked.
    connect(m_todos, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            host::Dispatch([this] { m_handlers.todosClick(m_todos); });
    });
    connect(m_lista, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            host::Dispatch([this] { m_handlers.listaClick(m_lista); });
    });
    connect(m_search, &QAbstractButton::clicked, this, [this] {
        host::Dispatch([this] { m_handlers.searchClick(m_search); });
    });
    m_lista->installEventFilter(this);
}

void SelectionList::show(bool all)
{
    (all ? m_todos : m_lista)->setChecked(true);
    m_search->setEnabled(!all);
}

QString SelectionList::titles() const
{
    return m_messages.Msg(m_dialog.titleKey) + QLatin1Char('|') + m_messages.Msg(m_dialog.emptyKey);
}

void SelectionList::refuse(const QString &message) const
{
    try {
        host::MensErro(m_ui, message, true);
    } catch (...) {
        m_lista->setFocus();
        throw;
    }
    throw host::AbortError();
}

bool SelectionList::search(const QString &keyField, QString &keyList) const
{
    return host::PesquisaLista(m_ui, m_dialog.source, keyField, titles(), false, keyList);
}

bool SelectionList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lista && event->type() == QEvent::KeyPress) {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        int key = keyEvent->key();
        const Qt::KeyboardModifiers modifiers = keyEvent->modifiers();
        host::Dispatch([&] { m_handlers.listaKeyDown(m_lista, key, modifiers); });
        if (isSearchKey(keyEvent->key()))
            return true;
    }
    return QObject::eventFilter(watched, event);
}
