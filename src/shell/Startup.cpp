#include "Startup.h"
#include "Version.h"

#include "AppState.h"
#include "Codec.h"
#include "Dialogs.h"
#include "MainWin.h"
#include "PathMacros.h"
#include "RunLog.h"
#include "Scanner.h"
#include "SettingsFiles.h"
#include "Shutdown.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>

namespace {

QString helpText(const QString& program)
{
    return QStringLiteral("Использование: ") + program
        + QStringLiteral(" [параметры]\n"
                         "Сбор данных: инвентаризация и приход товара.\n\n"
                         "  --app-dir ПАПКА        папка программы (настройки, журналы); по умолчанию\n"
                         "                         папка исполняемого файла\n"
                         "  --windowed             обычное окно 240 x 320 вместо полного экрана\n"
                         "  --scanner ОПИСАНИЕ     сканер: serial:/dev/ttyUSB0[:скорость], pipe:ФАЙЛ,\n"
                         "                         file:ФАЙЛ или none (иначе переменная ORTOVA_SCANNER)\n"
                         "  --ftp-port N           порт FTP-сервера терминала (21)\n"
                         "  --ftp-data-port N      первый из трёх портов передачи данных (50000)\n"
                         "  --ftp-client-port N    порт FTP-сервера офиса для обмена (21)\n"
                         "  -h, --help             эта справка\n"
                         "  -v, --version          версия\n");
}

bool parsePort(const QString& text, quint16 lowest, quint16 highest, quint16& port)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value < lowest || value > highest)
        return false;
    port = static_cast<quint16>(value);
    return true;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    const QString program = arguments.isEmpty() ? QStringLiteral("ortova") : arguments.first();
    bool scannerGiven = false;
    auto invalid = [&result](const QString& text) {
        result.outcome = CommandLine::Invalid;
        result.text = text;
        return result;
    };
    for (int i = 1; i < arguments.size(); ++i) {
        QString arg = arguments[i];
        QString value;
        bool hasValue = false;
        const int eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasValue = true;
        }
        auto takeValue = [&]() {
            if (hasValue)
                return true;
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            result.outcome = CommandLine::ShowHelp;
            result.text = helpText(program);
            return result;
        }
        if (arg == QLatin1String("-v") || arg == QLatin1String("--version")) {
            result.outcome = CommandLine::ShowVersion;
            result.text = QStringLiteral("ortova " ORTOVA_VERSION "\n");
            return result;
        }
        if (arg == QLatin1String("--windowed") && !hasValue) {
            result.options.windowed = true;
        } else if (arg == QLatin1String("--app-dir")) {
            if (!takeValue() || value.isEmpty())
                return invalid(QStringLiteral("Параметр --app-dir требует папку\n"));
            result.options.appDir = QDir(value).absolutePath();
        } else if (arg == QLatin1String("--scanner")) {
            if (!takeValue())
                return invalid(QStringLiteral("Параметр --scanner требует описание сканера\n"));
            result.options.scanner = value;
            scannerGiven = true;
        } else if (arg == QLatin1String("--ftp-port")) {
            if (!takeValue() || !parsePort(value, 1, 65535, result.options.ftpPort))
                return invalid(QStringLiteral("Неправильный порт --ftp-port: ") + value + QLatin1Char('\n'));
        } else if (arg == QLatin1String("--ftp-client-port")) {
            if (!takeValue() || !parsePort(value, 1, 65535, result.options.ftpClientPort))
                return invalid(QStringLiteral("Неправильный порт --ftp-client-port: ") + value + QLatin1Char('\n'));
        } else if (arg == QLatin1String("--ftp-data-port")) {
            // The passive data ports are this one and the next two.
            if (!takeValue() || !parsePort(value, 1, 65533, result.options.ftpDataPort))
                return invalid(QStringLiteral("Неправильный порт --ftp-data-port: ") + value + QLatin1Char('\n'));
        } else {
            return invalid(
                QStringLiteral("Неизвестный параметр: ") + arguments[i] + QLatin1Char('\n') + helpText(program));
        }
    }
    if (!scannerGiven)
        result.options.scanner = qEnvironmentVariable("ORTOVA_SCANNER");
    return result;
}

QString workFolderPath(const QByteArray& workDirectory, const QByteArray& terminalNumber, const QString& appDir)
{
    if (workDirectory.isEmpty())
        return appDir;
    QString path = toUi(expandMacros(workDirectory, fromUi(appDir), terminalNumber));
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::cleanPath(QDir(appDir).absoluteFilePath(path));
}

Startup::Startup(const StartupOptions& options, StartupHooks hooks)
    : m_options(options)
    , m_hooks(std::move(hooks))
{
}

Startup::~Startup() = default;

bool Startup::start()
{
    AppState& state = appState();
    const QString appDir
        = QDir(m_options.appDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_options.appDir).absolutePath();

    m_instance = std::make_unique<SingleInstance>(appDir);
    if (!m_instance->claim()) {
        m_exitCode = 0;
        return false;
    }

    installCp1251AsLocale();
    state.appDir = fromUi(appDir);
    state.workDir = state.appDir;
    setRunFolders(appDir, appDir);

    RunLog& log = RunLog::instance();
    log.open(appDir);
    log.stamped(QStringLiteral("Начало работы ************************\r\n"));

    m_mainWin = std::make_unique<MainWin>();
    if (m_options.windowed) {
        m_mainWin->setFixedSize(240, 320);
        m_mainWin->setCloseAsExit(true);
    } else {
        m_mainWin->setWindowFlags(Qt::FramelessWindowHint);
        m_mainWin->setWindowState(Qt::WindowFullScreen);
    }

    QObject::connect(m_mainWin.get(), &MainWin::MainWinExit, qApp, &QApplication::closeAllWindows);
    QObject::connect(m_mainWin.get(), &QObject::destroyed, qApp, &QApplication::closeAllWindows);
    QGuiApplication::setQuitOnLastWindowClosed(true);
    if (m_hooks.createControllers)
        m_hooks.createControllers(*m_mainWin);

    // Both files are always read, so the run log holds the errors of both.
    QDir::setCurrent(appDir);
    const bool systemRead = getIniFile(QDir(appDir).filePath(QStringLiteral("OrtSystem.ini")));
    if (!systemRead)
        showMessage(IconCritical, QStringLiteral("OrtSystem.ini"), QStringLiteral("Ошибки\nпри преобразовании"));
    const bool userRead = getIniFile(QDir(appDir).filePath(QStringLiteral("OrtUser.ini")));
    QString workDir = appDir;
    if (!userRead) {
        showMessage(IconCritical, QStringLiteral("OrtUser.ini"), QStringLiteral("Ошибки\nпри преобразовании"));
    } else {
        state.settingsChanged = false;
        workDir = workFolderPath(state.user.programm.workDirectory, state.user.programm.terminalNumber, appDir);
    }
    if (!systemRead || !userRead) {
        log.stamped(QStringLiteral("Конец работы\r\n"));
        log.close();
        m_exitCode = 1;
        return false;
    }
    state.workDir = fromUi(workDir);
    setRunFolders(appDir, workDir);

    if (m_hooks.prepareExchangeLog)
        m_hooks.prepareExchangeLog();
    state.menuGate = true;
    m_mainWin->setMode(state.receiptMode());

    if (!QDir::setCurrent(workDir))
        log.line(QStringLiteral("setCurrent: ") + workDir);
    if (m_hooks.prepareIndexes)
        m_hooks.prepareIndexes();

    installScanner(makeScanner(m_options.scanner));
    initScanner();

    QObject::connect(m_instance.get(), &SingleInstance::raiseRequested, m_mainWin.get(), [this] { raiseWindow(); });
    m_mainWin->show();

    if (m_hooks.buildWindows)
        m_hooks.buildWindows();
    if (state.user.obmen.ioFtpLocal == static_cast<qint32>(Channel::FtpServer) && m_hooks.startFtpServer)
        m_hooks.startFtpServer();
    m_exitCode = 0;
    return true;
}

int Startup::exec()
{
    if (!start())
        return m_exitCode;
    return QApplication::exec();
}

void Startup::raiseWindow()
{
    // The window in front is the controller's when one has taken over; else the menu.
    QWidget* window = QApplication::activeWindow();
    if (!window || !window->isVisible())
        window = m_mainWin.get();
    window->raise();
    window->activateWindow();
}
