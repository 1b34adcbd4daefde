#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class ObMainWin;
}

// The exchange menu: load, unload and back. It does no work itself: each choice is emitted as a
// signal to the exchange controller.
class ObMainWin : public QWidget {
    Q_OBJECT
public:
    explicit ObMainWin(QWidget* parent = nullptr);
    ~ObMainWin() override;

    // The title label, white on blue.
    void setTitle(const QString& text);

    // The button actions, also reached by the keys 1, 2, 3 (and Escape) whatever has the focus.
    void on_Exit_clicked();
    void on_Load_clicked();
    void on_Unload_clicked();

signals:
    void ObMainWinExit();
    void ObMainWinLoad();
    void ObMainWinUnload();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::ObMainWin> m_ui;
};
