#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class NastrWin;
}

// The window of a settings editor: the title, the area that holds the parameter grid and the
// buttons "Сохранение" and "Отмена", turned into signals. F2 saves like "Сохранение" and Escape
// cancels like "Отмена"; every other key is the grid's.
class NastrWin : public QWidget {
    Q_OBJECT
public:
    explicit NastrWin(QWidget* parent = nullptr);
    ~NastrWin() override;

    // Window title and title label, white on blue.
    void setTitle(const QString& title);
    // Puts the grid into the window's parameter area; the window owns it from then on.
    void placeGrid(QWidget* grid);
    // A few lines under the grid that the operator reads but does not edit (object name "Note").
    void setNote(const QString& text);

    // Wired to the buttons with typed connections in the constructor.
    void on_Save_clicked();
    void on_Cancel_clicked();

signals:
    void NastrWinSave();
    void NastrWinCancel();
    void NastrWinEsc();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::NastrWin> m_ui;
};
