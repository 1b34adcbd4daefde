#include "TestUtil.h"

#include "Codec.h"
#include "RunLog.h"
#include "ScreenFit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QProcess>
#include <QRandomGenerator>
#include <QWidget>

namespace TestUtil {

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(bytes) == bytes.size();
}

QByteArray cp(const char* utf8)
{
    return fromUi(QString::fromUtf8(utf8));
}

void saveScreen(QWidget* widget, const QString& name)
{
    if (!widget)
        return;
    ScreenFit::verify(widget, name);
    const QString dir = qEnvironmentVariable("ORTOVA_SCREENS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    widget->grab().save(QDir(dir).filePath(name + QStringLiteral(".png")));
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QRandomGenerator rng(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

QString openRunLogIn(const QString& dir)
{
    RunLog::instance().open(dir);
    return RunLog::instance().filePath();
}

ProgramRun runProgram(const QString& program, const QStringList& args, const QString& workDir,
    const std::function<void(QProcess&)>& prepare, int timeoutMs)
{
    QProcess p;
    p.setWorkingDirectory(workDir);
    if (prepare)
        prepare(p);
    p.start(program, args);
    ProgramRun r;
    if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace TestUtil
