#include "TestUtil.h"

#include "Codec.h"
#include "RunLog.h"
#include "ScreenFit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
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

QString openRunLogIn(const QString& dir)
{
    RunLog::instance().open(dir);
    return RunLog::instance().filePath();
}

} // namespace TestUtil
