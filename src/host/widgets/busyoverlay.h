#pragma once

#include <QWidget>

namespace host {

// The wait panel that the busy indicator lays over the main window: a spinner and a text.
class BusyOverlay : public QWidget
{
    Q_OBJECT
public:
    BusyOverlay(QWidget *mainWindow, int kind, const QString &text);

    int kind() const { return m_kind; }
    QString text() const { return m_text; }
    void setKindAndText(int kind, const QString &text);

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
};

} // namespace host
