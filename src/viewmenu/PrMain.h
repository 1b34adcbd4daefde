#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class CopyChooser;
class PrMainWin;
class ProsmCase;

// The view menu behind the main menu's viewing entry: the mode's directory (goods, or the receipt
// document in goods-receipt mode), the results and the weight codes, each browsed read-only. With
// numbered documents the operator first picks one of the numbered copies from a list of the work
// folder's files, and may delete a copy there. Choosing a copy changes the table's directory
// number for the titles; every descriptor is put back as it was when the browse ends, so data
// entry afterwards works on the standard files again.
class PrMain : public QObject {
    Q_OBJECT
public:
    // The directories of the menu.
    enum Kind { KindDirectory = 0, KindResult = 1, KindWeight = 2 };

    explicit PrMain(QObject* parent = nullptr);
    ~PrMain() override;

    // What is open right now, for the program's tests.
    bool active() const { return m_active; }
    PrMainWin* menuWindow() const;
    ProsmCase* browser() const;

public slots:
    // The main menu's viewing entry.
    void prmMain();
    // Leaving the view menu: the list files go and the main menu takes over again.
    void prmExit();
    // The menu window went, however it was closed.
    void prmDestroyed(QObject* window);
    void prmTovari();
    void prmResult();
    void prmWgtbar();
    // Back from the list of copies, or the list failed: the menu again.
    void prmProsmExit();
    // Back from a browsed table: the list again with numbered documents, else the menu.
    void prmSpravExit();
    // A copy chosen from the list: browsed.
    void prmProsmCase(const QString& file, const QByteArray& number);

signals:
    // Emitted each time control returns to the main menu.
    void returned();

private:
    // A descriptor as it was when the menu opened.
    struct Saved {
        TableDescr* table = nullptr;
        QByteArray pname;
    };

    void choose(Kind kind);
    TableDescr* kindTable() const;
    ViewDescr* kindView() const;
    bool listReady() const;
    void openList();
    void browse(const QString& file, const QByteArray& number);
    void afterBrowse();
    void closeBrowser();
    void showMenu();
    void incomplete();
    void saveBindings();
    void restoreBindings();
    void finish();
    void handBack();

    QPointer<PrMainWin> m_menuWin;
    QPointer<ProsmCase> m_browser;
    CopyChooser* m_copies = nullptr;
    Kind m_kind = KindDirectory;
    QString m_listTitle;
    QString m_browseTitle; // with numbered documents the number of the copy follows
    bool m_active = false;
    QList<Saved> m_saved;
};
