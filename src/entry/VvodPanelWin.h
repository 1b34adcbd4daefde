#pragma once

#include <QString>
#include <QWidget>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// What the two data-entry panels share: the entry line vBar with its Ok button, the quantity line
// vRest with its Ok button, the price label, the title label and the buttons Cancel, Search and
// Exit, turned into sn... signals, and the keys. The panel does no work of its own: the controller
// (Vvod) answers the signals and fills the widgets through the calls below.
class VvodPanelWin : public QWidget {
    Q_OBJECT
public:
    // The entry line vBar (at most 32 characters).
    QString barText() const;
    void setBarText(const QString& text);
    void focusBar();
    // The quantity line vRest.
    QString restText() const;
    void setRestText(const QString& text);
    void editRest(); // selects all of vRest and gives it focus
    void leaveRest(); // takes focus away from vRest
    void setPriceText(const QString& text); // vPrice
    void setTitle(const QString& text); // UserTitle, narrowed to fit

    // The title line tells the operator what the entry just took (the item found, with what is
    // counted of it) or why it refused something, until clearNote() puts the title back. A long
    // text is narrowed, then cut at the character; a tail (numbers) stays whole, the text before
    // it is cut.
    enum class Note { Item, Refusal };
    void showNote(const QString& text, Note kind, const QString& tail = QString());
    void clearNote();
    // What the title line shows now.
    QString titleLine() const;

    // The title line says that a scan is awaited (the scan key was pressed), and Escape ends the
    // wait instead of leaving; false puts back what the title line showed.
    void setScanWaiting(bool waiting);
    bool scanWaiting() const { return m_scanWaiting; }

    // The Cancel button's word ("Отмена", "Просмотр"), shown after its key.
    void setCancelText(const QString& text);

    // Modal guard: while a chooser or the new-item form is open (guard closed) the panel ignores
    // Exit, Enter in vBar and vRest, Cancel and Search, so that a second window cannot be stacked
    // on the first. bBar and bRest are not guarded. Open when the panel is made.
    void setGuardOpen(bool open) { m_guardOpen = open; }
    bool guardOpen() const { return m_guardOpen; }

    // The designer actions, wired to the form's widgets by bindCommon().
    void on_Exit_clicked();
    void on_bBar_clicked();
    void on_vBar_returnPressed();
    void on_bRest_clicked();
    void on_vRest_returnPressed();
    void on_Cancel_clicked();
    // Closes the guard before emitting: a second press before the chooser is closed does nothing.
    void on_Search_clicked();

signals:
    void snExit();
    void snBar();
    void snRest();
    void snCancel();
    void snSearch();
    void snEsc();
    // The scan key was pressed: the controller waits for the scanner.
    void snScan();
    // Escape while a scan is awaited: the wait ends, data entry stays.
    void snScanCancel();
    // Up (-1) or Down (+1) outside a line that uses them: a step through the result lines.
    void snStep(int delta);

protected:
    explicit VvodPanelWin(QWidget* parent = nullptr);

    // The widgets both forms have, by their object names.
    struct Common {
        QLineEdit* vBar = nullptr;
        QPushButton* bBar = nullptr;
        QLineEdit* vRest = nullptr;
        QPushButton* bRest = nullptr;
        QPushButton* cancel = nullptr;
        QPushButton* search = nullptr;
        QPushButton* exit = nullptr;
        QLabel* vPrice = nullptr;
        QLabel* userTitle = nullptr;
    };
    // Called by each panel after its form is set up.
    void bindCommon(const Common& common);

    // Every key that reaches the panel goes to the run log as "Key=" and its code; Escape leaves
    // like Exit (or ends the wait for a scan), the scan key asks for a scan, F1 and F2 press Cancel and Search, Up and
    // Down step through the lines, Return presses the focused button, the rest get the default
    // handling.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void fitTitle();

    Common m_common;
    bool m_guardOpen = true;
    bool m_scanWaiting = false;
    bool m_waitShown = false; // the title line shows the wait, over what m_beforeWait keeps
    QString m_beforeWait;
    QString m_beforeWaitStyle;
    QString m_title;
    QString m_titleStyle;
    QString m_noteTail; // the part of the title line that is never cut
};
