#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class PrMainWin;
}

// The view menu: the mode's directory, the results, the weight codes and back. It does no work
// itself: each choice is emitted as a signal to the view controller. A choice of a table goes
// through only while the menu's gate is open and closes it, so a second key press that arrives
// while a browser is being built starts nothing; the controller opens it when the menu is shown
// again. Leaving needs the gate open too and leaves it as it is.
class PrMainWin : public QWidget {
    Q_OBJECT
public:
    explicit PrMainWin(QWidget* parent = nullptr);
    ~PrMainWin() override;

    // The title label, white on blue.
    void setTitle(const QString& text);
    // The first choice names the directory of the mode ("1. Товары" or "1. Приход").
    void setDirectoryText(const QString& text);
    void setGateOpen(bool open) { m_gate = open; }
    bool gateOpen() const { return m_gate; }

    // The button actions, also reached by the keys 1 to 4 (and Escape) whatever has the focus.
    void on_Tovari_clicked();
    void on_Result_clicked();
    void on_Wgtbar_clicked();
    void on_Exit_clicked();

signals:
    void PrMainWinExit();
    void PrMainWinTovari();
    void PrMainWinResult();
    void PrMainWinWgtbar();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void choose(void (PrMainWin::*choice)());

    std::unique_ptr<Ui::PrMainWin> m_ui;
    bool m_gate = true;
};
