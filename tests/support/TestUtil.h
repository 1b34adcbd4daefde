#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QProcess;
class QWidget;

// Small helpers shared by the test suites.
namespace TestUtil {
// Whole file as bytes (empty when missing).
QByteArray readFile(const QString& path);
// Writes bytes, creating folders; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);
// UTF-8 source text to Windows-1251 bytes.
QByteArray cp(const char* utf8);
// size bytes of every value, the same for the same seed.
QByteArray randomBytes(qsizetype size, quint32 seed);
// Fails the running test when the window does not fit the terminal's screen (ScreenFit); when
// ORTOVA_SCREENS_DIR names a folder, also saves a PNG of the window there as <name>.png.
void saveScreen(QWidget* widget, const QString& name);
// Opens the run log in dir and returns its path, so a test can read what was logged.
QString openRunLogIn(const QString& dir);

// What a program said: its exit code (-1 when it did not end normally in time) and its output,
// read as UTF-8.
struct ProgramRun {
    int exitCode = -1;
    QString out;
    QString err;
};
// Runs program with args in workDir and waits for it; prepare, when given, sets the process up
// before it starts (environment, limits).
ProgramRun runProgram(const QString& program, const QStringList& args, const QString& workDir,
    const std::function<void(QProcess&)>& prepare = nullptr, int timeoutMs = 60000);
} // namespace TestUtil
