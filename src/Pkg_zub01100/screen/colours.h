#pragma once

#include <QPalette>

class QWidget;

namespace zub01100 {

// Paints an edit's background in a colour of the system palette, enabled or not:
// QPalette::Button for the button face, QPalette::ToolTipBase for the info background.
void paintBackground(QWidget *widget, QPalette::ColorRole role);

} // namespace zub01100
