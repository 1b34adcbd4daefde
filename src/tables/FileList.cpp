#include "FileList.h"

#include "Codec.h"
#include "ConvFile.h"
#include "FieldCodec.h"
#include "FileIo.h"
#include "Index.h"
#include "IndexFreshness.h"
#include "KeyIndex.h"
#include "RecordFile.h"
#include "ReplaceFile.h"
#include "RunLog.h"
#include "TableFiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringBuilder>

namespace {

// A value that is none of the kinds (a cast of an unchecked code) has nothing to list.
bool knownKind(DocKind kind)
{
    return docKindOf(docKindCode(kind)).has_value();
}

bool writeList(const QString& folder, const QString& tabText, TableDescr& tab, DocKind kind, const QByteArray& workName,
    qint32 recordLength, bool enCaseChanged, bool append)
{
    QByteArray lines = fileListLines(folder, tab, kind, workName, recordLength, enCaseChanged);
    // The list is replaced whole, an appended kind too: a crash never leaves half a list.
    if (append) {
        QFile former(resolveFileCase(tabText));
        QByteArray before;
        if (former.exists() && (!former.open(QIODevice::ReadOnly) || !readToEnd(former, before))) {
            logLine(QByteArrayLiteral("FileList: ") + fromUi(tabText) + " not read");
            return false;
        }
        lines.prepend(before);
    }
    ReplaceFile text(tabText);
    if (!text.open() || !text.write(lines) || !text.commit()) {
        logLine(QByteArrayLiteral("FileList: ") + fromUi(tabText) + " not written " + fromUi(text.errorString()));
        return false;
    }
    return true;
}

bool makeList(const QString& folder, const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged, bool append)
{
    if (!knownKind(kind))
        return false;
    const bool written = writeList(folder, tabText, tab, kind, workName, recordLength, enCaseChanged, append);
    ConvFile conv;
    const bool converted = conv.ConvertToBin(tabText, tabBin, tab);
    return written && converted;
}

} // namespace

QByteArray fileListWord(qint32 code)
{
    const std::optional<DocKind> kind = docKindOf(code);
    return kind ? docKindWord(*kind) : QByteArray();
}

QByteArray fileListLines(const QString& folder, const TableDescr& tab, DocKind kind, const QByteArray& workName,
    qint32 recordLength, bool enCaseChanged)
{
    QByteArray out;
    if (!knownKind(kind))
        return out;
    const QString ending = QString::fromLatin1(docKindBinEnding(kind));
    const QByteArray word = docKindWord(kind);
    const QByteArray noNumber = fromUi(QStringLiteral("Б/Н"));
    const char sep = tab.tabChar;
    // The folder's default order: names compared without regard to case.
    const QDir dir(folder);
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& info : files) {
        const QString name = info.fileName();
        if (!name.toUpper().endsWith(ending))
            continue;
        // The number is what lies between the working name's length and the ending; the name
        // itself is not required to begin with the working name.
        const qsizetype numberLength = name.size() - workName.size() - ending.size();
        const QByteArray number = numberLength > 0 ? fromUi(name.mid(workName.size(), numberLength)) : QByteArray();
        const qint64 records = recordLength > 0 ? info.size() / recordLength : 0;
        const QDateTime modified = info.lastModified();
        const bool changed = enCaseChanged && info.suffix().toUpper() == QLatin1String("BIN")
            && QFile::exists(dir.filePath(changeMarkerName(name)));
        out += fromUi(name);
        out += sep;
        out += word;
        out += sep;
        out += QByteArray::number(docKindCode(kind));
        out += sep;
        out += number.isEmpty() ? noNumber : number;
        out += sep;
        out += QByteArray::number(records);
        out += sep;
        out += modified.toString(QStringLiteral("dd.MM.yy")).toLatin1();
        out += sep;
        out += modified.toString(QStringLiteral("hh:mm")).toLatin1();
        out += sep;
        out += changed ? '+' : ' ';
        out += "\r\n";
    }
    return out;
}

bool CreFileList(const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged)
{
    return makeList(QDir::currentPath(), tabText, tabBin, tab, kind, workName, recordLength, enCaseChanged, false);
}

bool AddFileList(const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged)
{
    return makeList(QDir::currentPath(), tabText, tabBin, tab, kind, workName, recordLength, enCaseChanged, true);
}

bool CreFileListDir(const QString& folder, const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged)
{
    return makeList(folder, tabText, tabBin, tab, kind, workName, recordLength, enCaseChanged, false);
}

bool AddFileListDir(const QString& folder, const QString& tabText, const QString& tabBin, TableDescr& tab, DocKind kind,
    const QByteArray& workName, qint32 recordLength, bool enCaseChanged)
{
    return makeList(folder, tabText, tabBin, tab, kind, workName, recordLength, enCaseChanged, true);
}

void setPnameSuffix(TableDescr& table, const QByteArray& suffix)
{
    const qsizetype blank = table.pname.indexOf(' ');
    QByteArray base = blank < 0 ? table.pname : table.pname.left(blank);
    if (!suffix.isEmpty())
        base += ' ' + suffix;
    // Window titles and lists allow a display name of DescrNameMax bytes.
    table.pname = base.left(DescrNameMax);
}

QByteArray pnameSuffix(const TableDescr& table)
{
    const qsizetype blank = table.pname.indexOf(' ');
    return blank < 0 ? QByteArray() : table.pname.mid(blank + 1);
}

bool validFolderName(const QString& path)
{
    if (path.trimmed().isEmpty())
        return false;
    for (const QChar c : path) {
        if (c.unicode() < 0x20 || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"')
            || c == QLatin1Char('|') || c == QLatin1Char('?') || c == QLatin1Char('*') || c == QLatin1Char(':'))
            return false;
    }
    return true;
}

bool checkFolder(
    const QString& path, const QString& question, const QString& title, const AskFn& ask, const ShowFn& show)
{
    QString native = path;
    native.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!native.isEmpty() && QFileInfo(native).isDir())
        return true;
    if (!validFolderName(native)) {
        if (show)
            show(2, title, QStringLiteral("Папка %1.\r\nНеправильное имя.").arg(path));
        return false;
    }
    if (!ask || ask(title, question, QStringLiteral("Создать"), QStringLiteral("Выйти")) != 0)
        return false;
    if (QDir().mkpath(native) && QFileInfo(native).isDir())
        return true;
    if (show)
        show(3, title, QStringLiteral("Папка не создана"));
    return false;
}

bool validCopyNumber(const QByteArray& number)
{
    if (number.isEmpty())
        return false;
    for (const char ch : number) {
        const auto c = static_cast<unsigned char>(ch);
        const bool latin = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool cyrillic = c >= 0xC0 || c == 0xA8 || c == 0xB8; // А..я, Ё, ё in Windows-1251
        if (!latin && !cyrillic && !(c >= '0' && c <= '9') && c != '-' && c != '_')
            return false;
    }
    return true;
}

void removeFileList(const TableDescr& tab)
{
    const QString bin = binFileName(tab);
    QFile::remove(textFileName(tab));
    QFile::remove(bin);
    QFile::remove(changeMarkerName(bin));
}

bool readCopyLine(const TableDescr& tab, qint32 record, CopyLine& line)
{
    QByteArray row;
    if (record < 0 || !readRec(binFileName(tab), tab, record, row))
        return false;
    const auto text = [&](const QByteArray& name) {
        const int field = tab.fieldIndex(name);
        return field < 0 ? QByteArray() : fieldToText(tab.fields[field], row).trimmed();
    };
    line.name = text(QByteArrayLiteral("NAME"));
    line.number = text(QByteArrayLiteral("NUMBER"));
    return true;
}

QByteArray copyFileName(const CopyLine& line, DocKind kind, const QByteArray& workName)
{
    if (line.name.isEmpty())
        return validCopyNumber(line.number) ? numberedCopyName(workName, line.number, kind) : QByteArray();
    // The list names files of the work folder, never a path.
    return line.name.contains('/') || line.name.contains('\\') ? QByteArray() : line.name;
}

QByteArray newCopyLine(const TableDescr& tab, DocKind kind)
{
    QByteArray line = defaultRecord(tab);
    const int type = tab.fieldIndex(QByteArrayLiteral("TYPE"));
    if (type >= 0)
        textToField(tab.fields[type], QByteArray::number(docKindCode(kind)), line);
    const int word = tab.fieldIndex(QByteArrayLiteral("SPTYPE"));
    if (word >= 0)
        textToField(tab.fields[word], docKindWord(kind), line);
    return line;
}

bool copyHasUnsentChanges(const QString& binFile)
{
    return QFile::exists(resolveFileCase(changeMarkerName(binFile)));
}

bool removeCopy(const QString& binFile, DocKind kind)
{
    logLine(QByteArrayLiteral("removeCopy ") + fromUi(binFile));
    QStringList files { binFile, resolveFileCase(changeMarkerName(binFile)) };
    const QString textFile = binToTextName(binFile);
    if (!textFile.isEmpty())
        files << resolveFileCase(textFile);
    // The goods index files beside it may be this copy's.
    if (kind == DocKind::Goods)
        for (const KeyRole role : { KeyRole::Bar, KeyRole::Code })
            files << indexFileName(binFile, role) << sortedIndexFileName(indexFileName(binFile, role));
    for (const QString& file : std::as_const(files)) {
        if (!QFile::exists(file))
            continue;
        const bool removed = QFile::remove(file);
        noteFileWritten(file);
        if (!removed) {
            logLine(QByteArrayLiteral("removeCopy: not removed ") + fromUi(file));
            if (file == binFile)
                return false;
        }
    }
    // The operator is told the copy is gone: it must stay gone after a power loss.
    if (!syncFolder(QFileInfo(binFile).absolutePath()))
        logLine(QByteArrayLiteral("removeCopy: folder not flushed ") + fromUi(binFile));
    return true;
}
