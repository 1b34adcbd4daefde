#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class MainWin;
}

// The main menu: four menu buttons and the exit button. It does no work itself: each choice is
// emitted as a signal that start-up connects to a controller. A choice goes through only while the
// main menu gate is open and closes it; the controller opens it again when it hands control back.
class MainWin : public QWidget {
    Q_OBJECT
public:
    explicit MainWin(QWidget* parent = nullptr);
    ~MainWin() override;

    // Start-up's finishing touches: the version label by mode ("Приход товара" or
    // "Инвентаризация") and the title label's colours.
    void setMode(bool receipt);
    // In an ordinary desktop window the close button leaves as the exit item does, so the run
    // still ends with its settings offer and its run-log line.
    void setCloseAsExit(bool on) { m_closeAsExit = on; }

    // The button actions, also reached by the keys 1 to 5 and Enter. They are wired to the
    // buttons with typed connections in the constructor.
    void on_Nastr_clicked();
    void on_Vvod_clicked();
    void on_Prosm_clicked();
    void on_Obmen_clicked();
    // Not gated: leaving works while a controller holds the menu.
    void on_Vihod_clicked();

signals:
    void NastrCall();
    void VvodCall();
    void ProsmCall();
    void ObmenCall();
    void MainWinExit();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void choose(void (MainWin::*call)());
    void fitVersionLabel();

    std::unique_ptr<Ui::MainWin> m_ui;
    bool m_closeAsExit = false;
    bool m_leaving = false; // the exit sequence has run
};
