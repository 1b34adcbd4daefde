#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class NaMainWin;
}

// The settings menu: one item per settings editor, the weight-code directory editor and back.
// It does no work itself: each choice is emitted as a signal to the settings controller.
class NaMainWin : public QWidget {
    Q_OBJECT
public:
    explicit NaMainWin(QWidget* parent = nullptr);
    ~NaMainWin() override;

    // The title label, white on blue.
    void setTitle(const QString& text);
    // The third item names the exchange channel in force.
    void setChannelText(const QString& text);

    // The item actions, also reached by the keys 1 to 6 (and Escape for back) whatever has the
    // focus. They are wired to the buttons with typed connections in the constructor.
    void on_Programm_clicked();
    void on_Vvod_clicked();
    void on_FtpLocal_clicked();
    void on_Obmen_clicked();
    void on_Wgtbar_clicked();
    void on_Exit_clicked();

signals:
    void NaMainWinProgramm();
    void NaMainWinVvod();
    void NaMainWinFtpLocal();
    void NaMainWinObmen();
    void NaMainWinWgtbar();
    void NaMainWinExit();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::NaMainWin> m_ui;
};
