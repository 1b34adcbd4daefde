#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class NaFTPLocal;
class NaMainWin;
class NaObmen;
class NaProgramm;
class NaVvod;
class NaWgtbar;

// The settings menu behind the main menu's settings entry: opens the four settings editors and
// the weight-code directory editor, takes each one's exit back to the menu, and hands the main
// menu back on "6. Назад". A choice goes through only while the menu is shown and closes its gate,
// so a second key press arriving before an editor's window appears opens nothing more.
class NaMain : public QObject {
    Q_OBJECT
public:
    explicit NaMain(QObject* parent = nullptr);
    ~NaMain() override;

    // The third item's text for an exchange channel (OBMEN IoFTPLocal: 0, 1, 2).
    static QString channelItemText(qint32 channel);

    // What is open right now, for the program's tests.
    bool active() const { return m_active; }
    NaMainWin* window() const;
    NaProgramm* programm() const { return m_programm; }
    NaVvod* vvod() const { return m_vvod; }
    NaFTPLocal* ftpLocal() const { return m_ftpLocal; }
    NaObmen* obmen() const { return m_obmen; }
    NaWgtbar* wgtbar() const { return m_wgtbar; }

public slots:
    // The main menu's settings entry.
    void namMain();
    // "6. Назад": back to the main menu.
    void namExit();
    void namProgramm();
    void namVvod();
    void namFtpLocal();
    void namObmen();
    void namWgtbar();
    // An editor has closed: the menu again.
    void namEditorExit();

signals:
    // Emitted each time control returns to the main menu.
    void returned();
    // The program settings were put into force.
    void programmSaved();
    // The exchange settings (the channel or its folders and addresses) were put into force.
    void exchangeSaved();

private:
    bool takeGate();
    void showMenu();

    bool m_active = false;
    bool m_gate = false; // a menu choice goes through only while set
    QPointer<NaMainWin> m_win;
    NaProgramm* m_programm = nullptr;
    NaVvod* m_vvod = nullptr;
    NaFTPLocal* m_ftpLocal = nullptr;
    NaObmen* m_obmen = nullptr;
    NaWgtbar* m_wgtbar = nullptr;
};
