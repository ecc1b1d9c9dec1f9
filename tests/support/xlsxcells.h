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
for sheet in ('sheet1', 'sheet2', 'sheet3'):
    if 'xl/worksheets/%s.xml' % sheet not in book.namelist():
        continue
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

// The charts and conditional formats of an XLSX, read with Python's standard library: one line per
// chart series, "chart<TAB>part<TAB>chart type<TAB>categories<TAB>values", and one per rule,
// "rule<TAB>sheet<TAB>cells<TAB>formula<TAB>bold (1/0)<TAB>number format".
inline const char kXlsxParts[] = R"(
import sys, zipfile, xml.etree.ElementTree as ET
m = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
c = '{http://schemas.openxmlformats.org/drawingml/2006/chart}'
book = zipfile.ZipFile(sys.argv[1])
out = []
for name in sorted(n for n in book.namelist() if n.startswith('xl/charts/chart')):
    root = ET.fromstring(book.read(name))
    for plot in root.iter(c + 'plotArea'):
        for kind in plot:
            for ser in kind.findall(c + 'ser'):
                refs = [ser.find(c + part + '//' + c + 'f') for part in ('cat', 'val')]
                out.append('\t'.join(['chart', name, kind.tag[len(c):]] + [r.text if r is not None else '' for r in refs]))
styles = ET.fromstring(book.read('xl/styles.xml'))
dxfs = styles.find(m + 'dxfs')
dxfs = dxfs.findall(m + 'dxf') if dxfs is not None else []
for name in sorted(n for n in book.namelist() if n.startswith('xl/worksheets/sheet')):
    for block in ET.fromstring(book.read(name)).iter(m + 'conditionalFormatting'):
        for rule in block.findall(m + 'cfRule'):
            dxf = dxfs[int(rule.get('dxfId'))]
            numfmt = dxf.find(m + 'numFmt')
            out.append('\t'.join(['rule', name, block.get('sqref'), rule.find(m + 'formula').text,
                                  '1' if dxf.find(m + 'font/' + m + 'b') is not None else '0',
                                  numfmt.get('formatCode') if numfmt is not None else '']))
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8'))
)";

// The lines of kXlsxParts, split into fields.
inline QList<QStringList> xlsxParts(const QString &path)
{
    QProcess python;
    python.start("python3", {"-c", kXlsxParts, path});
    if (!python.waitForFinished() || python.exitCode() != 0) {
        qWarning() << python.errorString() << python.readAllStandardError();
        return {};
    }
    QList<QStringList> parts;
    for (const QString &line : QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts))
        parts.append(line.split('\t'));
    return parts;
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
