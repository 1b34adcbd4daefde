#include "OfficeCsv.h"

#include "Codec.h"
#include "DescrSections.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "ReplaceFile.h"
#include "Report.h"
#include "TableDescr.h"
#include "TableFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringDecoder>
#include <QStringList>
#include <QTextCodec>

#include <csv.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

enum Exit { Done = 0, BadRows = 1, Failed = 2 };

// No spreadsheet cell is this long: a longer one is a quote left open that swallows the rest of
// the file (or no CSV at all), and the parser's buffer must not grow with it.
constexpr size_t CellBytesMax = 1 << 20;
// Columns a header row may name, and how much of each name is kept; of the other rows only the
// mapped cells are kept, so a row holds at most one cell per field.
constexpr int HeaderColumnsMax = 4096;
constexpr qsizetype HeaderNameMax = 1024;

const QByteArray Utf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");

void* cappedRealloc(void* block, size_t size)
{
    return size > CellBytesMax ? nullptr : std::realloc(block, size);
}

// With tab-separated columns only the blank is trimmed around unquoted cells.
int isBlank(unsigned char c)
{
    return c == ' ';
}

bool isAscii(const QByteArray& bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// A cell as a report line shows it: its beginning only, a line break inside as "\n".
QString shown(const QString& text)
{
    QString head = text.left(ReportTextMax);
    head.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
    head.replace(u'\r', QStringLiteral("\\n"));
    head.replace(u'\n', QStringLiteral("\\n"));
    return text.size() <= ReportTextMax ? head : head + QStringLiteral("...");
}

QString fieldLabel(const FieldDescr& field)
{
    return QStringLiteral("%1 (%2)").arg(toUi(field.name), toUi(fieldTypeWord(field.type)));
}

QString fieldNames(const TableDescr& table)
{
    QStringList names;
    for (const FieldDescr& f : table.fields)
        names << toUi(f.name);
    return names.join(QStringLiteral(", "));
}

int fieldByName(const TableDescr& table, const QString& name)
{
    for (int i = 0; i < table.fields.size(); ++i)
        if (toUi(table.fields[i].name).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// The first character of text that Windows-1251 lacks, with its code point.
QString foreignLetter(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString letter = text.mid(i, n);
        if (cp1251()->canEncode(letter))
            continue;
        const char32_t code = n == 2 ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
        return QStringLiteral("«%1» (U+%2)").arg(letter, QString::number(code, 16).toUpper().rightJustified(4, u'0'));
    }
    return QString();
}

// Spreadsheets write numbers as people read them, "1 234,5": group blanks (no-break ones too)
// go and a decimal comma becomes the terminal's point.
QByteArray plainNumber(const QByteArray& value)
{
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value) {
        if (c == ' ' || c == '\xA0')
            continue;
        out += c == ',' ? '.' : c;
    }
    return out;
}

// An amount a spreadsheet shortened ("5", "5.5") with the two decimals the terminal requires.
QByteArray wholeAmount(QByteArray amount)
{
    const qsizetype point = amount.indexOf('.');
    if (point < 0)
        return amount.isEmpty() ? amount : amount + ".00";
    const qsizetype decimals = amount.size() - point - 1;
    if (decimals < 2)
        amount.append(2 - decimals, '0');
    return amount;
}

bool digitsOf(const QByteArray& text, int minDigits, int maxDigits, int& value)
{
    if (text.size() < minDigits || text.size() > maxDigits)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

QByteArray twoDigits(int value)
{
    return QByteArray::number(value % 100).rightJustified(2, '0');
}

// "d.m.yy", "d.m.yyyy" or "yyyy-mm-dd" as the terminal's "dd.mm.yy"; nothing stays nothing. The
// terminal's own converter takes characters by position, so a four-digit year would become a
// wrong date without a word.
bool dateText(const QByteArray& value, QByteArray& out)
{
    if (value.isEmpty()) {
        out.clear();
        return true;
    }
    int day = 0;
    int month = 0;
    int year = 0;
    const QList<QByteArray> dotted = value.split('.');
    const QList<QByteArray> iso = value.split('-');
    const bool ok = (dotted.size() == 3 && digitsOf(dotted[0], 1, 2, day) && digitsOf(dotted[1], 1, 2, month)
                        && dotted[2].size() != 3 && digitsOf(dotted[2], 2, 4, year))
        || (iso.size() == 3 && digitsOf(iso[0], 4, 4, year) && digitsOf(iso[1], 1, 2, month)
            && digitsOf(iso[2], 1, 2, day));
    if (!ok || day < 1 || day > 31 || month < 1 || month > 12)
        return false;
    out = twoDigits(day) + '.' + twoDigits(month) + '.' + twoDigits(year);
    return true;
}

// "h:mm", "hh:mm" or with seconds as the terminal's "hh:mm"; nothing stays nothing.
bool timeText(const QByteArray& value, QByteArray& out)
{
    if (value.isEmpty()) {
        out.clear();
        return true;
    }
    const QList<QByteArray> parts = value.split(':');
    int hour = 0;
    int minute = 0;
    int second = 0;
    if (parts.size() < 2 || parts.size() > 3 || !digitsOf(parts[0], 1, 2, hour) || !digitsOf(parts[1], 2, 2, minute)
        || (parts.size() == 3 && !digitsOf(parts[2], 2, 2, second)) || hour > 23 || minute > 59 || second > 59)
        return false;
    out = twoDigits(hour) + ':' + twoDigits(minute);
    return true;
}

QString typeReason(const FieldDescr& field)
{
    switch (field.type) {
    case FieldType::Text:
        break;
    case FieldType::Digit:
        return QStringLiteral("не только цифры");
    case FieldType::Integer:
        return QStringLiteral("не целое число");
    case FieldType::Summa:
        return QStringLiteral("не сумма: число, не больше двух знаков после запятой");
    case FieldType::Quantity:
        return QStringLiteral("не количество: число, не больше трёх знаков после запятой");
    case FieldType::Date:
        return QStringLiteral("не дата: ДД.ММ.ГГ, ДД.ММ.ГГГГ или ГГГГ-ММ-ДД");
    case FieldType::Time:
        return QStringLiteral("не время: ЧЧ:ММ или ЧЧ:ММ:СС");
    }
    return QStringLiteral("не подходит полю");
}

// The first row's separators outside quotes decide: a semicolon where the spreadsheet's language
// writes decimal commas, a comma otherwise.
char detectDelimiter(const char* data, qsizetype size)
{
    bool quoted = false;
    qsizetype semicolons = 0;
    qsizetype commas = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\n' || c == '\r')
            break;
        else if (c == ';')
            ++semicolons;
        else if (c == ',')
            ++commas;
    }
    return semicolons > commas ? ';' : ',';
}

class Importer {
public:
    Importer(const TableDescr& table, const CsvImportOptions& options, const CsvOutput& output)
        : m_repeats(table)
        , m_table(table)
        , m_options(options)
        , m_output(output)
        , m_record(table.recordLength, ' ')
    {
    }

    int run(const QString& csvFile, const QString& textFile);

private:
    static void cellEnds(void* data, size_t size, void* self)
    {
        static_cast<Importer*>(self)->cell(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }
    static void rowEnds(int terminator, void* self) { static_cast<Importer*>(self)->rowEnd(terminator); }

    void cell(const char* data, qsizetype size);
    void rowEnd(int terminator);
    bool readMap();
    bool takeHeader();
    bool mappingDone();
    void dataRow();
    QString terminalBytes(const QByteArray& cell, QByteArray& value) const;
    QString fieldValue(const FieldDescr& field, QByteArray& value);
    void badRow(int column, const QByteArray* cell, const QString& reason);
    void parseFault(int error);
    bool flush();
    void stop(int result);
    void error(const QString& message) const { m_output.err(QStringLiteral("ortova-tool: ") + message + u'\n'); }
    void reportRepeats();

    KeyRepeats m_repeats;
    const TableDescr& m_table;
    const CsvImportOptions& m_options;
    const CsvOutput& m_output;
    QList<int> m_column; // per field: its column from 0, -1 when it is written empty
    QList<QString> m_columnName; // per field: the header name --map gave for it
    QList<QByteArray> m_cells;
    int m_cellCount = 0; // cells of the row so far, kept or not
    int m_keep = HeaderColumnsMax + 1; // cells looked at per row
    QList<bool> m_mapped; // per column: a field takes it
    bool m_rowHasText = false;
    bool m_headerPending = false;
    qint64 m_row = 1; // as a spreadsheet numbers it
    int m_lastEnd = 0;
    qint64 m_good = 0;
    qint64 m_bad = 0;
    qint64 m_warned = 0; // rows with a warning
    bool m_stopped = false;
    int m_result = Done;
    QByteArray m_record; // where every value is tried with the terminal's converter
    QByteArray m_line;
    QByteArray m_pending; // lines not yet written
    ReplaceFile* m_text = nullptr;
};

void Importer::stop(int result)
{
    m_stopped = true;
    m_result = qMax(m_result, result);
}

bool Importer::readMap()
{
    const int fields = m_table.fields.size();
    m_column = QList<int>(fields, -1);
    m_columnName = QList<QString>(fields);
    m_headerPending = m_options.header;
    if (m_options.map.trimmed().isEmpty()) {
        if (m_options.header)
            return true; // the header names the fields
        for (int i = 0; i < fields; ++i)
            m_column[i] = i;
        return mappingDone();
    }
    QList<bool> given(fields, false);
    for (const QString& part : m_options.map.split(u',')) {
        const qsizetype eq = part.indexOf(u'=');
        const QString name = part.left(eq).trimmed();
        const QString column = part.mid(eq + 1).trimmed();
        if (eq < 0 || name.isEmpty() || column.isEmpty()) {
            error(QStringLiteral("--map: «%1» - нужно ПОЛЕ=СТОЛБЕЦ").arg(part));
            return false;
        }
        const int f = fieldByName(m_table, name);
        if (f < 0) {
            error(QStringLiteral("--map: в таблице %1 нет поля %2 (поля: %3)")
                      .arg(toUi(m_table.extension), name, fieldNames(m_table)));
            return false;
        }
        if (given[f]) {
            error(QStringLiteral("--map: поле %1 указано дважды").arg(name));
            return false;
        }
        given[f] = true;
        bool numeric = false;
        const int number = column.toInt(&numeric);
        if (numeric && (number < 1 || number > HeaderColumnsMax)) {
            error(
                QStringLiteral("--map: номер столбца %1 не от 1 до %2").arg(column, QString::number(HeaderColumnsMax)));
            return false;
        }
        if (numeric) {
            m_column[f] = number - 1;
        } else if (!m_options.header) {
            error(QStringLiteral("--map: столбец «%1» назван по имени, а строки заголовка нет (--header)").arg(column));
            return false;
        } else {
            m_columnName[f] = column;
        }
    }
    return m_options.header || mappingDone();
}

bool Importer::takeHeader()
{
    if (m_cellCount > HeaderColumnsMax) {
        error(QStringLiteral("в строке заголовка больше %1 столбцов").arg(HeaderColumnsMax));
        return false;
    }
    QStringList names;
    for (int c = 0; c < m_cellCount; ++c) {
        if (m_options.encoding == CsvEncoding::Windows1251) {
            names << toUi(m_cells[c]).trimmed();
            continue;
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        names << QString(decoder.decode(m_cells[c])).trimmed();
        if (decoder.hasError()) {
            error(
                QStringLiteral("строка заголовка %1 не в UTF-8 (файл в Windows-1251? укажите --encoding windows-1251)")
                    .arg(m_row));
            return false;
        }
    }
    if (m_options.map.trimmed().isEmpty()) {
        for (int c = 0; c < names.size(); ++c) {
            if (names[c].isEmpty())
                continue;
            const int f = fieldByName(m_table, names[c]);
            if (f < 0) {
                error(QStringLiteral("столбец %1 заголовка «%2»: в таблице %3 нет такого поля (поля: %4); "
                                     "столбцы для полей выбирает --map")
                          .arg(QString::number(c + 1), names[c], toUi(m_table.extension), fieldNames(m_table)));
                return false;
            }
            if (m_column[f] >= 0) {
                error(QStringLiteral("поле %1 в заголовке дважды: столбцы %2 и %3")
                          .arg(names[c], QString::number(m_column[f] + 1), QString::number(c + 1)));
                return false;
            }
            m_column[f] = c;
        }
        return mappingDone();
    }
    for (int f = 0; f < m_columnName.size(); ++f) {
        if (m_columnName[f].isEmpty())
            continue;
        int found = -1;
        for (int c = 0; c < names.size() && found < 0; ++c)
            if (names[c].compare(m_columnName[f], Qt::CaseInsensitive) == 0)
                found = c;
        if (found < 0) {
            error(QStringLiteral("--map: в строке заголовка нет столбца «%1» (столбцы: %2)")
                      .arg(m_columnName[f], names.join(QStringLiteral(", "))));
            return false;
        }
        m_column[f] = found;
    }
    return mappingDone();
}

// Every field now has its column or none; a field without one is written empty, which only the
// types that take an empty value allow.
bool Importer::mappingDone()
{
    QStringList impossible;
    m_keep = 0;
    m_mapped.clear();
    for (int i = 0; i < m_table.fields.size(); ++i) {
        const FieldDescr& f = m_table.fields[i];
        m_keep = qMax(m_keep, m_column[i] + 1);
        if (m_column[i] >= 0) {
            m_mapped.resize(m_keep);
            m_mapped[m_column[i]] = true;
            continue;
        }
        if (textToFieldRaw(f, "", 0, m_record.data() + f.offset))
            error(QStringLiteral("поле %1 не задано столбцом и записывается пустым").arg(toUi(f.name)));
        else
            impossible << fieldLabel(f);
    }
    if (!impossible.isEmpty()) {
        error(QStringLiteral("нет столбца для %1 %2: пустым оно быть не может")
                  .arg(impossible.size() == 1 ? QStringLiteral("поля") : QStringLiteral("полей"),
                      impossible.join(QStringLiteral(", "))));
        return false;
    }
    return true;
}

void Importer::cell(const char* data, qsizetype size)
{
    if (m_stopped)
        return;
    if (m_cellCount < m_keep && (m_headerPending || m_mapped[m_cellCount])) {
        if (m_headerPending)
            size = qMin(size, HeaderNameMax);
        if (m_cells.size() <= m_cellCount)
            m_cells.resize(m_cellCount + 1);
        QByteArray& kept = m_cells[m_cellCount];
        kept.resize(size); // keeps the cell's buffer from row to row
        if (size > 0)
            std::memcpy(kept.data(), data, static_cast<size_t>(size));
    }
    m_rowHasText = m_rowHasText || size > 0;
    ++m_cellCount;
}

void Importer::rowEnd(int terminator)
{
    if (m_stopped)
        return;
    const int previous = m_lastEnd;
    m_lastEnd = terminator;
    if (m_cellCount == 0) {
        // Every line end outside a row is reported: the LF of a CR LF is none, any other is a
        // blank line, which a spreadsheet shows as a row.
        if (!(terminator == CSV_LF && previous == CSV_CR))
            ++m_row;
        return;
    }
    if (m_headerPending) {
        m_headerPending = false;
        if (!takeHeader())
            stop(Failed);
    } else if (m_rowHasText) {
        dataRow();
    }
    m_cellCount = 0;
    m_rowHasText = false;
    ++m_row;
}

void Importer::dataRow()
{
    m_line.resize(0);
    bool warned = false;
    for (int i = 0; i < m_table.fields.size(); ++i) {
        if (i > 0)
            m_line += m_table.tabChar;
        const FieldDescr& f = m_table.fields[i];
        const int column = m_column[i];
        if (column < 0)
            continue;
        if (column >= m_cellCount) {
            badRow(column, nullptr,
                QStringLiteral("нет столбца для поля %1 (столбцов в строке: %2)")
                    .arg(fieldLabel(f), QString::number(m_cellCount)));
            return;
        }
        const QByteArray& cell = m_cells[column];
        QByteArray value;
        QString reason = terminalBytes(cell, value);
        if (reason.isEmpty())
            reason = fieldValue(f, value);
        if (!reason.isEmpty()) {
            badRow(column, &cell, toUi(f.name) + QStringLiteral(" - ") + reason);
            return;
        }
        if (f.type == FieldType::Text && value.size() > f.width) {
            m_output.out(overlongLine(m_row, column + 1, f.width) + u'\n');
            warned = true;
        }
        m_line += value;
    }
    if (warned) {
        ++m_warned;
        if (m_options.strict) {
            ++m_bad;
            m_pending.clear();
            return;
        }
    }
    m_repeats.add(m_record.constData(), m_row);
    ++m_good;
    // After a bad row nothing will be written; the rest is only checked.
    if (m_bad > 0)
        return;
    m_pending += m_line;
    m_pending += "\r\n";
    if (m_pending.size() >= FileChunkBytes && !flush())
        stop(Failed);
}

// The cell in the terminal's Windows-1251; a reason when it cannot be.
QString Importer::terminalBytes(const QByteArray& cell, QByteArray& value) const
{
    if (m_options.encoding == CsvEncoding::Windows1251 || isAscii(cell)) {
        value = cell;
        return QString();
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(cell);
    if (decoder.hasError())
        return QStringLiteral("не текст UTF-8 (файл в Windows-1251? укажите --encoding windows-1251)");
    QTextCodec::ConverterState state;
    value = cp1251()->fromUnicode(text.constData(), static_cast<int>(text.size()), &state);
    if (state.invalidChars > 0)
        return QStringLiteral("знака %1 нет в кодировке терминала Windows-1251").arg(foreignLetter(text));
    return QString();
}

// The value as the terminal's text file holds it, tried with the terminal's converter.
QString Importer::fieldValue(const FieldDescr& field, QByteArray& value)
{
    QByteArray text = value.trimmed();
    switch (field.type) {
    case FieldType::Text:
        break;
    case FieldType::Digit:
        for (const char c : text)
            if (c < '0' || c > '9')
                return typeReason(field);
        // The converter cuts digits beyond the field, which would make another code.
        if (text.size() > field.width)
            return QStringLiteral("длиннее поля: цифр %1, а помещается %2")
                .arg(QString::number(text.size()), QString::number(field.width));
        break;
    case FieldType::Integer:
    case FieldType::Quantity:
        text = plainNumber(text);
        break;
    case FieldType::Summa:
        text = wholeAmount(plainNumber(text));
        break;
    case FieldType::Date:
        if (!dateText(text, text))
            return typeReason(field);
        break;
    case FieldType::Time:
        if (!timeText(text, text))
            return typeReason(field);
        break;
    }
    if (text.contains(m_table.tabChar))
        return QStringLiteral("знак «%1» разделяет поля в текстовом файле терминала")
            .arg(toUi(QByteArray(1, m_table.tabChar)));
    if (text.contains('\r') || text.contains('\n'))
        return QStringLiteral("перевод строки внутри значения");
    if (!textToFieldRaw(field, text.constData(), text.size(), m_record.data() + field.offset))
        return typeReason(field);
    value = text;
    return QString();
}

// Rows that repeat a key are warned about once every row has been read; with --strict they
// become bad rows.
void Importer::reportRepeats()
{
    qint64 lastRow = -1;
    for (const KeyRepeats::Repeat& r : m_repeats.repeats()) {
        m_output.out(KeyRepeats::reportLine(m_table, r, m_column[r.field] + 1) + u'\n');
        if (r.row == lastRow)
            continue;
        lastRow = r.row;
        ++m_warned;
        if (m_options.strict) {
            ++m_bad;
            --m_good;
        }
    }
}

void Importer::badRow(int column, const QByteArray* cell, const QString& reason)
{
    ++m_bad;
    m_pending.clear();
    QString line = QStringLiteral("строка %1 поле %2").arg(QString::number(m_row), QString::number(column + 1));
    if (cell) {
        const QString text = m_options.encoding == CsvEncoding::Windows1251 ? toUi(*cell) : QString::fromUtf8(*cell);
        line += QStringLiteral(" \"") + shown(text) + u'"';
    }
    m_output.out(line + QStringLiteral(": ") + reason + u'\n');
}

void Importer::parseFault(int error)
{
    if (error == CSV_EPARSE)
        badRow(m_cellCount, nullptr,
            QStringLiteral("неверные кавычки: значение в кавычках кончается кавычкой перед разделителем "
                           "или концом строки, кавычка внутри него удваивается; чтение прекращено"));
    else
        badRow(m_cellCount, nullptr,
            QStringLiteral("значение длиннее %1 МБ: не закрыта кавычка, или это не файл CSV; чтение прекращено")
                .arg(CellBytesMax >> 20));
    stop(BadRows);
}

bool Importer::flush()
{
    if (!m_text->write(m_pending)) {
        error(QStringLiteral("текстовый файл не записан: %1").arg(m_text->errorString()));
        return false;
    }
    m_pending.resize(0);
    return true;
}

int Importer::run(const QString& csvName, const QString& textFile)
{
    if (!tableLayoutOk(m_table)) {
        error(QStringLiteral("таблица %1 описана неверно").arg(toUi(m_table.extension)));
        return Failed;
    }
    if (!readMap())
        return Failed;
    const QString csvFile = resolveFileCase(csvName);
    if (!QFileInfo(csvFile).isFile()) {
        error(QStringLiteral("нет файла %1").arg(csvName));
        return Failed;
    }
    QFile csv(csvFile);
    if (!csv.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        error(QStringLiteral("файл %1 не открыт: %2").arg(csvName, csv.errorString()));
        return Failed;
    }
    ReplaceFile text(textFile);
    if (!text.open()) {
        error(QStringLiteral("файл %1 не создан: %2").arg(textFile, text.errorString()));
        return Failed;
    }
    m_text = &text;

    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI | CSV_REPALL_NL) != 0) {
        error(QStringLiteral("нет памяти для чтения CSV"));
        return Failed;
    }
    struct Freed {
        csv_parser* parser;
        ~Freed() { csv_free(parser); }
    } freed { &parser };
    csv_set_realloc_func(&parser, cappedRealloc);
    csv_set_blk_size(&parser, 64 * 1024);

    QByteArray chunk(FileChunkBytes, Qt::Uninitialized);
    bool first = true;
    for (;;) {
        const qint64 got = readFull(csv, chunk.data(), chunk.size());
        if (got < 0) {
            error(QStringLiteral("файл %1 не прочитан").arg(csvName));
            return Failed;
        }
        qsizetype from = 0;
        if (first) {
            first = false;
            if (QByteArrayView(chunk.constData(), got).startsWith(Utf8Bom)) {
                if (m_options.encoding == CsvEncoding::Windows1251) {
                    error(QStringLiteral("файл %1 начинается меткой UTF-8, а указано --encoding windows-1251")
                              .arg(csvName));
                    return Failed;
                }
                from = Utf8Bom.size();
            }
            const char delimiter
                = m_options.delimiter ? m_options.delimiter : detectDelimiter(chunk.constData() + from, got - from);
            csv_set_delim(&parser, static_cast<unsigned char>(delimiter));
            if (delimiter == '\t')
                csv_set_space_func(&parser, isBlank);
        }
        const size_t size = static_cast<size_t>(got - from);
        const size_t parsed = csv_parse(&parser, chunk.constData() + from, size, cellEnds, rowEnds, this);
        if (m_stopped)
            break;
        if (parsed < size) {
            parseFault(csv_error(&parser));
            break;
        }
        if (got < chunk.size())
            break;
    }
    if (!m_stopped && csv_fini(&parser, cellEnds, rowEnds, this) != 0 && !m_stopped) {
        badRow(m_cellCount, nullptr, QStringLiteral("кавычка не закрыта до конца файла"));
        stop(BadRows);
    }
    if (m_result == Failed)
        return Failed;
    if (m_headerPending && m_bad == 0) {
        error(QStringLiteral("в файле %1 нет строки заголовка").arg(csvName));
        return Failed;
    }
    reportRepeats();
    if (m_warned > 0 && !m_options.strict)
        m_output.out(QStringLiteral("Предупреждений: %1\n").arg(m_warned));
    m_output.out(QStringLiteral("Строк: %1, правильных: %2, с ошибками: %3\n")
                     .arg(QString::number(m_good + m_bad), QString::number(m_good), QString::number(m_bad)));
    if (m_bad > 0) {
        error(QStringLiteral("%1 не записан: исправьте строки с ошибками").arg(textFile));
        return BadRows;
    }
    if (!flush())
        return Failed;
    if (!text.commit()) {
        error(QStringLiteral("файл %1 не записан: %2").arg(textFile, text.errorString()));
        return Failed;
    }
    return Done;
}

// The cell's bytes for a UTF-8 file.
QByteArray utf8(const QByteArray& terminalText)
{
    return isAscii(terminalText) ? terminalText : toUi(terminalText).toUtf8();
}

} // namespace

QString setCsvOptions(const QString& delimiter, const QString& encoding, CsvImportOptions& options)
{
    if (delimiter == QLatin1String("tab")) {
        options.delimiter = '\t';
    } else if (!delimiter.isEmpty()) {
        const char16_t c = delimiter.size() == 1 ? delimiter[0].unicode() : 0;
        if (c <= u' ' || c >= 0x7F || c == u'"')
            return QStringLiteral("--delimiter: один знак, например ; или , (или tab), а не «%1»").arg(delimiter);
        options.delimiter = static_cast<char>(c);
    }
    const QString e = encoding.toLower();
    if (e == QLatin1String("utf-8") || e == QLatin1String("utf8"))
        options.encoding = CsvEncoding::Utf8;
    else if (e == QLatin1String("windows-1251") || e == QLatin1String("cp1251"))
        options.encoding = CsvEncoding::Windows1251;
    else if (!encoding.isEmpty())
        return QStringLiteral("--encoding: utf-8 или windows-1251, а не «%1»").arg(encoding);
    return QString();
}

KeyRepeats::KeyRepeats(const TableDescr& table)
    : m_table(table)
{
    if (table.extension != "TVR")
        return;
    m_fields[0] = table.fieldIndex(QByteArrayLiteral("CODE"));
    m_fields[1] = table.fieldIndex(QByteArrayLiteral("BAR"));
}

void KeyRepeats::add(const char* record, qint64 row)
{
    for (int k = 0; k < 2; ++k) {
        if (m_fields[k] < 0)
            continue;
        const FieldDescr& f = m_table.fields[m_fields[k]];
        const char* bytes = record + f.offset;
        // An empty key (all padding) is no key.
        bool empty = true;
        for (qint32 i = 0; i < f.width && empty; ++i)
            empty = bytes[i] == ' ' || bytes[i] == '\xFF';
        if (empty)
            continue;
        // The field's bytes themselves when they fit in 16 (codes, barcodes); a longer key by two
        // independent hashes of them.
        Key key { 0, 0, row };
        if (f.width <= 16) {
            char packed[16] {};
            std::memcpy(packed, bytes, size_t(f.width));
            std::memcpy(&key.high, packed, 8);
            std::memcpy(&key.low, packed + 8, 8);
        } else {
            const QByteArrayView view(bytes, f.width);
            key.high = qHash(view, 0x9E3779B97F4A7C15ULL);
            key.low = qHash(view, 0xC2B2AE3D27D4EB4FULL);
        }
        m_keys[k].push_back(key);
    }
}

std::vector<KeyRepeats::Repeat> KeyRepeats::repeats() const
{
    std::vector<Repeat> found;
    for (int k = 0; k < 2; ++k) {
        std::vector<Key> keys = m_keys[k];
        std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
            return a.high != b.high ? a.high < b.high : a.low != b.low ? a.low < b.low : a.row < b.row;
        });
        for (size_t i = 1; i < keys.size(); ++i) {
            size_t first = i - 1;
            while (i < keys.size() && keys[i].high == keys[first].high && keys[i].low == keys[first].low)
                found.push_back({ keys[i++].row, m_fields[k], keys[first].row });
        }
    }
    std::sort(found.begin(), found.end(),
        [](const Repeat& a, const Repeat& b) { return a.row != b.row ? a.row < b.row : a.field < b.field; });
    return found;
}

QString KeyRepeats::reportLine(const TableDescr& table, const Repeat& repeat, int column)
{
    const bool code = table.fields[repeat.field].name == "CODE";
    return QStringLiteral("строка %1 поле %2: %3 уже в строке %4, по нему найдётся только первый товар")
        .arg(QString::number(repeat.row), QString::number(column),
            code ? QStringLiteral("код") : QStringLiteral("штрихкод"), QString::number(repeat.firstRow));
}

QString overlongLine(qint64 row, int column, int width)
{
    return QStringLiteral("строка %1 поле %2: длиннее %3 знаков, обрезается")
        .arg(QString::number(row), QString::number(column), QString::number(width));
}

QString setCsvDialect(const QString& delimiter, bool decimalComma, bool excelRu, CsvDialect& dialect)
{
    CsvImportOptions options;
    const QString refused = setCsvOptions(delimiter, QString(), options);
    if (!refused.isEmpty())
        return refused;
    if (excelRu && options.delimiter != 0 && options.delimiter != ';')
        return QStringLiteral("--excel-ru пишет через «;», а --delimiter задаёт другой разделитель");
    dialect.delimiter = excelRu ? ';' : options.delimiter ? options.delimiter : ',';
    dialect.decimalComma = decimalComma || excelRu;
    return QString();
}

// RFC 4180 quoting, only where a reader needs it (or would trim blanks the value keeps).
void appendCsvCell(const QByteArray& cell, const CsvDialect& dialect, QByteArray& out)
{
    const bool quote = !cell.isEmpty()
        && (cell.contains(dialect.delimiter) || cell.contains('"') || cell.contains('\r') || cell.contains('\n')
            || cell.front() == ' ' || cell.back() == ' ' || cell.front() == '\t' || cell.back() == '\t');
    if (!quote) {
        out += cell;
        return;
    }
    const size_t size = csv_write(nullptr, 0, cell.constData(), static_cast<size_t>(cell.size()));
    const qsizetype at = out.size();
    out.resize(at + static_cast<qsizetype>(size));
    csv_write(out.data() + at, size, cell.constData(), static_cast<size_t>(cell.size()));
}

void appendCsvDecimal(qint64 value, int decimals, const CsvDialect& dialect, QByteArray& out)
{
    // Digits of the magnitude from the right, as unsigned, so that the lowest value has one too.
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    char digits[32];
    int n = 0;
    while (magnitude != 0 || n <= decimals) {
        if (n == decimals && decimals > 0)
            digits[n++] = dialect.decimalComma ? ',' : '.';
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    }
    const bool quoted = dialect.decimalComma && decimals > 0 && dialect.delimiter == ',';
    char cell[40];
    int at = 0;
    if (quoted)
        cell[at++] = '"';
    if (value < 0)
        cell[at++] = '-';
    while (n > 0)
        cell[at++] = digits[--n];
    if (quoted)
        cell[at++] = '"';
    out.append(cell, at);
}

QByteArray csvFileStart()
{
    return Utf8Bom;
}

int importCsv(const TableDescr& table, const CsvImportOptions& options, const QString& csvFile, const QString& textFile,
    const CsvOutput& output)
{
    Importer importer(table, options, output);
    return importer.run(csvFile, textFile);
}

int exportCsv(const TableDescr& table, const QString& binName, const QString& csvFile, const CsvDialect& dialect,
    const QList<QByteArray>& headings, const CsvOutput& output)
{
    auto error = [&](const QString& message) {
        output.err(QStringLiteral("ortova-tool: ") + message + u'\n');
        return Failed;
    };
    if (!tableLayoutOk(table))
        return error(QStringLiteral("таблица %1 описана неверно").arg(toUi(table.extension)));
    const QString binFile = resolveFileCase(binName);
    if (!QFileInfo(binFile).isFile())
        return error(QStringLiteral("нет файла %1").arg(binName));
    QFile bin(binFile);
    if (!bin.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return error(QStringLiteral("файл %1 не открыт: %2").arg(binName, bin.errorString()));
    ReplaceFile csv(csvFile);
    if (!csv.open())
        return error(QStringLiteral("файл %1 не создан: %2").arg(csvFile, csv.errorString()));

    // Texts without their padding, numbers with all their decimals, whatever rule the terminal's
    // text form follows.
    QList<FieldDescr> plain = table.fields;
    for (FieldDescr& f : plain)
        f.rule = f.type == FieldType::Text ? LenRule::Minimal : LenRule::Standart;

    QByteArray out = Utf8Bom;
    for (int i = 0; i < plain.size(); ++i) {
        if (i > 0)
            out += dialect.delimiter;
        appendCsvCell(utf8(i < headings.size() ? headings[i] : plain[i].name), dialect, out);
    }
    out += "\r\n";
    const qint64 len = table.recordLength;
    QByteArray in(qMax<qint64>(1, FileChunkBytes / len) * len, Qt::Uninitialized);
    QByteArray text;
    qint64 records = 0;
    bool partial = false;
    for (;;) {
        const qint64 got = readFull(bin, in.data(), in.size());
        if (got < 0)
            return error(QStringLiteral("файл %1 не прочитан").arg(binName));
        for (qint64 at = 0; at + len <= got; at += len) {
            for (int i = 0; i < plain.size(); ++i) {
                if (i > 0)
                    out += dialect.delimiter;
                const FieldDescr& f = plain[i];
                const char* bytes = in.constData() + at + f.offset;
                // A date or time never filled in is all blanks: an empty cell, not "  .  .  ".
                if ((f.type == FieldType::Date || f.type == FieldType::Time)
                    && QByteArrayView(bytes, f.width).count(' ') == f.width)
                    continue;
                text.resize(0);
                appendFieldText(f, bytes, text);
                if (dialect.decimalComma && (f.type == FieldType::Summa || f.type == FieldType::Quantity))
                    text.replace('.', ',');
                appendCsvCell(utf8(text), dialect, out);
            }
            out += "\r\n";
            ++records;
            if (out.size() >= FileChunkBytes) {
                if (!csv.write(out))
                    return error(QStringLiteral("файл %1 не записан: %2").arg(csvFile, csv.errorString()));
                out.resize(0);
            }
        }
        partial = partial || got % len != 0;
        if (got < in.size())
            break;
    }
    if (!csv.write(out) || !csv.commit())
        return error(QStringLiteral("файл %1 не записан: %2").arg(csvFile, csv.errorString()));
    if (partial)
        output.err(
            QStringLiteral("ortova-tool: предупреждение: в конце %1 неполная запись, она пропущена\n").arg(binName));
    output.out(QStringLiteral("Записей: %1\n").arg(records));
    return Done;
}
