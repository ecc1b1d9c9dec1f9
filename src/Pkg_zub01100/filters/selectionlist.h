#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QAbstractButton;
class QRadioButton;

namespace host {
class TDataSource;
class TMessages;
class UserInteraction;
} // namespace host

// The "Todos"/"Lista" pattern shared by aggregated branches, service groups, services and menu
// types: a radio pair, a search button enabled only in "Lista" mode, the multi-select dialog over
// a data source, and the key list it fills. Each radio's handling runs whenever it becomes
// checked, by the user or from code, and not when an already checked radio is clicked; F9 with
// any modifiers on the focused "Lista" radio goes to its key handler.
class SelectionList : public QObject
{
    Q_OBJECT
public:
    struct Handlers {
        std::function<void(QObject *)> todosClick;
        std::function<void(QObject *)> listaClick;
        std::function<void(QObject *)> searchClick;
        std::function<void(QObject *, int &, Qt::KeyboardModifiers)> listaKeyDown;
    };
    struct Dialog {
        host::TDataSource *source = nullptr;
        QString titleKey;
        QString emptyKey;
    };

    // `ui` is the form's: the dialog and the refusals ask through it.
    SelectionList(QRadioButton *todos, QRadioButton *lista, QAbstractButton *search, const host::TMessages &messages,
                  host::UserInteraction &ui, const Dialog &dialog, Handlers handlers);

    QRadioButton *todos() const { return m_todos; }
    QRadioButton *lista() const { return m_lista; }
    QAbstractButton *searchButton() const { return m_search; }

    // Shows "Todos" or "Lista" checked, the search button enabled only on "Lista".
    void show(bool all);
    // Opens the multi-select dialog; the key list goes in as it is and comes back marked when
    // the user confirms (answers true).
    bool search(const QString &keyField, QString &keyList) const;
    // "title|empty text" of the dialog, from the message table.
    QString titles() const;
    // Shows the message and ends the command; the focus goes to the "Lista" radio afterwards.
    [[noreturn]] void refuse(const QString &message) const;

    static bool isSearchKey(int key) { return key == Qt::Key_F9; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QRadioButton *m_todos;
    QRadioButton *m_lista;
    QAbstractButton *m_search;
    const host::TMessages &m_messages;
    host::UserInteraction &m_ui;
    Dialog m_dialog;
    Handlers m_handlers;
};
