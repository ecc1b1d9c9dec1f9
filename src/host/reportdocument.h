#pragma once

#include "host/params.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QPainter;
class QPrinter;

namespace host {

// What a report run produces, independent of where it goes: print, PDF, preview and text are
// thin outputs of it. Today it holds the heading and the parameters of the run; the report
// engine adds its sections here.
class ReportDocument
{
public:
    ReportDocument(const QString &reportCode, const QString &title, const TParams &params);

    QString reportCode() const { return m_reportCode; }
    QString title() const { return m_title; }
    // "Name: value" lines, values as the user reads them (dates dd/mm/yyyy).
    QStringList parameterLines() const { return m_lines; }
    void setGeneratedAt(const QDateTime &when) { m_generatedAt = when; }

    // Paints every page on the printer; raises HostError when the printer cannot be used.
    // Answers the number of pages.
    int print(QPrinter &printer) const;
    QString toText() const;
    // Writes the text as UTF-8, atomically; raises HostError with the reason on failure.
    void writeText(const QString &path) const;

    static QString formatValue(const TParam &param);

private:
    QString heading() const;
    QString m_reportCode;
    QString m_title;
    QStringList m_lines;
    QDateTime m_generatedAt;
};

} // namespace host
