#include "FolderChannel.h"

#include "Codec.h"
#include "DocumentList.h"
#include "RecordFile.h"
#include "RunLog.h"
#include "Transfer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <sys/stat.h>

namespace {

QString joined(const QString& folder, const QString& name)
{
    return QDir::cleanPath(folder + QLatin1Char('/') + name);
}

} // namespace

FolderChannel::FolderChannel(const ChannelSetup& setup, QObject* parent)
    : ExchangeChannel(parent)
    , m_setup(setup)
{
}

QString FolderChannel::localFolder(bool input) const
{
    return input ? m_setup.input : m_setup.output;
}

bool FolderChannel::isWorkFolder(bool input) const
{
    // By the folders themselves, not their spelling: "work/", "work/." and a link are the same.
    // Asked each time: the exchange may make a missing folder first.
    return sameFolder(localFolder(input), m_setup.work);
}

void FolderChannel::begin(bool load)
{
    // A copy into the exchange folder that a crash cut short leaves a temporary of ours there.
    removeStaleTemporaries(localFolder(load));
}

void FolderChannel::start(const ExchangeJob& job)
{
    // Answered from the event loop, as the FTP client channel answers.
    QMetaObject::invokeMethod(
        this, [this, job] { run(job); }, Qt::QueuedConnection);
}

void FolderChannel::setStatus(const QString& text)
{
    if (text == m_status)
        return;
    m_status = text;
    emit statusChanged(text);
}

QString FolderChannel::officeFile(const ExchangeJob& job) const
{
    if (isWorkFolder(job.input) && !job.local.isEmpty())
        return job.local;
    return resolveFileCase(joined(localFolder(job.input), toUi(job.name)));
}

void FolderChannel::run(ExchangeJob job)
{
    m_status.clear();
    job.outcome = JobOutcome::Done;
    switch (job.kind) {
    case JobKind::List:
        list(job);
        break;
    case JobKind::Lookup:
        job.inPlace = isWorkFolder(job.input);
        job.exists = QFileInfo::exists(officeFile(job));
        break;
    case JobKind::Fetch:
        fetch(job);
        break;
    case JobKind::Deliver:
        deliver(job);
        break;
    case JobKind::ActOnSource:
        actOnSource(job);
        break;
    case JobKind::DeliverLog:
        deliverLog(job);
        break;
    case JobKind::Close:
        break;
    }
    emit finished(job);
}

void FolderChannel::list(ExchangeJob& job)
{
    if (!m_setup.listTable
        || !loadListLines(m_setup.input, *m_setup.listTable, m_setup.receiptMode, m_setup.enCaseChanged, job.listing)) {
        job.outcome = JobOutcome::Failed;
        job.reason = QStringLiteral("Загрузка\nошибки");
    }
}

bool FolderChannel::stampOf(const QString& path, Stamp& stamp)
{
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modifiedNs = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

void FolderChannel::actOnSource(ExchangeJob& job)
{
    const QString file = officeFile(job);
    Stamp now;
    const auto fetched = m_fetched.constFind(job.name);
    if (fetched == m_fetched.constEnd() || !stampOf(file, now) || !(now == *fetched)) {
        // The office put another file under the name since it was copied (or took it away).
        job.outcome = JobOutcome::Failed;
        job.sourceChanged = true;
        job.reason = QStringLiteral("Справочник изменён в офисе и оставлен");
        return;
    }
    m_fetched.remove(job.name);
    if (!applySourceAction(job.action, file))
        job.outcome = JobOutcome::Failed;
}

void FolderChannel::fetch(ExchangeJob& job)
{
    const QString source = resolveFileCase(joined(m_setup.input, toUi(job.name)));
    // Taken before the copy: a file put in its place during the copy is not the one copied.
    Stamp stamp;
    const bool stamped = stampOf(source, stamp);
    m_fetched.remove(job.name);
    CopyOutcome outcome = CopyOutcome::SameFile;
    if (isWorkFolder(true)) {
        // The office's file is read where it lies.
        job.local = source;
        job.inPlace = true;
        if (!QFileInfo(source).isFile())
            outcome = CopyOutcome::NoSource;
    } else {
        setStatus(QStringLiteral("Копирование"));
        outcome = copyFileSafely(source, job.local, [this](qint64 done, qint64 total) {
            setStatus(QStringLiteral("Лок.папка\nчтение"));
            emit progress(done, total);
        });
        if (outcome == CopyOutcome::SameFile) {
            job.local = source;
            job.inPlace = true;
        }
    }
    switch (outcome) {
    case CopyOutcome::Copied:
    case CopyOutcome::SameFile:
        if (stamped)
            m_fetched.insert(job.name, stamp);
        return;
    case CopyOutcome::NoSource:
        job.outcome = JobOutcome::Failed;
        job.logText = QStringLiteral("Нет справочника");
        job.reason = QStringLiteral("Загрузка\nНет\nсправочника");
        return;
    case CopyOutcome::Failed:
        job.outcome = JobOutcome::Failed;
        job.reason = QStringLiteral("Загрузка\nОшибка\nкопирования");
        return;
    }
}

void FolderChannel::deliver(ExchangeJob& job)
{
    // A text made in the work folder that is the output folder is the delivery itself.
    job.inPlace = isWorkFolder(false);
    if (job.inPlace)
        return;
    setStatus(QStringLiteral("Копирование"));
    const CopyOutcome outcome = copyFileSafely(job.local, officeFile(job), [this](qint64 done, qint64 total) {
        setStatus(QStringLiteral("Лок.папка\nзапись"));
        emit progress(done, total);
    });
    if (outcome == CopyOutcome::SameFile)
        job.inPlace = true;
    if (outcome != CopyOutcome::Copied && outcome != CopyOutcome::SameFile) {
        job.outcome = JobOutcome::Failed;
        job.reason = QStringLiteral("Выгрузка\nОшибка\nкопирования");
    }
}

void FolderChannel::deliverLog(ExchangeJob& job)
{
    // After a load the log goes to the input folder, after an unload to the output folder.
    if (isWorkFolder(job.input)) {
        logLine(QStringLiteral("obmIop: delivered in the work folder ") + job.local);
        job.inPlace = true;
        return;
    }
    const QString target = joined(localFolder(job.input), QFileInfo(job.local).fileName());
    switch (copyFileSafely(job.local, target)) {
    case CopyOutcome::Copied:
        break;
    case CopyOutcome::SameFile:
        // Already where it belongs: releasing it would delete the delivered log.
        logLine(QStringLiteral("obmIop: delivered in place ") + job.local);
        job.inPlace = true;
        break;
    case CopyOutcome::NoSource:
    case CopyOutcome::Failed:
        job.outcome = JobOutcome::Failed;
        job.reason = target;
        break;
    }
}
