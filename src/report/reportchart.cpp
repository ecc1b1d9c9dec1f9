#include "report/reportchart.h"

#include "report/reportformat.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <functional>

namespace host {

namespace {

const QColor kPlannedFill(190, 205, 225);
const QColor kActualFill(40, 70, 120);
const QColor kDifference(170, 40, 0);
const QColor kGrid(215, 215, 215);

QString amount(double value)
{
    return ReportFormat::number(value, 0);
}

} // namespace

ReportChart::Axis ReportChart::axis(double low, double high, int count)
{
    low = std::min(low, 0.0);
    high = std::max(high, 0.0);
    if (high - low <= 0)
        return {0, 1, 1};
    const double raw = (high - low) / count;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (const double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
        step = factor * magnitude;
        if (step >= raw)
            break;
    }
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

void ReportChart::paintLegend(QPainter &painter, const QRectF &area) const
{
    const QFontMetricsF metrics(m_body, m_device);
    const qreal box = metrics.height() * 0.8;
    qreal x = area.left();
    const qreal y = area.top() + (area.height() - box) / 2;
    auto entry = [&](const QString &text, const std::function<void(const QRectF &)> &symbol) {
        const QRectF mark(x, y, box * 2, box);
        symbol(mark);
        x += mark.width() + box / 2;
        painter.setPen(Qt::black);
        painter.drawText(QRectF(x, area.top(), metrics.horizontalAdvance(text) + 1, area.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
        x += metrics.horizontalAdvance(text) + box * 2;
    };
    painter.setFont(m_body);
    entry(QStringLiteral("Planejado"), [&](const QRectF &mark) {
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(kPlannedFill);
        painter.drawRect(mark);
    });
    entry(QStringLiteral("Realizado"), [&](const QRectF &mark) {
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(kActualFill);
        painter.drawRect(mark);
    });
    entry(QStringLiteral("Diferença (realizado - planejado, eixo à direita)"), [&](const QRectF &mark) {
        painter.setPen(QPen(kDifference, box / 5));
        painter.drawLine(QPointF(mark.left(), mark.center().y()), QPointF(mark.right(), mark.center().y()));
        painter.setBrush(kDifference);
        painter.drawEllipse(mark.center(), box / 4, box / 4);
    });
    painter.setBrush(Qt::NoBrush);
}

void ReportChart::paint(QPainter &painter, const QRectF &area) const
{
    if (m_chart.isEmpty())
        return;
    painter.save();
    const QFontMetricsF metrics(m_body, m_device);
    const qreal line = metrics.lineSpacing();
    painter.setPen(Qt::black);
    painter.setFont(m_bold);
    painter.drawText(QRectF(area.left(), area.top(), area.width(), line * 1.4), Qt::AlignLeft | Qt::AlignVCenter, m_chart.title);
    paintLegend(painter, QRectF(area.left(), area.top() + line * 1.4, area.width(), line * 1.4));

    QList<double> differences;
    for (int i = 0; i < m_chart.labels.size(); ++i)
        differences.append(m_chart.actual.value(i) - m_chart.planned.value(i));
    double highest = 0;
    for (int i = 0; i < m_chart.labels.size(); ++i)
        highest = std::max({highest, m_chart.planned.value(i), m_chart.actual.value(i)});
    const Axis costs = axis(0, highest);
    const Axis gaps = axis(*std::min_element(differences.begin(), differences.end()), *std::max_element(differences.begin(), differences.end()));

    QString widestCost, widestGap;
    for (double v = costs.low; v <= costs.high + costs.step / 2; v += costs.step)
        widestCost = amount(v).size() > widestCost.size() ? amount(v) : widestCost;
    for (double v = gaps.low; v <= gaps.high + gaps.step / 2; v += gaps.step)
        widestGap = amount(v).size() > widestGap.size() ? amount(v) : widestGap;
    const QRectF plot(area.left() + metrics.horizontalAdvance(widestCost) + line, area.top() + line * 3.4,
                      area.width() - metrics.horizontalAdvance(widestCost) - metrics.horizontalAdvance(widestGap) - 2 * line,
                      area.height() - line * 5);
    const auto yCost = [&](double v) { return plot.bottom() - (v - costs.low) / (costs.high - costs.low) * plot.height(); };
    const auto yGap = [&](double v) { return plot.bottom() - (v - gaps.low) / (gaps.high - gaps.low) * plot.height(); };

    painter.setFont(m_body);
    for (double v = costs.low; v <= costs.high + costs.step / 2; v += costs.step) {
        painter.setPen(QPen(kGrid, 0));
        painter.drawLine(QPointF(plot.left(), yCost(v)), QPointF(plot.right(), yCost(v)));
        painter.setPen(Qt::black);
        painter.drawText(QRectF(area.left(), yCost(v) - line / 2, plot.left() - area.left() - line / 3, line), Qt::AlignRight | Qt::AlignVCenter, amount(v));
    }
    painter.setPen(kDifference);
    for (double v = gaps.low; v <= gaps.high + gaps.step / 2; v += gaps.step)
        painter.drawText(QRectF(plot.right() + line / 3, yGap(v) - line / 2, area.right() - plot.right(), line), Qt::AlignLeft | Qt::AlignVCenter, amount(v));

    const int count = int(m_chart.labels.size());
    const qreal slot = plot.width() / count;
    const qreal bar = slot * 0.35;
    QPainterPath differenceLine;
    for (int i = 0; i < count; ++i) {
        const qreal left = plot.left() + i * slot + slot * 0.15;
        painter.setPen(QPen(Qt::black, 0));
        painter.setBrush(kPlannedFill);
        painter.drawRect(QRectF(QPointF(left, yCost(m_chart.planned.value(i))), QPointF(left + bar, yCost(0))));
        painter.setBrush(kActualFill);
        painter.drawRect(QRectF(QPointF(left + bar, yCost(m_chart.actual.value(i))), QPointF(left + 2 * bar, yCost(0))));
        painter.setBrush(Qt::NoBrush);
        painter.drawText(QRectF(plot.left() + i * slot, plot.bottom() + line / 4, slot, line), Qt::AlignHCenter | Qt::AlignTop, m_chart.labels[i]);
        const QPointF point(plot.left() + (i + 0.5) * slot, yGap(differences[i]));
        if (i == 0)
            differenceLine.moveTo(point);
        else
            differenceLine.lineTo(point);
    }
    painter.setPen(QPen(Qt::black, 0));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    painter.setPen(QPen(kDifference, line / 8, Qt::DashLine));
    painter.drawLine(QPointF(plot.left(), yGap(0)), QPointF(plot.right(), yGap(0)));
    painter.setPen(QPen(kDifference, line / 6));
    painter.drawPath(differenceLine);
    painter.setBrush(kDifference);
    for (int i = 0; i < count; ++i)
        painter.drawEllipse(QPointF(plot.left() + (i + 0.5) * slot, yGap(differences[i])), line / 5, line / 5);
    painter.restore();
}

} // namespace host
