#pragma once

#include "DocKind.h"
#include "TableDescr.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class ProsmAdd;
class ProsmCase;
struct CopyLine;

// The choice of a numbered copy of a directory, for data entry, the view menu and the
// weight-code editor: the list of the work folder's copies of one kind in the chooser, a new
// number given in the record editor, and a copy deleted after a question that says when results
// in it have not been unloaded (the table goes first, its text, change marker and goods index
// files only once it is gone). Each user passes its own titles and texts. Whatever ends the
// list (a choice, back, a failure) closes its windows first and then signals.
class CopyChooser : public QObject {
    Q_OBJECT
public:
    struct Texts {
        // Title of the boxes about the list ("Список файлов\nне создан", "Ошибка удаления").
        QString title;
        QString listTitle;
        QString backText = QStringLiteral("Назад");
        QString deleteTitle;
        QString deleteQuestion = QStringLiteral("Удалить\nсправочник?");
        // The line added to the question for results with unsent changes.
        QString unsentWarning = QStringLiteral("Остатки в нём\nне выгружены.");
        // The record editor of a new number: its title, its case button and its help.
        QString numberTitle, numberCaseText, numberHelp;
    };
    struct Options {
        DocKind kind = DocKind::Goods;
        // The directory whose copies are listed: a chosen copy's number follows its display name.
        TableDescr* table = nullptr;
        TableDescr* list = nullptr; // the list table (TAB)
        ViewDescr* listView = nullptr;
        // The view a new number is typed in; without one "Добавить" is disabled.
        ViewDescr* numberView = nullptr;
        Texts texts;
    };

    explicit CopyChooser(QObject* parent = nullptr);
    ~CopyChooser() override;

    // Makes the list from the work folder and shows it. False, after a box, when the list could
    // not be made. The descriptors must outlive the choice.
    bool open(const Options& options);
    // Closes whatever window of the choice is open, without a signal.
    void close();

    // The list's chooser and the new number's editor while they are open, else nullptr.
    ProsmCase* chooser() const;
    ProsmAdd* editor() const;

signals:
    // A copy was chosen or a new number given: the file in the work folder and its number.
    void chosen(const QString& file, const QByteArray& number);
    // The operator left the list.
    void back();
    // The list could not be made again or read back.
    void failed();

private:
    bool showList();
    void lineChosen(int record);
    void lineDeleted(int record);
    void lineAdded();
    void numberGiven(int record);
    void choose(const CopyLine& line);
    void fail();
    void closeChooser();
    void closeEditor();

    Options m_options;
    QPointer<ProsmCase> m_chooser;
    QPointer<ProsmAdd> m_editor;
};
