#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace host {

class ReportDocument;

// The run a report file carries, so that a file found later says what it is the report of:
// the report code, the layout's title, when it was issued and what the screen that ran it
// handed over (ReportDocument::run(): its filters, when its data was prepared). A PDF keeps it
// in its XMP metadata, a CSV in a comment line before the header row, an XLSX in a labelled
// cell of its "Filtros" sheet; read() reads it back from any of the three.
//
// The record, as JSON:
//   {"formato": "zub-relatorio", "versao": 1, "codigoRelatorio": "ZUB011",
//    "layout": "<title>", "emitidoEm": "dd/mm/aaaa hh:mm:ss", "execucao": {<the run>}}
namespace ReportRun {

QJsonObject record(const ReportDocument &document);
// The record as compact JSON text.
QString recordText(const ReportDocument &document);
// The CSV's first line (after the byte-order mark): "# " and the record, without a line break.
QString csvLine(const ReportDocument &document);
// The PDF's XMP packet: title, creator and dates as PDF readers expect them, and the record.
QByteArray xmpPacket(const ReportDocument &document);
// The label of the XLSX cell whose neighbours to the right hold the record (split into pieces
// a cell can take).
QString xlsxLabel();
constexpr int kXlsxPieceLength = 32000; // a cell holds at most 32 767 characters

// The record of a PDF, CSV or XLSX written by this system (told apart by content, not by
// name). Raises HostError with a Portuguese message naming the file when it cannot be read,
// is damaged or cut short, or carries no record (made by another program, or before records).
QJsonObject read(const QString &path);

} // namespace ReportRun

} // namespace host
