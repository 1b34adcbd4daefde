#include "DescrSections.h"

#include "DescrRegistry.h"

#include <QList>

namespace {

// Descriptor key lines allow shorter values than the user sections.
constexpr int DescrValueMax = 254;

// Items of a FIELD, COLUMN or PARM value, each trimmed; missing items read as empty.
QList<QByteArray> items(const QByteArray& value, int count)
{
    const QList<QByteArray> parts = value.split(',');
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i)
        out.append(i < parts.size() ? IniReader::trimmed(parts[i]) : QByteArray());
    return out;
}

// In value order of FieldType and LenRule.
const char* const TypeWords[] = { "TEXT", "DIGIT", "INTEGER", "SUMMA", "QUANTITY", "DATE", "TIME" };
const char* const RuleWords[] = { "STANDART", "MINIMAL", "MAXLEN" };

template <std::size_t N>
int wordIndex(const QByteArray& word, const char* const (&words)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        if (word == words[i])
            return static_cast<int>(i);
    return -1;
}

template <std::size_t N>
QByteArray wordOf(int value, const char* const (&words)[N])
{
    return value >= 0 && std::size_t(value) < N ? QByteArray(words[value]) : QByteArray::number(value);
}

bool splitDescrLine(IniReader& reader, const QByteArray& raw, QByteArray& key, QByteArray& value)
{
    if (IniReader::splitKeyValue(raw, key, value, IniReader::KeyMax, DescrValueMax))
        return true;
    reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "404:Неправильная структура строки")));
    return false;
}

// A further FIELD, COLUMN or PARM line beyond what the descriptor holds is refused.
bool refuseFull(IniReader& reader)
{
    reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "404:Неправильная структура строки")));
    return false;
}

} // namespace

QByteArray fieldTypeWord(FieldType type)
{
    return wordOf(static_cast<int>(type), TypeWords);
}

QByteArray lenRuleWord(LenRule rule)
{
    return wordOf(static_cast<int>(rule), RuleWords);
}

bool applyFont(const QByteArray& value, QByteArray& family, qint32& size)
{
    if (value.isEmpty())
        return true;
    const int comma = value.indexOf(',');
    if (comma < 0) {
        family = IniReader::fitText(value, DescrNameMax);
        return true;
    }
    family = IniReader::fitText(IniReader::trimmed(value.left(comma)), DescrNameMax);
    if (IniReader::toInt32(value.mid(comma + 1), size))
        return true;
    size = 12;
    return false;
}

// ---- TABLE

bool TableSection::start(IniReader&)
{
    m_descr = TableDescr();
    return true;
}

bool TableSection::line(IniReader& reader, const QByteArray& raw)
{
    QByteArray key;
    QByteArray value;
    if (!splitDescrLine(reader, raw, key, value))
        return false;
    if (key == "NAME") {
        if (value.isEmpty())
            return false;
        m_descr.name = IniReader::fitText(value, DescrNameMax);
        m_descr.workName = m_descr.name;
    } else if (key == "EXTENSION") {
        if (value.isEmpty())
            return false;
        m_descr.extension = IniReader::fitText(value, ExtensionMax);
    } else if (key == "PNAME") {
        if (value.isEmpty())
            return false;
        m_descr.pname = IniReader::fitText(value, DescrNameMax);
    } else if (key == "TABCHAR") {
        if (value.isEmpty()) {
            m_descr.tabChar = ',';
            return false;
        }
        m_descr.tabChar = value[0];
    } else if (key == "FIELD") {
        return field(reader, value);
    } else {
        // Unknown keys are reported but do not spoil the table.
        reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "401:Нет такого параметра ")));
    }
    return true;
}

bool TableSection::field(IniReader& reader, const QByteArray& value)
{
    if (m_descr.fields.size() >= MaxFields)
        return refuseFull(reader);
    const QList<QByteArray> item = items(value, 5);
    FieldDescr f;
    f.name = IniReader::fitText(item[0], FieldNameMax);
    bool ok = true;
    const int type = wordIndex(item[1], TypeWords);
    if (type < 0) {
        reader.errorItem(1, item[1]);
        ok = false;
    }
    const int rule = wordIndex(item[2], RuleWords);
    if (rule < 0) {
        reader.errorItem(2, item[2]);
        ok = false;
    }
    if (!IniReader::toInt32(item[3], f.aux)) {
        reader.errorItem(3, item[3]);
        ok = false;
    }
    // A negative or absurd length would give a record no file or buffer can hold.
    if (!IniReader::toInt32(item[4], f.length) || f.length < 0 || f.length > MaxFieldLength) {
        reader.errorItem(4, item[4]);
        ok = false;
    }
    if (!ok)
        return false;
    f.type = static_cast<FieldType>(type);
    f.rule = static_cast<LenRule>(rule);
    m_descr.fields.append(f);
    return true;
}

bool TableSection::end(IniReader& reader)
{
    m_descr.computeLayout();
    TableDescr* slot = m_registry.table(m_descr.extension);
    if (!slot) {
        reader.errorLine(
            IniReader::text(QT_TRANSLATE_NOOP("IniReader", "409:Нет или неверный параметр EXTENSION в секции TABLE.")),
            QByteArray(), reader.headerLine());
        return false;
    }
    *slot = m_descr;
    return true;
}

// ---- VIEW

bool ViewSection::start(IniReader&)
{
    m_descr = ViewDescr();
    return true;
}

bool ViewSection::line(IniReader& reader, const QByteArray& raw)
{
    QByteArray key;
    QByteArray value;
    if (!splitDescrLine(reader, raw, key, value))
        return false;
    if (key == "TABLENAME") {
        if (value.isEmpty())
            return false;
        m_descr.tableName = IniReader::fitText(value, DescrNameMax);
    } else if (key == "TABLEEXTENSION") {
        if (value.isEmpty())
            return false;
        m_descr.tableExtension = IniReader::fitText(value, ExtensionMax);
    } else if (key == "MODE") {
        if (value.isEmpty())
            return false;
        m_descr.mode = IniReader::fitText(value, ExtensionMax);
    } else if (key == "ROWS") {
        if (!IniReader::toInt32(value, m_descr.rows)) {
            m_descr.rows = 5;
            return false;
        }
    } else if (key == "COLUMN") {
        return column(reader, value);
    } else if (key == "FONT") {
        return applyFont(value, m_descr.fontFamily, m_descr.fontSize);
    } else {
        reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "402:Нет такого параметра ")));
    }
    return true;
}

bool ViewSection::column(IniReader& reader, const QByteArray& value)
{
    if (m_descr.columns.size() >= MaxColumns)
        return refuseFull(reader);
    const QList<QByteArray> item = items(value, 5);
    ColumnDescr c;
    c.fieldName = IniReader::fitText(item[0], FieldNameMax);
    c.title = IniReader::fitText(item[1], DescrNameMax);
    bool ok = true;
    if (!IniReader::toInt32(item[2], c.width)) {
        reader.errorItem(2, item[2]);
        ok = false;
    }
    c.shown = item[3].startsWith('+') ? '+' : '-';
    static const char* const AlignWords[] = { "LEFT", "RIGHT", "CENTER" };
    const int align = wordIndex(item[4], AlignWords);
    if (align < 0) {
        reader.errorItem(4, item[4]);
        ok = false;
    }
    if (!ok)
        return false;
    static const qint32 alignments[] = { AlignLeft, AlignRight, AlignCenter };
    c.alignment = alignments[align];
    m_descr.columns.append(c);
    return true;
}

bool ViewSection::end(IniReader& reader)
{
    ViewDescr* slot = m_registry.view(m_descr.tableExtension, m_descr.mode);
    if (!slot) {
        reader.errorLine(
            IniReader::text(QT_TRANSLATE_NOOP("IniReader", "410:Нет или неверный параметр EXTENSION в секции VIEW.")),
            QByteArray(), reader.headerLine());
        return false;
    }
    *slot = m_descr;
    return true;
}

// ---- PARMVIEW

bool ParmViewSection::start(IniReader&)
{
    m_descr = ParmViewDescr();
    return true;
}

bool ParmViewSection::line(IniReader& reader, const QByteArray& raw)
{
    QByteArray key;
    QByteArray value;
    if (!splitDescrLine(reader, raw, key, value))
        return false;
    if (key == "PARMNAME") {
        m_descr.name = IniReader::fitText(value, DescrNameMax);
    } else if (key == "FONT") {
        return applyFont(value, m_descr.fontFamily, m_descr.fontSize);
    } else if (key == "PARM") {
        return parm(reader, value);
    } else {
        reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP("IniReader", "403:Нет такого параметра ")));
        return false;
    }
    return true;
}

bool ParmViewSection::parm(IniReader& reader, const QByteArray& value)
{
    if (m_descr.parms.size() >= MaxParms)
        return refuseFull(reader);
    // A fifth and sixth item are allowed and not used.
    const QList<QByteArray> item = items(value, 4);
    ParmDescr p;
    p.key = IniReader::upper(IniReader::fitText(item[0], ParmKeyMax));
    p.label = IniReader::fitText(item[1], ParmLabelMax);
    if (!IniReader::toInt32(item[2], p.kind)) {
        reader.errorItem(2, item[2]);
        return false;
    }
    p.flag = item[3].startsWith('+') ? '+' : '-';
    m_descr.parms.append(p);
    return true;
}

bool ParmViewSection::end(IniReader& reader)
{
    ParmViewDescr* slot = m_registry.parmView(m_descr.name);
    if (!slot) {
        reader.errorLine(IniReader::text(QT_TRANSLATE_NOOP(
                             "IniReader", "412:Нет или неверный параметр PARMNAME в секции PARMVIEW.")),
            QByteArray(), reader.headerLine());
        return false;
    }
    *slot = m_descr;
    return true;
}
