#include "DocumentList.h"

#include "Codec.h"
#include "ConvFile.h"
#include "DescrRegistry.h"
#include "DocKind.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "FileList.h"
#include "RecordFile.h"
#include "ReplaceFile.h"
#include "RunLog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>

namespace {

constexpr int NumberMax = 16;

// The list fields the exchange reads, by name.
struct ListFields {
    int name = -1;
    int word = -1;
    int type = -1;
    int number = -1;
    int flag = -1;
};

bool listFields(const TableDescr& tab, ListFields& f, const QByteArray& operation)
{
    if (!tableLayoutOk(tab)) {
        logLine(operation + ": list table has no description");
        return false;
    }
    const std::pair<int*, const char*> wanted[] = { { &f.name, "NAME" }, { &f.word, "SPTYPE" }, { &f.type, "TYPE" },
        { &f.number, "NUMBER" }, { &f.flag, "FLAG" } };
    for (const auto& [index, fieldName] : wanted) {
        *index = tab.fieldIndex(QByteArray(fieldName));
        if (*index < 0) {
            logLine(operation + ": list table has no field " + fieldName);
            return false;
        }
    }
    return true;
}

QByteArray fieldText(const TableDescr& table, int field, const QByteArray& record)
{
    return fieldToText(table.fields[field], record).trimmed();
}

// Why a name cannot be used as a file of the exchange folders; empty when it can.
QByteArray unsafeReason(const QByteArray& name)
{
    if (name.isEmpty())
        return "empty name";
    if (name.contains('/') || name.contains('\\') || name.contains(".."))
        return "name leaves the folder";
    for (const char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "control character in name";
    return QByteArray();
}

// Why a listed file's name cannot go into the list whole; empty when it can.
QByteArray unlistableReason(const QString& fileName, const QByteArray& name, const TableDescr& tab, int nameField)
{
    const QByteArray unsafe = unsafeReason(name);
    if (!unsafe.isEmpty())
        return unsafe;
    // Letters Windows-1251 lacks would come back as "?" and name no file.
    if (toUi(name) != fileName)
        return "name not in Windows-1251";
    if (name.contains(tab.tabChar))
        return "name holds the list separator";
    // The list trims its items: outer blanks would be lost.
    if (name.trimmed() != name)
        return "name begins or ends with a blank";
    if (name.size() > tab.fields[nameField].length)
        return "name longer than the list's NAME field";
    return QByteArray();
}

// A kind of document as the lists find it: by its text name (".TVR") or its binary table ("_TVR.BIN").
struct Kind {
    Kind(DocKind k, bool binary)
        : code(docKindCode(k))
        , extension(docKindExtension(k))
        , ending(binary ? docKindBinEnding(k) : '.' + extension)
    {
    }
    int code;
    QByteArray extension; // of the kind's table descriptor
    QByteArray ending; // upper case, as listed names end
};

const TableDescr* kindTable(const Kind& kind)
{
    return descrRegistry().table(kind.extension);
}

// One list line: name, word, code, number (or "Б/Н"), records, date, time, change flag.
QByteArray listLine(
    const QFileInfo& info, const QByteArray& name, const Kind& kind, const TableDescr& tab, bool enCaseChanged)
{
    const TableDescr* table = kindTable(kind);
    const QByteArray workName = table ? table->workName : QByteArray();
    // The number lies between the working name's length and the ending, as numbered copies are named.
    const qsizetype numberLength = name.size() - workName.size() - kind.ending.size();
    const QByteArray number = numberLength > 0 ? name.mid(workName.size(), numberLength) : QByteArray();
    const qint64 records = table && table->recordLength > 0 ? info.size() / table->recordLength : 0;
    const QDateTime modified = info.lastModified();
    const bool changed = enCaseChanged && info.suffix().compare(QLatin1String("BIN"), Qt::CaseInsensitive) == 0
        && QFileInfo::exists(resolveFileCase(info.dir().filePath(changeMarkerName(info.fileName()))));
    const char sep = tab.tabChar;
    QByteArray line = name;
    line += sep;
    line += fileListWord(kind.code);
    line += sep;
    line += QByteArray::number(kind.code);
    line += sep;
    line += number.isEmpty() ? fromUi(QStringLiteral("Б/Н")) : number;
    line += sep;
    line += QByteArray::number(records);
    line += sep;
    line += modified.toString(QStringLiteral("dd.MM.yy")).toLatin1();
    line += sep;
    line += modified.toString(QStringLiteral("hh:mm")).toLatin1();
    line += sep;
    line += changed ? '+' : ' ';
    line += "\r\n";
    return line;
}

// The line of one file, or nothing (logged) when its name cannot be listed whole.
QByteArray checkedLine(const QFileInfo& info, const Kind& kind, const TableDescr& tab, int nameField,
    bool enCaseChanged, const QByteArray& operation)
{
    const QString fileName = info.fileName();
    const QByteArray name = fromUi(fileName);
    const QByteArray reason = unlistableReason(fileName, name, tab, nameField);
    if (!reason.isEmpty()) {
        logLine(operation + ": " + reason + ", left out: " + name);
        return QByteArray();
    }
    return listLine(info, name, kind, tab, enCaseChanged);
}

bool endsWithAnyNoCase(const QByteArray& name, const QList<Kind>& kinds)
{
    for (const Kind& kind : kinds)
        if (name.size() >= kind.ending.size() && name.right(kind.ending.size()).toUpper() == kind.ending)
            return true;
    return false;
}

// File names the system cannot spell (bytes that are not UTF-8, such as Windows-1251 written by
// another machine) are invisible to the folder listing; the run log names the ones that look
// like directories, so their absence from the list has a reason.
void logUnreadableNames(const QString& folder, const QList<Kind>& kinds, const QByteArray& operation)
{
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(raw)) != raw && endsWithAnyNoCase(raw, kinds))
            logLine(operation + ": name not readable here, left out: " + raw);
    }
    ::closedir(dir);
}

// The lines of every file of folder ending in one of the kinds' endings, kind by kind.
bool folderLines(const QString& folder, const QList<Kind>& kinds, const TableDescr& tab, int nameField,
    bool enCaseChanged, const QByteArray& operation, QByteArray& out)
{
    const QDir dir(folder);
    if (folder.isEmpty() || !dir.exists()) {
        logLine(operation + ": no folder " + fromUi(folder));
        return false;
    }
    // Files only: a folder named like a directory is no directory.
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    logUnreadableNames(dir.absolutePath(), kinds, operation);
    for (const Kind& kind : kinds)
        for (const QFileInfo& info : files)
            if (info.fileName().toUpper().endsWith(QLatin1String(kind.ending)))
                out += checkedLine(info, kind, tab, nameField, enCaseChanged, operation);
    return true;
}

// Writes the list text in the work folder and converts it to the binary list table.
bool writeList(const QByteArray& lines, TableDescr& tab, const QByteArray& operation)
{
    const QString text = textFileName(tab);
    ReplaceFile file(text);
    if (!file.open() || !file.write(lines) || !file.commit()) {
        logLine(operation + ": list not written " + fromUi(text) + ' ' + fromUi(file.errorString()));
        return false;
    }
    ConvFile conv;
    const ConvFile::Status status = conv.convertToBin(text, binFileName(tab), tab);
    if (status == ConvFile::Status::FileError) {
        logLine(operation + ": list not converted");
        return false;
    }
    // A line that did not convert has its own run-log line; the others are offered.
    return true;
}

Kind sourceKind(bool receiptMode, bool binary)
{
    return Kind(receiptMode ? DocKind::Receipt : DocKind::Goods, binary);
}

QList<Kind> exchangeKinds(bool receiptMode, bool binary)
{
    return { Kind(DocKind::Results, binary), sourceKind(receiptMode, binary), Kind(DocKind::WeightCodes, binary) };
}

// The descriptor of a kind when its settings describe a table; logged when not.
const TableDescr* describedTable(const Kind& kind, const QByteArray& operation)
{
    const TableDescr* table = kindTable(kind);
    if (!table || !tableLayoutOk(*table)) {
        logLine(operation + ": no description of table " + kind.extension);
        return nullptr;
    }
    return table;
}

} // namespace

bool exchangeNameSafe(const QByteArray& name)
{
    return unsafeReason(name).isEmpty();
}

bool buildLoadList(const QString& folder, TableDescr& tab, bool receiptMode, bool enCaseChanged)
{
    QByteArray lines;
    return loadListLines(folder, tab, receiptMode, enCaseChanged, lines) && writeLoadList(lines, tab);
}

bool loadListLines(
    const QString& folder, const TableDescr& tab, bool receiptMode, bool enCaseChanged, QByteArray& lines)
{
    const QByteArray operation = QByteArrayLiteral("buildLoadList");
    ListFields f;
    if (!listFields(tab, f, operation))
        return false;
    return folderLines(folder, exchangeKinds(receiptMode, false), tab, f.name, enCaseChanged, operation, lines);
}

bool writeLoadList(const QByteArray& lines, TableDescr& tab)
{
    return writeList(lines, tab, QByteArrayLiteral("buildLoadList"));
}

QByteArray remoteListLine(const UrlInfo& info, const TableDescr& tab)
{
    if (!info.isValid() || !info.isFile)
        return QByteArray();
    const QByteArray& name = info.name;
    const QByteArray upper = name.toUpper();
    // Results are never offered for loading.
    const std::optional<DocKind> kind
        = upper.size() > 4 && upper[upper.size() - 4] == '.' ? docKindOfExtension(upper.right(3)) : std::nullopt;
    if (!kind || *kind == DocKind::Results)
        return QByteArray();
    const qint32 type = docKindCode(*kind);
    const TableDescr* table = directoryTable(type);
    const int nameField = tab.fieldIndex(QByteArrayLiteral("NAME"));
    // A name from the server must name a file of that folder, and go into the list whole.
    QByteArray reason;
    if (!exchangeNameSafe(name))
        reason = "name leaves the folder";
    else if (name.contains(tab.tabChar))
        reason = "name holds the list separator";
    else if (name.trimmed() != name)
        reason = "name begins or ends with a blank";
    else if (nameField >= 0 && name.size() > tab.fields[nameField].length)
        reason = "name longer than the list's NAME field";
    if (!reason.isEmpty()) {
        logLine(QByteArrayLiteral("ldListInfo: ") + reason + ", left out: " + name);
        return QByteArray();
    }
    const qsizetype numberLength = upper.size() - 5 - 4;
    const QByteArray docNumber = numberLength > 0 ? upper.mid(5, numberLength) : QByteArray();
    const qint64 records = table && table->recordLength > 0 && info.size > 0 ? info.size / table->recordLength : 0;
    // A listing without a date says nothing rather than 01.01.70.
    const QDateTime& modified = info.lastModified;
    const char sep = tab.tabChar;
    QByteArray line = name;
    line += sep;
    line += fileListWord(type);
    line += sep;
    line += QByteArray::number(type);
    line += sep;
    line += docNumber.isEmpty() ? fromUi(QStringLiteral("Б/Н")) : docNumber;
    line += sep;
    line += QByteArray::number(records);
    line += sep;
    if (modified.isValid())
        line += modified.toString(QStringLiteral("dd.MM.yy")).toLatin1();
    line += sep;
    if (modified.isValid())
        line += modified.toString(QStringLiteral("hh:mm")).toLatin1();
    line += sep;
    line += ' ';
    line += "\r\n";
    return line;
}

bool buildUnloadList(TableDescr& tab, bool receiptMode, bool enOnDocument, bool enCaseChanged)
{
    const QByteArray operation = QByteArrayLiteral("buildUnloadList");
    ListFields f;
    if (!listFields(tab, f, operation))
        return false;
    const QList<Kind> kinds = exchangeKinds(receiptMode, true);
    QByteArray lines;
    if (enOnDocument) {
        if (!folderLines(QDir::currentPath(), kinds, tab, f.name, enCaseChanged, operation, lines))
            return false;
        return writeList(lines, tab, operation);
    }
    for (const Kind& kind : kinds) {
        const TableDescr* table = describedTable(kind, operation);
        if (!table)
            continue;
        const QString name = binFileName(*table);
        const QByteArray unsafe = unsafeReason(fromUi(name));
        if (!unsafe.isEmpty()) {
            logLine(operation + ": " + unsafe + ", left out: " + fromUi(name));
            continue;
        }
        const QFileInfo info(resolveFileCase(name));
        if (info.isFile())
            lines += checkedLine(info, kind, tab, f.name, enCaseChanged, operation);
    }
    return writeList(lines, tab, operation);
}

QList<SelectionEntry> fixedLoadSelection(bool receiptMode)
{
    const QByteArray operation = QByteArrayLiteral("fixedLoadSelection");
    QList<SelectionEntry> entries;
    for (const Kind& kind : { sourceKind(receiptMode, false), Kind(DocKind::WeightCodes, false) }) {
        const TableDescr* table = describedTable(kind, operation);
        if (!table)
            continue;
        SelectionEntry entry;
        entry.type = kind.code;
        entry.name = fromUi(textFileName(*table));
        const QByteArray unsafe = unsafeReason(entry.name);
        if (!unsafe.isEmpty()) {
            logLine(operation + ": " + unsafe + ", left out: " + entry.name);
            continue;
        }
        entries.append(entry);
    }
    return entries;
}

bool toggleMark(TableDescr& tab, qint32 row)
{
    ListFields f;
    if (!listFields(tab, f, QByteArrayLiteral("toggleMark")))
        return false;
    const QString bin = binFileName(tab);
    QByteArray record;
    if (!readRec(bin, tab, row, record))
        return false;
    char& mark = record[tab.fields[f.flag].offset];
    mark = mark == '+' ? ' ' : '+';
    return putRec(bin, tab, row, record);
}

bool readSelection(const TableDescr& tab, QList<SelectionEntry>& entries, bool& overflow)
{
    const QByteArray operation = QByteArrayLiteral("readSelection");
    entries.clear();
    overflow = false;
    ListFields f;
    if (!listFields(tab, f, operation))
        return false;
    QFile file(resolveFileCase(binFileName(tab)));
    if (!file.open(QIODevice::ReadOnly)) {
        logLine(operation + ": list not open " + fromUi(file.fileName()));
        return false;
    }
    const qint64 len = tab.recordLength;
    const qint32 flagOffset = tab.fields[f.flag].offset;
    QByteArray record(len, Qt::Uninitialized);
    for (qint64 row = 0;; ++row) {
        const qint64 got = readFull(file, record.data(), len);
        if (got < 0) {
            logLine(operation + ": list not read");
            return false;
        }
        // A partial record at the end is no record.
        if (got < len)
            break;
        if (record.at(flagOffset) != '+')
            continue;
        const QByteArray rowText = QByteArray::number(row + 1);
        SelectionEntry entry;
        const QByteArray typeText = fieldText(tab, f.type, record);
        bool typeOk = false;
        entry.type = typeText.toInt(&typeOk);
        // Read as 0, an unknown type would copy a directory without reducing it.
        if (!typeOk || entry.type < 0 || entry.type > 4) {
            logLine(operation + ": row " + rowText + " type " + typeText + " skipped");
            continue;
        }
        entry.name = fieldText(tab, f.name, record);
        const QByteArray unsafe = unsafeReason(entry.name);
        if (!unsafe.isEmpty()) {
            logLine(operation + ": row " + rowText + ' ' + unsafe + ", skipped: " + entry.name);
            continue;
        }
        entry.number = fieldText(tab, f.number, record).left(NumberMax);
        if (entries.size() == MaxSelection) {
            overflow = true;
            logLine(operation + ": more than " + QByteArray::number(MaxSelection) + " marked");
            break;
        }
        entries.append(entry);
    }
    return true;
}

void removeExchangeLeftovers(const QString& work, bool textsAreOurs)
{
    const QDir dir(work);
    DescrRegistry& registry = descrRegistry();
    if (const TableDescr* tab = registry.table(QByteArrayLiteral("TAB")); tableDescribed(tab)) {
        const QString bin = dir.filePath(binFileName(*tab));
        QFile::remove(dir.filePath(textFileName(*tab)));
        QFile::remove(bin);
        QFile::remove(changeMarkerName(bin));
    }
    if (!textsAreOurs)
        return;
    for (const char* extension : { "TVR", "PRH", "RES", "WGT" })
        if (const TableDescr* table = registry.table(QByteArray(extension)); tableDescribed(table))
            QFile::remove(dir.filePath(textFileName(*table)));
}

TableDescr* directoryTable(qint32 type)
{
    const std::optional<DocKind> kind = docKindOf(type);
    return kind ? descrRegistry().table(docKindExtension(*kind)) : nullptr;
}

bool tableDescribed(const TableDescr* table)
{
    return table && table->recordLength > 0 && !table->workName.isEmpty() && tableLayoutOk(*table);
}

bool entryFiles(const SelectionEntry& entry, const TableDescr* table, bool load, const QString& work, EntryFiles& files)
{
    const QString name = toUi(entry.name);
    QString derived = entry.type == 0 ? name : load ? textToBinName(name) : binToTextName(name);
    if (load && tableDescribed(table) && name.compare(textFileName(*table), Qt::CaseInsensitive) == 0)
        derived = binFileName(*table);
    if (name.isEmpty() || derived.isEmpty() || (entry.type != 0 && !tableDescribed(table)))
        return false;
    const QDir dir(work);
    if (load) {
        files.name = entry.name;
        files.transfer = QDir::cleanPath(dir.filePath(name));
        // The table the program opens, whatever letter case it was made with.
        files.bin = entry.type == 0 ? files.transfer : resolveFileCase(QDir::cleanPath(dir.filePath(derived)));
    } else {
        files.bin = resolveFileCase(QDir::cleanPath(dir.filePath(name)));
        files.transfer = entry.type == 0 ? files.bin : QDir::cleanPath(dir.filePath(derived));
        files.name = fromUi(QFileInfo(files.transfer).fileName());
    }
    return true;
}

TableDescr* exchangeListTable()
{
    return descrRegistry().table(QByteArrayLiteral("TAB"));
}

ViewDescr* exchangeListView()
{
    DescrRegistry& registry = descrRegistry();
    ViewDescr* view = registry.view(QByteArrayLiteral("TAB"), fromUi(QStringLiteral("ЗАГРУЗКА")));
    if (!view || view->columns.isEmpty())
        view = registry.view(QByteArrayLiteral("TAB"), fromUi(QStringLiteral("ПРОСМОТР")));
    return view;
}

bool exchangeListReady()
{
    const TableDescr* tab = exchangeListTable();
    const ViewDescr* view = exchangeListView();
    if (!tableDescribed(tab) || !view || view->columns.isEmpty())
        return false;
    for (const char* field : { "NAME", "TYPE", "SPTYPE", "NUMBER", "FLAG" })
        if (tab->fieldIndex(QByteArray(field)) < 0)
            return false;
    return true;
}
