#include "FtpSession.h"

#include "DocumentList.h"
#include "ReplaceFile.h"
#include "RunLog.h"

#include <QElapsedTimer>
#include <QFile>

#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <netdb.h>

namespace {

// libcurl keeps the path of a URL as given; every byte that is not plainly safe travels as %XX,
// so Windows-1251 names and blanks reach the server unchanged.
QByteArray encodedName(const QByteArray& name)
{
    return name.toPercentEncoding();
}

// Folder names from outside may use "/" or "\" between their parts.
QList<QByteArray> pathParts(const QByteArray& path)
{
    QByteArray p = path;
    p.replace('\\', '/');
    QList<QByteArray> parts;
    for (const QByteArray& part : p.split('/'))
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    return parts;
}

bool hasLineBreak(const QByteArray& name)
{
    return name.contains('\r') || name.contains('\n') || name.contains('\0');
}

struct Download {
    ReplaceFile* file = nullptr;
    qint64 received = 0;
};

size_t writeToFile(char* data, size_t size, size_t count, void* target)
{
    auto* d = static_cast<Download*>(target);
    const size_t bytes = size * count;
    if (!d->file->write(data, qint64(bytes)))
        return 0; // libcurl stops with a write error
    d->received += qint64(bytes);
    return bytes;
}

size_t readFromFile(char* data, size_t size, size_t count, void* source)
{
    const qint64 n = static_cast<QFile*>(source)->read(data, qint64(size * count));
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

struct Listing {
    QByteArray pending;
    std::function<void(const UrlInfo&)> sink;
    QDate today = QDate::currentDate();

    void takeLines(bool all)
    {
        int start = 0;
        for (int end; (end = pending.indexOf('\n', start)) >= 0; start = end + 1)
            take(pending.mid(start, end - start));
        pending.remove(0, start);
        if (all && !pending.isEmpty()) {
            take(pending);
            pending.clear();
        }
    }
    void take(QByteArray line)
    {
        if (line.endsWith('\r'))
            line.chop(1);
        UrlInfo info;
        if (!parseListLine(line, info, today))
            return;
        if (!exchangeNameSafe(info.name)) {
            logLine(QByteArrayLiteral("FtpClient list: unsafe name ignored: ") + info.name);
            return;
        }
        sink(info);
    }
};

size_t writeToListing(char* data, size_t size, size_t count, void* target)
{
    auto* l = static_cast<Listing*>(target);
    l->pending.append(data, qsizetype(size * count));
    l->takeLines(false);
    return size * count;
}

size_t discard(char*, size_t size, size_t count, void*)
{
    return size * count;
}

} // namespace

void FtpSession::setSecurity(const FtpClient::Security& security)
{
    m_tls = security.tls;
    m_pin.clear();
    for (QByteArray pin : security.pin.split(';')) {
        pin = pin.trimmed();
        if (pin.isEmpty())
            continue;
        if (!pin.startsWith("sha256//"))
            pin.prepend("sha256//");
        m_pin += (m_pin.isEmpty() ? "" : ";") + pin;
    }
}

FtpSession::FtpSession(Sinks sinks, const std::atomic_bool& abortFlag)
    : m_sinks(std::move(sinks))
    , m_abort(abortFlag)
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    openHandles();
}

FtpSession::~FtpSession()
{
    closeHandles();
}

void FtpSession::openHandles()
{
    const std::lock_guard<std::mutex> lock(m_handles);
    m_multi = curl_multi_init();
    m_easy = curl_easy_init();
    m_alive = false;
}

void FtpSession::closeHandles()
{
    const std::lock_guard<std::mutex> lock(m_handles);
    // Cleaning the multi handle closes its cached connection, which sends QUIT.
    if (m_easy)
        curl_easy_cleanup(m_easy);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    m_easy = nullptr;
    m_multi = nullptr;
    m_alive = false;
}

void FtpSession::wakeUp()
{
    const std::lock_guard<std::mutex> lock(m_handles);
    if (m_multi)
        curl_multi_wakeup(m_multi);
}

void FtpSession::report(int state)
{
    if (state == m_reported)
        return;
    m_reported = state;
    m_sinks.state(state);
}

FtpSession::Result FtpSession::run(const Command& c)
{
    switch (c.kind) {
    case Command::ConnectToHost:
        return connectToHost(c);
    case Command::Login:
        return login(c);
    case Command::Cd:
        return cd(c);
    case Command::SetTransferMode:
        m_mode = c.mode;
        return {};
    case Command::Get:
        return get(c);
    case Command::Put:
        return put(c);
    case Command::Rename:
        if (hasLineBreak(c.first) || hasLineBreak(c.second))
            return { FtpClient::UnknownError, QStringLiteral("Renaming file failed:\nbad file name") };
        return quote({ "RNFR " + c.first, "RNTO " + c.second }, QStringLiteral("Renaming file failed:\n"));
    case Command::Remove:
        if (hasLineBreak(c.first))
            return { FtpClient::UnknownError, QStringLiteral("Removing file failed:\nbad file name") };
        return quote({ "DELE " + c.first }, QStringLiteral("Removing file failed:\n"));
    case Command::List:
        return list(c);
    case Command::Close:
        return close();
    }
    return {};
}

FtpSession::Result FtpSession::connectToHost(const Command& c)
{
    if (m_alive && c.host == m_host && c.port == m_port)
        return {};
    if (m_alive)
        close();
    m_host = c.host;
    m_port = c.port;
    m_loggedIn = false;
    m_folder.clear();
    report(FtpClient::HostLookup);
    addrinfo* found = nullptr;
    addrinfo hints {};
    hints.ai_socktype = SOCK_STREAM;
    const int rc = getaddrinfo(m_host.toUtf8().constData(), nullptr, &hints, &found);
    if (found)
        freeaddrinfo(found);
    if (rc != 0 || m_host.isEmpty()) {
        report(FtpClient::Unconnected);
        m_host.clear();
        return { FtpClient::HostNotFound, QStringLiteral("Host %1 not found").arg(c.host) };
    }
    // libcurl opens the control connection with the first request, which is the login.
    report(FtpClient::Connecting);
    return {};
}

FtpSession::Result FtpSession::login(const Command& c)
{
    if (m_host.isEmpty())
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    m_user = c.first;
    m_password = c.second;
    if (m_alive) // a second login on an open connection: let it be a fresh one
        close();
    prepare(folderUrl(m_folder));
    curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
    const int rc = perform();
    if (rc != CURLE_OK)
        return failure(rc, QStringLiteral("Login failed:\n"));
    m_loggedIn = true;
    report(FtpClient::LoggedIn);
    return {};
}

FtpSession::Result FtpSession::cd(const Command& c)
{
    if (!m_loggedIn)
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    QByteArray dir = c.first;
    dir.replace('\\', '/');
    QList<QByteArray> folder = dir.startsWith('/') ? QList<QByteArray> { QByteArrayLiteral("/") }
        : c.fromLogin                              ? QList<QByteArray>()
                                                   : m_folder;
    for (const QByteArray& part : pathParts(dir)) {
        if (part == ".." && !folder.isEmpty() && folder.last() != "/" && folder.last() != "..")
            folder.removeLast();
        else
            folder.append(part);
    }
    prepare(folderUrl(folder));
    curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
    const int rc = perform();
    if (rc != CURLE_OK)
        return failure(rc, QStringLiteral("Changing directory failed:\n"));
    m_folder = folder;
    return {};
}

FtpSession::Result FtpSession::get(const Command& c)
{
    if (!m_loggedIn)
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    ReplaceFile file(c.localPath);
    if (!file.open())
        return { FtpClient::UnknownError, QStringLiteral("Downloading file failed:\n") + file.errorString() };
    Download d;
    d.file = &file;
    prepare(folderUrl(m_folder) + encodedName(c.first));
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, writeToFile);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &d);
    const int rc = perform();
    if (rc != CURLE_OK)
        return failure(rc, QStringLiteral("Downloading file failed:\n"));
    curl_off_t announced = -1;
    curl_easy_getinfo(m_easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && announced != d.received)
        return { FtpClient::UnknownError,
            QStringLiteral("Downloading file failed:\nreceived %1 of %2 bytes").arg(d.received).arg(announced) };
    if (!file.commit())
        return { FtpClient::UnknownError, QStringLiteral("Downloading file failed:\n") + file.errorString() };
    return {};
}

FtpSession::Result FtpSession::put(const Command& c)
{
    if (!m_loggedIn)
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    if (hasLineBreak(c.first))
        return { FtpClient::UnknownError, QStringLiteral("Uploading file failed:\nbad file name") };
    QFile file(c.localPath);
    if (!file.open(QIODevice::ReadOnly))
        return { FtpClient::UnknownError, QStringLiteral("Uploading file failed:\n") + file.errorString() };
    prepare(folderUrl(m_folder) + encodedName(c.first));
    curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(m_easy, CURLOPT_READDATA, &file);
    curl_easy_setopt(m_easy, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    const int rc = perform();
    if (rc == CURLE_OK)
        return {};
    const Result result = failure(rc, QStringLiteral("Uploading file failed:\n"));
    if (m_storAccepted) {
        // The server began a file under the office name; a part of it must not stay there.
        m_cleanup = true;
        quote({ "DELE " + c.first }, QString());
        m_cleanup = false;
    }
    return result;
}

FtpSession::Result FtpSession::quote(const QList<QByteArray>& commands, const QString& failureText)
{
    if (!m_loggedIn)
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    // POSTQUOTE runs after the CWDs into the folder (QUOTE would run before them).
    curl_slist* list = nullptr;
    for (const QByteArray& command : commands)
        list = curl_slist_append(list, command.constData());
    prepare(folderUrl(m_folder));
    curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, list);
    if (m_cleanup) // bounded, so an abort still ends at once
        curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, 2000L);
    const int rc = perform();
    curl_easy_setopt(m_easy, CURLOPT_POSTQUOTE, nullptr);
    curl_slist_free_all(list);
    if (rc != CURLE_OK)
        return failure(rc, failureText);
    return {};
}

FtpSession::Result FtpSession::list(const Command& c)
{
    if (!m_loggedIn)
        return { FtpClient::NotConnected, QStringLiteral("Not connected") };
    QList<QByteArray> folder = m_folder;
    QByteArray dir = c.first;
    dir.replace('\\', '/');
    if (dir.startsWith('/'))
        folder = { QByteArrayLiteral("/") };
    folder += pathParts(dir);
    Listing listing;
    listing.sink = m_sinks.entry;
    prepare(folderUrl(folder));
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, writeToListing);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &listing);
    const int rc = perform();
    if (rc != CURLE_OK)
        return failure(rc, QStringLiteral("Listing directory failed:\n"));
    listing.takeLines(true);
    return {};
}

FtpSession::Result FtpSession::close()
{
    if (m_reported != FtpClient::Unconnected)
        report(FtpClient::Closing);
    closeHandles();
    openHandles();
    m_loggedIn = false;
    m_host.clear();
    m_folder.clear();
    report(FtpClient::Unconnected);
    return {};
}

QByteArray FtpSession::folderUrl(const QList<QByteArray>& folder) const
{
    QByteArray url = "ftp://";
    const QByteArray host = m_host.toUtf8();
    url += host.contains(':') ? "[" + host + "]" : host;
    url += ':' + QByteArray::number(m_port) + '/';
    for (const QByteArray& part : folder)
        url += (part == "/" ? QByteArrayLiteral("%2F") : encodedName(part)) + '/';
    return url;
}

void FtpSession::prepare(const QByteArray& url)
{
    curl_easy_reset(m_easy);
    m_lastReply.clear();
    m_storAccepted = false;
    m_lastProgress = -1;
    m_clock.start();
    m_errorBuffer[0] = 0;
    curl_easy_setopt(m_easy, CURLOPT_URL, url.constData());
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    // The password goes to libcurl only here, never inside a URL or a trace.
    curl_easy_setopt(m_easy, CURLOPT_USERNAME, m_user.constData());
    curl_easy_setopt(m_easy, CURLOPT_PASSWORD, m_password.constData());
    curl_easy_setopt(m_easy, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, discard);
    curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, this);
    // Office servers behind old firewalls know PASV only; active mode offers the address the
    // control connection already uses.
    curl_easy_setopt(m_easy, CURLOPT_FTP_USE_EPSV, 0L);
    curl_easy_setopt(m_easy, CURLOPT_FTP_USE_EPRT, 0L);
    curl_easy_setopt(m_easy, CURLOPT_FTPPORT, m_mode == FtpClient::Active ? "-" : nullptr);
    const long responseSeconds = std::max(1L, long((m_timeouts.responseMs + 999) / 1000));
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, long(m_timeouts.connectMs));
    curl_easy_setopt(m_easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, responseSeconds);
    curl_easy_setopt(m_easy, CURLOPT_ACCEPTTIMEOUT_MS, long(m_timeouts.responseMs));
    // A data connection that stalls is as dead as a silent control connection.
    curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, responseSeconds);
    // A fingerprint demands TLS whatever TLS says: the office pinned a key, so the password never
    // goes to a server that shows none.
    const bool pinned = !m_pin.isEmpty();
    if (m_tls != TlsUse::Off || pinned) {
        curl_easy_setopt(
            m_easy, CURLOPT_USE_SSL, long(m_tls == TlsUse::Required || pinned ? CURLUSESSL_ALL : CURLUSESSL_TRY));
        if (pinned) {
            // The key decides; an office's own certificate names no authority and often no host.
            curl_easy_setopt(m_easy, CURLOPT_PINNEDPUBLICKEY, m_pin.constData());
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
        }
    }
}

int FtpSession::perform()
{
    if (!m_alive)
        report(FtpClient::Connecting);
    curl_multi_add_handle(m_multi, m_easy);
    CURLcode rc = CURLE_OK;
    bool finished = false;
    while (!finished) {
        if (m_abort && !m_cleanup) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        int running = 0;
        if (curl_multi_perform(m_multi, &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(m_multi, &queued)) {
            if (msg->msg == CURLMSG_DONE) {
                rc = msg->data.result;
                finished = true;
            }
        }
        if (!finished)
            curl_multi_poll(m_multi, nullptr, 0, 200, nullptr);
    }
    // Most failures make libcurl drop the control connection; ask whether it still has one.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (finished)
        curl_easy_getinfo(m_easy, CURLINFO_ACTIVESOCKET, &socket);
    curl_multi_remove_handle(m_multi, m_easy);
    m_alive = socket != CURL_SOCKET_BAD;
    if (!m_alive)
        report(FtpClient::Unconnected);
    else if (m_loggedIn)
        report(FtpClient::LoggedIn);
    return rc;
}

FtpSession::Result FtpSession::failure(int code, const QString& what) const
{
    Result r;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        r.error = FtpClient::HostNotFound;
        r.text = QStringLiteral("Host %1 not found").arg(m_host);
        break;
    case CURLE_COULDNT_CONNECT:
        r.error = FtpClient::ConnectionRefused;
        r.text = QStringLiteral("Connection refused to host %1").arg(m_host);
        break;
    case CURLE_ABORTED_BY_CALLBACK:
        r.error = FtpClient::UnknownError;
        r.text = what + QStringLiteral("Aborted");
        break;
    // The operator's words for what TLS refused: nothing was sent to such a server.
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        r.error = FtpClient::UnknownError;
        r.text = QStringLiteral("Ключ сервера\nне совпадает\nс отпечатком");
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
        r.error = FtpClient::UnknownError;
        r.text = QStringLiteral("Сертификат\nсервера\nне подтверждён");
        break;
    case CURLE_USE_SSL_FAILED:
        r.error = FtpClient::UnknownError;
        r.text = QStringLiteral("Сервер\nбез TLS");
        break;
    case CURLE_SSL_CONNECT_ERROR:
        r.error = FtpClient::UnknownError;
        r.text = QStringLiteral("Ошибка TLS");
        break;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_FTP_ACCEPT_TIMEOUT:
        r.error = FtpClient::UnknownError;
        r.text = what + QStringLiteral("Connection timed out to host %1").arg(m_host);
        break;
    default: {
        r.error = FtpClient::UnknownError;
        // The server's own words say most (550 No such file), else libcurl's.
        const bool serverSaid = m_lastReply.size() > 3 && (m_lastReply[0] == '4' || m_lastReply[0] == '5');
        QString detail = serverSaid
            ? QString::fromLatin1(m_lastReply)
            : QString::fromLatin1(m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(CURLcode(code)));
        r.text = what + detail;
    }
    }
    if (!m_password.isEmpty()) {
        for (const QString& secret : { QString::fromLatin1(m_password), QString::fromLocal8Bit(m_password),
                 QString::fromLatin1(m_password.toPercentEncoding()) })
            r.text.replace(secret, QStringLiteral("******"));
    }
    return r;
}

size_t FtpSession::onHeader(char* data, size_t size, size_t count, void* self)
{
    auto* s = static_cast<FtpSession*>(self);
    const size_t bytes = size * count;
    QByteArray line(data, qsizetype(bytes));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.size() < 3)
        return bytes;
    s->m_lastReply = line;
    const QByteArray code = line.left(3);
    if (code == "220") {
        // A greeting on a connection we thought open: libcurl found it dead and dialled again.
        if (s->m_reported >= FtpClient::Connected) {
            s->report(FtpClient::Unconnected);
            s->report(FtpClient::Connecting);
        }
        s->report(FtpClient::Connected);
    } else if (code == "230") {
        s->report(FtpClient::LoggedIn);
    } else if (code == "150" || code == "125") {
        s->m_storAccepted = true;
    }
    return bytes;
}

int FtpSession::onProgress(void* self, qint64 dlTotal, qint64 dlNow, qint64 ulTotal, qint64 ulNow)
{
    auto* s = static_cast<FtpSession*>(self);
    if (s->m_abort && !s->m_cleanup)
        return 1; // libcurl ends the transfer with CURLE_ABORTED_BY_CALLBACK
    const bool upload = ulNow > 0 || ulTotal > 0;
    const qint64 now = upload ? ulNow : dlNow;
    const qint64 total = upload ? ulTotal : dlTotal;
    const qint64 ms = s->m_clock.elapsed();
    if (now != s->m_lastProgress && (now == total || ms - s->m_lastProgressMs >= 100 || s->m_lastProgress < 0)) {
        s->m_lastProgress = now;
        s->m_lastProgressMs = ms;
        s->m_sinks.progress(now, total > 0 ? total : -1);
    }
    return 0;
}
