// What the FTP server told the office is stored outlives a power loss. This program stands in
// front of the C library's fsync and fdatasync (it exports them) and keeps what a disk keeps: a
// folder's names as they were at its last flush, a file's contents as they were at its last flush.
// After the client has its replies, everything it was told is done has to be found through kept
// names alone, with kept contents.

#include "FtpServerThread.h"
#include "RunLog.h"
#include "TestUtil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex keptMutex;
std::map<std::string, std::set<std::string>> keptNames; // folder -> names at its last flush
std::map<ino_t, std::string> keptData; // file -> contents at its last flush

std::string pathOf(int fd)
{
    char path[4096];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), path, sizeof path);
    return n > 0 ? std::string(path, size_t(n)) : std::string();
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            names.insert(e->d_name);
        ::closedir(dir);
    }
    return names;
}

void flushed(int fd)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return;
    const std::lock_guard<std::mutex> lock(keptMutex);
    if (S_ISDIR(st.st_mode)) {
        keptNames[pathOf(fd)] = namesIn(pathOf(fd));
    } else if (S_ISREG(st.st_mode)) {
        QFile file(QString::fromStdString(pathOf(fd)));
        keptData[st.st_ino] = file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
}

template <typename F>
F libc(const char* name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" {

int fsync(int fd)
{
    const int result = libc<int (*)(int)>("fsync")(fd);
    if (result == 0)
        flushed(fd);
    return result;
}

int fdatasync(int fd)
{
    const int result = libc<int (*)(int)>("fdatasync")(fd);
    if (result == 0)
        flushed(fd);
    return result;
}

} // extern "C"

class TestFtpDurable : public QObject {
    Q_OBJECT

private slots:
    void foldersAndFileKept_data()
    {
        QTest::addColumn<QString>("made"); // the MKD argument
        QTest::addColumn<QString>("existing"); // already there before the power-loss books open
        QTest::newRow("three levels") << QStringLiteral("a/b/c") << QString();
        QTest::newRow("below an existing folder") << QStringLiteral("IN/b/c") << QStringLiteral("IN");
    }
    void foldersAndFileKept()
    {
        QFETCH(QString, made);
        QFETCH(QString, existing);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TestUtil::openRunLogIn(dir.path());
        QVERIFY(
            QDir(dir.path()).mkpath(QStringLiteral("ROOT/") + (existing.isEmpty() ? QStringLiteral(".") : existing)));
        const QString root = QDir(dir.filePath(QStringLiteral("ROOT"))).canonicalPath();
        {
            // What the last start left counts as kept.
            const std::lock_guard<std::mutex> lock(keptMutex);
            keptNames.clear();
            keptData.clear();
            for (const QString& folder : QStringList { root, root + QLatin1Char('/') + existing })
                keptNames[folder.toStdString()] = namesIn(folder.toStdString());
        }
        FtpServerConfig config;
        config.root = root;
        config.userName = "office";
        config.passWord = "secret";
        config.port = 0;
        config.dataPort = 0;
        auto server = std::make_unique<FtpServerThread>(config);
        server->start();
        QVERIFY(QTest::qWaitFor([&] { return server->listeningPort() != 0; }, 10000));

        const QString script = QStringLiteral("import ftplib, io, sys\n"
                                              "ftp = ftplib.FTP(timeout=30)\n"
                                              "ftp.connect('127.0.0.1', int(sys.argv[1]))\n"
                                              "ftp.login('office', 'secret')\n"
                                              "ftp.mkd(sys.argv[2])\n"
                                              "ftp.storbinary('STOR ' + sys.argv[2] + '/x', io.BytesIO(b'stored'))\n"
                                              "ftp.quit()\n");
        QProcess client;
        client.start(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral("-c"), script, QString::number(server->listeningPort()), made });
        QVERIFY(client.waitForFinished(30000));
        QVERIFY2(client.exitCode() == 0, client.readAllStandardError().constData());

        // The power goes now: walk down from the root through the names kept.
        const std::lock_guard<std::mutex> lock(keptMutex);
        std::string folder = root.toStdString();
        for (const QString& name : QString(made + QStringLiteral("/x")).split(QLatin1Char('/'))) {
            QVERIFY2(keptNames[folder].count(name.toStdString()), (folder + " lost " + name.toStdString()).c_str());
            folder += '/' + name.toStdString();
        }
        struct stat st { };
        QCOMPARE(::stat(folder.c_str(), &st), 0);
        QCOMPARE(QByteArray::fromStdString(keptData[st.st_ino]), QByteArray("stored"));
        server.reset();
        RunLog::instance().close();
    }
};

QTEST_MAIN(TestFtpDurable)
#include "tst_ftpdurable.moc"
