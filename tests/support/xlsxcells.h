#pragma once

#include <QDebug>
#include <QHash>
#include <QList>
#include <QProcess>
#include <QString>

// Reads an XLSX with Python's standard library alone, as a reader independent of the writer:
// one line per valued cell, "sheet<TAB>ref<TAB>outline level<TAB>s|n|f<TAB>value" (f: a formula's
// cached value; s: the shared string's text).
inline const char kXlsxCells[] = R"(
import sys, zipfile, xml.etree.ElementTree as ET
m = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
book = zipfile.ZipFile(sys.argv[1])
shared = [''.join(t.text or '' for t in si.iter(m + 't'))
          for si in ET.fromstring(book.read('xl/sharedStrings.xml')).findall(m + 'si')]
out = []
for sheet in ('sheet1', 'sheet2'):
    for row in ET.fromstring(book.read('xl/worksheets/%s.xml' % sheet)).iter(m + 'row'):
        for c in row.findall(m + 'c'):
            v = c.find(m + 'v')
            if v is None:
                continue
            kind = 'f' if c.find(m + 'f') is not None else ('s' if c.get('t') == 's' else 'n')
            out.append('\t'.join([sheet, c.get('r'), row.get('outlineLevel', '0'), kind,
                                  shared[int(v.text)] if kind == 's' else v.text]))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

struct XlsxCell {
    int level = 0;
    QString kind;
    QString value;
};

// The valued cells of an XLSX, keyed "sheet1!C12".
inline QHash<QString, XlsxCell> xlsxCells(const QString &path)
{
    QProcess python;
    python.start("python3", {"-c", kXlsxCells, path});
    if (!python.waitForFinished() || python.exitCode() != 0) {
        qWarning() << python.errorString() << python.readAllStandardError();
        return {};
    }
    QHash<QString, XlsxCell> cells;
    for (const QString &line : QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split('\t');
        cells.insert(f[0] + '!' + f[1], {f[2].toInt(), f[3], f.value(4)});
    }
    return cells;
}

// The numbers of the row whose column A reads `label`, left to right.
inline QList<double> xlsxRowNumbers(const QHash<QString, XlsxCell> &cells, const QString &label)
{
    QString row;
    for (auto it = cells.begin(); it != cells.end(); ++it) {
        if (it.key().startsWith("sheet1!A") && it->kind == "s" && it->value == label)
            row = it.key().mid(8);
    }
    QList<double> numbers;
    for (char column = 'B'; !row.isEmpty() && column <= 'Z'; ++column) {
        const XlsxCell cell = cells.value(QStringLiteral("sheet1!%1%2").arg(QLatin1Char(column)).arg(row));
        if (cell.kind == "n" || cell.kind == "f")
            numbers.append(cell.value.toDouble());
    }
    return numbers;
}
