#pragma once

#include "report/reportdocument.h"

#include <QFont>
#include <QRectF>

class QPainter;
class QPaintDevice;

namespace host {

// Paints a document's chart as vector drawing into a rectangle of a page: planned and actual as
// bars side by side per point on the left axis, the difference (actual minus planned) as a line
// with markers on its own right axis, the title and a legend above. Planned bars are light with
// an outline, actual ones dark, the line dashed: it reads in black and white as in colour.
class ReportChart
{
public:
    ReportChart(const ReportDocument::Chart &chart, const QFont &body, const QFont &bold, QPaintDevice *device)
        : m_chart(chart), m_body(body), m_bold(bold), m_device(device) {}

    void paint(QPainter &painter, const QRectF &area) const;

    // Round steps for an axis over [low, high] with about `count` intervals.
    struct Axis {
        double low = 0;
        double high = 1;
        double step = 1;
    };
    static Axis axis(double low, double high, int count = 5);

private:
    void paintLegend(QPainter &painter, const QRectF &area) const;
    const ReportDocument::Chart &m_chart;
    QFont m_body, m_bold;
    QPaintDevice *m_device;
};

} // namespace host
