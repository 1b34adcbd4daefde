#pragma once

#include "TableDescr.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class ProsmBrowserWin;
class ProsmCaseWin;

// The table browser and chooser. It shows one table file through a view, a page of records at
// a time, lets the operator move, search and pick, and hands the chosen record back by signal.
// Used once: the opener creates it, calls one entry, connects to its signals and destroys it
// when one of them arrives. The descriptors are the opener's and must outlive the browser; a
// local delete refreshes the table's record count, set-up stores the rows and binds the view.
class ProsmCase : public QObject {
    Q_OBJECT
public:
    enum WindowKind { KindFile, KindHelp, KindTab };

    // How a browser opens. A button with an empty text is hidden; with all three of Case, Delete
    // and Add disabled their row goes to the table. With localDelete the browser deletes the
    // chosen record itself instead of asking the opener by snDelRec(). helpText is used by the
    // help kind only.
    struct Options {
        QString caseText, deleteText, addText, backText, helpText;
        bool caseDisabled = false, deleteDisabled = false, addDisabled = false;
        bool localDelete = false;
        qint32 startRecord = 0;
    };

    explicit ProsmCase(QObject* parent = nullptr);
    ~ProsmCase() override;

    // The browser of a table file: search row, paging buttons and the scan key.
    void mainTabFile(
        const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options);
    // The chooser with options.helpText under the table (an empty text hides the area). Its window
    // stays until the browser itself is destroyed.
    void mainTabHelp(
        const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options);
    // The plain chooser: table and buttons only.
    void mainTabTab(
        const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options);

    // The window while it exists, else nullptr.
    QWidget* window() const;
    WindowKind windowKind() const { return m_kind; }
    qint32 recordCount() const { return m_count; }
    int rows() const { return m_rows; }
    qint32 topRecord() const { return m_top; }
    qint32 currentRecord() const { return m_current; }
    qint32 chosenRecord() const { return m_chosen; }
    int currentRow() const { return m_currentRow; }

public slots:
    void colChanged(int item);
    void home();
    void end();
    void pgUp();
    void search();
    void pgDown();
    void up();
    void down();
    void valueChanged(int value);
    void cellClicked(int row, int column);
    void caseRec();
    void deleteRec();
    void addRec();
    void back();
    void barRead(const QString& barcode);
    // The scan key of the file kind: the next code the scanner reads is awaited (it would be taken
    // anyway; the window now says that one is expected).
    void scan();

signals:
    void snCaseRec(int record);
    void snDelRec(int record);
    void snAddRec();
    void snExit();

private:
    void openKind(WindowKind kind, const QString& file, TableDescr& table, ViewDescr& view, const QString& title,
        const Options& options);
    void mainTabSet(
        const QString& file, TableDescr& table, ViewDescr& view, const QString& title, const Options& options);
    void mainTabCall(const TableDescr& table, qint32 startRecord);
    void fillColumnChooser(ProsmCaseWin* win);
    void chooseDefaultSearch();
    void connectWindow();
    void seeRecCur();
    void pageMove(qint32 current);
    void selectCurrentRow();
    void setChoice(bool chosen);
    void searchFailed(const QString& text);
    // Why a search text cannot match the chosen item, and which item it could match.
    QString badPatternText(const QString& text) const;
    qint32 scanField(int fieldIndex, const QByteArray& key, qint32 compareWidth);
    void destroyWindow();
    // The window with the search row while the file kind is shown, else nullptr.
    ProsmCaseWin* searchWin() const;

    QPointer<ProsmBrowserWin> m_win;
    WindowKind m_kind = KindFile;
    bool m_scanWaiting = false; // the scan key was pressed here and no code has come yet
    QString m_title;
    bool m_caseDisabled = false;
    bool m_deleteDisabled = false;
    bool m_addDisabled = false;
    bool m_localDelete = false;
    QString m_file;
    TableDescr* m_table = nullptr;
    ViewDescr* m_view = nullptr;
    qint32 m_count = 0;
    int m_columns = 0;
    int m_rows = 0;
    bool m_guard = false;
    qint32 m_top = -1;
    qint32 m_current = 0;
    qint32 m_chosen = -1;
    int m_currentRow = -1;
    // Search state of the file kind.
    int m_barField = -1;
    int m_codeField = -1;
    int m_combinedItem = -1;
    int m_barColumn = -1;
    int m_codeColumn = -1;
    bool m_combined = false;
    QList<int> m_itemFields; // field index behind every item of the column chooser
    QList<int> m_itemColumns; // view column behind every item (-1 for the combined item)
    QStringList m_itemTitles; // the shown items' titles (the combined item has none)
    int m_searchField = -1;
    int m_scrollColumn = -1;
    QByteArray m_pattern;
    bool m_setUp = false;
};
