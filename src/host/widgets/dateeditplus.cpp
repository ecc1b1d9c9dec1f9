#include "host/widgets/dateeditplus.h"

#include "host/services/dispatcher.h"
#include "host/services/messages.h"
#include "host/widgets/exitevent.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace host {

static const QString kFormat = QStringLiteral("dd/MM/yyyy");

TDateEditPlus::TDateEditPlus(QWidget *parent)
    : QWidget(parent), m_edit(new QLineEdit(this)), m_button(new QToolButton(this))
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    m_edit->setInputMask(QStringLiteral("99/99/9999;_"));
    m_edit->setText(QString());
    m_edit->installEventFilter(this);
    m_button->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    m_button->setToolTip(QStringLiteral("Calendário (F4)"));
    m_button->setAccessibleName(QStringLiteral("Calendário"));
    m_button->setFocusPolicy(Qt::NoFocus);
    setFocusProxy(m_edit);
    setFocusPolicy(Qt::StrongFocus);
    connect(m_edit, &QLineEdit::textEdited, this, &TDateEditPlus::textEdited);
    // Leaving the field as every other field is left: focus taken by a message box (the date
    // check's own, say) or by the open calendar is not leaving it.
    BindExit(m_edit, [this](QObject *) {
        if (!(m_popup && m_popup->isVisible()) && OnExit)
            OnExit(this);
    });
    connect(m_button, &QToolButton::clicked, this, &TDateEditPlus::showCalendar);
    updateColour();
}

QString TDateEditPlus::text() const
{
    return isEmpty() ? QString() : m_edit->displayText().replace(QLatin1Char('_'), QLatin1Char(' '));
}

bool TDateEditPlus::isEmpty() const
{
    return !m_edit->displayText().contains(QRegularExpression(QStringLiteral("[0-9]")));
}

void TDateEditPlus::setText(const QString &text)
{
    m_edit->setText(text);
    m_lastDate = GetDate();
    updateColour();
}

QDate TDateEditPlus::GetDate() const
{
    if (isEmpty())
        return QDate();
    return QDate::fromString(m_edit->displayText(), kFormat);
}

void TDateEditPlus::SetDate(const QDate &date)
{
    setText(date.isValid() ? date.toString(kFormat) : QString());
}

QDate TDateEditPlus::GetPrimDia() const
{
    const QDate date = GetDate();
    return date.isValid() ? QDate(date.year(), date.month(), 1) : QDate();
}

QDate TDateEditPlus::GetUltDia() const
{
    const QDate date = GetDate();
    return date.isValid() ? QDate(date.year(), date.month(), date.daysInMonth()) : QDate();
}

void TDateEditPlus::CheckValidDate()
{
    if (isEmpty() || GetDate().isValid())
        return;
    m_edit->setFocus();
    m_edit->selectAll();
    MensErro(QStringLiteral("Data inválida"), true);
}

void TDateEditPlus::textEdited()
{
    updateColour();
    const QDate date = GetDate();
    if (date == m_lastDate)
        return;
    m_lastDate = date;
    if (OnDateChange)
        Dispatch([this] { OnDateChange(this); });
}

void TDateEditPlus::updateColour()
{
    QPalette palette = m_edit->palette();
    palette.setColor(QPalette::Text, GetDate().isValid() ? QColor(Qt::blue) : QApplication::palette().color(QPalette::Text));
    m_edit->setPalette(palette);
}

QCalendarWidget *TDateEditPlus::calendar()
{
    if (!m_calendar) {
        m_popup = new QWidget(this, Qt::Popup);
        auto *layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(1, 1, 1, 1);
        m_calendar = new QCalendarWidget(m_popup);
        m_calendar->setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        m_calendar->setFirstDayOfWeek(Qt::Sunday);
        m_calendar->setGridVisible(true);
        layout->addWidget(m_calendar);
        connect(m_calendar, &QCalendarWidget::activated, this, &TDateEditPlus::pick);
        connect(m_calendar, &QCalendarWidget::clicked, this, &TDateEditPlus::pick);
    }
    return m_calendar;
}

void TDateEditPlus::showCalendar()
{
    QCalendarWidget *cal = calendar();
    const QDate date = GetDate();
    cal->setSelectedDate(date.isValid() ? date : QDate::currentDate());
    m_popup->adjustSize();
    m_popup->move(mapToGlobal(QPoint(0, height())));
    m_popup->show();
    cal->setFocus();
}

void TDateEditPlus::pick(const QDate &date)
{
    m_popup->hide();
    m_edit->setFocus();
    m_edit->setText(date.toString(kFormat));
    textEdited();
}

bool TDateEditPlus::event(QEvent *event)
{
    // Before the first show, when the form has set its labels' buddies.
    if (event->type() == QEvent::Polish)
        nameEditFromLabel();
    return QWidget::event(event);
}

// A screen reader names a field by the label whose buddy it is, or by its accessible name; both
// point at this field, while the focus and the text are in the edit inside it.
void TDateEditPlus::nameEditFromLabel()
{
    QString name = accessibleName();
    for (const QLabel *label : parentWidget() ? parentWidget()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)
                                              : QList<QLabel *>()) {
        if (name.isEmpty() && label->buddy() == this)
            name = label->text().remove(QLatin1Char('&'));
    }
    if (!name.isEmpty())
        m_edit->setAccessibleName(name);
}

bool TDateEditPlus::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit) {
        if (event->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->key() == Qt::Key_F4 || (key->key() == Qt::Key_Down && key->modifiers() & Qt::AltModifier)) {
                showCalendar();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace host
