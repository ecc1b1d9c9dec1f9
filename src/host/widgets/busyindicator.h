#pragma once

#include <QString>

class QWidget;

namespace host {

// The wait indicator around synchronous calls, laid over the main window: kinds 0 and 6 show the
// animation with a standard text, kind 1 the given text. It is painted before ActiveShowAvi
// returns, without handling user input. A second ActiveShowAvi replaces kind and text; closing
// when nothing is shown does nothing. Without a main window (tests, batch) nothing is shown, but
// the state below is kept the same way.
void ActiveShowAvi(QWidget *mainForm, int kind, const QString &text = QString());
void DeactiveShowAvi();

// Keeps the panel over the main window for a whole output (preparing the data, building the
// report, its pages), across the ActiveShowAvi/DeactiveShowAvi pairs of the screen inside it,
// showing the stage of the work; the stage is cleared when it ends.
class BusyWork
{
public:
    BusyWork(QWidget *mainForm, const QString &stage);
    ~BusyWork();
    BusyWork(const BusyWork &) = delete;
    BusyWork &operator=(const BusyWork &) = delete;
};

// The panel on screen now, if any (tests press its "Cancelar").
class BusyOverlay *BusyPanel();

bool BusyIndicatorShown();
int BusyIndicatorKind();
QString BusyIndicatorText();
// How many times the indicator was opened since the process started (for tests of pairing).
int BusyIndicatorOpenings();

} // namespace host
