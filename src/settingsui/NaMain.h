#pragma once

#include <QObject>

// Controller taken over from the main menu. For now its entry hands control straight back:
// the main menu gate is set again and nothing else happens.
class NaMain : public QObject {
    Q_OBJECT
public:
    explicit NaMain(QObject* parent = nullptr);

public slots:
    void namMain();

signals:
    // Emitted each time control returns to the main menu.
    void returned();
};
