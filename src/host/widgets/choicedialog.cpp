#include "host/widgets/choicedialog.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace host {

ChoiceDialog::ChoiceDialog(const ChoiceTable &table, bool checkColumn, QWidget *parent)
    : QDialog(parent),
      m_model(new QStandardItemModel(this)),
      m_proxy(new QSortFilterProxyModel(this)),
      m_layout(new QVBoxLayout(this)),
      m_buttons(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      m_search(new QLineEdit(this)),
      m_view(new QTableView(this))
{
    setWindowTitle(table.title);
    const int offset = checkColumn ? 1 : 0;
    QStringList headers = table.headers;
    if (checkColumn)
        headers.prepend(QString());
    m_model->setColumnCount(headers.size());
    m_model->setHorizontalHeaderLabels(headers);
    for (const QStringList &cells : table.rows) {
        QList<QStandardItem *> items;
        if (checkColumn) {
            auto *mark = new QStandardItem;
            mark->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            mark->setCheckState(Qt::Unchecked);
            // The mark's cell has no text of its own; a screen reader says what it marks.
            mark->setData(QStringLiteral("Marcar %1").arg(cells.value(0)), Qt::AccessibleTextRole);
            items.append(mark);
        }
        for (const QString &cell : cells) {
            auto *item = new QStandardItem(cell);
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            items.append(item);
        }
        m_model->appendRow(items);
    }
    m_proxy->setSourceModel(m_model);
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setFilterKeyColumn(-1);

    m_view->setModel(m_proxy);
    // Qt names a table by its accessible name only.
    m_view->setAccessibleName(table.title);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::SingleSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setTabKeyNavigation(false);
    m_view->verticalHeader()->hide();
    m_view->horizontalHeader()->setStretchLastSection(true);
    const int charWidth = m_view->fontMetrics().averageCharWidth();
    const QFontMetrics headerMetrics = m_view->horizontalHeader()->fontMetrics();
    for (int i = 0; i < table.widths.size(); ++i) {
        if (table.widths[i] <= 0)
            continue;
        // A narrow column still shows its whole heading ("Código" over 4-character codes).
        const int heading = headerMetrics.horizontalAdvance(table.headers.value(i)) + 3 * charWidth;
        m_view->setColumnWidth(i + offset, qMax((table.widths[i] + 2) * charWidth, heading));
    }
    if (checkColumn)
        m_view->setColumnWidth(0, 3 * charWidth + 16);

    auto *searchLabel = new QLabel(QStringLiteral("&Pesquisar:"), this);
    searchLabel->setBuddy(m_search);
    m_search->setPlaceholderText(QStringLiteral("Digite parte do código ou do nome"));
    m_search->setClearButtonEnabled(true);
    m_search->installEventFilter(this);
    m_buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    m_buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_search, &QLineEdit::textChanged, this, [this](const QString &text) {
        const int keep = currentSourceRow();
        m_proxy->setFilterFixedString(text.trimmed());
        if (keep >= 0 && m_proxy->mapFromSource(m_model->index(keep, 0)).isValid())
            selectSourceRow(keep);
        else
            selectShownRow(0);
        searchChanged();
    });

    m_layout->addWidget(searchLabel);
    m_layout->addWidget(m_search);
    m_layout->addWidget(m_view, 1);
    m_layout->addWidget(m_buttons);
    resize(560, 420);
    m_search->setFocus();
}

QPushButton *ChoiceDialog::okButton() const
{
    return m_buttons->button(QDialogButtonBox::Ok);
}

int ChoiceDialog::shownRowCount() const
{
    return m_proxy->rowCount();
}

int ChoiceDialog::sourceRow(int shownRow) const
{
    const QModelIndex index = m_proxy->index(shownRow, 0);
    return index.isValid() ? m_proxy->mapToSource(index).row() : -1;
}

int ChoiceDialog::currentSourceRow() const
{
    const QModelIndex current = m_view->currentIndex();
    return current.isValid() ? m_proxy->mapToSource(current).row() : -1;
}

void ChoiceDialog::selectShownRow(int shownRow)
{
    const QModelIndex index = m_proxy->index(shownRow, m_proxy->columnCount() > 1 ? 1 : 0);
    if (!index.isValid()) {
        m_view->setCurrentIndex(QModelIndex());
        return;
    }
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index);
}

void ChoiceDialog::selectSourceRow(int row)
{
    const QModelIndex index = m_proxy->mapFromSource(m_model->index(row, 0));
    if (index.isValid())
        selectShownRow(index.row());
}

bool ChoiceDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown: {
            // The search box keeps the focus, so the user can go on typing after moving.
            const QModelIndex before = m_view->currentIndex();
            const auto *key = static_cast<QKeyEvent *>(event);
            QKeyEvent copy(QEvent::KeyPress, key->key(), key->modifiers());
            QCoreApplication::sendEvent(m_view, &copy);
            if (!before.isValid() && !m_view->currentIndex().isValid())
                selectShownRow(0);
            return true;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace host
