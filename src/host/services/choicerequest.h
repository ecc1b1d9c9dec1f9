#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace host {

class TDataSet;

// Rows of a data set as the choice dialogs show them: the visible columns only, as text.
struct ChoiceTable {
    QString title;
    QStringList headers;
    QList<int> widths;     // in characters; 0 leaves the width to the dialog
    QList<QStringList> rows;

    // The visible fields of the data set, except the names in `hidden` (compared case-insensitively).
    static ChoiceTable fromDataSet(TDataSet &dataSet, const QString &title, const QStringList &hidden = {});
};

// A single choice: the user picks one row, starting at `currentRow` (-1 for none).
struct SingleChoiceRequest {
    ChoiceTable table;
    int currentRow = -1;
};

// A multiple choice with check marks: one key and one mark per row, in row order.
struct MultiChoiceRequest {
    ChoiceTable table;
    QStringList keys;
    QList<bool> marks;
};

// Where a report goes when the user prints it: a printer name, or a PDF file.
struct PrintTarget {
    QString printerName; // empty: the system's default printer
    QString pdfFile;     // set: print into this PDF file instead
};

} // namespace host
