#include "CopyChooser.h"

#include "AppState.h"
#include "Codec.h"
#include "Dialogs.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "ProsmAdd.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"

#include <QWidget>

CopyChooser::CopyChooser(QObject* parent)
    : QObject(parent)
{
}

CopyChooser::~CopyChooser()
{
    delete m_chooser;
    delete m_editor;
}

ProsmCase* CopyChooser::chooser() const
{
    return m_chooser;
}

ProsmAdd* CopyChooser::editor() const
{
    return m_editor;
}

bool CopyChooser::open(const Options& options)
{
    m_options = options;
    return showList();
}

void CopyChooser::close()
{
    closeChooser();
    closeEditor();
}

bool CopyChooser::showList()
{
    close();
    const TableDescr& table = *m_options.table;
    TableDescr& list = *m_options.list;
    const Texts& texts = m_options.texts;
    // An undescribed table's copies are listed with no records rather than divided by zero.
    const qint32 recordLength = table.recordLength > 0 && tableLayoutOk(table) ? table.recordLength : 0;
    if (!CreFileList(textFileName(list), binFileName(list), list, m_options.kind, table.workName, recordLength,
            appState().user.obmen.enCaseChanged)) {
        logLine(QByteArrayLiteral("CopyChooser: file list not made"));
        showMessage(IconCritical, texts.title, QStringLiteral("Список файлов\nне создан"));
        return false;
    }
    m_chooser = new ProsmCase(this);
    connect(m_chooser, &ProsmCase::snCaseRec, this, &CopyChooser::lineChosen);
    connect(m_chooser, &ProsmCase::snDelRec, this, &CopyChooser::lineDeleted);
    connect(m_chooser, &ProsmCase::snAddRec, this, &CopyChooser::lineAdded);
    connect(m_chooser, &ProsmCase::snExit, this, [this] {
        close();
        emit back();
    });
    ProsmCase::Options options;
    options.caseText = QStringLiteral("Выбрать");
    options.deleteText = QStringLiteral("Удалить");
    options.addText = QStringLiteral("Добавить");
    options.backText = texts.backText;
    options.addDisabled = !m_options.numberView;
    m_chooser->mainTabTab(binFileName(list), list, *m_options.listView, texts.listTitle, options);
    return true;
}

void CopyChooser::lineChosen(int record)
{
    CopyLine line;
    if (!readCopyLine(*m_options.list, record, line)) {
        fail();
        return;
    }
    choose(line);
}

void CopyChooser::choose(const CopyLine& line)
{
    const QByteArray name = copyFileName(line, m_options.kind, m_options.table->workName);
    if (name.isEmpty()) {
        fail();
        return;
    }
    close();
    setPnameSuffix(*m_options.table, line.number);
    emit chosen(resolveFileCase(toUi(name)), line.number);
}

void CopyChooser::lineDeleted(int record)
{
    CopyLine line;
    const QByteArray name = readCopyLine(*m_options.list, record, line)
        ? copyFileName(line, m_options.kind, m_options.table->workName)
        : QByteArray();
    if (name.isEmpty()) {
        fail();
        return;
    }
    const Texts& texts = m_options.texts;
    const QString binFile = resolveFileCase(toUi(name));
    QString question = texts.deleteQuestion;
    if (m_options.kind == DocKind::Results && copyHasUnsentChanges(binFile))
        question += QLatin1Char('\n') + texts.unsentWarning;
    if (askChoice(texts.deleteTitle, question, QStringLiteral("Да"), QStringLiteral("Нет"), 1, 1) != 0)
        return;
    if (!removeCopy(binFile, m_options.kind))
        showMessage(IconWarning, texts.title, QStringLiteral("Ошибка удаления"));
    if (!showList())
        fail();
}

void CopyChooser::lineAdded()
{
    closeChooser();
    const Texts& texts = m_options.texts;
    TableDescr& list = *m_options.list;
    m_editor = new ProsmAdd(this);
    connect(m_editor, &ProsmAdd::snCaseRec, this, &CopyChooser::numberGiven);
    connect(m_editor, &ProsmAdd::snExit, this, [this] {
        if (!showList())
            fail();
    });
    m_editor->open(binFileName(list), list, *m_options.numberView, texts.numberTitle, texts.numberCaseText,
        texts.numberHelp, newCopyLine(list, m_options.kind), -1);
}

void CopyChooser::numberGiven(int record)
{
    closeEditor();
    TableDescr& list = *m_options.list;
    CopyLine line;
    if (!readCopyLine(list, record, line)) {
        fail();
        return;
    }
    if (!validCopyNumber(line.number)) {
        // The number becomes part of a file name: "../x" or "01/02" would name another folder.
        const ViewDescr& view = *m_options.numberView;
        const int column = view.columnOfField(QByteArrayLiteral("NUMBER"));
        const QString columnTitle = column >= 0 ? toUi(view.columns[column].title) : QString();
        showMessage(IconWarning, toUi(list.pname) + QStringLiteral(".Добавление."),
            QStringLiteral("Ошибка в колонке\n") + columnTitle);
        QByteArray deleted;
        deleteRec(binFileName(list), list, record, deleted);
        if (!showList())
            fail();
        return;
    }
    choose(line);
}

void CopyChooser::fail()
{
    close();
    emit failed();
}

void CopyChooser::closeChooser()
{
    if (!m_chooser)
        return;
    // The chooser may be inside one of its own signals: it goes from the event loop.
    disconnect(m_chooser, nullptr, this, nullptr);
    if (QWidget* window = m_chooser->window())
        window->hide();
    m_chooser->deleteLater();
    m_chooser = nullptr;
}

void CopyChooser::closeEditor()
{
    if (!m_editor)
        return;
    disconnect(m_editor, nullptr, this, nullptr);
    if (QWidget* window = m_editor->window())
        window->hide();
    m_editor->deleteLater();
    m_editor = nullptr;
}
