#include "NaSection.h"

#include "NastrWin.h"

#include "AppState.h"
#include "Codec.h"
#include "DescrRegistry.h"
#include "Dialogs.h"
#include "FileList.h"
#include "ProsmBrowserWin.h"
#include "RunLog.h"
#include "Shutdown.h"
#include "UserSettingsFile.h"

#include <QFileInfo>
#include <QStringList>

NaSection::NaSection(const QString& title, const QString& boxTitle, QObject* parent)
    : QObject(parent)
    , m_title(title)
    , m_boxTitle(boxTitle)
{
}

NaSection::~NaSection()
{
    delete m_win;
}

NastrWin* NaSection::window() const
{
    return m_win;
}

ParmsWin* NaSection::grid() const
{
    return m_grid;
}

void NaSection::naMain()
{
    if (m_win)
        return;
    m_win = new NastrWin;
    m_win->setTitle(m_title);
    connect(m_win, &NastrWin::NastrWinSave, this, &NaSection::naSave);
    connect(m_win, &NastrWin::NastrWinCancel, this, &NaSection::naCancel);
    connect(m_win, &NastrWin::NastrWinEsc, this, &NaSection::naCancel);
    m_grid = new ParmsWin;
    connect(m_grid, &ParmsWin::pwChange, this, &NaSection::naChange);

    const QByteArray page = startEdit();
    static const ParmViewDescr noPage;
    m_view = descrRegistry().parmView(page);
    if (!m_view)
        m_view = &noPage;
    addRows();
    m_win->placeGrid(m_grid);
    m_grid->build(*m_view);
    const QString text = note();
    if (!text.isEmpty())
        m_win->setNote(text);
    logLine(QByteArrayLiteral("naMain ") + page);
    showScreen(m_win);
}

void NaSection::naSave()
{
    if (!m_win)
        return;
    const int bad = m_grid->writeBack();
    if (bad >= 0) {
        refuse(m_grid->rowLabel(bad));
        return;
    }
    if (!putIntoForce())
        return;
    // What the operator saved outlives a power loss: the file is replaced now, not at exit, and the
    // exit question is left for changes that could not be written.
    AppState& state = appState();
    state.settingsChanged = true;
    SaveDialogs dialogs;
    dialogs.message = &showMessage;
    if (saveUserSettings(state.user, runAppDir(), dialogs))
        state.settingsChanged = false;
    else
        logLine(QByteArrayLiteral("naSave: OrtUser.ini not written"));
    emit saved();
    naCancel();
}

void NaSection::naCancel()
{
    if (!m_win)
        return;
    NastrWin* win = m_win;
    m_win = nullptr;
    m_grid = nullptr;
    m_view = nullptr;
    win->hide();
    // The window may be in the middle of emitting the signal that brought us here.
    win->deleteLater();
    emitExit();
}

void NaSection::naChange()
{
    // Values reach the working copy only on saving; nothing to do until then.
}

int NaSection::parmLine(const QByteArray& key) const
{
    for (int i = 0; i < m_view->parms.size(); ++i) {
        const ParmDescr& parm = m_view->parms[i];
        if (parm.key == key)
            return parm.flag == '+' ? i : -1;
    }
    return -1;
}

QString NaSection::parmLabel(const SettingKey& key) const
{
    const QByteArray wanted = upperKey(key);
    if (m_view)
        for (const ParmDescr& parm : m_view->parms)
            if (parm.key == wanted)
                return toUi(parm.label);
    return QString();
}

void NaSection::keyRow(const SettingKey& key, const SettingValue& value)
{
    const int line = parmLine(upperKey(key));
    if (line < 0)
        return;
    switch (key.type) {
    case SettingType::Text: {
        ParmTextRules rules;
        rules.trim = key.screenTrim;
        rules.refused = QString::fromLatin1(key.screenRefused);
        m_grid->addText(value.text, key.maxBytes + 1, line, rules);
        return;
    }
    case SettingType::Password:
        m_grid->addPassword(value.text, key.maxBytes + 1, line);
        return;
    case SettingType::Integer:
        m_grid->addInteger(value.number, line);
        return;
    case SettingType::Quantity:
        m_grid->addQuantity(value.number, line);
        return;
    case SettingType::Flag:
        m_grid->addCheck(value.flag, line);
        return;
    case SettingType::Choice: {
        QStringList items;
        for (const char* item : key.choices.screenItems)
            items << QString::fromUtf8(item);
        if (value.flag)
            m_grid->addEnumeration(value.flag, items, line);
        else
            m_grid->addEnumeration(value.number, items, line);
        return;
    }
    }
}

void NaSection::refuse(const QString& label) const
{
    showMessage(IconWarning, m_boxTitle, QStringLiteral("Ошибка в параметре\n") + label);
}

bool NaSection::folderReady(const QString& path, const QString& question, const QString& title)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isDir()) {
        showMessage(IconWarning, title, QStringLiteral("Папка %1.\r\nЭто файл.").arg(path));
        return false;
    }
    const AskFn ask = [](const QString& t, const QString& text, const QString& first, const QString& second) {
        return askChoice(t, text, first, second);
    };
    const ShowFn show = [](int icon, const QString& t, const QString& text) { showMessage(icon, t, text); };
    return checkFolder(path, question, title, ask, show);
}
