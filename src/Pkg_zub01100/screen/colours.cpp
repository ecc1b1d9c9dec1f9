#include "screen/colours.h"

#include <QWidget>

namespace zub01100 {

void paintBackground(QWidget *widget, QPalette::ColorRole role)
{
    QPalette palette = widget->palette();
    const QColor color = palette.color(QPalette::Active, role);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, color);
    widget->setPalette(palette);
}

} // namespace zub01100
