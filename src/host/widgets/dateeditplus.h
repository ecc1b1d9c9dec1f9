#pragma once

#include <QDate>
#include <QWidget>
#include <functional>

class QCalendarWidget;
class QLineEdit;
class QToolButton;

namespace host {

// A date field typed as dd/mm/yyyy through an input mask, or picked from a calendar (the
// button, F4 or Alt+Down). Empty is allowed. A valid date shows in blue.
//
// OnDateChange(sender) runs, through the dispatcher, when the user changes the date that
// GetDate() answers (typing, clearing, or a calendar pick). SetDate() does not raise it: code
// that sets a date calls its handler itself when it wants it. OnExit(sender) runs when the focus
// leaves the field (not when it moves to the calendar of the field).
class TDateEditPlus : public QWidget
{
    Q_OBJECT
public:
    explicit TDateEditPlus(QWidget *parent = nullptr);

    // The date typed; an invalid QDate when the field is empty or not a date.
    QDate GetDate() const;
    // An invalid date empties the field.
    void SetDate(const QDate &date);
    // First and last day of the month of the date; invalid when there is no date.
    QDate GetPrimDia() const;
    QDate GetUltDia() const;
    // Shows "Data inválida" and ends the command (MensErro with abort) when the text is not a
    // date; an empty field passes.
    void CheckValidDate();

    // "dd/mm/yyyy" as typed; "" when nothing is typed.
    QString text() const;
    void setText(const QString &text);
    bool isEmpty() const;

    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *calendarButton() const { return m_button; }
    // The calendar popup, created on first use.
    QCalendarWidget *calendar();
    void showCalendar();

    std::function<void(QObject *sender)> OnDateChange;
    std::function<void(QObject *sender)> OnExit;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void nameEditFromLabel();
    void textEdited();
    void updateColour();
    void pick(const QDate &date);

    QLineEdit *m_edit;
    QToolButton *m_button;
    QWidget *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    QDate m_lastDate;
};

} // namespace host
