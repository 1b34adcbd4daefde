#pragma once

#include <QByteArray>
#include <QString>

class QWidget;

// Small helpers shared by the test suites.
namespace TestUtil {
// Whole file as bytes (empty when missing).
QByteArray readFile(const QString& path);
// Writes bytes, creating folders; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);
// UTF-8 source text to Windows-1251 bytes.
QByteArray cp(const char* utf8);
// Fails the running test when the window does not fit the terminal's screen (ScreenFit); when
// ORTOVA_SCREENS_DIR names a folder, also saves a PNG of the window there as <name>.png.
void saveScreen(QWidget* widget, const QString& name);
// Opens the run log in dir and returns its path, so a test can read what was logged.
QString openRunLogIn(const QString& dir);
} // namespace TestUtil
