#pragma once

#include "UserSettings.h"

#include <QByteArray>
#include <QStringBuilder>
#include <atomic>

// Process-wide state that start-up establishes and every subsystem reads directly.
struct AppState {
    QByteArray appDir; // application folder, no trailing "/"
    QByteArray workDir; // work folder, no trailing "/"
    UserSettings user;
    SystemSettings system;
    std::atomic_bool menuGate { false }; // a main-menu choice is let through only while set
    std::atomic_bool settingsChanged { false };

    QByteArray appDirSlash() const { return QByteArray(appDir + '/'); }
    QByteArray workDirSlash() const { return QByteArray(workDir + '/'); }
    bool receiptMode() const { return user.programm.programm; }
};

AppState& appState();
