#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <memory>

class QLockFile;

// One running program per application folder. The first start holds a lock file in the folder and
// listens on a local socket; a later start finds the lock taken, asks the running program to raise
// its window and is told to end (with exit code 0).
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& appDir, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True: this is the only instance, and it now answers later starts. False: another instance
    // holds the folder; it has been asked to come to the front. A folder where no lock can be
    // written at all does not stop the start.
    bool claim();

    // The local socket name of a folder's instance.
    static QString serverName(const QString& appDir);

signals:
    // A later start asked for the window to be raised.
    void raiseRequested();

private:
    void acceptConnection();
    static bool askRunningToRaise(const QString& name);

    QString m_appDir;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer m_server;
};
