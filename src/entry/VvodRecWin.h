#pragma once

#include "VvodPanelWin.h"

#include <memory>

namespace Ui {
class VvodRecWin;
}

// The single-record panel: the current result line in detail (code, name, price, quantity) with
// the item's and the document's totals.
class VvodRecWin : public VvodPanelWin {
    Q_OBJECT
public:
    explicit VvodRecWin(QWidget* parent = nullptr);
    ~VvodRecWin() override;

    void setCode(const QString& text);
    void setName(const QString& text);
    void setDocTovRest(const QString& text);
    void setSumTovRest(const QString& text);
    void setDocLin(const QString& text);
    void setDocSum(const QString& text);

private:
    std::unique_ptr<Ui::VvodRecWin> m_ui;
};
