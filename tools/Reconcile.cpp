#include "Reconcile.h"

#include "Codec.h"
#include "ConvFile.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "ReplaceFile.h"
#include "TableDescr.h"
#include "TableFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QtEndian>

#include <xlsxwriter.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

enum Exit { Done = 0, BadLines = 1, Failed = 2 };

// Rows a worksheet can hold.
constexpr qint64 ExcelRowsMax = 1048576;
// Widest column a fitted width gives, in characters.
constexpr int ColumnWidthMax = 60;

const QString SheetMain = QStringLiteral("Сличительная ведомость");
const QString SheetLoose = QStringLiteral("Нет в справочнике");

// The fields a report reads, by index in their table; -1 where the table has none.
struct Fields {
    int code = -1;
    int bar = -1;
    int name = -1;
    int price = -1;
    int quantity = -1;
};

int firstOfType(const TableDescr& table, FieldType type, const Fields& taken)
{
    for (int i = 0; i < table.fields.size(); ++i)
        if (table.fields[i].type == type && i != taken.code && i != taken.bar)
            return i;
    return -1;
}

// CODE, BAR, NAME, PRICE and REST, or for a table that names them otherwise its first text,
// amount and quantity fields. Empty when the table can serve, else what it lacks.
QString fieldsOf(const TableDescr& table, Fields& f)
{
    f.code = table.fieldIndex(QByteArrayLiteral("CODE"));
    f.bar = table.fieldIndex(QByteArrayLiteral("BAR"));
    f.name = table.fieldIndex(QByteArrayLiteral("NAME"));
    f.price = table.fieldIndex(QByteArrayLiteral("PRICE"));
    f.quantity = table.fieldIndex(QByteArrayLiteral("REST"));
    if (f.name < 0)
        f.name = firstOfType(table, FieldType::Text, f);
    if (f.price < 0)
        f.price = firstOfType(table, FieldType::Summa, f);
    if (f.quantity < 0 || table.fields[f.quantity].type != FieldType::Quantity)
        f.quantity = firstOfType(table, FieldType::Quantity, f);
    if (f.price >= 0 && table.fields[f.price].type != FieldType::Summa)
        f.price = -1;
    if (f.code < 0 && f.bar < 0)
        return QStringLiteral("нет полей CODE и BAR");
    if (f.quantity < 0)
        return QStringLiteral("нет поля количества (REST, QUANTITY)");
    return QString();
}

// A key or a name as its bytes, without the padding of the field.
QByteArray textOf(const FieldDescr& f, const char* record)
{
    const char* p = record + f.offset;
    if (f.type != FieldType::Text && f.type != FieldType::Digit) {
        QByteArray text;
        appendFieldText(f, p, text);
        return text.trimmed();
    }
    qsizetype begin = 0;
    qsizetype end = f.width;
    auto pad = [](char c) { return c == ' ' || c == '\xFF' || c == '\0'; };
    while (end > begin && pad(p[end - 1]))
        --end;
    while (begin < end && pad(p[begin]))
        ++begin;
    return QByteArray::fromRawData(p + begin, end - begin);
}

qint32 numberOf(const FieldDescr& f, const char* record)
{
    return qFromLittleEndian<qint32>(record + f.offset);
}

bool isBinaryName(const QString& file)
{
    return file.endsWith(QLatin1String(".bin"), Qt::CaseInsensitive);
}

struct Reader {
    const CsvOutput& output;
    void error(const QString& message) const { output.err(QStringLiteral("ortova-tool: ") + message + u'\n'); }

    // Every record of a binary or text table, in order, to sink (the record and its number from
    // 0). Done, BadLines (reported, with the file's name) or Failed.
    int read(const TableDescr& table, const QString& name, const std::function<void(const char*, qint64)>& sink) const
    {
        const QString file = resolveFileCase(name);
        if (!QFileInfo(file).isFile()) {
            error(QStringLiteral("нет файла %1").arg(name));
            return Failed;
        }
        qint64 number = 0;
        if (!isBinaryName(file)) {
            ConvFile conv;
            conv.setBadLineHandler(
                [&](const QByteArray& report) { output.out(name + QStringLiteral(": ") + toUi(report) + u'\n'); });
            qint64 good = 0;
            qint64 bad = 0;
            const ConvFile::Status status = conv.readText(
                file, table,
                [&](const char* record, const char*, qsizetype, qint64) {
                    sink(record, number++);
                    return true;
                },
                good, bad);
            if (status == ConvFile::Status::FileError) {
                error(QStringLiteral("файл %1 не прочитан").arg(name));
                return Failed;
            }
            if (status == ConvFile::Status::BadLines) {
                error(QStringLiteral("в файле %1 строк с ошибками: %2").arg(name).arg(bad));
                return BadLines;
            }
            return Done;
        }
        QFile bin(file);
        if (!bin.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
            error(QStringLiteral("файл %1 не открыт: %2").arg(name, bin.errorString()));
            return Failed;
        }
        const qint64 len = table.recordLength;
        QByteArray in(qMax<qint64>(1, FileChunkBytes / len) * len, Qt::Uninitialized);
        for (;;) {
            const qint64 got = readFull(bin, in.data(), in.size());
            if (got < 0) {
                error(QStringLiteral("файл %1 не прочитан").arg(name));
                return Failed;
            }
            if (got % len != 0) {
                error(QStringLiteral("файл %1 не прочитан: в конце неполная запись (длина записи %2)")
                          .arg(name)
                          .arg(len));
                return Failed;
            }
            for (qint64 at = 0; at < got; at += len)
                sink(in.constData() + at, number++);
            if (got < in.size())
                return Done;
        }
    }
};

// The tallies by key. Codes and barcodes fit in 16 bytes and are kept as two words in an open
// table (the goods look keys up a million times, mostly in vain); a longer key is kept whole.
class KeyMap {
public:
    // The entry of the key, 0 when it was not there (the caller fills it).
    qint32& entry(const QByteArray& key)
    {
        Packed p;
        if (!pack(key, p))
            return m_long[QByteArray(key.constData(), key.size())];
        if (2 * (m_used + 1) > qsizetype(m_slots.size()))
            grow();
        Slot& slot = m_slots[place(p)];
        if (!slot.used) {
            slot.used = true;
            slot.key = p;
            ++m_used;
        }
        return slot.value;
    }
    // The entry's value, or -1.
    qint32 find(const QByteArray& key) const
    {
        Packed p;
        if (!pack(key, p)) {
            const auto it = m_long.constFind(key);
            return it == m_long.cend() ? -1 : *it;
        }
        if (m_slots.empty())
            return -1;
        const Slot& slot = m_slots[place(p)];
        return slot.used ? slot.value : -1;
    }
    // Every value less one: entries are filled as index + 1.
    void lowerAll()
    {
        for (Slot& slot : m_slots)
            slot.value -= slot.used ? 1 : 0;
        for (qint32& value : m_long)
            --value;
    }

private:
    struct Packed {
        quint64 low = 0;
        quint64 high = 0;
    };
    struct Slot {
        Packed key;
        qint32 value = 0;
        bool used = false;
    };
    static bool pack(const QByteArray& key, Packed& p)
    {
        if (key.size() > 15)
            return false;
        char bytes[16] {};
        std::memcpy(bytes, key.constData(), size_t(key.size()));
        bytes[15] = char(key.size()); // "12" and "12\0" differ
        std::memcpy(&p.low, bytes, 8);
        std::memcpy(&p.high, bytes + 8, 8);
        return true;
    }
    // The key's slot, or the free one where it belongs (linear probing; the table is at most half full).
    size_t place(const Packed& p) const
    {
        quint64 h = p.low * 0x9E3779B97F4A7C15ULL ^ p.high;
        h ^= h >> 32;
        h *= 0xD6E8FEB86659FD93ULL;
        h ^= h >> 32;
        const size_t mask = m_slots.size() - 1;
        size_t i = size_t(h) & mask;
        while (m_slots[i].used && (m_slots[i].key.low != p.low || m_slots[i].key.high != p.high))
            i = (i + 1) & mask;
        return i;
    }
    void grow()
    {
        std::vector<Slot> old(m_slots.empty() ? 1024 : 2 * m_slots.size());
        old.swap(m_slots);
        for (const Slot& slot : old)
            if (slot.used)
                m_slots[place(slot.key)] = slot;
    }

    std::vector<Slot> m_slots; // a power of two of them
    qsizetype m_used = 0;
    QHash<QByteArray, qint32> m_long;
};

// What the results counted under one key: a code, or for lines without one a barcode.
struct Tally {
    QByteArray code;
    QByteArray bar;
    QByteArray name; // of its first line
    qint64 lines = 0;
    bool matched = false; // a goods item took it
};

// A goods item of the report; its texts are in the text pool.
struct Row {
    quint64 order; // the code as a number; above every number for codes that are none
    qint64 textAt;
    quint16 codeSize;
    quint16 barSize;
    quint16 nameSize;
    qint32 price;
    qint32 book;
    qint32 byCode; // tallies, or -1
    qint32 byBar;
    quint32 recordNo;
};

constexpr quint64 NotANumber = std::numeric_limits<quint64>::max();

quint64 orderOf(const QByteArray& code)
{
    if (code.isEmpty() || code.size() > 18)
        return NotANumber;
    quint64 n = 0;
    for (const char c : code) {
        if (c < '0' || c > '9')
            return NotANumber;
        n = n * 10 + quint64(c - '0');
    }
    return n;
}

struct Totals {
    qint64 bookValue = 0;
    qint64 countedValue = 0;
    qint64 shortValue = 0; // positive
    qint64 overValue = 0;
    qint64 itemsShort = 0;
    qint64 itemsOver = 0;
    qint64 itemsEqual = 0;
    qint64 looseLines = 0;
};

// One cell of the report, as both writers need it.
struct Cell {
    enum Kind { Empty, Text, Quantity, Amount, Count } kind = Empty;
    QByteArray text; // UTF-8
    qint64 value = 0;
};

// Windows-1251 to UTF-8 by a table made once from the program's own code page.
void appendUtf8(const char* text, qsizetype size, QByteArray& out)
{
    static const std::vector<QByteArray> table = [] {
        std::vector<QByteArray> t(256);
        for (int b = 0; b < 256; ++b)
            t[size_t(b)] = b < 0x80 ? QByteArray(1, char(b)) : toUi(QByteArray(1, char(b))).toUtf8();
        return t;
    }();
    // At most three bytes a letter; written in place, the size set once.
    const qsizetype start = out.size();
    out.resize(start + 3 * size);
    char* w = out.data() + start;
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            *w++ = char(b);
            continue;
        }
        const QByteArray& seq = table[b];
        std::memcpy(w, seq.constData(), size_t(seq.size()));
        w += seq.size();
    }
    out.resize(w - out.constData());
}

QByteArray utf8Of(const QByteArray& cp1251Text)
{
    QByteArray out;
    appendUtf8(cp1251Text.constData(), cp1251Text.size(), out);
    return out;
}

class VarianceReport {
public:
    VarianceReport(const ReconcileRequest& request, const CsvOutput& output)
        : m_request(request)
        , m_output(output)
        , m_labels(request.sources.size())
    {
    }

    int run();

private:
    int readResults();
    int readBook();
    void summarise();
    QList<QByteArray> headings() const;
    void rowCells(const Row& row, QList<Cell>& cells) const;
    QList<QPair<QString, Cell>> totalCells() const;
    QList<QByteArray> looseHeadings() const;
    // The not-in-directory rows: per tally left over, one per result that counted it.
    void looseRows(const std::function<void(const QList<Cell>&)>& sink) const;
    int writeCsv();
    int writeXlsx();
    void error(const QString& message) const { m_output.err(QStringLiteral("ortova-tool: ") + message + u'\n'); }

    qint64 counted(qint32 tally, int label) const
    {
        return tally < 0 ? 0 : m_perLabel[size_t(tally) * m_labels + label];
    }
    qint64 countedTotal(const Row& row) const
    {
        qint64 sum = 0;
        for (int l = 0; l < m_labels; ++l)
            sum += counted(row.byCode, l) + counted(row.byBar, l);
        return sum;
    }

    const ReconcileRequest& m_request;
    const CsvOutput& m_output;
    const int m_labels;
    std::vector<Tally> m_tallies;
    std::vector<qint64> m_perLabel; // tally * labels + label
    std::vector<qint32> m_linesPerLabel; // the same places: lines that a result had
    KeyMap m_byCode;
    KeyMap m_byBar;
    std::vector<Row> m_rows;
    QByteArray m_texts;
    Totals m_totals;
};

int VarianceReport::readResults()
{
    const TableDescr& table = *m_request.results;
    Fields f;
    const QString lacks = fieldsOf(table, f);
    if (!lacks.isEmpty()) {
        error(QStringLiteral("таблица %1: %2").arg(toUi(table.extension), lacks));
        return Failed;
    }
    int result = Done;
    for (int label = 0; label < m_labels; ++label) {
        const int read
            = Reader { m_output }.read(table, m_request.sources[label].file, [&](const char* record, qint64) {
                  const QByteArray code = f.code >= 0 ? textOf(table.fields[f.code], record) : QByteArray();
                  const QByteArray bar = f.bar >= 0 ? textOf(table.fields[f.bar], record) : QByteArray();
                  KeyMap& keys = code.isEmpty() ? m_byBar : m_byCode;
                  const QByteArray& key = code.isEmpty() ? bar : code;
                  qint32& tally = keys.entry(key);
                  if (tally == 0) {
                      Tally t;
                      t.code = QByteArray(code.constData(), code.size());
                      t.bar = QByteArray(bar.constData(), bar.size());
                      if (f.name >= 0) {
                          const QByteArray name = textOf(table.fields[f.name], record);
                          t.name = QByteArray(name.constData(), name.size());
                      }
                      m_tallies.push_back(t);
                      m_perLabel.resize(m_perLabel.size() + size_t(m_labels), 0);
                      m_linesPerLabel.resize(m_perLabel.size(), 0);
                      tally = qint32(m_tallies.size()); // from 1: 0 is the fresh entry
                  }
                  ++m_tallies[size_t(tally - 1)].lines;
                  ++m_linesPerLabel[size_t(tally - 1) * m_labels + label];
                  m_perLabel[size_t(tally - 1) * m_labels + label] += numberOf(table.fields[f.quantity], record);
              });
        result = qMax(result, read);
        if (read == Failed)
            return Failed;
    }
    // Entries hold tally + 1 while they are filled; from here on the index itself.
    m_byCode.lowerAll();
    m_byBar.lowerAll();
    return result;
}

int VarianceReport::readBook()
{
    const TableDescr& table = *m_request.book;
    Fields f;
    const QString lacks = fieldsOf(table, f);
    if (!lacks.isEmpty()) {
        error(QStringLiteral("таблица %1: %2").arg(toUi(table.extension), lacks));
        return Failed;
    }
    // A key counted once: the first goods item with it takes it.
    auto take = [&](const KeyMap& keys, const QByteArray& key) -> qint32 {
        const qint32 tally = key.isEmpty() ? -1 : keys.find(key);
        if (tally < 0 || m_tallies[size_t(tally)].matched)
            return -1;
        m_tallies[size_t(tally)].matched = true;
        return tally;
    };
    // A binary book holds at most this many rows: room reserved once instead of grown by copies
    // (pages never written to take no memory).
    const QString binary = resolveFileCase(m_request.bookFile);
    if (isBinaryName(binary)) {
        const qint64 records = QFileInfo(binary).size() / table.recordLength;
        qint64 textBytes = 0;
        for (const int i : { f.code, f.bar, f.name })
            textBytes += i >= 0 ? table.fields[i].width : 0;
        m_rows.reserve(size_t(records));
        m_texts.reserve(records * textBytes);
    }
    return Reader { m_output }.read(table, m_request.bookFile, [&](const char* record, qint64 number) {
        const QByteArray code = f.code >= 0 ? textOf(table.fields[f.code], record) : QByteArray();
        const QByteArray bar = f.bar >= 0 ? textOf(table.fields[f.bar], record) : QByteArray();
        const qint32 book = numberOf(table.fields[f.quantity], record);
        const qint32 byCode = take(m_byCode, code);
        const qint32 byBar = take(m_byBar, bar);
        if (byCode < 0 && byBar < 0 && book == 0)
            return;
        const QByteArray name = f.name >= 0 ? textOf(table.fields[f.name], record) : QByteArray();
        Row row;
        row.order = orderOf(code);
        row.textAt = m_texts.size();
        row.codeSize = quint16(code.size());
        row.barSize = quint16(bar.size());
        row.nameSize = quint16(name.size());
        m_texts.append(code).append(bar).append(name);
        row.price = f.price >= 0 ? numberOf(table.fields[f.price], record) : 0;
        row.book = book;
        row.byCode = byCode;
        row.byBar = byBar;
        row.recordNo = quint32(number);
        m_rows.push_back(row);
    });
}

void VarianceReport::summarise()
{
    const char* texts = m_texts.constData();
    std::sort(m_rows.begin(), m_rows.end(), [texts](const Row& a, const Row& b) {
        if (a.order != b.order)
            return a.order < b.order;
        const int c = std::memcmp(texts + a.textAt, texts + b.textAt, std::min(a.codeSize, b.codeSize));
        if (c != 0)
            return c < 0;
        if (a.codeSize != b.codeSize)
            return a.codeSize < b.codeSize;
        return a.recordNo < b.recordNo;
    });
    for (const Row& row : m_rows) {
        const qint64 total = countedTotal(row);
        const qint64 difference = total - row.book;
        const qint64 value = amountOf(difference, row.price);
        m_totals.bookValue += amountOf(row.book, row.price);
        m_totals.countedValue += amountOf(total, row.price);
        if (difference < 0) {
            ++m_totals.itemsShort;
            m_totals.shortValue -= value;
        } else if (difference > 0) {
            ++m_totals.itemsOver;
            m_totals.overValue += value;
        } else {
            ++m_totals.itemsEqual;
        }
    }
    for (const Tally& t : m_tallies)
        if (!t.matched)
            m_totals.looseLines += t.lines;
}

QList<QByteArray> VarianceReport::headings() const
{
    QList<QByteArray> h { "Код", "Штрихкод", "Наименование", "Цена", "Учёт", "Факт" };
    for (const ReconcileResult& r : m_request.sources)
        h << QByteArrayLiteral("Факт ") + r.label.toUtf8();
    h << "Разница"
      << "Сумма разницы";
    return h;
}

QList<QByteArray> VarianceReport::looseHeadings() const
{
    return { "Код", "Штрихкод", "Наименование", "Факт", "Метка" };
}

// The row's cells, written over those of the row before so that no cell allocates anew.
void VarianceReport::rowCells(const Row& row, QList<Cell>& cells) const
{
    cells.resize(8 + m_labels);
    const char* t = m_texts.constData() + row.textAt;
    auto text = [&](int i, const char* bytes, qsizetype size) {
        Cell& c = cells[i];
        c.kind = Cell::Text;
        c.text.resize(0);
        appendUtf8(bytes, size, c.text);
    };
    auto number = [&](int i, Cell::Kind kind, qint64 value) {
        cells[i].kind = kind;
        cells[i].value = value;
    };
    text(0, t, row.codeSize);
    text(1, t + row.codeSize, row.barSize);
    text(2, t + row.codeSize + row.barSize, row.nameSize);
    number(3, Cell::Amount, row.price);
    number(4, Cell::Quantity, row.book);
    qint64 total = 0;
    for (int l = 0; l < m_labels; ++l) {
        const qint64 q = counted(row.byCode, l) + counted(row.byBar, l);
        number(6 + l, Cell::Quantity, q);
        total += q;
    }
    number(5, Cell::Quantity, total);
    number(6 + m_labels, Cell::Quantity, total - row.book);
    number(7 + m_labels, Cell::Amount, amountOf(total - row.book, row.price));
}

void VarianceReport::looseRows(const std::function<void(const QList<Cell>&)>& sink) const
{
    std::vector<size_t> loose;
    for (size_t i = 0; i < m_tallies.size(); ++i)
        if (!m_tallies[i].matched)
            loose.push_back(i);
    std::sort(loose.begin(), loose.end(), [this](size_t a, size_t b) {
        const Tally& x = m_tallies[a];
        const Tally& y = m_tallies[b];
        const quint64 ox = orderOf(x.code);
        const quint64 oy = orderOf(y.code);
        if (ox != oy)
            return ox < oy;
        return x.code != y.code ? x.code < y.code : x.bar < y.bar;
    });
    for (const size_t i : loose) {
        const Tally& t = m_tallies[i];
        for (int l = 0; l < m_labels; ++l) {
            if (m_linesPerLabel[i * size_t(m_labels) + size_t(l)] == 0)
                continue; // this result had no line of the key
            sink({ { Cell::Text, utf8Of(t.code), 0 }, { Cell::Text, utf8Of(t.bar), 0 },
                { Cell::Text, utf8Of(t.name), 0 }, { Cell::Quantity, {}, counted(qint32(i), l) },
                { Cell::Text, m_request.sources[l].label.toUtf8(), 0 } });
        }
    }
}

QList<QPair<QString, Cell>> VarianceReport::totalCells() const
{
    return {
        { QStringLiteral("Сумма по учёту"), { Cell::Amount, {}, m_totals.bookValue } },
        { QStringLiteral("Сумма по факту"), { Cell::Amount, {}, m_totals.countedValue } },
        { QStringLiteral("Недостача на сумму"), { Cell::Amount, {}, m_totals.shortValue } },
        { QStringLiteral("Излишки на сумму"), { Cell::Amount, {}, m_totals.overValue } },
        { QStringLiteral("Позиций с недостачей"), { Cell::Count, {}, m_totals.itemsShort } },
        { QStringLiteral("Позиций с излишками"), { Cell::Count, {}, m_totals.itemsOver } },
        { QStringLiteral("Позиций без расхождений"), { Cell::Count, {}, m_totals.itemsEqual } },
        { QStringLiteral("Строк нет в справочнике"), { Cell::Count, {}, m_totals.looseLines } },
    };
}

int VarianceReport::run()
{
    const int results = readResults();
    if (results == Failed)
        return Failed;
    const int book = readBook();
    if (book == Failed || results != Done || book != Done) {
        error(QStringLiteral("отчёт %1 не записан").arg(m_request.report));
        return qMax(results, book);
    }
    summarise();
    if (m_request.report.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return writeXlsx();
    return writeCsv();
}

int VarianceReport::writeCsv()
{
    const CsvDialect& d = m_request.dialect;
    ReplaceFile file(m_request.report);
    if (!file.open()) {
        error(QStringLiteral("файл %1 не создан: %2").arg(m_request.report, file.errorString()));
        return Failed;
    }
    QByteArray out = csvFileStart();
    auto line = [&](const QList<Cell>& cells) {
        for (int i = 0; i < cells.size(); ++i) {
            if (i > 0)
                out += d.delimiter;
            const Cell& c = cells[i];
            switch (c.kind) {
            case Cell::Empty:
                break;
            case Cell::Text:
                appendCsvCell(c.text, d, out);
                break;
            case Cell::Quantity:
                appendCsvDecimal(c.value, 3, d, out);
                break;
            case Cell::Amount:
                appendCsvDecimal(c.value, 2, d, out);
                break;
            case Cell::Count:
                out += QByteArray::number(c.value);
                break;
            }
        }
        out += "\r\n";
        if (out.size() < FileChunkBytes)
            return true;
        const bool written = file.write(out);
        out.resize(0);
        return written;
    };
    auto titles = [](const QList<QByteArray>& names) {
        QList<Cell> cells;
        for (const QByteArray& n : names)
            cells.append({ Cell::Text, n, 0 });
        return cells;
    };
    bool ok = line(titles(headings()));
    QList<Cell> cells;
    for (const Row& row : m_rows) {
        rowCells(row, cells);
        ok = ok && line(cells);
    }
    if (m_totals.looseLines > 0) {
        ok = ok && line({}) && line(titles({ SheetLoose.toUtf8() })) && line(titles(looseHeadings()));
        looseRows([&](const QList<Cell>& c) { ok = ok && line(c); });
    }
    ok = ok && line({});
    for (const auto& [label, value] : totalCells())
        ok = ok && line({ { Cell::Text, label.toUtf8(), 0 }, value });
    if (!ok || !file.write(out) || !file.commit()) {
        error(QStringLiteral("файл %1 не записан: %2").arg(m_request.report, file.errorString()));
        return Failed;
    }
    m_output.out(
        QStringLiteral("Позиций: %1, строк нет в справочнике: %2\n").arg(m_rows.size()).arg(m_totals.looseLines));
    return Done;
}

// Characters a cell shows, for the column's fitted width.
int shownWidth(const Cell& c)
{
    switch (c.kind) {
    case Cell::Empty:
        return 0;
    case Cell::Text: {
        int characters = 0; // UTF-8 bytes that start one
        for (const char b : c.text)
            characters += (static_cast<unsigned char>(b) & 0xC0) != 0x80;
        return characters;
    }
    case Cell::Quantity:
        return int(QByteArray::number(c.value < 0 ? -c.value : c.value).size()) + 2 + (c.value < 0);
    case Cell::Amount:
        return int(QByteArray::number(c.value < 0 ? -c.value : c.value).size()) + 2 + (c.value < 0);
    case Cell::Count:
        return int(QByteArray::number(c.value).size());
    }
    return 0;
}

class Workbook {
public:
    explicit Workbook(const QString& file)
    {
        lxw_workbook_options options {};
        options.constant_memory = LXW_TRUE; // rows go to a temporary file as they are written
        options.use_zip64 = LXW_TRUE;
        m_book = workbook_new_opt(QFile::encodeName(file).constData(), &options);
        if (!m_book)
            return;
        m_bold = workbook_add_format(m_book);
        format_set_bold(m_bold);
        for (int bold = 0; bold < 2; ++bold) {
            m_quantity[bold] = workbook_add_format(m_book);
            format_set_num_format(m_quantity[bold], "0.000");
            m_amount[bold] = workbook_add_format(m_book);
            format_set_num_format(m_amount[bold], "0.00");
            m_count[bold] = workbook_add_format(m_book);
            format_set_num_format(m_count[bold], "0");
            if (bold) {
                format_set_bold(m_quantity[bold]);
                format_set_bold(m_amount[bold]);
                format_set_bold(m_count[bold]);
            }
        }
    }
    ~Workbook()
    {
        if (m_book)
            workbook_close(m_book); // a book given up is still closed; its file is a temporary
    }
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    bool isOpen() const { return m_book != nullptr; }
    lxw_worksheet* sheet(const QString& name) { return workbook_add_worksheet(m_book, name.toUtf8().constData()); }
    // One row's cells from column `from`; false when the library refused one.
    bool write(lxw_worksheet* sheet, qint64 row, const QList<Cell>& cells, bool bold = false, int from = 0)
    {
        bool ok = true;
        for (int i = 0; i < cells.size(); ++i) {
            const Cell& c = cells[i];
            const lxw_col_t col = lxw_col_t(from + i);
            const lxw_row_t r = lxw_row_t(row);
            lxw_error e = LXW_NO_ERROR;
            switch (c.kind) {
            case Cell::Empty:
                break;
            case Cell::Text:
                e = worksheet_write_string(sheet, r, col, c.text.constData(), bold ? m_bold : nullptr);
                break;
            case Cell::Quantity:
                e = worksheet_write_number(sheet, r, col, double(c.value) / 1000, m_quantity[bold]);
                break;
            case Cell::Amount:
                e = worksheet_write_number(sheet, r, col, double(c.value) / 100, m_amount[bold]);
                break;
            case Cell::Count:
                e = worksheet_write_number(sheet, r, col, double(c.value), m_count[bold]);
                break;
            }
            ok = ok && e == LXW_NO_ERROR;
        }
        return ok;
    }
    lxw_format* bold() const { return m_bold; }
    // Closes the book; false when the file was not written.
    bool close()
    {
        const lxw_error e = workbook_close(m_book);
        m_book = nullptr;
        return e == LXW_NO_ERROR;
    }

private:
    lxw_workbook* m_book = nullptr;
    lxw_format* m_bold = nullptr;
    lxw_format* m_quantity[2] {};
    lxw_format* m_amount[2] {};
    lxw_format* m_count[2] {};
};

// Header row, bold and frozen, with a filter over the table; columns as wide as their cells.
void prepareSheet(
    Workbook& book, lxw_worksheet* sheet, const QList<QByteArray>& titles, const QList<int>& widths, qint64 rows)
{
    for (int i = 0; i < titles.size(); ++i)
        worksheet_set_column(sheet, lxw_col_t(i), lxw_col_t(i), qMin(widths[i], ColumnWidthMax) + 2, nullptr);
    worksheet_freeze_panes(sheet, 1, 0);
    worksheet_autofilter(sheet, 0, 0, lxw_row_t(qMax<qint64>(rows, 1)), lxw_col_t(titles.size() - 1));
    for (int i = 0; i < titles.size(); ++i)
        worksheet_write_string(sheet, 0, lxw_col_t(i), titles[i].constData(), book.bold());
}

int VarianceReport::writeXlsx()
{
    const qint64 totalsRows = 1 + totalCells().size();
    if (qint64(m_rows.size()) + 1 + totalsRows > ExcelRowsMax) {
        error(QStringLiteral("позиций %1: лист Excel вмещает не больше %2 строк; запишите отчёт в .csv")
                  .arg(m_rows.size())
                  .arg(ExcelRowsMax));
        return Failed;
    }
    // Column widths need every cell before the first row is written.
    const QList<QByteArray> titles = headings();
    QList<int> widths;
    for (const QByteArray& t : titles)
        widths << int(QString::fromUtf8(t).size());
    QList<Cell> cells;
    for (const Row& row : m_rows) {
        rowCells(row, cells);
        for (int i = 0; i < cells.size(); ++i)
            widths[i] = qMax(widths[i], shownWidth(cells[i]));
    }
    // The totals stand under the name and price columns.
    for (const auto& [label, value] : totalCells()) {
        widths[2] = qMax(widths[2], int(label.size()));
        widths[3] = qMax(widths[3], shownWidth(value));
    }
    std::vector<QList<Cell>> loose;
    looseRows([&](const QList<Cell>& c) { loose.push_back(c); });
    const QList<QByteArray> looseTitles = looseHeadings();
    QList<int> looseWidths;
    for (const QByteArray& t : looseTitles)
        looseWidths << int(QString::fromUtf8(t).size());
    for (const QList<Cell>& c : loose)
        for (int i = 0; i < c.size(); ++i)
            looseWidths[i] = qMax(looseWidths[i], shownWidth(c[i]));
    if (qint64(loose.size()) + 1 > ExcelRowsMax) {
        error(QStringLiteral("строк нет в справочнике больше, чем вмещает лист Excel; запишите отчёт в .csv"));
        return Failed;
    }

    DurableFile file(m_request.report);
    if (!file.open()) {
        error(QStringLiteral("файл %1 не создан: %2").arg(m_request.report, file.errorString()));
        return Failed;
    }
    bool ok = false;
    {
        Workbook book(file.tempName());
        lxw_worksheet* main = book.isOpen() ? book.sheet(SheetMain) : nullptr;
        lxw_worksheet* apart = main ? book.sheet(SheetLoose) : nullptr;
        if (apart) {
            prepareSheet(book, main, titles, widths, qint64(m_rows.size()));
            ok = true;
            qint64 r = 1;
            for (const Row& row : m_rows) {
                rowCells(row, cells);
                ok = ok && book.write(main, r++, cells);
            }
            ++r; // one empty row before the totals
            for (const auto& [label, value] : totalCells())
                ok = ok && book.write(main, r++, { { Cell::Text, label.toUtf8(), 0 }, value }, true, 2);
            prepareSheet(book, apart, looseTitles, looseWidths, qint64(loose.size()));
            r = 1;
            for (const QList<Cell>& c : loose)
                ok = ok && book.write(apart, r++, c);
            ok = book.close() && ok;
        }
    }
    if (!ok) {
        file.discard();
        error(QStringLiteral("файл %1 не записан").arg(m_request.report));
        return Failed;
    }
    if (!file.commit(QFileInfo(file.tempName()).size())) {
        error(QStringLiteral("файл %1 не записан: %2").arg(m_request.report, file.errorString()));
        return Failed;
    }
    m_output.out(
        QStringLiteral("Позиций: %1, строк нет в справочнике: %2\n").arg(m_rows.size()).arg(m_totals.looseLines));
    return Done;
}

} // namespace

qint64 amountOf(qint64 quantity, qint64 price)
{
    // |quantity| = whole * 1000 + part: the product is whole * |price| kopecks plus part * |price|
    // thousandths of one, rounded on the magnitude, which keeps every step inside 64 bits.
    const quint64 q = quantity < 0 ? 0 - quint64(quantity) : quint64(quantity);
    const quint64 p = price < 0 ? 0 - quint64(price) : quint64(price);
    const quint64 magnitude = (q / 1000) * p + ((q % 1000) * p + 500) / 1000;
    return (quantity < 0) != (price < 0) ? -qint64(magnitude) : qint64(magnitude);
}

QList<QString> defaultLabels(const QList<QString>& files)
{
    QList<QString> names;
    for (const QString& f : files) {
        QString name = QFileInfo(f).completeBaseName();
        if (isBinaryName(f) && name.size() > 4
            && name.right(4).compare(QLatin1String("_res"), Qt::CaseInsensitive) == 0)
            name.chop(4);
        names << name;
    }
    QList<QString> labels = names;
    for (int i = 0; i < files.size(); ++i)
        if (names.count(names[i]) > 1)
            labels[i] = QFileInfo(files[i]).absoluteDir().dirName();
    // Folders of one name too: the file as it was given.
    for (int i = 0; i < files.size(); ++i)
        if (labels.count(labels[i]) > 1)
            labels[i] = files[i];
    return labels;
}

int reconcile(const ReconcileRequest& request, const CsvOutput& output)
{
    VarianceReport report(request, output);
    return report.run();
}
