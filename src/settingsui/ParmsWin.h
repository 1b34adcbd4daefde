#pragma once

#include <QByteArray>
#include <QList>
#include <QScrollArea>
#include <QString>
#include <QStringList>

struct ParmViewDescr;
class QFormLayout;
class QKeyEvent;
class QLabel;

// What a text row of the parameter grid refuses besides characters Windows-1251 lacks and control
// characters.
struct ParmTextRules {
    bool trim = false; // blanks at both ends dropped on writing back (the settings reader drops them)
    QString refused; // characters the value must not contain
};

// The parameter grid of a settings page: one row per parameter, each editing one value of the
// editor's working copy. Rows are added in screen order, then the grid is built from the page's
// parameter view (labels, font). Values change only on writeBack(), all or none, so an editor
// can refuse the whole page. Works with the keypad alone: Up and Down move between rows, the label
// of the row with the focus is shown in the selection colours, Return edits the row (toggles a
// check box, steps an enumeration round its list, selects a text row's whole value for retyping),
// Space toggles a check box, Left and Right step an enumeration.
class ParmsWin : public QScrollArea {
    Q_OBJECT
public:
    explicit ParmsWin(QWidget* parent = nullptr);
    ~ParmsWin() override;

    // The longest value a text row takes for a settings buffer of bufferSize bytes: one byte goes to
    // the terminator, and the settings file's reader takes no longer value.
    static int textLimit(int bufferSize);

    // Rows, each with the number of its PARM line in the parameter view.
    void addText(QByteArray* value, int bufferSize, int parmLine, const ParmTextRules& rules = {});
    // Shown masked; trimmed; at most what the scrambled form in the settings file holds.
    void addPassword(QByteArray* value, int bufferSize, int parmLine);
    void addInteger(qint32* value, int parmLine);
    // Thousandths, shown and typed as a quantity ("1.000").
    void addQuantity(qint32* value, int parmLine);
    void addCheck(bool* value, int parmLine);
    // The stored value is the index of the chosen item.
    void addEnumeration(qint32* value, const QStringList& items, int parmLine);
    void addEnumeration(bool* value, const QStringList& items, int parmLine);

    // Makes the widgets of the rows added so far: labels and font from the parameter view, the
    // values from the working copy. The first row gets the focus.
    void build(const ParmViewDescr& view);
    // Writes every row back into its value: -1 when all were taken, else the index of the first
    // row that was not, and then no value has changed.
    int writeBack();

    int rowCount() const { return static_cast<int>(m_rows.size()); }
    QString rowLabel(int row) const { return m_rows[row].label; }
    int rowParmLine(int row) const { return m_rows[row].parmLine; }
    // The row whose widget has the focus, or -1.
    int currentRow() const;
    // Whether the row's label is shown as the row with the focus.
    bool rowMarked(int row) const;

signals:
    // The operator changed a value on the screen.
    void pwChange();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Kind { Text, Password, Integer, Quantity, Check, Enumeration };
    struct Row {
        Kind kind = Kind::Text;
        int parmLine = -1;
        int maxBytes = 0;
        ParmTextRules rules;
        QStringList items;
        QByteArray* text = nullptr;
        qint32* number = nullptr;
        bool* flag = nullptr;
        QString label;
        QWidget* editor = nullptr;
        QLabel* labelWidget = nullptr;
    };

    void addRow(Row row);
    QWidget* makeEditor(const Row& row);
    bool rowKey(int row, QKeyEvent* event);
    void editRow(int row);
    void markRow(int row, bool marked);
    void focusRow(int row);
    // The row's screen value as it would be stored; false when the row refuses it.
    bool take(const Row& row, QByteArray& text, qint32& number) const;

    QList<Row> m_rows;
    QWidget* m_body = nullptr;
    QFormLayout* m_form = nullptr;
};
