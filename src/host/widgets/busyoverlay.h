#pragma once

#include <QElapsedTimer>
#include <QWidget>

class QPushButton;

namespace host {

// The wait panel that the busy indicator lays over the main window: a spinner, the stage of the
// work (or the indicator's text), the time since it opened and "Cancelar" (also Esc), which asks
// the work under way to stop (host/work/longwork.h).
class BusyOverlay : public QWidget
{
    Q_OBJECT
public:
    BusyOverlay(QWidget *mainWindow, int kind, const QString &text);

    int kind() const { return m_kind; }
    QString text() const { return m_text; }
    void setKindAndText(int kind, const QString &text);
    // What the panel says now: the stage of the work when there is one.
    QString caption() const;
    qint64 elapsedMs() const { return m_elapsed.elapsed(); }
    QPushButton *cancelButton() const { return m_cancel; }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void place();
    int m_kind;
    QString m_text;
    int m_step = 0;
    int m_timer = 0;
    QElapsedTimer m_elapsed;
    QPushButton *m_cancel = nullptr;
};

} // namespace host
