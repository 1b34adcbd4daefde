// The crash battery: the day program runs the scripted day and is killed (SIGKILL) again and
// again, each run going on from the state the last one left: at random moments, and then after
// every file-system call of a day in turn (the day program kills itself right after the call the
// battery names), so that every moment between two calls is met, however short. After every kill
// the battery starts as the terminal would (the clean-up of temporaries, the index files) and
// checks what that start finds: every acknowledged booking, every table whole (the old version or
// the new one, compared with the converter's output for the text it came from), settings that read
// without a report, no stray file, a change marker beside unsent bookings, and an exchange-log
// number never handed out twice.
//
// Then a day again with power losses instead of kills: after every call in turn, and right after
// each step's acknowledgement, the day program throws away whatever was not flushed (file contents
// since their last fsync or fdatasync, names since the last flush of their folder) and dies; the
// next start must find what it finds after a kill.
//
// ORTOVA_CRASH_SEED sets the seed (printed, so a failing run can be repeated), ORTOVA_CRASH_KILLS
// the number of kills at random moments (a few dozen by default), ORTOVA_CRASH_STRIDE the step of
// the sweep over the calls of a day (every call by default; 2 for every second one, and so on),
// ORTOVA_CRASH_POWER_DAYS the number of days swept with power losses (one by default; three meet
// every change of the directories' versions).

#include "AppState.h"
#include "ConvFile.h"
#include "CrashDay.h"
#include "DescrRegistry.h"
#include "FieldCodec.h"
#include "Index.h"
#include "IopLog.h"
#include "ResultBook.h"
#include "SettingsFiles.h"
#include "TableFiles.h"
#include "TestUtil.h"
#include "Transfer.h"

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <functional>
#include <optional>
#include <random>

using namespace CrashDay;

namespace {

constexpr int DefaultKills = 40;
constexpr int DefaultStride = 1;
constexpr int DefaultPowerDays = 1;
constexpr int DefaultSeed = 20261213;
// Lines in version 0 of the goods and the receipt directory.
constexpr int GoodsLines = 4000;
constexpr int ReceiptLines = 1500;

int envNumber(const char* name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok && value > 0 ? value : fallback;
}

// What the runs so far acknowledged, and the step in progress when the last one was killed.
struct Model {
    QHash<QByteArray, qint32> booked; // code -> total
    std::optional<std::pair<QByteArray, qint32>> booking;
    int goods = -1; // version of the goods table; -1: none yet
    std::optional<int> loading;
    int receipt = -1;
    std::optional<int> converting;
    QByteArray userName = "ortova"; // as in the demo settings
    std::optional<QByteArray> saving;
    int unloaded = -1; // records in the delivered results; -1: none yet
    std::optional<int> unloading;
    bool bookedSinceUnload = false;
    quint64 lastIop = 0;
    qint64 next = 0; // the step the next run starts with
};

// The table version that was acknowledged, or the one being written when the kill came.
std::optional<int> versionFound(
    const QByteArray& bytes, bool exists, const QList<QByteArray>& versions, int acked, std::optional<int> pending)
{
    for (const int v : { acked, pending.value_or(-2) }) {
        if (v == -1 && !exists)
            return v;
        if (v >= 0 && exists && bytes == versions.at(v))
            return v;
    }
    return std::nullopt;
}

} // namespace

class TestCrash : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void killedAtRandomMoments();
    void killedAfterEveryCall();
    void powerLostAfterEveryCall();

private:
    QString runDay(QProcess& day, const QStringList& arguments, const std::function<void()>& kill);
    QString readLines(const QByteArray& output);
    QString checkNextStart();
    QString checkSettings();
    QString checkTables();
    QString checkResults();
    QString checkFolders();
    const TableDescr& table(const char* extension) { return *m_registry.table(QByteArray(extension)); }
    QString inWork(const TableDescr& t, bool binary) const
    {
        return QDir(m_f.work()).filePath(binary ? binFileName(t) : textFileName(t));
    }

    QTemporaryDir m_root;
    QTemporaryDir m_scratch;
    Folders m_f;
    AppState m_state;
    DescrRegistry m_registry;
    QList<QByteArray> m_goodsVersions;
    QList<QByteArray> m_receiptVersions;
    Model m_model;
    int m_seed = DefaultSeed;
};

void TestCrash::initTestCase()
{
    QVERIFY(m_root.isValid() && m_scratch.isValid());
    m_f.root = m_root.path();
    for (const QString& folder : { m_f.app(), m_f.work(), m_f.officeIn(), m_f.officeOut(), m_f.texts() })
        QVERIFY(QDir().mkpath(folder));
    const QString demo = QStringLiteral(ORTOVA_SOURCE_DIR "/examples/demo/");
    for (const char* name : { "OrtSystem.ini", "OrtUser.ini" })
        QVERIFY(QFile::copy(demo + QLatin1String(name), QDir(m_f.app()).filePath(QLatin1String(name))));
    TestUtil::openRunLogIn(m_scratch.path());
    QVERIFY(getIniFile(QDir(m_f.app()).filePath(QStringLiteral("OrtSystem.ini")), m_state, m_registry));

    // The texts of every version, and the tables the converter makes of them.
    ConvFile conv;
    for (int v = 0; v < Versions; ++v) {
        QVERIFY(TestUtil::writeFile(m_f.goodsText(v), directoryText(v, GoodsLines, "Goods")));
        QVERIFY(TestUtil::writeFile(m_f.receiptText(v), directoryText(v, ReceiptLines, "Receipt")));
        for (auto [text, extension, versions] : { std::tuple { m_f.goodsText(v), "TVR", &m_goodsVersions },
                 std::tuple { m_f.receiptText(v), "PRH", &m_receiptVersions } }) {
            TableDescr t = table(extension);
            const QString bin = m_scratch.filePath(QStringLiteral("expected_") + QString::number(v));
            QCOMPARE(conv.convertToBin(text, bin, t), ConvFile::Status::Ok);
            versions->append(TestUtil::readFile(bin));
        }
    }
}

// Runs the day program with the arguments after ROOT, kills it and checks the next start.
QString TestCrash::runDay(QProcess& day, const QStringList& arguments, const std::function<void()>& kill)
{
    day.start(QStringLiteral(CRASH_DAY_PROGRAM), QStringList { m_f.root } + arguments);
    if (!day.waitForStarted())
        return day.errorString();
    kill();
    day.waitForFinished(-1);
    const QByteArray output = day.readAllStandardOutput();
    if (day.exitStatus() != QProcess::CrashExit)
        return QStringLiteral("the day ended by itself:\n") + QString::fromUtf8(output);
    const QString lines = readLines(output);
    if (!lines.isEmpty())
        return lines;
    const QString found = checkNextStart();
    return found.isEmpty() ? found : QStringLiteral("after step %1: ").arg(m_model.next - 1) + found;
}

void TestCrash::killedAtRandomMoments()
{
    const int kills = envNumber("ORTOVA_CRASH_KILLS", DefaultKills);
    m_seed = envNumber("ORTOVA_CRASH_SEED", DefaultSeed);
    qInfo("crash battery: seed %d (ORTOVA_CRASH_SEED), %d kills at random moments (ORTOVA_CRASH_KILLS)", m_seed, kills);
    std::mt19937 random { unsigned(m_seed) };
    // Most kills come while the day runs; one in five while the program starts.
    std::uniform_int_distribution<int> during(0, 120000);
    std::uniform_int_distribution<int> starting(0, 40000);
    const qint64 first = m_model.next;
    for (int round = 1; round <= kills; ++round) {
        QProcess day;
        const QString found = runDay(day, { QString::number(m_model.next) }, [&] {
            if (random() % 5 == 0) {
                QThread::usleep(starting(random));
            } else {
                day.waitForReadyRead(-1);
                QThread::usleep(during(random));
            }
            day.kill();
        });
        QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("kill %1 of seed %2: ").arg(round).arg(m_seed) + found));
    }
    qInfo("crash battery: %lld steps", m_model.next - first);
    // The kills fell inside the day, not all before it started.
    QVERIFY(m_model.next - first > 10);
}

void TestCrash::killedAfterEveryCall()
{
    // Step by step through a day: each run starts at the step and dies right after its call
    // number n (counted from the step's beginning, so the moment does not shift with what earlier
    // steps did), n = 0, 1, 2, ... until a death falls after the step was acknowledged; the last
    // run leaves the step done for the next one.
    const int stride = envNumber("ORTOVA_CRASH_STRIDE", DefaultStride);
    const qint64 dayStart = (m_model.next + 9) / 10 * 10;
    int kills = 0;
    for (qint64 step = dayStart; step < dayStart + 10; ++step) {
        for (int call = m_seed % stride;; call += stride) {
            m_model.next = step;
            QProcess day;
            const QString found = runDay(day, { QString::number(step), QString::number(call) }, [] {});
            QVERIFY2(found.isEmpty(),
                qPrintable(QStringLiteral("death after call %1 of step %2: ").arg(call).arg(step) + found));
            ++kills;
            if (m_model.next > step + 1)
                break;
        }
    }
    qInfo("crash battery: %d kills after file-system calls, every %d. (ORTOVA_CRASH_STRIDE)", kills, stride);
    QVERIFY(kills > 20);
}

void TestCrash::powerLostAfterEveryCall()
{
    // As above, with a power loss after every call of each step, and one right after the step
    // was acknowledged (the moment a missing flush of its own shows): that last run leaves the
    // step done for the next one.
    const int days = envNumber("ORTOVA_CRASH_POWER_DAYS", DefaultPowerDays);
    const qint64 dayStart = (m_model.next + 9) / 10 * 10;
    const QString powerLoss = QStringLiteral("power-loss");
    int losses = 0;
    for (qint64 step = dayStart; step < dayStart + 10 * days; ++step) {
        for (int call = 0;; ++call) {
            m_model.next = step;
            QProcess day;
            const QString found = runDay(day, { QString::number(step), QString::number(call), powerLoss }, [] {});
            QVERIFY2(found.isEmpty(),
                qPrintable(QStringLiteral("power lost after call %1 of step %2: ").arg(call).arg(step) + found));
            ++losses;
            if (m_model.next > step + 1)
                break;
        }
        m_model.next = step;
        QProcess day;
        const QString found = runDay(day, { QString::number(step), QStringLiteral("ack"), powerLoss }, [] {});
        QVERIFY2(found.isEmpty(),
            qPrintable(QStringLiteral("power lost after step %1 was acknowledged: ").arg(step) + found));
        QCOMPARE(m_model.next, step + 1);
        ++losses;
    }
    qInfo("crash battery: %d power losses over %d days (ORTOVA_CRASH_POWER_DAYS)", losses, days);
    QVERIFY(losses > 20 * days);
}

// Follows the day's lines; a number of the exchange log that comes back is an error.
QString TestCrash::readLines(const QByteArray& output)
{
    Model& m = m_model;
    for (const QByteArray& line : output.split('\n')) {
        const QList<QByteArray> w = line.split(' ');
        if (line.isEmpty() || w.first() == "started")
            continue;
        if (w.first() == "start")
            return QStringLiteral("the day did not start: ") + QString::fromUtf8(line);
        if (w.size() < 2)
            return QStringLiteral("line ") + QString::fromUtf8(line);
        const QByteArray& kind = w.first();
        m.next = qMax(m.next, w.value(1).toLongLong() + 1);
        if (kind == "book") {
            m.booking = std::pair(w.value(2), w.value(3).toInt());
        } else if (kind == "booked") {
            m.booked[w.value(2)] = w.value(3).toInt();
            m.booking.reset();
            m.bookedSinceUnload = true;
        } else if (kind == "convert") {
            m.converting = w.value(2).toInt();
        } else if (kind == "converted") {
            m.receipt = w.value(2).toInt();
            m.converting.reset();
        } else if (kind == "load") {
            m.loading = w.value(2).toInt();
        } else if (kind == "loaded") {
            m.goods = w.value(2).toInt();
            m.loading.reset();
        } else if (kind == "unload") {
            m.unloading = w.value(2).toInt();
            m.bookedSinceUnload = false;
        } else if (kind == "unloaded") {
            m.unloaded = w.value(2).toInt();
            m.unloading.reset();
        } else if (kind == "save") {
            m.saving = w.value(2);
        } else if (kind == "saved") {
            m.userName = *m.saving;
            m.saving.reset();
        } else if (kind == "iop") {
            const quint64 number = w.value(2).toULongLong();
            if (number <= m.lastIop)
                return QStringLiteral("exchange log %1 after %2").arg(number).arg(m.lastIop);
            m.lastIop = number;
        } else {
            return QStringLiteral("the day failed: ") + QString::fromUtf8(line);
        }
    }
    return QString();
}

QString TestCrash::checkNextStart()
{
    // The start-up clean-up, and the exchange's in its folders, of the terminal the settings name
    // (its temporaries carry its number).
    {
        AppState state;
        DescrRegistry registry;
        if (getIniFile(QDir(m_f.app()).filePath(QStringLiteral("OrtUser.ini")), state, registry))
            appState().user.programm.terminalNumber = state.user.programm.terminalNumber;
    }
    for (const QString& folder : { m_f.work(), m_f.app(), m_f.officeIn(), m_f.officeOut() })
        removeStaleTemporaries(folder);
    iopGetNum(m_f.app());
    if (iopNumber() < m_model.lastIop)
        return QStringLiteral("exchange-log number %1 below %2").arg(iopNumber()).arg(m_model.lastIop);
    for (const QString& found : { checkFolders(), checkSettings(), checkTables(), checkResults() })
        if (!found.isEmpty())
            return found;
    return QString();
}

// Nothing but the program's own files: a temporary the clean-up does not know stays for ever.
QString TestCrash::checkFolders()
{
    const QList<std::pair<QString, QRegularExpression>> folders {
        { m_f.app(),
            QRegularExpression(QStringLiteral(
                "^(OrtSystem\\.ini|OrtUser\\.ini|OrtUserB\\.ini|logortc\\.txt|logortp\\.txt|\\d{6,}\\.ipn)$")) },
        { m_f.work(),
            QRegularExpression(
                QStringLiteral("^(Tovar_tvr\\.bin|Prihod_prh\\.bin|Ostatki_res\\.bin|Ostatki_res\\.chg|"
                               "Tovar\\.tvr|Ostatki\\.res|Ostatki\\.res\\.old|(Bar|Code)(\\.[a-z]+)?\\.ndx|"
                               "01\\d{6,}\\.iop)$")) },
        { m_f.officeIn(), QRegularExpression(QStringLiteral("^(Tovar\\.tvr|01\\d{6,}\\.iop)$")) },
        { m_f.officeOut(), QRegularExpression(QStringLiteral("^(Ostatki\\.res|01\\d{6,}\\.iop)$")) },
    };
    QStringList strangers;
    for (const auto& [folder, own] : folders)
        for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            if (!own.match(name).hasMatch())
                strangers << QDir(folder).filePath(name);
    return strangers.isEmpty() ? QString() : QStringLiteral("left behind: ") + strangers.join(QLatin1Char(' '));
}

QString TestCrash::checkSettings()
{
    for (const char* name : { "OrtSystem.ini", "OrtUser.ini", "OrtUserB.ini" }) {
        const QString path = QDir(m_f.app()).filePath(QLatin1String(name));
        if (QLatin1String(name) == QLatin1String("OrtUserB.ini") && !QFileInfo::exists(path))
            continue;
        AppState state;
        DescrRegistry registry;
        if (!getIniFile(path, state, registry))
            return QStringLiteral("%1 does not read").arg(QLatin1String(name));
        if (QLatin1String(name) != QLatin1String("OrtUser.ini"))
            continue;
        const QByteArray user = state.user.ftpClient.userName;
        if (user != m_model.userName && user != m_model.saving)
            return QStringLiteral("OrtUser.ini of user %1, saved was %2")
                .arg(QString::fromUtf8(user), QString::fromUtf8(m_model.userName));
        m_model.userName = user;
        m_model.saving.reset();
    }
    return QString();
}

QString TestCrash::checkTables()
{
    const TableDescr& goods = table("TVR");
    for (auto [t, versions, acked, pending] :
        { std::tuple { &goods, &m_goodsVersions, &m_model.goods, &m_model.loading },
            std::tuple { &table("PRH"), &m_receiptVersions, &m_model.receipt, &m_model.converting } }) {
        const QString bin = inWork(*t, true);
        const std::optional<int> v
            = versionFound(TestUtil::readFile(bin), QFileInfo::exists(bin), *versions, *acked, *pending);
        if (!v)
            return QStringLiteral("%1 is neither version %2 nor %3").arg(bin).arg(*acked).arg(pending->value_or(-1));
        *acked = *v;
        pending->reset();
    }
    // The index files the start prepares agree with the goods table, key by key.
    const QString goodsBin = inWork(goods, true);
    if (!QFileInfo::exists(goodsBin))
        return QString();
    if (!prepareIndexFiles(goodsBin, goods))
        return QStringLiteral("index files not prepared");
    const QByteArray records = TestUtil::readFile(goodsBin);
    for (const KeyRole role : { KeyRole::Bar, KeyRole::Code }) {
        const FieldDescr& key = goods.fields[keyFieldIndex(goods, role)];
        QByteArray column;
        for (qsizetype at = 0; at + goods.recordLength <= records.size(); at += goods.recordLength)
            column += records.mid(at + key.offset, key.width);
        if (TestUtil::readFile(indexFileName(goodsBin, role)) != column)
            return QStringLiteral("%1 does not follow the goods table").arg(indexFileName(goodsBin, role));
    }
    return QString();
}

QString TestCrash::checkResults()
{
    const TableDescr& res = table("RES");
    const QString bin = inWork(res, true);
    Model& m = m_model;
    if (!QFileInfo::exists(bin))
        return m.booked.isEmpty() ? QString() : QStringLiteral("no result table");
    ResultBook book;
    if (!book.open(bin, res))
        return QStringLiteral("result table not open: ") + book.errorString();
    const FieldDescr& codeField = res.fields[res.fieldIndex(QByteArrayLiteral("CODE"))];
    QHash<QByteArray, qint32> found;
    for (qint32 n = 0; n < book.count(); ++n) {
        QByteArray record;
        if (!book.read(n, record))
            return QStringLiteral("result record %1 not read").arg(n);
        const QByteArray code = fieldToText(codeField, record).trimmed();
        if (found.contains(code))
            return QStringLiteral("code %1 booked twice").arg(QString::fromUtf8(code));
        found.insert(code, book.rest(record));
    }
    book.close();
    // Every acknowledged total, or the one being booked when the kill came; nothing else.
    for (auto it = found.cbegin(); it != found.cend(); ++it) {
        const bool pending = m.booking && m.booking->first == it.key() && m.booking->second == it.value();
        if (!pending && m.booked.value(it.key(), -1) != it.value())
            return QStringLiteral("code %1 holds %2, acknowledged %3")
                .arg(QString::fromUtf8(it.key()))
                .arg(it.value())
                .arg(m.booked.value(it.key(), -1));
        m.booked[it.key()] = it.value();
    }
    for (auto it = m.booked.cbegin(); it != m.booked.cend(); ++it)
        if (!found.contains(it.key()))
            return QStringLiteral("booking of code %1 lost").arg(QString::fromUtf8(it.key()));
    // A booking on the disk, acknowledged or not, has its change marker there too.
    const bool landed = m.booking && found.value(m.booking->first, -1) == m.booking->second;
    const bool marked = QFileInfo::exists(changeMarkerName(bin));
    if ((m.bookedSinceUnload || landed) && !marked)
        return QStringLiteral("unsent bookings without a change marker");
    // The marker of delivered results goes with the delivery, unless a booking came after it.
    if (marked && !m.bookedSinceUnload && !m.booking && !m.unloading)
        return QStringLiteral("a change marker after the results were delivered");
    m.booking.reset();
    m.bookedSinceUnload = marked;

    // The delivered results: whole lines, as many as the table had at an unload.
    const QString delivered = QDir(m_f.officeOut()).filePath(textFileName(res));
    if (!QFileInfo::exists(delivered))
        return m.unloaded < 0 ? QString() : QStringLiteral("delivered results lost");
    ConvFile conv;
    qint64 good = 0;
    qint64 bad = 0;
    const QByteArray text = TestUtil::readFile(delivered);
    if (conv.checkText(delivered, res, good, bad) != ConvFile::Status::Ok || bad != 0
        || !(text.isEmpty() || text.endsWith("\r\n")))
        return QStringLiteral("delivered results not whole");
    if (good != m.unloaded && good != m.unloading.value_or(-1))
        return QStringLiteral("delivered %1 results, unloaded %2").arg(good).arg(m.unloaded);
    m.unloaded = int(good);
    m.unloading.reset();
    return QString();
}

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
