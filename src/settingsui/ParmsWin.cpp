#include "ParmsWin.h"

#include "Codec.h"
#include "IniReader.h"
#include "TableDescr.h"
#include "Units.h"
#include "UserSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTextCodec>

namespace {

// Control characters would break the settings file's line structure.
bool storable(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    return cp1251()->canEncode(text);
}

} // namespace

ParmsWin::ParmsWin(QWidget* parent)
    : QScrollArea(parent)
    , m_body(new QWidget)
    , m_form(new QFormLayout(m_body))
{
    setObjectName(QStringLiteral("ParmsWin"));
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    // A long label puts its field on the next line: the screen is 240 pixels wide.
    m_form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    m_form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    m_form->setContentsMargins(2, 2, 2, 2);
    m_form->setVerticalSpacing(2);
    setWidget(m_body);
}

ParmsWin::~ParmsWin() = default;

int ParmsWin::textLimit(int bufferSize)
{
    return qMin(bufferSize - 1, static_cast<int>(IniReader::ValueMax));
}

void ParmsWin::addRow(Row row)
{
    m_rows.append(std::move(row));
}

void ParmsWin::addText(QByteArray* value, int bufferSize, int parmLine, const ParmTextRules& rules)
{
    Row row;
    row.kind = Kind::Text;
    row.text = value;
    row.maxBytes = textLimit(bufferSize);
    row.rules = rules;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addPassword(QByteArray* value, int bufferSize, int parmLine)
{
    Row row;
    row.kind = Kind::Password;
    row.text = value;
    // More than the scrambled form holds would be saved in a form the next start cannot read.
    row.maxBytes = qMin(textLimit(bufferSize), PasswordMax);
    row.rules.trim = true;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addInteger(qint32* value, int parmLine)
{
    Row row;
    row.kind = Kind::Integer;
    row.number = value;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addQuantity(qint32* value, int parmLine)
{
    Row row;
    row.kind = Kind::Quantity;
    row.number = value;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addCheck(bool* value, int parmLine)
{
    Row row;
    row.kind = Kind::Check;
    row.flag = value;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addEnumeration(qint32* value, const QStringList& items, int parmLine)
{
    Row row;
    row.kind = Kind::Enumeration;
    row.number = value;
    row.items = items;
    row.parmLine = parmLine;
    addRow(row);
}

void ParmsWin::addEnumeration(bool* value, const QStringList& items, int parmLine)
{
    Row row;
    row.kind = Kind::Enumeration;
    row.flag = value;
    row.items = items;
    row.parmLine = parmLine;
    addRow(row);
}

QWidget* ParmsWin::makeEditor(const Row& row)
{
    switch (row.kind) {
    case Kind::Text:
    case Kind::Password:
    case Kind::Integer:
    case Kind::Quantity: {
        auto* edit = new QLineEdit(m_body);
        if (row.kind == Kind::Password)
            edit->setEchoMode(QLineEdit::Password);
        if (row.kind == Kind::Integer)
            edit->setText(QString::number(*row.number));
        else if (row.kind == Kind::Quantity)
            edit->setText(QString::fromLatin1(formatQuantity(*row.number)));
        else
            edit->setText(toUi(*row.text));
        connect(edit, &QLineEdit::textEdited, this, &ParmsWin::pwChange);
        return edit;
    }
    case Kind::Check: {
        auto* box = new QCheckBox(m_body);
        box->setChecked(*row.flag);
        connect(box, &QCheckBox::toggled, this, &ParmsWin::pwChange);
        return box;
    }
    case Kind::Enumeration: {
        auto* combo = new QComboBox(m_body);
        combo->addItems(row.items);
        const qint32 index = row.flag ? qint32(*row.flag) : *row.number;
        // A stored value outside the list shows no item and is kept unless one is chosen.
        combo->setCurrentIndex(index >= 0 && index < row.items.size() ? index : -1);
        connect(combo, &QComboBox::currentIndexChanged, this, &ParmsWin::pwChange);
        return combo;
    }
    }
    return nullptr;
}

void ParmsWin::build(const ParmViewDescr& view)
{
    m_body->setFont(QFont(toUi(view.fontFamily), view.fontSize));
    for (int i = 0; i < m_rows.size(); ++i) {
        Row& row = m_rows[i];
        if (row.editor)
            continue;
        if (row.parmLine >= 0 && row.parmLine < view.parms.size())
            row.label = toUi(view.parms[row.parmLine].label);
        row.editor = makeEditor(row);
        row.editor->setObjectName(QStringLiteral("Parm%1").arg(i));
        row.editor->installEventFilter(this);
        auto* label = new QLabel(row.label, m_body);
        label->setObjectName(QStringLiteral("ParmLabel%1").arg(i));
        label->setBuddy(row.editor);
        // The row with the focus is shown by its label in the selection colours.
        label->setBackgroundRole(QPalette::Highlight);
        label->setForegroundRole(QPalette::WindowText);
        row.labelWidget = label;
        m_form->addRow(label, row.editor);
    }
    if (!m_rows.isEmpty())
        focusRow(0);
}

int ParmsWin::currentRow() const
{
    for (int i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].editor && m_rows[i].editor->hasFocus())
            return i;
    return -1;
}

void ParmsWin::focusRow(int row)
{
    QWidget* editor = m_rows[row].editor;
    editor->setFocus(Qt::OtherFocusReason);
    ensureWidgetVisible(editor);
}

void ParmsWin::markRow(int row, bool marked)
{
    QLabel* label = m_rows[row].labelWidget;
    if (!label)
        return;
    label->setAutoFillBackground(marked);
    label->setForegroundRole(marked ? QPalette::HighlightedText : QPalette::WindowText);
}

bool ParmsWin::rowMarked(int row) const
{
    const QLabel* label = m_rows[row].labelWidget;
    return label && label->autoFillBackground();
}

bool ParmsWin::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::FocusIn || type == QEvent::FocusOut) {
        for (int i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].editor != watched)
                continue;
            if (type == QEvent::KeyPress)
                return rowKey(i, static_cast<QKeyEvent*>(event));
            markRow(i, type == QEvent::FocusIn);
            break;
        }
    }
    return QScrollArea::eventFilter(watched, event);
}

void ParmsWin::editRow(int row)
{
    const Row& r = m_rows[row];
    switch (r.kind) {
    case Kind::Check: {
        auto* box = static_cast<QCheckBox*>(r.editor);
        box->toggle();
        return;
    }
    case Kind::Enumeration: {
        // Steps round the list, so that one key reaches every item.
        auto* combo = static_cast<QComboBox*>(r.editor);
        if (combo->count() > 0)
            combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
        return;
    }
    case Kind::Text:
    case Kind::Password:
    case Kind::Integer:
    case Kind::Quantity:
        // The whole value selected: what is typed next replaces it.
        static_cast<QLineEdit*>(r.editor)->selectAll();
        return;
    }
}

bool ParmsWin::rowKey(int row, QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
        if (row > 0)
            focusRow(row - 1);
        return true;
    case Qt::Key_Down:
        if (row + 1 < m_rows.size())
            focusRow(row + 1);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        editRow(row);
        return true;
    default:
        break;
    }
    const Row& r = m_rows[row];
    if (r.kind != Kind::Enumeration)
        return false;
    auto* combo = static_cast<QComboBox*>(r.editor);
    switch (event->key()) {
    case Qt::Key_Left:
        if (combo->currentIndex() > 0)
            combo->setCurrentIndex(combo->currentIndex() - 1);
        return true;
    case Qt::Key_Right:
        if (combo->currentIndex() + 1 < combo->count())
            combo->setCurrentIndex(combo->currentIndex() + 1);
        return true;
    case Qt::Key_Space:
        // The item list would cover the small screen; Left and Right choose instead.
        return true;
    default:
        return false;
    }
}

bool ParmsWin::take(const Row& row, QByteArray& text, qint32& number) const
{
    switch (row.kind) {
    case Kind::Text:
    case Kind::Password: {
        const QString shown = static_cast<QLineEdit*>(row.editor)->text();
        if (!storable(shown))
            return false;
        for (const QChar c : row.rules.refused)
            if (shown.contains(c))
                return false;
        text = fromUi(shown);
        if (row.rules.trim)
            text = IniReader::trimmed(text);
        // Counted in Windows-1251 bytes, where a Cyrillic letter is one; too long is refused, never cut.
        return text.size() <= row.maxBytes;
    }
    case Kind::Integer:
    case Kind::Quantity: {
        const QString shown = static_cast<QLineEdit*>(row.editor)->text();
        if (!storable(shown))
            return false;
        const QByteArray typed = IniReader::trimmed(fromUi(shown));
        return row.kind == Kind::Integer ? IniReader::toInt32(typed, number)
                                         : parseQuantity(typedDecimal(typed), number);
    }
    case Kind::Check:
        number = static_cast<QCheckBox*>(row.editor)->isChecked();
        return true;
    case Kind::Enumeration: {
        const int index = static_cast<QComboBox*>(row.editor)->currentIndex();
        number = index >= 0 ? index : (row.flag ? qint32(*row.flag) : *row.number);
        return true;
    }
    }
    return false;
}

int ParmsWin::writeBack()
{
    QList<QByteArray> texts(m_rows.size());
    QList<qint32> numbers(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i)
        if (!m_rows[i].editor || !take(m_rows[i], texts[i], numbers[i]))
            return i;
    for (int i = 0; i < m_rows.size(); ++i) {
        const Row& row = m_rows[i];
        if (row.text)
            *row.text = texts[i];
        else if (row.flag)
            *row.flag = numbers[i] != 0;
        else if (row.number)
            *row.number = numbers[i];
    }
    return -1;
}
