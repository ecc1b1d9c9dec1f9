#include "host/widgets/multiselectdialog.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

namespace host {

MultiSelectDialog::MultiSelectDialog(const MultiChoiceRequest &request, QWidget *parent)
    : ChoiceDialog(request.table, true, parent),
      m_markAll(new QPushButton(QStringLiteral("&Marcar todos"), this)),
      m_markNone(new QPushButton(QStringLiteral("&Desmarcar todos"), this)),
      m_count(new QLabel(this))
{
    for (int row = 0; row < m_model->rowCount() && row < request.marks.size(); ++row)
        m_model->item(row, 0)->setCheckState(request.marks[row] ? Qt::Checked : Qt::Unchecked);

    m_markAll->setAutoDefault(false);
    m_markNone->setAutoDefault(false);
    auto *row = new QHBoxLayout;
    row->addWidget(m_markAll);
    row->addWidget(m_markNone);
    row->addStretch(1);
    row->addWidget(m_count);
    m_layout->insertLayout(m_layout->count() - 1, row);

    connect(m_markAll, &QPushButton::clicked, this, [this] { setAllShown(true); });
    connect(m_markNone, &QPushButton::clicked, this, [this] { setAllShown(false); });
    connect(m_model, &QStandardItemModel::itemChanged, this, &MultiSelectDialog::updateCount);
    // Space toggles the mark wherever the current cell of the row is, in the table and,
    // with Ctrl, in the search box (where a plain Space belongs to the search text).
    tableView()->installEventFilter(this);
    selectShownRow(0);
    updateCount();
}

QList<bool> MultiSelectDialog::marks() const
{
    QList<bool> result;
    for (int row = 0; row < m_model->rowCount(); ++row)
        result.append(m_model->item(row, 0)->checkState() == Qt::Checked);
    return result;
}

void MultiSelectDialog::setAllShown(bool marked)
{
    // One count at the end: counting on every row's change makes long lists crawl.
    {
        const QSignalBlocker quiet(m_model);
        for (int shown = 0; shown < shownRowCount(); ++shown)
            m_model->item(sourceRow(shown), 0)->setCheckState(marked ? Qt::Checked : Qt::Unchecked);
    }
    if (m_model->rowCount() > 0)
        Q_EMIT m_model->dataChanged(m_model->index(0, 0), m_model->index(m_model->rowCount() - 1, 0), {Qt::CheckStateRole});
    updateCount();
}

void MultiSelectDialog::toggleCurrent()
{
    const int row = currentSourceRow();
    if (row < 0)
        return;
    QStandardItem *mark = m_model->item(row, 0);
    mark->setCheckState(mark->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

bool MultiSelectDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool space = key->key() == Qt::Key_Space;
        // In the search box Space types, except where a blank could not start a search.
        const bool blankSearch = watched == static_cast<QObject *>(searchEdit()) && searchEdit()->text().isEmpty();
        if (space && (watched == tableView() || blankSearch || key->modifiers().testFlag(Qt::ControlModifier))) {
            toggleCurrent();
            return true;
        }
    }
    return ChoiceDialog::eventFilter(watched, event);
}

void MultiSelectDialog::updateCount()
{
    qsizetype marked = marks().count(true);
    m_count->setText(marked == 1 ? QStringLiteral("1 marcado") : QStringLiteral("%1 marcados").arg(marked));
}

} // namespace host
