#include "NaWgtbar.h"

#include "AppState.h"
#include "Codec.h"
#include "CopyChooser.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "DocKind.h"
#include "FieldCodec.h"
#include "FileList.h"
#include "ProsmAdd.h"
#include "ProsmAddWin.h"
#include "ProsmCase.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "TableBinding.h"
#include "TableFiles.h"
#include "WgtMemDescr.h"

#include <QDir>

namespace {

const QString Title = QStringLiteral("Настройка весовых кодов");
const QString ListTitle = QStringLiteral("Выбор справочника вес.кодов");
ViewDescr* describedView(const QByteArray& extension, const char* modeUtf8)
{
    ViewDescr* view = descrRegistry().view(extension, fromUi(QString::fromUtf8(modeUtf8)));
    return view && !view->columns.isEmpty() ? view : nullptr;
}

} // namespace

NaWgtbar::NaWgtbar(QObject* parent)
    : QObject(parent)
    , m_copyList(new CopyChooser(this))
{
    connect(m_copyList, &CopyChooser::chosen, this, &NaWgtbar::copyChosen);
    connect(m_copyList, &CopyChooser::back, this, &NaWgtbar::finish);
    connect(m_copyList, &CopyChooser::failed, this, &NaWgtbar::finish);
}

NaWgtbar::~NaWgtbar()
{
    delete m_browser;
    delete m_editor;
    delete m_copyList;
}

ProsmCase* NaWgtbar::browser() const
{
    return m_browser ? m_browser.data() : m_copyList->chooser();
}

ProsmAdd* NaWgtbar::editor() const
{
    return m_editor ? m_editor.data() : m_copyList->editor();
}

QString NaWgtbar::helpText()
{
    // Short lines: the help area of the terminal's screen is 240 pixels wide.
    return QStringLiteral("Дл - длина весового\n    штрихкода.\n"
                          "Преф - префикс весового\n   штрихкода.\n"
                          "Раскладка - части\n   \"число и буква\"\n   (без числа - 1):\n"
                          "xS - пропустить\n   x знаков;\n"
                          "xA - x знаков в код;\n"
                          "xW - x знаков в вес\n   (в граммах);\n"
                          "Z - нули в код вместо\n   знаков предыдущей\n   части.\n"
                          "М - вес умножается\n   на 10 в степени М.\n"
                          "Примеры:\n"
                          "Дл 13, Преф 23,\n2S6A4W1S, М 0:\n2302468013579 -\n   код 024680,\n   вес 1.357 кг.\n"
                          "Дл 13, Преф 22,\n7A5WZ1SZ, М 0:\n2204680135792 -\n   штрихкод\n   2204680000000,\n"
                          "   вес 13.579 кг.\n"
                          "Дл 13, Преф 21,\n2S6A1S3W1S, М 3:\n2102468013579 -\n   код 024680,\n   вес 357 кг.");
}

void NaWgtbar::naMain()
{
    if (m_active)
        return;
    m_active = true;
    m_copies = false;
    logLine(QByteArrayLiteral("naWgtbar"));
    const QString work = toUi(appState().workDir);
    const AskFn ask = [](const QString& title, const QString& text, const QString& first, const QString& second) {
        return askChoice(title, text, first, second);
    };
    const ShowFn show = [](int icon, const QString& title, const QString& text) { showMessage(icon, title, text); };
    if (!checkFolder(work, QStringLiteral("Нет рабочей папки"), Title, ask, show) || !QDir::setCurrent(work)) {
        finish();
        return;
    }
    if (!pickTables()) {
        logLine(QByteArrayLiteral("naWgtbar: tables incomplete"));
        showMessage(IconCritical, Title, QStringLiteral("Неполное описание\nтаблиц в OrtSystem.ini"));
        finish();
        return;
    }
    m_pname = m_wgt->pname;
    if (m_copies) {
        chooseCopy();
        return;
    }
    m_file = resolveFileCase(binFileName(*m_wgt));
    browse(0);
}

bool NaWgtbar::pickTables()
{
    DescrRegistry& registry = descrRegistry();
    m_wgt = registry.table(QByteArrayLiteral("WGT"));
    m_view = describedView(QByteArrayLiteral("WGT"), "НАСТРОЙКА");
    if (!m_view)
        m_view = describedView(QByteArrayLiteral("WGT"), "ПРОСМОТР");
    m_copies = appState().user.programm.enOnDocument;
    m_tab = registry.table(QByteArrayLiteral("TAB"));
    m_tabView = describedView(QByteArrayLiteral("TAB"), "ПРОСМОТР");
    // The list's input view shows just the number a new copy needs.
    m_numberView = describedView(QByteArrayLiteral("TAB"), "ВВОД");
    if (!m_numberView)
        m_numberView = m_tabView;
    // Records cut apart by the weight-code offsets must be weight-code records.
    const bool weights = m_wgt && WgtMemDescr::descriptorFits(*m_wgt) && m_view;
    return weights && (!m_copies || (m_tab && tableLayoutOk(*m_tab) && m_tabView));
}

void NaWgtbar::finish()
{
    m_copyList->close();
    closeBrowser();
    closeEditor();
    if (m_wgt && !m_pname.isEmpty())
        m_wgt->pname = m_pname;
    if (m_copies && m_tab && m_tab->recordLength > 0)
        removeFileList(*m_tab);
    m_pname.clear();
    m_file.clear();
    m_active = false;
    logLine(QByteArrayLiteral("naWgtbarExit"));
    emit WgtbarExit();
}

void NaWgtbar::closeBrowser()
{
    if (!m_browser)
        return;
    // The browser may be inside one of its own signals: it goes from the event loop.
    disconnect(m_browser, nullptr, this, nullptr);
    m_browser->deleteLater();
    m_browser = nullptr;
}

void NaWgtbar::closeEditor()
{
    if (!m_editor)
        return;
    disconnect(m_editor, nullptr, this, nullptr);
    m_editor->deleteLater();
    m_editor = nullptr;
}

// ---- Numbered copies -----------------------------------------------------------------------

void NaWgtbar::chooseCopy()
{
    closeBrowser();
    CopyChooser::Options options;
    options.kind = DocKind::WeightCodes;
    options.table = m_wgt;
    options.list = m_tab;
    options.listView = m_tabView;
    options.numberView = m_numberView;
    CopyChooser::Texts& texts = options.texts;
    texts.title = texts.deleteTitle = Title;
    texts.listTitle = texts.numberTitle = ListTitle;
    texts.numberCaseText = QStringLiteral("Записать");
    texts.numberHelp = QStringLiteral("Заполните поле Номер\nи нажмите кнопку Записать");
    if (!m_copyList->open(options))
        finish();
}

void NaWgtbar::copyChosen(const QString& file)
{
    logLine(QByteArrayLiteral("naWgtbar: ") + fromUi(file));
    m_file = file;
    browse(0);
}

// ---- The weight codes ----------------------------------------------------------------------

void NaWgtbar::browse(qint32 start)
{
    closeBrowser();
    m_wgt->recordCount = recordCountOf(m_file, *m_wgt);
    m_position = qBound(0, start, qMax(0, m_wgt->recordCount - 1));
    m_browser = new ProsmCase(this);
    connect(m_browser, &ProsmCase::snCaseRec, this, &NaWgtbar::editCode);
    connect(m_browser, &ProsmCase::snDelRec, this, &NaWgtbar::deleteCode);
    connect(m_browser, &ProsmCase::snAddRec, this, &NaWgtbar::addCode);
    connect(m_browser, &ProsmCase::snExit, this, &NaWgtbar::browseBack);
    ProsmCase::Options options;
    options.caseText = QStringLiteral("Изменить");
    options.deleteText = QStringLiteral("Удалить");
    options.addText = QStringLiteral("Добавить");
    options.backText = QStringLiteral("Назад");
    options.helpText = helpText();
    options.startRecord = m_position;
    m_browser->mainTabHelp(m_file, *m_wgt, *m_view, Title, options);
}

void NaWgtbar::browseBack()
{
    closeBrowser();
    if (m_copies)
        chooseCopy();
    else
        finish();
}

void NaWgtbar::editCode(int record)
{
    closeBrowser();
    m_position = record;
    openEditor(record);
}

void NaWgtbar::addCode()
{
    // Data entry refuses a directory of more codes, and with it every weight code.
    if (m_wgt->recordCount >= WgtMemDescr::MaxRecords) {
        showMessage(IconWarning, Title, QStringLiteral("Не более %1\nвесовых кодов").arg(WgtMemDescr::MaxRecords));
        return;
    }
    closeBrowser();
    openEditor(-1);
}

void NaWgtbar::deleteCode(int record)
{
    if (askChoice(Title, QStringLiteral("Удалить\nзапись?"), QStringLiteral("Да"), QStringLiteral("Нет"), 1, 1) != 0)
        return;
    QByteArray deleted;
    if (!deleteRec(m_file, *m_wgt, record, deleted))
        showMessage(IconWarning, toUi(m_wgt->pname) + QStringLiteral(".Удаление."), QStringLiteral("Ошибка удаления"));
    browse(record);
}

void NaWgtbar::openEditor(qint32 number)
{
    m_base = defaultRecord(*m_wgt);
    if (number >= 0 && !readRec(m_file, *m_wgt, number, m_base))
        m_base = defaultRecord(*m_wgt);
    m_editor = new ProsmAdd(this);
    connect(m_editor, &ProsmAdd::snCaseRec, this, &NaWgtbar::editorSaved);
    connect(m_editor, &ProsmAdd::snExit, this, &NaWgtbar::editorBack);
    if (!m_editor->open(m_file, *m_wgt, *m_view, Title, QStringLiteral("Записать"), helpText(), m_base, number))
        return;
    // The layout is checked before the editor writes: its window's Case goes here first.
    if (auto* win = qobject_cast<ProsmAddWin*>(m_editor->window())) {
        disconnect(win, &ProsmAddWin::snCaseRec, m_editor, &ProsmAdd::caseRec);
        connect(win, &ProsmAddWin::snCaseRec, this, &NaWgtbar::checkThenSave);
    }
}

void NaWgtbar::checkThenSave()
{
    auto* win = m_editor ? qobject_cast<ProsmAddWin*>(m_editor->window()) : nullptr;
    if (!win)
        return;
    closeOpenEditor(win->table(), true);
    QByteArray record = m_base;
    // A cell that does not convert is the editor's own refusal, with its own message.
    if (readRowBack(*m_wgt, *m_view, win->table(), m_editor->editRow(), record) < 0) {
        const WgtRecord code = WgtMemDescr::fromBytes(record);
        if (!WgtMemDescr::canMatch(code)) {
            logLine(QByteArrayLiteral("naWgtbar: layout refused ") + code.layout);
            const QString suffix
                = m_editor->recordNumber() < 0 ? QStringLiteral(".Добавление.") : QStringLiteral(".Изменение.");
            showMessage(IconWarning, toUi(m_wgt->pname) + suffix,
                QStringLiteral("Раскладка\n") + toUi(code.layout)
                    + QStringLiteral("\nне подходит\nни к одному штрихкоду"));
            return;
        }
    }
    m_editor->caseRec();
}

void NaWgtbar::editorSaved(int record)
{
    closeEditor();
    browse(record);
}

void NaWgtbar::editorBack()
{
    closeEditor();
    browse(m_position);
}
