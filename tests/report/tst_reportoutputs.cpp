// Outputs of a report document (numbers, CSV, PDF pages) and the copy that "Editar relatório"
// saves with changed columns.
#include "host/data/errors.h"
#include "host/form/reportdialog.h"
#include "host/work/longwork.h"
#include "host/widgets/reportcolumnsdialog.h"
#include "report/reportengine.h"
#include "report/reportexpression.h"
#include "report/partialfile.h"
#include "report/reportformat.h"
#include "report/reportprintout.h"
#include "report/reportrun.h"
#include "report/textcache.h"
#include "support/testhost.h"
#include "support/xlsxcells.h"

#include <QBuffer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QtTest>

#include <zip.h>

#include <sys/stat.h>

#include <functional>

using namespace host;

static ReportLayout::Column column(const QString &field, ReportLayout::Format format, int width, bool total = false)
{
    ReportLayout::Column c;
    c.field = field;
    c.label = field;
    c.format = format;
    c.width = width;
    c.total = total;
    return c;
}

// A zip of the given entries, deflated, as a hostile XLSX would come.
static bool writeZip(const QString &path, const QList<std::pair<QByteArray, QByteArray>> &entries)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool written = true;
    for (const auto &[name, bytes] : entries) {
        zip_fileinfo info{};
        written = written && zipOpenNewFileInZip64(zip, name.constData(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 1, 1) == ZIP_OK
            && zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && written;
}

// Writes `document` as its file name's suffix says, as "Salvar como" does.
static void writeOutput(const ReportDocument &document, const QString &path)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix == "pdf") {
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        document.print(printer);
    } else if (suffix == "csv") {
        document.writeCsv(path);
    } else if (suffix == "xlsx") {
        document.writeXlsx(path);
    } else {
        document.writeText(path);
    }
}

// 150 lines of one figure each: three pages and more.
static ReportDocument longReport()
{
    ReportDocument document("ZUB011", "Relatório longo", TParams());
    document.setColumns({column("N", ReportLayout::Format::Integer, 8)});
    for (int i = 1; i <= 150; ++i)
        document.addBand({ReportDocument::BandKind::Detail, 0, {}, {i * 1000}, {}});
    return document;
}

// Prints `document` to a PDF and answers the text of each page as pdftotext reads it.
static QStringList pdfPages(const ReportDocument &document, int *printed = nullptr)
{
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("r.pdf"));
    const int pages = document.print(printer);
    if (printed)
        *printed = pages;
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", dir.filePath("r.pdf"), "-"});
    if (!pdftotext.waitForFinished())
        return {};
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).split('\f', Qt::SkipEmptyParts);
}

// The content of the one page `paint` draws on a PDF writer of 1200 dpi, with a cache of its own.
static QByteArray pdfPageContent(const std::function<void(QPainter &, TextCache &)> &paint)
{
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter writer(&pdf);
    writer.setResolution(1200);
    QPainter painter(&writer);
    TextCache cache(&writer);
    paint(painter, cache);
    painter.end();
    // The page's content: the one compressed stream that sets the page's state first.
    const QByteArray bytes = pdf.data();
    for (qsizetype at = bytes.indexOf("stream\n"); at >= 0; at = bytes.indexOf("stream\n", at + 1)) {
        const QByteArray content = qUncompress(QByteArray::fromHex("00100000") + bytes.mid(at + 7, bytes.indexOf("endstream", at) - at - 7));
        if (content.startsWith("/GSa gs"))
            return content;
    }
    return QByteArray();
}

class TstReportOutputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void brazilianNumbers_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<bool>("grouping");
        QTest::addColumn<QString>("expected");
        QTest::newRow("thousands") << 1234.56 << 2 << true << "1.234,56";
        QTest::newRow("millions, 3 decimals") << 1234567.8916 << 3 << true << "1.234.567,892";
        QTest::newRow("negative") << -44.0 << 2 << true << "-44,00";
        QTest::newRow("no negative zero") << -0.0004 << 2 << true << "0,00";
        QTest::newRow("spreadsheet") << 1234.5 << 2 << false << "1234,50";
    }
    void brazilianNumbers()
    {
        QFETCH(double, value);
        QFETCH(int, decimals);
        QFETCH(bool, grouping);
        QFETCH(QString, expected);
        QCOMPARE(ReportFormat::number(value, decimals, grouping), expected);
    }

    void templates_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("optional part kept") << "{A}[ - {B}]" << "0001 - Central";
        QTest::newRow("optional part dropped") << "{A}[ - {C}]" << "0001";
        QTest::newRow("iso date") << "{D}" << "31/03/2025";
    }
    void templates()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QVariantMap values{{"A", "0001"}, {"B", "Central"}, {"C", ""}, {"D", "2025-03-31"}};
        QCOMPARE(ReportFormat::fill(text, [&](const QString &name) { return ReportFormat::value(values.value(name)); }), expected);
    }

    void expressions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("expected"); // invalid: no value
        QTest::newRow("per capita difference") << "R / S - P / Q" << QVariant(3.0 / 4 - 2.0 / 5);
        QTest::newRow("division by zero") << "R / Z" << QVariant();
        QTest::newRow("missing field") << "R - NADA" << QVariant();
        QTest::newRow("parentheses and sign") << "-(R + 1) * 2" << QVariant(-8.0);
    }
    void expressions()
    {
        QFETCH(QString, text);
        QFETCH(QVariant, expected);
        const QMap<QString, double> row{{"R", 3}, {"S", 4}, {"P", 2}, {"Q", 5}, {"Z", 0}};
        const auto result = ReportExpression(text).evaluate([&](const QString &field) {
            return row.contains(field) ? std::optional<double>(row.value(field)) : std::nullopt;
        });
        QCOMPARE(result.has_value(), expected.isValid());
        if (result)
            QVERIFY(qFuzzyCompare(*result, expected.toDouble()));
    }

    void malformedExpressionIsRefused()
    {
        QVERIFY_THROWS_EXCEPTION(HostError, ReportExpression("(R + 1"));
        QVERIFY_THROWS_EXCEPTION(HostError, ReportExpression("R +"));
        QVERIFY_THROWS_EXCEPTION(HostError, ReportExpression("R; DROP"));
    }

    void csvForSpreadsheets()
    {
        ReportDocument document("ZUB011", "Teste", TParams());
        document.setColumns({column("NMPRODUTO", ReportLayout::Format::Text, 20), column("VRPLAN", ReportLayout::Format::Number, 12, true)});
        document.setGroupLabels({"Serviço"});
        document.addBand({ReportDocument::BandKind::GroupHeader, 0, "Serviço: 00010", {}, {}});
        document.addBand({ReportDocument::BandKind::Detail, 1, {}, {"Feijão; carioca", 1234.5}, {"00010 - Almoço"}});
        document.addBand({ReportDocument::BandKind::GroupFooter, 0, "Total", {QVariant(), 1234.5}, {}});
        QCOMPARE(document.toCsv(), QStringLiteral("Serviço;NMPRODUTO;VRPLAN\r\n00010 - Almoço;\"Feijão; carioca\";1234,50\r\n"));

        QTemporaryDir dir;
        document.writeCsv(dir.filePath("r.csv"));
        QFile file(dir.filePath("r.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The run, as a comment line, between the byte-order mark and the header row.
        const QList<QByteArray> lines = file.readAll().split('\n');
        QVERIFY(lines.value(0).startsWith("\xEF\xBB\xBF# {"));
        QCOMPARE(lines.value(1), QByteArray("Servi\xC3\xA7o;NMPRODUTO;VRPLAN\r"));
    }

    // Each output file carries the run (with what filters hold: accents, quotes, ";", a list
    // longer than a spreadsheet cell takes), its reader gives the record back, and the standard
    // tools find it where it was put.
    // Files made to keep the window busy or take the memory are refused at a bound, named.
    void hostileReportFilesAreRefusedAtABound_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("bound");
        QTest::newRow("pdf of many metadata packets") << "pdf" << "32 pacotes de metadados";
        QTest::newRow("xlsx entry that inflates far") << "xlsx" << "xl/worksheets/sheet2.xml de 16 MB";
        QTest::newRow("xlsx of too many shared strings") << "strings.xlsx" << "2000000 textos compartilhados";
        QTest::newRow("file too large") << "big.pdf" << "tamanho de 512 MB";
    }
    void hostileReportFilesAreRefusedAtABound()
    {
        QFETCH(QString, suffix);
        QFETCH(QString, bound);
        QTemporaryDir dir;
        const QString path = dir.filePath("hostil." + suffix);
        const QByteArray labelCell = R"(<c r="A1" t="s"><v>0</v></c>)";
        const QByteArray filtersSheet = "<worksheet><sheetData><row r=\"1\">" + labelCell + "</row></sheetData></worksheet>";
        QFile file(path);
        if (suffix == "pdf") {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("%PDF-1.4\n");
            for (int i = 0; i < 40; ++i)
                file.write(R"(<?xpacket begin=""?><x:xmpmeta xmlns:x="adobe:ns:meta/"/><?xpacket end="w"?>)");
            file.write("\n%%EOF\n");
            file.close();
        } else if (suffix == "xlsx") {
            QVERIFY(writeZip(path, {{"xl/worksheets/sheet2.xml", QByteArray(100 * 1024 * 1024, ' ')}}));
        } else if (suffix == "strings.xlsx") {
            QByteArray strings = "<sst>";
            for (int i = 0; i <= 2000000; ++i)
                strings += "<si/>";
            QVERIFY(writeZip(path, {{"xl/worksheets/sheet2.xml", filtersSheet}, {"xl/sharedStrings.xml", strings + "</sst>"}}));
        } else {
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("%PDF-1.4\n");
            QVERIFY(file.resize(513LL * 1024 * 1024)); // sparse: no disk taken
            file.close();
        }
        try {
            ReportRun::read(path);
            QFAIL("a hostile file was read");
        } catch (const HostError &error) {
            QVERIFY2(error.text().contains("passa do limite de leitura de um relatório (" + bound + ")"), qPrintable(error.text()));
        }
    }

    void outputsCarryTheirRun_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("pdf") << "pdf";
        QTest::newRow("csv") << "csv";
        QTest::newRow("xlsx") << "xlsx";
    }
    void outputsCarryTheirRun()
    {
        QFETCH(QString, suffix);
        ReportDocument document("ZUB011", "Custo por serviço", TParams());
        document.setColumns({column("NMPRODUTO", ReportLayout::Format::Text, 20)});
        document.addBand({ReportDocument::BandKind::Detail, 0, {}, {"Arroz"}, {}});
        QStringList services;
        for (int i = 0; i < 4000; ++i)
            services << QStringLiteral("%1").arg(i, 9, 10, QLatin1Char('0'));
        const QJsonObject run{{"filtros", QJsonObject{{"tipoCusto", "Médio; \"último\" <a&b>"},
                                                      {"servicos", QJsonArray::fromStringList(services)}}},
                              {"dataPlano", "07/12/2026 10:00:00"}};
        document.setRun(run);
        QTemporaryDir dir;
        const QString path = dir.filePath("r." + suffix);
        writeOutput(document, path);
        const QJsonObject record = ReportRun::read(path);
        QCOMPARE(record.value("execucao").toObject(), run);
        QCOMPARE(record, ReportRun::record(document));

        QString seen;
        if (suffix == "pdf") {
            QProcess pdfinfo;
            pdfinfo.start("pdfinfo", {"-meta", path});
            QVERIFY(pdfinfo.waitForFinished());
            seen = QString::fromUtf8(pdfinfo.readAllStandardOutput());
            QVERIFY2(seen.contains("<zub:registro>{&quot;codigoRelatorio&quot;:&quot;ZUB011&quot;"), qPrintable(seen.left(2000)));
        } else if (suffix == "csv") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readLine(), "\xEF\xBB\xBF# " + ReportRun::recordText(document).toUtf8() + "\r\n");
        } else {
            const QHash<QString, XlsxCell> cells = xlsxCells(path);
            for (auto it = cells.begin(); it != cells.end(); ++it) {
                if (it.key().startsWith("sheet2!A") && it->value == ReportRun::xlsxLabel()) {
                    const QString row = it.key().mid(8);
                    for (const QString column : {"B", "C", "D"})
                        seen += cells.value("sheet2!" + column + row).value;
                }
            }
            QCOMPARE(seen, ReportRun::recordText(document));
        }
    }

    // Regression: PDF and XLSX were written owner-only, so colleagues could not open a report
    // saved in a shared folder; and every output replaces a link planted under its name.
    void savedFilesAreLikeAnyOtherProgramsFiles_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<int>("mask");
        for (const char *suffix : {"pdf", "xlsx", "csv", "txt"}) {
            QTest::addRow("%s, umask 022", suffix) << QString::fromLatin1(suffix) << 022;
            QTest::addRow("%s, umask 077", suffix) << QString::fromLatin1(suffix) << 077;
        }
    }
    void savedFilesAreLikeAnyOtherProgramsFiles()
    {
        QFETCH(QString, suffix);
        QFETCH(int, mask);
        ReportDocument document("ZUB011", "Custo por serviço", TParams());
        document.setColumns({column("NMPRODUTO", ReportLayout::Format::Text, 20)});
        document.addBand({ReportDocument::BandKind::Detail, 0, {}, {"Arroz"}, {}});
        QTemporaryDir dir;
        const QString victim = dir.filePath("outro-arquivo");
        QFile untouched(victim);
        QVERIFY(untouched.open(QIODevice::WriteOnly));
        untouched.write("intacto");
        untouched.close();
        const QString path = dir.filePath("relatorio." + suffix);
        QVERIFY(QFile::link(victim, path));

        const mode_t before = ::umask(mode_t(mask));
        writeOutput(document, path);
        ::umask(before);

        const QFileInfo written(path);
        QVERIFY(!written.isSymLink());
        QVERIFY(written.size() > 0);
        struct stat status {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
        QCOMPARE(int(status.st_mode & 0777), 0666 & ~mask);
        QVERIFY(untouched.open(QIODevice::ReadOnly));
        QCOMPARE(untouched.readAll(), QByteArray("intacto"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2); // no partial file left
    }

    // Regression: a run killed outright left its partial file beside the report for good. The
    // next run to the same file removes it, never one whose run is still writing.
    void abandonedPartialFilesGoLiveOnesStay()
    {
        ReportDocument document("ZUB011", "Custo por serviço", TParams());
        document.setColumns({column("NMPRODUTO", ReportLayout::Format::Text, 20)});
        document.addBand({ReportDocument::BandKind::Detail, 0, {}, {"Arroz"}, {}});
        QTemporaryDir dir;
        const QString path = dir.filePath("relatorio.csv");
        QFile abandoned(dir.filePath(".relatorio.csv.AbC123.parcial"));
        QVERIFY(abandoned.open(QIODevice::WriteOnly));
        abandoned.close();
        const PartialFile live(path);
        writeOutput(document, path);
        QVERIFY(!abandoned.exists());
        QVERIFY(QFileInfo::exists(live.path()));
    }

    // A layout's notices survive an edited copy; a line names its first rows, then "e mais K",
    // and a line without rows is left out.
    void noticesOfASavedLayout()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath("avisos.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"json({"title": "Avisos", "queries": [{"name": "faltas", "sql": {"generic": [
            "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 7)",
            "SELECT 'C' AS IDFALTA, '0101' AS CDFILIAL, '2025-03-0' || I AS DTREFEICAO FROM N ORDER BY I"]}}],
            "notices": {"title": "Atenção", "query": "faltas", "lines": [
              {"label": "Sem consumo", "match": {"IDFALTA": "C"}, "text": "{CDFILIAL} em {DTREFEICAO}", "count": "dia|dias", "limit": 5},
              {"label": "Sem servidas", "match": {"IDFALTA": "S"}, "text": "{CDFILIAL}", "count": "dia|dias"}]}})json");
        file.close();
        ReportLayout::load(file.fileName()).save(dir.filePath("copia.json"));
        const ReportLayout copy = ReportLayout::load(dir.filePath("copia.json"));
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "avisos");
        QVERIFY(db.open());
        const ReportDocument document = ReportEngine(db).build("TST", copy, TParams());
        QCOMPARE(document.noticeTexts(), QStringList({"Atenção", "Sem consumo: 7 dias: 0101 em 01/03/2025, 0101 em 02/03/2025, 0101 em 03/03/2025,"
                                                      " 0101 em 04/03/2025, 0101 em 05/03/2025 e mais 2"}));
        QVERIFY(document.toCsv().startsWith(document.noticeTexts().join("\r\n") + "\r\n\r\n"));
        QVERIFY(document.toText().contains("Sem consumo: 7 dias"));
        db.close();
    }

    // Every page of a long report carries "Página N de M" with the final M.
    void pageNumbersOnEveryPage()
    {
        const ReportDocument document = longReport();
        int pages = 0;
        const QStringList pageTexts = pdfPages(document, &pages);
        QVERIFY(pages >= 3);
        QCOMPARE(pageTexts.size(), pages);
        for (int page = 1; page <= pages; ++page)
            QVERIFY2(pageTexts[page - 1].contains(QStringLiteral("Página %1 de %2").arg(page).arg(pages)), qPrintable(pageTexts[page - 1]));
        QVERIFY(pageTexts.last().contains("150.000"));
    }

    // What a preview shows: the pages laid out as the print lays them out, any one of them
    // painted alone just as the print paints it; a cancel stops the laying out.
    void aLaidOutPageIsPaintedAlone()
    {
        const ReportDocument document = longReport();
        int printed = 0;
        const QStringList printedPages = pdfPages(document, &printed);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        ReportPrintout printout(document);
        QCOMPARE(printout.paginate(printer.pageLayout(), printer.resolution(), printer), printed);

        QTemporaryDir dir;
        {
            QPdfWriter writer(dir.filePath("pagina.pdf"));
            writer.setResolution(printer.resolution());
            writer.setPageLayout(printout.pageLayout());
            QPainter painter(&writer);
            printout.paintPage(painter, 1);
        }
        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", dir.filePath("pagina.pdf"), "-"});
        QVERIFY(pdftotext.waitForFinished());
        const QString page = QString::fromUtf8(pdftotext.readAllStandardOutput()).remove('\f');
        QVERIFY2(page.contains(QStringLiteral("Página 2 de %1").arg(printed)), qPrintable(page));
        QCOMPARE(page, printedPages[1]);

        setWorkStage(QStringLiteral("Paginando o relatório…"));
        requestCancel();
        QVERIFY_THROWS_EXCEPTION(CancelledError, printout.paginate(printer.pageLayout(), printer.resolution(), printer));
        setWorkStage(QString());
    }

    // Regression: a page that went on with a group showed its lines under no heading.
    void continuationPagesRepeatOpenHeadings()
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "continuation");
        db.setDatabaseName(":memory:");
        QVERIFY(db.open());
        ReportLayout layout;
        layout.title = "Relatório longo";
        layout.queries.append({"dados", {{SqlDialect::Generic,
            "WITH RECURSIVE N(I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 300)"
            " SELECT '0101' AS CDFILIAL, CASE WHEN I <= 150 THEN '00010' ELSE '00020' END AS CDSERVFILI, I FROM N"}}});
        layout.groups = {{"CDFILIAL", "Filial", "{CDFILIAL}", {}, {}}, {"CDSERVFILI", "Serviço", "{CDSERVFILI}", "refeições: 10", {}}};
        layout.columns = {column("I", ReportLayout::Format::Integer, 8)};
        const QStringList pages = pdfPages(ReportEngine(db).build("ZUB011", layout, TParams()));
        db.close();
        QVERIFY(pages.size() >= 4);
        QVERIFY(!pages.first().contains("continuação"));
        QStringList continued;
        for (const QString &page : pages.mid(1)) {
            QVERIFY2(page.contains("Filial: 0101 (continuação)"), qPrintable(page));
            for (const QString &service : {QStringLiteral("00010"), QStringLiteral("00020")}) {
                if (page.contains("Serviço: " + service + " (continuação)") && !continued.contains(service))
                    continued.append(service);
            }
        }
        // Both services run over a page break; the note stays with the first heading.
        QCOMPARE(continued, (QStringList{"00010", "00020"}));
    }

    // Regression: "fi" became one ligature glyph in the PDF, so a search for "filial" failed.
    void pdfTextHasNoLigatures()
    {
        ReportDocument document("ZUB011", "Custo por filial", TParams());
        document.setColumns({column("NMFILIAL", ReportLayout::Format::Text, 30)});
        document.addBand({ReportDocument::BandKind::Detail, 0, {}, {"Escola filiada ao fluxo"}, {}});
        const QString text = pdfPages(document).join('\n');
        for (const QString &word : {QStringLiteral("filial"), QStringLiteral("filiada"), QStringLiteral("fluxo")})
            QVERIFY2(text.contains(word), qPrintable(text));
    }

    // Kept lines and figures set glyph by glyph land where QPainter::drawText puts the same text,
    // in the PDF's page: each alignment, once laid out and again from the cache, in a box too
    // narrow (clipped), in both fonts and two colours, over-plan marker and all.
    void keptTextsDrawWherePainterDraws()
    {
        qsizetype linesKept = 0;
        const auto page = [&linesKept](bool kept) {
            return pdfPageContent([&](QPainter &painter, TextCache &cache) {
                QFont font(QStringLiteral("DejaVu Sans"), 8);
                font.setLetterSpacing(QFont::AbsoluteSpacing, 1.0 / 64);
                qreal y = 3.3;
                for (const bool bold : {false, true}) {
                    font.setBold(bold);
                    painter.setFont(font);
                    painter.setPen(bold ? Qt::darkRed : Qt::black);
                    for (const int flags : {Qt::AlignLeft | Qt::AlignVCenter, Qt::AlignRight | Qt::AlignVCenter, Qt::AlignHCenter | Qt::AlignVCenter,
                                            Qt::AlignLeft | Qt::AlignBottom, Qt::AlignRight | Qt::AlignTop}) {
                        for (const QString &text : {QStringLiteral("Maçã"), QStringLiteral("\u25B2 -1.234,56"), QStringLiteral("Maçã"),
                                                    QStringLiteral("01.02.001"), QStringLiteral("-37.890,1"), QStringLiteral("31/12/2025")}) {
                            for (const qreal width : {40.5, 611.3, 4000.0}) {
                                const QRectF box(100.25, y += 133.7, width, 216.71);
                                if (kept)
                                    cache.draw(painter, box, flags, text);
                                else
                                    painter.drawText(box, flags, text);
                            }
                        }
                    }
                }
                linesKept = cache.size();
            });
        };
        const QByteArray drawn = page(false);
        QVERIFY(drawn.count(" Tj") > 500);
        QCOMPARE(page(true), drawn);
        QCOMPARE(linesKept, 4); // "Maçã" and the marked figure in two fonts; figures are never kept
    }

    // Texts that never repeat (a long report's headings) do not grow the cache past its bound,
    // and are drawn all the same.
    void cacheOfTextsIsBounded()
    {
        qsizetype linesKept = 0;
        const auto page = [&linesKept](bool kept) {
            return pdfPageContent([&](QPainter &painter, TextCache &cache) {
                painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
                for (int i = 0; i < 4200; ++i) {
                    const QRectF box(100, 10 + i * 2, 2000, 100);
                    const QString text = QStringLiteral("Escola %1").arg(i);
                    if (kept)
                        cache.draw(painter, box, Qt::AlignLeft | Qt::AlignVCenter, text);
                    else
                        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
                }
                linesKept = cache.size();
            });
        };
        const QByteArray drawn = page(false);
        QCOMPARE(page(true), drawn);
        QVERIFY2(linesKept == 4096, qPrintable(QString::number(linesKept)));
    }

    // The workbook read back by another reader: values and totals as the text and CSV outputs
    // give them, subtotals as formulas where the details add up to them, groups as outline
    // levels, dates as dates, and the filters on their own sheet.
    void xlsxReadBackMatchesOtherOutputs()
    {
        ReportDocument document("ZUB011", "Custo por serviço", TParams());
        document.setHeaderLines({{"Período", "01/03/2025 a 31/03/2025"}});
        auto percent = column("PCDIF", ReportLayout::Format::Number, 8, true);
        percent.decimals = 1;
        document.setColumns({column("NMPRODUTO", ReportLayout::Format::Text, 20), column("DTREF", ReportLayout::Format::Date, 10),
                             column("VRPLAN", ReportLayout::Format::Number, 12, true),
                             column("QTREF", ReportLayout::Format::Integer, 8, true), percent});
        document.setGroupLabels({"Serviço"});
        auto detail = [&](const QString &product, const QString &day, double value, int meals, double pct, const QString &group) {
            document.addBand({ReportDocument::BandKind::Detail, 1, {}, {product, day, value, meals, pct}, {group}});
        };
        document.addBand({ReportDocument::BandKind::GroupHeader, 0, "Serviço: 00010 - Almoço", {}, {}});
        detail("Arroz", "2025-03-03", 1234.56, 120, 10.0, "00010 - Almoço");
        detail("Feijão", "2025-03-04", 2000.10, 80, 30.0, "00010 - Almoço");
        document.addBand({ReportDocument::BandKind::GroupFooter, 0, "Total - Serviço 00010", {{}, {}, 3234.66, 200, 18.0}, {}});
        document.addBand({ReportDocument::BandKind::GroupHeader, 0, "Serviço: 00020 - Lanche", {}, {}});
        detail("Leite", "2025-03-05", 99.99, 50, 5.0, "00020 - Lanche");
        document.addBand({ReportDocument::BandKind::GroupFooter, 0, "Total - Serviço 00020", {{}, {}, 99.99, 50, 5.0}, {}});
        document.addBand({ReportDocument::BandKind::GrandTotal, 0, "Total geral", {{}, {}, 3334.65, 250, 15.5}, {}});

        QTemporaryDir dir;
        document.writeXlsx(dir.filePath("r.xlsx"));
        QVERIFY(!QFile::exists(dir.filePath("r.xlsx.parcial")));
        const QHash<QString, XlsxCell> cells = xlsxCells(dir.filePath("r.xlsx"));
        QVERIFY2(!cells.isEmpty(), "python3 could not read the workbook");

        int grandRow = 0;
        int firstDetailRow = 0;
        for (auto it = cells.begin(); it != cells.end(); ++it) {
            const int row = it.key().mid(it.key().indexOf('!') + 2).toInt();
            if (it.key().startsWith("sheet1!A") && it->value == "Total geral")
                grandRow = row;
            if (it.key().startsWith("sheet1!A") && it->value == "Arroz")
                firstDetailRow = row;
        }
        QVERIFY(grandRow > 0 && firstDetailRow > 0);
        const auto at = [&](const QString &column, int row) { return cells.value(QStringLiteral("sheet1!%1%2").arg(column).arg(row)); };

        // Grand totals: the same numbers the text shows and the CSV's details add up to.
        double csvSum = 0;
        for (const QString &line : document.toCsv().split("\r\n", Qt::SkipEmptyParts).mid(1))
            csvSum += line.section(';', 3, 3).replace(',', '.').toDouble();
        QCOMPARE(at("C", grandRow).value.toDouble(), csvSum);
        const QString textTotal = document.toText().trimmed().section('\n', -1);
        for (const QString &column : {QStringLiteral("C"), QStringLiteral("D"), QStringLiteral("E")}) {
            const int index = column.at(0).unicode() - 'A';
            QVERIFY2(textTotal.contains(document.cell(index, at(column, grandRow).value.toDouble())), qPrintable(textTotal));
        }
        QCOMPARE(at("C", grandRow).kind, QString("f"));
        QCOMPARE(at("D", grandRow).kind, QString("f"));
        QCOMPARE(at("E", grandRow).kind, QString("n")); // a ratio is no sum of its rows

        QCOMPARE(at("A", firstDetailRow).level, 1);
        QCOMPARE(at("C", firstDetailRow).kind, QString("n"));
        QCOMPARE(at("B", firstDetailRow).value.toDouble(), double(QDate(1899, 12, 30).daysTo(QDate(2025, 3, 3))));
        QCOMPARE(cells.value("sheet2!A2").value, QString("Período"));
        QCOMPARE(cells.value("sheet2!B2").value, QString("01/03/2025 a 31/03/2025"));
    }

    void editReportSavesChosenColumns()
    {
        TestHost host;
        QTemporaryDir reports;
        QDir().mkpath(reports.filePath("ZUB011"));
        QFile::copy(ZUB_SOURCE_DIR "/reports/ZUB011/01-por-servico.json", reports.filePath("ZUB011/01-por-servico.json"));
        TReportDesignerDialog dialog;
        dialog.ReportCode = "ZUB011";
        dialog.ReportsDir = reports.path();
        QDir(dialog.UserReportFolder()).removeRecursively();
        host.ui.textAnswers = {QStringLiteral("Só custos")};
        host.ui.columnAnswers = {{{"VRREAL", "Realizado (R$)", true}, {"NMPRODUTO", "Produto", true}, {"QTPLAN", "Qtd.", false}}};
        const int created = dialog.EditReport();
        QCOMPARE(dialog.ReportTitles(), (QStringList{"Custo Planejado X Realizado por Serviço", "Só custos"}));
        QCOMPARE(created, 1);

        const ReportLayout copy = dialog.Layouts().at(1);
        QVERIFY(!copy.standard);
        QCOMPARE(copy.columns.value(0).field, QStringLiteral("VRREAL"));
        QCOMPARE(copy.columns.value(0).label, QStringLiteral("Realizado (R$)"));
        QCOMPARE(copy.columns.value(1).field, QStringLiteral("NMPRODUTO"));
        QVERIFY(!copy.columns.value(2).visible);
        QCOMPARE(copy.columns.size(), dialog.Layouts().at(0).columns.size()); // nothing lost
        const ReportLayout &original = dialog.Layouts().at(0);
        QCOMPARE(copy.queries.size(), original.queries.size());
        QCOMPARE(copy.lookups.size(), original.lookups.size());
        QCOMPARE(copy.header.size(), original.header.size());
        for (int i = 0; i < copy.header.size(); ++i)
            QCOMPARE(copy.header[i].limit, original.header[i].limit);
        QCOMPARE(copy.columns.value(2).unitField, QStringLiteral("SGUNIDADE")); // QTPLAN, hidden
        TParams params = copy.declaredParams();
        params.ParamByName("P_IDDIFERENCA").setAsString("T");
        const QList<ReportLayout::Column> shown = ReportEngine::shownColumns(copy, params);
        QVERIFY(std::none_of(shown.begin(), shown.end(), [](const auto &c) { return c.field == "QTPLAN"; }));
        QCOMPARE(shown.first().label, QStringLiteral("Realizado (R$)"));
        QDir(dialog.UserReportFolder()).removeRecursively();
    }

    void columnsDialogByKeyboard()
    {
        ReportLayoutEdit initial{"Original", {{"A", "Coluna A", true}, {"B", "Coluna B", true}}};
        ReportColumnsDialog dialog("Título do Relatório", "Informe o título do relatório:", initial);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QCOMPARE(QApplication::focusWidget(), dialog.titleEdit());
        QTest::keyClicks(dialog.titleEdit(), "Nova");
        QTest::keyClick(dialog.titleEdit(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), dialog.table());
        QTest::keyClick(dialog.table(), Qt::Key_Space); // first column no longer shown
        QTest::keyClick(dialog.table(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->property("text").toString(), QStringLiteral("&Descer"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space); // and moved down
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        const ReportLayoutEdit edited = dialog.edited();
        QCOMPARE(edited.title, QStringLiteral("Nova"));
        QCOMPARE(edited.columns.value(0).field, QStringLiteral("B"));
        QCOMPARE(edited.columns.value(1).field, QStringLiteral("A"));
        QVERIFY(!edited.columns.value(1).visible);
    }
};

QTEST_MAIN(TstReportOutputs)
#include "tst_reportoutputs.moc"
