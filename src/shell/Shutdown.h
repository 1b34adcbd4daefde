#pragma once

#include <QString>

// The folders of this run as file-system paths. appState() keeps them as Windows-1251 bytes for
// the settings and the screens; file access goes through these, so no folder name is lost to the
// codepage.
void setRunFolders(const QString& appDir, const QString& workDir);
QString runAppDir();
QString runWorkDir();

// The end of a run, once the operator has chosen to leave: offers to save changed user settings
// (the former file stays as "OrtUserB.ini"), writes "Конец работы" and closes the run log.
void finishRun();
