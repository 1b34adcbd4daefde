#pragma once

#include "DocKind.h"
#include "ProsmAdd.h"
#include "ProsmCase.h"
#include "ResultBook.h"
#include "TableDescr.h"
#include "WgtMemDescr.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class CopyChooser;
class VvodPanelWin;
class VvodRecWin;
class VvodWin;
enum class KeyRole;

// Data entry: counting goods (stock-taking) or receiving them (goods receipt). Takes a code from
// the scanner or the keyboard, finds the item in the goods directory or the receipt document,
// and books the quantity the operator confirms into the result table, keeping the document
// totals on the panel. Every booking is on stable storage before the entry line clears.
class Vvod : public QObject {
    Q_OBJECT
public:
    explicit Vvod(QObject* parent = nullptr);
    ~Vvod() override;

    // What is open right now, for the program's tests.
    bool active() const { return m_active; }
    VvodPanelWin* panel() const;
    ProsmCase* chooser() const;
    ProsmAdd* editor() const;
    qint32 resultCount() const { return m_book.count(); }
    bool awaitingQuantity() const { return m_awaiting; }

public slots:
    // The main menu's data-entry button.
    void vvMainMainCall();
    // Data entry set up again for the settings in force, after the program settings changed the
    // mode or the work folder. Ignored while data entry runs.
    void vvMainMainSet();
    // Leaving by "Выход" or Escape.
    void vvWinExit();
    // The code in the entry line (Enter, "Ok", after a scan).
    void vvBarOk();
    // The quantity line (Enter or its "Ok").
    void vvCntOk();
    void vvValCha(int value);
    void vvCellCli(int row, int column);
    // Up (-1) and Down (+1) of the keypad: the selected result line of the table panel.
    void vvStep(int delta);
    void vvCancel();
    // "Подбор": choosing an item from the source table.
    void vvCaseRec();
    // A code read by the scanner.
    void vvBarRead(const QString& text);
    // The row chooser over the result table.
    void vvProsmRow();

signals:
    // Emitted each time control returns to the main menu.
    void returned();

private:
    enum WriteMode { WriteNone = 0, WriteAppend = 1, WriteOverwrite = 2 };
    enum class Refresh { Redraw, Appended, Overwritten };
    enum FileStep { StepSource, StepWeight, StepResult };

    bool pickTables();
    bool settingsComplete();
    void handBack();

    // File choice with numbered copies.
    DocKind kindOf(FileStep step) const;
    void chooseFile(FileStep step);
    void fileChosen(const QString& file, const QByteArray& number);
    void fileChoiceBack();

    // Panel.
    void panelStart();
    bool fileCheck();
    void loadWeightCodes();
    void clearEntry();
    void refresh(Refresh how);
    void refreshTable(Refresh how);
    void refreshRecord();
    QByteArray displayRecord(const QByteArray& record) const;
    void onScanKey();

    // The booking path: the code travels as a value; the entry line only shows it.
    // A code from the scanner or the entry line: checked, then looked up.
    void enterCode(const QByteArray& code);
    void lookUp(const QByteArray& code);
    bool lookUpAs(const QByteArray& code, qint32 defaultQuantity, bool weighed);
    void notFound(const QByteArray& code);
    // The item found; code is the one the entry line shows for it.
    void itemStep(const QByteArray& sourceRecord, int keyField, const QByteArray& code);
    void quantityStepIfSkipped();
    // Waits for the quantity of the item shown under code.
    void showQuantity(const QByteArray& code);
    void refuse(const QString& text);
    // The awaited quantity booked; false when it was refused (the item still awaits) or not written.
    bool bookPending();
    // A quantity refused: the reason on the panel, the refusal sound, a run-log line; the item
    // still awaits its quantity.
    void refuseQuantity(const QString& reason, const QByteArray& typed);
    // Something that would drop the item awaiting its quantity is not done; the panel says so.
    void keepPending(const char* what);
    // The title line names the item on screen and what the document holds of it.
    void noteItem(const QByteArray& resRecord, const QString& prefix);
    // Receiving: how much of the item of a result line the receipt lists, over all its lines.
    qint64 receiptQuantity(const QByteArray& resRecord) const;
    // Receiving: the title line names the mode and the receipt.
    QString receiptTitle() const;
    // Receiving: the code names an item of the goods directory (not on the receipt, then).
    bool inGoods(const QByteArray& code) const;
    // Result record n opened for correction.
    void pickRow(qint32 n);

    // Detours.
    void openItemChooser(qint32 startRecord);
    void itemChosen(int record);
    void itemChooserAdd();
    void getViewRec(int record);
    void vvAddRec(const QByteArray& code);
    void openNewItemForm(const QByteArray& initial, const QString& help, const QString& caseText, bool backToChooser);
    void newItemDone(int record, bool backToChooser);
    void rowChosen(int record);
    void rowDelete(int record);
    void closeChooser();
    void closeEditor();
    void reopenPanel();
    bool confirmDelete(const QString& title, const QString& text);
    // A line of the result table as a person names it: its NAME, else its barcode or code.
    QByteArray lineName(const QByteArray& record) const;

    QString resultName() const;
    QString sourceName() const;

    bool m_active = false;
    TableDescr* m_src = nullptr;
    TableDescr* m_res = nullptr;
    TableDescr* m_tab = nullptr;
    TableDescr* m_wgt = nullptr;
    ViewDescr* m_srcCaseView = nullptr;
    ViewDescr* m_srcAddView = nullptr;
    ViewDescr* m_resView = nullptr;
    ViewDescr* m_resCaseView = nullptr;
    ViewDescr* m_tabView = nullptr;
    QString m_srcFile, m_resFile, m_wgtFile;
    bool m_receipt = false;

    // Fields found when data entry starts (-1 when absent).
    int m_srcBar = -1, m_srcCode = -1, m_srcPrice = -1, m_srcName = -1;
    int m_resBar = -1, m_resCode = -1, m_resName = -1, m_resPrice = -1, m_resRest = -1;

    QPointer<VvodPanelWin> m_win;
    VvodWin* m_tableWin = nullptr;
    VvodRecWin* m_recWin = nullptr;
    QPointer<ProsmCase> m_chooser;
    QPointer<ProsmAdd> m_editor;
    CopyChooser* m_copies = nullptr;
    FileStep m_fileStep = StepSource; // the file the list of copies is for

    ResultBook m_book;
    WgtMemDescr m_weights;
    qint32 m_top = 0;
    int m_rows = 0;
    qint32 m_current = -1;
    WriteMode m_mode = WriteNone;
    bool m_awaiting = false;
    bool m_scanWaiting = false; // the scan key was pressed here and no code has come yet
    bool m_addToPrevious = false;
    qint32 m_previous = 0;
    qint32 m_proposed = 0;
    qint32 m_default = 0;
    QByteArray m_resRecord;
    QByteArray m_pendingKey; // the code on screen while its quantity awaits
    qint32 m_lastChosen = 0; // where "Подбор товара" opens again
    qint32 m_selected = -1; // the result line the keypad selected in the table panel, -1 none
    QByteArray m_lastBooked; // the single-record panel shows it until the next code
    qint32 m_newItemDefault = 0; // the quantity a new item from the not-found question starts with
    // The display names of the source, weight-code and result tables (by FileStep) as data entry
    // found them: a numbered copy's number is added for the session only.
    QByteArray m_pnames[3];
};
