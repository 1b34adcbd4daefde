#include "ProsmCaseWin.h"

#include "Scanner.h"

#include <QKeyEvent>

ProsmCaseWin::ProsmCaseWin(QWidget* parent)
    : ProsmBrowserWin(parent)
{
    setupUi(this);
    bindCommon(UserTitle, TabWid, ScrollBar, Case, Delete, Add, Back);
    connect(ColHeader, &QComboBox::currentIndexChanged, this, &ProsmCaseWin::snColChanged);
    connect(Search, &QPushButton::clicked, this, &ProsmCaseWin::snSearch);
    connect(Home, &QPushButton::clicked, this, &ProsmCaseWin::snHome);
    connect(PgUp, &QPushButton::clicked, this, &ProsmCaseWin::snPgUp);
    connect(PgDown, &QPushButton::clicked, this, &ProsmCaseWin::snPgDown);
    connect(End, &QPushButton::clicked, this, &ProsmCaseWin::snEnd);
}

bool ProsmCaseWin::handleKey(QObject* receiver, QKeyEvent* event)
{
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && receiver == ColText) {
        // Return in the search text starts the search and goes no further, so the same press
        // never also chooses the record the search has just found.
        emit snSearch();
        return true;
    }
    if (key == Qt::Key_Print) {
        QString barcode;
        if (scanBarcode(barcode))
            emit snBarRead(barcode);
        return true;
    }
    return ProsmBrowserWin::handleKey(receiver, event);
}
