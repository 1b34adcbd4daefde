#pragma once

#include <QObject>

// Controller taken over from the main menu. For now its entry hands control straight back:
// the main menu gate is set again and nothing else happens.
class ObMain : public QObject {
    Q_OBJECT
public:
    explicit ObMain(QObject* parent = nullptr);

public slots:
    void obmMain();

signals:
    // Emitted each time control returns to the main menu.
    void returned();
};
