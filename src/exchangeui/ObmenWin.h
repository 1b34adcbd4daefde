#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class ObmenWin;
}

// The exchange's progress window: the running step, the directory with its place in the
// selection, a progress bar and, on the FTP client channel, the abort button. The controller
// fills it through the calls below; the window only turns the abort button and keys into
// AbortFtp().
class ObmenWin : public QWidget {
    Q_OBJECT
public:
    explicit ObmenWin(QWidget* parent = nullptr);
    ~ObmenWin() override;

    // A new step: window title and UserTitle ("Загрузка" or "Выгрузка"), "Состояние", an empty
    // state, progress 0 and the directory label.
    void showStep(const QString& title, const QString& directory);
    // The state label (ftpState).
    void setState(const QString& text);
    QString state() const;
    // The directory label (Sprav).
    void setDirectory(const QString& text);
    // "Справочник n из total" beside the directory; total 0 clears it.
    void setFileCounter(int n, int total);
    // done of total: a percentage clamped to 0..100; a total of 0 or less is unknown and shows a
    // busy bar.
    void setProgress(qint64 done, qint64 total);
    // The bar back at 0 of 100.
    void resetProgress();
    void setAbortVisible(bool visible);

    void on_abortButton_clicked();

signals:
    void AbortFtp();

protected:
    // Escape aborts at once; Return asks first.
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::unique_ptr<Ui::ObmenWin> m_ui;
};
