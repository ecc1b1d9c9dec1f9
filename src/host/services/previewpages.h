#pragma once

#include <QImage>
#include <QSize>
#include <QSizeF>

class QWidget;

namespace host {

// The pages of a report for the preview window: laid out beforehand, so their number is known,
// and each painted only when the window shows it.
class PreviewPages
{
public:
    virtual ~PreviewPages() = default;

    virtual int pageCount() const = 0;
    // The size of a page, margins included, in points (1/72 inch).
    virtual QSizeF pageSize() const = 0;
    // Page `index` (from 0) whole, scaled into an image of `size` pixels.
    virtual QImage pageImage(int index, const QSize &size) const = 0;
    // Prints the report as the print command does: the printer dialog first (a cancel there ends
    // it quietly), then every page, with the busy panel over `window`.
    virtual void print(QWidget *window) = 0;
};

} // namespace host
