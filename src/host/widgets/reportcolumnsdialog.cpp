#include "host/widgets/reportcolumnsdialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace host {

enum { kLabelColumn = 0, kFieldColumn = 1 };

ReportColumnsDialog::ReportColumnsDialog(const QString &caption, const QString &prompt, const ReportLayoutEdit &initial,
                                         QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(caption);
    auto *promptLabel = new QLabel(prompt, this);
    m_title = new QLineEdit(initial.title, this);
    promptLabel->setBuddy(m_title);

    auto *columnsLabel = new QLabel(QStringLiteral("&Colunas (marque as que aparecem; F2 altera o título):"), this);
    m_table = new QTableWidget(int(initial.columns.size()), 2, this);
    columnsLabel->setBuddy(m_table);
    // Qt names a table by its accessible name only, never by the label whose buddy it is.
    m_table->setAccessibleName(QStringLiteral("Colunas"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Título da coluna"), QStringLiteral("Campo")});
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(kLabelColumn, QHeaderView::Stretch);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    m_table->setTabKeyNavigation(false);
    for (int row = 0; row < initial.columns.size(); ++row) {
        const ReportLayoutEdit::Column &column = initial.columns[row];
        auto *label = new QTableWidgetItem(column.label);
        label->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsUserCheckable);
        label->setCheckState(column.visible ? Qt::Checked : Qt::Unchecked);
        auto *field = new QTableWidgetItem(column.field);
        field->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        m_table->setItem(row, kLabelColumn, label);
        m_table->setItem(row, kFieldColumn, field);
    }
    if (m_table->rowCount() > 0)
        m_table->setCurrentCell(0, kLabelColumn);
    m_table->resizeColumnToContents(kFieldColumn);

    m_up = new QPushButton(QStringLiteral("&Subir"), this);
    m_down = new QPushButton(QStringLiteral("&Descer"), this);
    m_up->setAutoDefault(false);
    m_down->setAutoDefault(false);
    connect(m_up, &QPushButton::clicked, this, [this] { move(-1); });
    connect(m_down, &QPushButton::clicked, this, [this] { move(1); });

    auto *buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancelar"), QDialogButtonBox::RejectRole);
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_title, &QLineEdit::textChanged, this, &ReportColumnsDialog::updateOk);
    connect(m_table, &QTableWidget::itemChanged, this, &ReportColumnsDialog::updateOk);

    auto *moves = new QVBoxLayout;
    moves->addWidget(m_up);
    moves->addWidget(m_down);
    moves->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(m_table, 1);
    middle->addLayout(moves);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(promptLabel);
    layout->addWidget(m_title);
    layout->addWidget(columnsLabel);
    layout->addLayout(middle, 1);
    layout->addWidget(buttons);
    setTabOrder(m_title, m_table);
    setTabOrder(m_table, m_up);
    setTabOrder(m_up, m_down);
    setTabOrder(m_down, m_ok);
    m_title->selectAll();
    m_title->setFocus();
    resize(520, 420);
    updateOk();
}

void ReportColumnsDialog::move(int step)
{
    const int row = m_table->currentRow();
    const int target = row + step;
    if (row < 0 || target < 0 || target >= m_table->rowCount())
        return;
    for (int column = 0; column < m_table->columnCount(); ++column) {
        QTableWidgetItem *moving = m_table->takeItem(row, column);
        m_table->setItem(row, column, m_table->takeItem(target, column));
        m_table->setItem(target, column, moving);
    }
    m_table->setCurrentCell(target, kLabelColumn);
}

// A copy needs a title and at least one column to show.
void ReportColumnsDialog::updateOk()
{
    bool anyShown = m_table->rowCount() == 0;
    for (int row = 0; row < m_table->rowCount() && !anyShown; ++row)
        anyShown = m_table->item(row, kLabelColumn)->checkState() == Qt::Checked;
    m_ok->setEnabled(!m_title->text().trimmed().isEmpty() && anyShown);
}

ReportLayoutEdit ReportColumnsDialog::edited() const
{
    ReportLayoutEdit edit;
    edit.title = m_title->text().trimmed();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        const QTableWidgetItem *label = m_table->item(row, kLabelColumn);
        edit.columns.append({m_table->item(row, kFieldColumn)->text(), label->text(), label->checkState() == Qt::Checked});
    }
    return edit;
}

} // namespace host
