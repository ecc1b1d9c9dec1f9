#include "report/reportrun.h"

#include "host/data/errors.h"
#include "report/reportdocument.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QHash>
#include <QMap>
#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <optional>

#include <unzip.h>

namespace host {

namespace {

const QString kFormat = QStringLiteral("zub-relatorio");
constexpr int kVersion = 1;
const QString kXmpNamespace = QStringLiteral("urn:zub:relatorio:1/");
const QString kXmpElement = QStringLiteral("registro");
const QString kTimeFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss");
// Bounds of what a report file is read for: far above any report this system writes, far below
// what would keep the window busy or take the machine's memory. A file past one is refused.
constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;
constexpr int kMaxXmpPackets = 32;
constexpr qsizetype kMaxXmpPacketBytes = 4 * 1024 * 1024;
constexpr quint64 kMaxFiltersSheetBytes = 16 * 1024 * 1024;
constexpr quint64 kMaxSharedStringsBytes = 128 * 1024 * 1024;
constexpr int kMaxSharedStrings = 2'000'000;
constexpr qint64 kMaxCsvLine = 16 * 1024 * 1024;

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

[[noreturn]] void notOurs(const QString &path)
{
    throw HostError(QStringLiteral("O arquivo \"%1\" não traz o registro de um relatório deste sistema "
                                   "(foi gerado por outro programa, ou antes de os relatórios o trazerem).")
                        .arg(shown(path)));
}

[[noreturn]] void damaged(const QString &path)
{
    throw HostError(QStringLiteral("O arquivo \"%1\" está incompleto ou danificado: não foi possível ler o registro do relatório.")
                        .arg(shown(path)));
}

[[noreturn]] void pastBound(const QString &path, const QString &bound)
{
    throw HostError(QStringLiteral("O arquivo \"%1\" passa do limite de leitura de um relatório (%2) e não foi lido.").arg(shown(path), bound));
}

QString megabytes(quint64 bytes)
{
    return QStringLiteral("%1 MB").arg(bytes / (1024 * 1024));
}

// The record from its JSON text, checked to be one of ours.
QJsonObject parseRecord(const QByteArray &json, const QString &path)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        damaged(path);
    const QJsonObject record = document.object();
    if (record.value(QLatin1String("formato")).toString() != kFormat)
        notOurs(path);
    const int version = record.value(QLatin1String("versao")).toInt();
    if (version > kVersion)
        throw HostError(QStringLiteral("O arquivo \"%1\" foi gerado por uma versão mais nova do sistema (registro versão %2).")
                            .arg(shown(path))
                            .arg(version));
    return record;
}

QJsonObject fromPdf(const QByteArray &bytes, const QString &path)
{
    // A PDF ends with its trailer; a file cut short has none.
    if (!bytes.right(1024).contains("%%EOF"))
        damaged(path);
    // Metadata streams are left uncompressed so that any reader finds them; a later packet
    // (an update appended by an editor) wins over an earlier one.
    // Each search starts where the last packet closed, so the file is scanned once.
    std::optional<QByteArray> json;
    int packets = 0;
    for (qsizetype at = bytes.indexOf("<?xpacket begin"); at >= 0; at = bytes.indexOf("<?xpacket begin", at)) {
        const qsizetype end = bytes.indexOf("<?xpacket end", at);
        const qsizetype close = end < 0 ? -1 : bytes.indexOf("?>", end);
        if (close < 0)
            break;
        if (++packets > kMaxXmpPackets)
            pastBound(path, QStringLiteral("%1 pacotes de metadados").arg(kMaxXmpPackets));
        if (close + 2 - at > kMaxXmpPacketBytes)
            pastBound(path, QStringLiteral("pacote de metadados de %1").arg(megabytes(kMaxXmpPacketBytes)));
        QXmlStreamReader xml(bytes.mid(at, close + 2 - at));
        at = close + 2;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.namespaceUri() == kXmpNamespace && xml.name() == kXmpElement)
                json = xml.readElementText().toUtf8();
        }
    }
    if (!json)
        notOurs(path);
    return parseRecord(*json, path);
}

QJsonObject fromCsv(QFile &file, const QString &path)
{
    QByteArray line = file.readLine(kMaxCsvLine);
    if (line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    if (!line.startsWith('#'))
        notOurs(path);
    if (!line.endsWith('\n'))
        damaged(path);
    return parseRecord(line.mid(1).trimmed(), path);
}

// The entries of a zip file, read with the library the XLSX writer zips with.
class ZipReader
{
public:
    explicit ZipReader(const QString &path) : m_path(path), m_zip(unzOpen64(QFile::encodeName(path).constData())) {}
    ~ZipReader()
    {
        if (m_zip)
            unzClose(m_zip);
    }
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    bool isOpen() const { return m_zip != nullptr; }

    // The entry's bytes, checked against its CRC; nothing when there is no such entry. An entry
    // that says it holds more than `maxBytes` is refused before anything is inflated, and one that
    // inflates to more than it says fails its check.
    std::optional<QByteArray> entry(const char *name, quint64 maxBytes) const
    {
        if (unzLocateFile(m_zip, name, 1) != UNZ_OK)
            return std::nullopt;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(m_zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
            damaged(m_path);
        if (info.uncompressed_size > maxBytes)
            pastBound(m_path, QStringLiteral("%1 de %2").arg(QString::fromLatin1(name), megabytes(maxBytes)));
        if (unzOpenCurrentFile(m_zip) != UNZ_OK)
            damaged(m_path);
        QByteArray data(qsizetype(info.uncompressed_size), Qt::Uninitialized);
        qsizetype done = 0;
        while (done < data.size()) {
            const int read = unzReadCurrentFile(m_zip, data.data() + done, unsigned(data.size() - done));
            if (read <= 0)
                break;
            done += read;
        }
        // The close reports a CRC that does not match what was read.
        if (unzCloseCurrentFile(m_zip) != UNZ_OK || done != data.size())
            damaged(m_path);
        return data;
    }

private:
    QString m_path;
    unzFile m_zip;
};

void requireWellFormed(const QXmlStreamReader &xml, const QString &path)
{
    if (xml.hasError())
        damaged(path);
}

// The shared strings of the given indexes (those the sheet read uses); the others are counted
// and passed over, so the table of a large report costs no memory.
QHash<int, QString> sharedStrings(const QByteArray &bytes, const QSet<int> &wanted, const QString &path)
{
    QHash<int, QString> strings;
    QString current;
    int index = -1;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("si")) {
            current.clear();
            if (++index >= kMaxSharedStrings)
                pastBound(path, QStringLiteral("%1 textos compartilhados").arg(kMaxSharedStrings));
        } else if (xml.isStartElement() && xml.name() == QLatin1String("rPh")) {
            xml.skipCurrentElement(); // phonetic hints are not part of the text
        } else if (xml.isStartElement() && xml.name() == QLatin1String("t")) {
            if (wanted.contains(index))
                current += xml.readElementText();
            else
                xml.skipCurrentElement();
        } else if (xml.isEndElement() && xml.name() == QLatin1String("si") && wanted.contains(index)) {
            strings.insert(index, current);
        }
    }
    requireWellFormed(xml, path);
    return strings;
}

// "BC12" -> column 54 (A is 1), row 12.
std::pair<int, int> cellPosition(const QString &reference)
{
    int column = 0;
    qsizetype i = 0;
    for (; i < reference.size() && reference[i].isLetter(); ++i)
        column = column * 26 + (reference[i].toUpper().unicode() - 'A' + 1);
    return {column, reference.mid(i).toInt()};
}

// A worksheet's cells by row and column: their text, or for a shared string its index.
struct SheetCell {
    QString text;
    bool shared = false;
};
QMap<int, QMap<int, SheetCell>> sheetCells(const QByteArray &bytes, const QString &path)
{
    QMap<int, QMap<int, SheetCell>> cells;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("c"))
            continue;
        const auto [column, row] = cellPosition(xml.attributes().value(QLatin1String("r")).toString());
        const bool sharedString = xml.attributes().value(QLatin1String("t")) == QLatin1String("s");
        QString text;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("v")) {
                text = xml.readElementText();
            } else if (xml.name() == QLatin1String("is")) {
                while (xml.readNextStartElement()) {
                    if (xml.name() == QLatin1String("t"))
                        text += xml.readElementText();
                    else
                        xml.skipCurrentElement();
                }
            } else {
                xml.skipCurrentElement();
            }
        }
        cells[row][column] = SheetCell{text, sharedString};
    }
    requireWellFormed(xml, path);
    return cells;
}

QJsonObject fromXlsx(const QString &path)
{
    const ZipReader zip(path);
    if (!zip.isOpen())
        damaged(path);
    // The filters are the workbook's second sheet.
    const std::optional<QByteArray> sheet = zip.entry("xl/worksheets/sheet2.xml", kMaxFiltersSheetBytes);
    if (!sheet)
        notOurs(path);
    const QMap<int, QMap<int, SheetCell>> cells = sheetCells(*sheet, path);
    QSet<int> wanted;
    for (const QMap<int, SheetCell> &row : cells) {
        for (const SheetCell &cell : row) {
            if (cell.shared)
                wanted.insert(cell.text.toInt());
        }
    }
    const std::optional<QByteArray> strings = wanted.isEmpty() ? std::nullopt : zip.entry("xl/sharedStrings.xml", kMaxSharedStringsBytes);
    const QHash<int, QString> shared = strings ? sharedStrings(*strings, wanted, path) : QHash<int, QString>();
    const auto textOf = [&shared](const SheetCell &cell) { return cell.shared ? shared.value(cell.text.toInt()) : cell.text; };
    for (const QMap<int, SheetCell> &row : cells) {
        if (textOf(row.value(1)) != ReportRun::xlsxLabel())
            continue;
        QString json;
        for (int column = 2; row.contains(column); ++column)
            json += textOf(row.value(column));
        return parseRecord(json.toUtf8(), path);
    }
    notOurs(path);
}

} // namespace

QJsonObject ReportRun::record(const ReportDocument &document)
{
    return QJsonObject{{QStringLiteral("formato"), kFormat},
                       {QStringLiteral("versao"), kVersion},
                       {QStringLiteral("codigoRelatorio"), document.reportCode()},
                       {QStringLiteral("layout"), document.title()},
                       {QStringLiteral("emitidoEm"), document.generatedAt().toString(kTimeFormat)},
                       {QStringLiteral("execucao"), document.run()}};
}

QString ReportRun::recordText(const ReportDocument &document)
{
    return QString::fromUtf8(QJsonDocument(record(document)).toJson(QJsonDocument::Compact));
}

QString ReportRun::csvLine(const ReportDocument &document)
{
    return QStringLiteral("# ") + recordText(document);
}

QString ReportRun::xlsxLabel()
{
    return QStringLiteral("Registro da execução (JSON)");
}

QByteArray ReportRun::xmpPacket(const ReportDocument &document)
{
    const QString rdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    QByteArray packet;
    QXmlStreamWriter xml(&packet);
    xml.setAutoFormatting(true);
    xml.writeProcessingInstruction(QStringLiteral("xpacket"), QStringLiteral("begin=\"\uFEFF\" id=\"W5M0MpCehiHzreSzNTczkc9d\""));
    xml.writeNamespace(QStringLiteral("adobe:ns:meta/"), QStringLiteral("x"));
    xml.writeNamespace(rdf, QStringLiteral("rdf"));
    xml.writeNamespace(QStringLiteral("http://purl.org/dc/elements/1.1/"), QStringLiteral("dc"));
    xml.writeNamespace(QStringLiteral("http://ns.adobe.com/xap/1.0/"), QStringLiteral("xmp"));
    xml.writeNamespace(kXmpNamespace, QStringLiteral("zub"));
    xml.writeStartElement(QStringLiteral("adobe:ns:meta/"), QStringLiteral("xmpmeta"));
    xml.writeStartElement(rdf, QStringLiteral("RDF"));
    xml.writeStartElement(rdf, QStringLiteral("Description"));
    xml.writeAttribute(rdf, QStringLiteral("about"), QString());
    xml.writeStartElement(QStringLiteral("http://purl.org/dc/elements/1.1/"), QStringLiteral("title"));
    xml.writeStartElement(rdf, QStringLiteral("Alt"));
    xml.writeStartElement(rdf, QStringLiteral("li"));
    xml.writeAttribute(QStringLiteral("xml:lang"), QStringLiteral("x-default"));
    xml.writeCharacters(document.title());
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("http://ns.adobe.com/xap/1.0/"), QStringLiteral("CreateDate"),
                         document.generatedAt().toOffsetFromUtc(document.generatedAt().offsetFromUtc()).toString(Qt::ISODate));
    xml.writeTextElement(kXmpNamespace, kXmpElement, recordText(document));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeProcessingInstruction(QStringLiteral("xpacket"), QStringLiteral("end=\"w\""));
    return packet;
}

QJsonObject ReportRun::read(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw HostError(QStringLiteral("Não foi possível abrir o arquivo \"%1\": %2.").arg(shown(path), file.errorString()));
    if (file.size() == 0)
        throw HostError(QStringLiteral("O arquivo \"%1\" está vazio.").arg(shown(path)));
    if (file.size() > kMaxFileBytes)
        pastBound(path, QStringLiteral("tamanho de %1").arg(megabytes(kMaxFileBytes)));
    const QByteArray start = file.peek(5);
    if (start.startsWith("%PDF-")) {
        const uchar *mapped = file.map(0, file.size());
        if (!mapped)
            return fromPdf(file.readAll(), path);
        return fromPdf(QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size()), path);
    }
    if (start.startsWith("PK\x03\x04")) {
        file.close();
        return fromXlsx(path);
    }
    return fromCsv(file, path);
}

} // namespace host
