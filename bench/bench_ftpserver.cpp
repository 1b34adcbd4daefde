// The terminal's FTP server under load: curl fetches (RETR) and puts (STOR) a 100 MB file on
// loopback, against this server, pyftpdlib and, where it can run here, vsftpd, each serving the
// same file in the same run; the fetch also to /dev/null, and by a minimal client in this process
// that receives faster than curl (FetchClient), so that the servers' own pace shows. Our STOR is
// durable (flushed before "226"), the others' are not. The paired measurements run ours and
// pyftpdlib back to back in every iteration and report the median of the ratios, in clear and
// over explicit TLS (ours demanding it, pyftpdlib's TLS handler with a self-signed P-256 key like
// ours, curl --ssl-reqd -k). The figures go into BENCHMARKS.md.
//
// Run: build/bench/bench_ftpserver; ORTOVA_BENCH_MB changes the file size. Needs curl, openssl and
// /usr/bin/python3 with pyftpdlib and python3-openssl; vsftpd (Debian's /usr/sbin/vsftpd) is measured only when it is
// installed and the benchmark runs as root, since it drops privileges to its own user.

#include "BenchNet.h"
#include "FtpServerConfig.h"
#include "FtpServerThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>

namespace {

const QByteArray User = "office";
const QByteArray Password = "secret";

// One server process or thread, its root folder with "big.bin", and a place for uploads.
struct Peer {
    QTemporaryDir root;
    QString uploadFolder; // relative to the root, "" or "up/"
    QString user = QString::fromLatin1(User + ':' + Password);
    quint16 port = 0;
    bool tls = false;
    std::unique_ptr<QProcess> process;
    std::unique_ptr<FtpServerThread> thread;
    ~Peer()
    {
        if (process) {
            process->kill();
            process->waitForFinished();
        }
    }
};

qint64 fileBytes = 0;
QTemporaryDir* local = nullptr;
Peer* ours = nullptr;
Peer* python = nullptr;
Peer* vsftpd = nullptr;
Peer* oursTls = nullptr;
Peer* pythonTls = nullptr;

// pyftpdlib's command-line server with its TLS handler, demanding TLS on both connections; the
// certificate and key files come first. As in the tests' FTP peer: libcurl begins a data
// connection's handshake before its transfer command, which pyftpdlib 1.5.7 would drop, and the
// TLS handler replaces the plain one in the server only, since its own methods call the plain one
// by name.
const char pythonTlsStarter[] = R"(
import sys, runpy
from pyftpdlib import handlers, servers
class TlsData(handlers.TLS_DTPHandler):
    def readable(self):
        return self._ssl_accepting or super().readable()
class Tls(handlers.TLS_FTPHandler):
    dtp_handler = TlsData
    certfile, keyfile = sys.argv[1:3]
    tls_control_required = True
    tls_data_required = True
plain_init = servers.FTPServer.__init__
servers.FTPServer.__init__ = lambda self, address, handler, *rest: plain_init(self, address, Tls, *rest)
sys.argv = ['pyftpdlib'] + sys.argv[3:]
runpy.run_module('pyftpdlib', run_name='__main__')
)";

bool writeBigFile(const QString& path, qint64 megabytes)
{
    QFile big(path);
    if (!big.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 31 + i / 4096);
    for (qint64 i = 0; i < megabytes; ++i)
        big.write(block);
    return big.flush();
}

bool waitAccepting(quint16 port)
{
    for (int i = 0; i < 200 && !accepts(port); ++i)
        QThread::msleep(50);
    return accepts(port);
}

Peer* startOurs(bool tls)
{
    auto peer = std::make_unique<Peer>();
    peer->tls = tls;
    QFile::copy(local->filePath(QStringLiteral("big.bin")), peer->root.filePath(QStringLiteral("big.bin")));
    FtpServerConfig config;
    config.root = peer->root.path();
    config.userName = User;
    config.passWord = Password;
    config.port = freePort();
    config.dataPort = 0; // three free ports of its own choosing
    if (tls) {
        QString error;
        config.tls = TlsUse::Required;
        config.tlsIdentity = FtpTlsIdentity::loadOrCreate(local->filePath(QStringLiteral("ours.pem")), error);
        if (config.tlsIdentity.isNull())
            return nullptr;
    }
    peer->port = config.port;
    peer->thread = std::make_unique<FtpServerThread>(config);
    peer->thread->start();
    return waitAccepting(peer->port) ? peer.release() : nullptr;
}

Peer* startPython(bool tls)
{
    auto peer = std::make_unique<Peer>();
    peer->tls = tls;
    QFile::copy(local->filePath(QStringLiteral("big.bin")), peer->root.filePath(QStringLiteral("big.bin")));
    peer->port = freePort();
    QStringList arguments { QStringLiteral("-m"), QStringLiteral("pyftpdlib") };
    if (tls) {
        const QString cert = local->filePath(QStringLiteral("cert.pem"));
        const QString key = local->filePath(QStringLiteral("key.pem"));
        if (QProcess::execute(QStringLiteral("openssl"),
                { QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                    QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                    QStringLiteral("-nodes"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                    QStringLiteral("-days"), QStringLiteral("1"), QStringLiteral("-keyout"), key,
                    QStringLiteral("-out"), cert })
            != 0)
            return nullptr;
        arguments = QStringList { QStringLiteral("-c"), QString::fromLatin1(pythonTlsStarter), cert, key };
    }
    peer->process = std::make_unique<QProcess>();
    peer->process->setStandardOutputFile(QProcess::nullDevice());
    peer->process->setStandardErrorFile(QProcess::nullDevice());
    peer->process->start(QStringLiteral("/usr/bin/python3"),
        arguments
            + QStringList { QStringLiteral("-i"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"),
                QString::number(peer->port), QStringLiteral("-d"), peer->root.path(), QStringLiteral("-u"),
                QString::fromLatin1(User), QStringLiteral("-P"), QString::fromLatin1(Password), QStringLiteral("-w") });
    return waitAccepting(peer->port) ? peer.release() : nullptr;
}

// vsftpd serves anonymously from a root it may not write to, with an upload folder it owns.
Peer* startVsftpd()
{
    const QString program = QStringLiteral("/usr/sbin/vsftpd");
    if (!QFile::exists(program) || ::geteuid() != 0)
        return nullptr;
    auto peer = std::make_unique<Peer>();
    const QDir root(peer->root.path());
    QFile::copy(local->filePath(QStringLiteral("big.bin")), root.filePath(QStringLiteral("big.bin")));
    root.mkdir(QStringLiteral("up"));
    root.mkdir(QStringLiteral("empty"));
    if (QProcess::execute(QStringLiteral("chown"), { QStringLiteral("ftp"), root.filePath(QStringLiteral("up")) }) != 0)
        return nullptr;
    QFile::setPermissions(root.path(),
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    peer->uploadFolder = QStringLiteral("up/");
    peer->user = QStringLiteral("anonymous:");
    peer->port = freePort();
    const quint16 data = freePort();
    QFile conf(local->filePath(QStringLiteral("vsftpd.conf")));
    if (!conf.open(QIODevice::WriteOnly))
        return nullptr;
    conf.write(QStringLiteral("listen=YES\nlisten_address=127.0.0.1\nlisten_port=%1\nbackground=NO\n"
                              "anonymous_enable=YES\nlocal_enable=NO\nno_anon_password=YES\nanon_root=%2\n"
                              "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
                              "pasv_min_port=%3\npasv_max_port=%3\nsecure_chroot_dir=%4\nseccomp_sandbox=NO\n")
                   .arg(peer->port)
                   .arg(root.path())
                   .arg(data)
                   .arg(root.filePath(QStringLiteral("empty")))
                   .toUtf8());
    conf.close();
    peer->process = std::make_unique<QProcess>();
    peer->process->setStandardOutputFile(QProcess::nullDevice());
    peer->process->setStandardErrorFile(QProcess::nullDevice());
    peer->process->start(program, { conf.fileName() });
    return waitAccepting(peer->port) ? peer.release() : nullptr;
}

// discard: the fetched file goes to /dev/null, so that the client's own disk writes, the same for
// every server, do not hide what the servers cost.
QStringList curlArguments(const Peer& peer, bool upload, bool discard)
{
    const QString url = QStringLiteral("ftp://127.0.0.1:%1/").arg(peer.port);
    const QStringList tls
        = peer.tls ? QStringList { QStringLiteral("--ssl-reqd"), QStringLiteral("-k") } : QStringList();
    return tls
        + (upload ? QStringList { QStringLiteral("-sS"), QStringLiteral("--user"), peer.user, QStringLiteral("-T"),
               local->filePath(QStringLiteral("big.bin")), url + peer.uploadFolder + QStringLiteral("up.bin") }
                  : QStringList { QStringLiteral("-sS"), QStringLiteral("--user"), peer.user, QStringLiteral("-o"),
                      discard ? QStringLiteral("/dev/null") : local->filePath(QStringLiteral("down.bin")),
                      url + QStringLiteral("big.bin") });
}

void runCurl(benchmark::State& state, Peer* peer, bool upload, bool discard = false)
{
    if (!peer) {
        state.SkipWithError("server not available here");
        return;
    }
    for (auto _ : state) {
        if (QProcess::execute(QStringLiteral("curl"), curlArguments(*peer, upload, discard)) != 0)
            state.SkipWithError("curl failed");
    }
    if (!upload && !discard && QFileInfo(local->filePath(QStringLiteral("down.bin"))).size() != fileBytes)
        state.SkipWithError("the fetched file has the wrong size");
    state.SetBytesProcessed(state.iterations() * fileBytes);
}

// Milliseconds of one curl transfer, -1 when it failed.
double timedCurl(const Peer& peer, bool upload, bool discard)
{
    QElapsedTimer clock;
    clock.start();
    const int exit = QProcess::execute(QStringLiteral("curl"), curlArguments(peer, upload, discard));
    return exit == 0 ? double(clock.nsecsElapsed()) / 1e6 : -1;
}

// The pairs of one paired benchmark: ours and pyftpdlib's time of each pair, reported as both
// means and the median of the pairs' ratios.
struct Pairs {
    std::vector<double> ratios;
    double oursTotal = 0;
    double theirsTotal = 0;

    void add(double mine, double theirs)
    {
        ratios.push_back(mine / theirs);
        oursTotal += mine;
        theirsTotal += theirs;
    }
    void report(benchmark::State& state, const std::string& prefix)
    {
        if (ratios.empty())
            return;
        std::sort(ratios.begin(), ratios.end());
        const size_t n = ratios.size();
        state.counters[prefix + "ours_ms"] = oursTotal / double(n);
        state.counters[prefix + "pyftpdlib_ms"] = theirsTotal / double(n);
        state.counters[prefix + "ratio_median"] = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    }
};

// Our server and pyftpdlib back to back in each iteration, in turns first: on a machine whose load
// changes, each pair meets about the same load. Reports the mean times and the median of the
// pairs' ratios.
void runPaired(benchmark::State& state, Peer* ourServer, Peer* pyftpdlib, bool upload, bool discard = false)
{
    if (!ourServer || !pyftpdlib) {
        state.SkipWithError("server not available here");
        return;
    }
    Pairs pairs;
    for (auto _ : state) {
        const bool oursFirst = pairs.ratios.size() % 2 == 0;
        const double first = timedCurl(oursFirst ? *ourServer : *pyftpdlib, upload, discard);
        const double second = timedCurl(oursFirst ? *pyftpdlib : *ourServer, upload, discard);
        const double mine = oursFirst ? first : second;
        const double theirs = oursFirst ? second : first;
        if (mine < 0 || theirs < 0) {
            state.SkipWithError("curl failed");
            break;
        }
        pairs.add(mine, theirs);
    }
    pairs.report(state, std::string());
}

// A fetching FTP client in this process, so that the client's receive loop is not what is timed:
// blocking sockets, USER, PASS, TYPE I, PASV, RETR, the 150, the data taken with reads of 4 MiB (or
// spliced into /dev/null, never entering the process) and thrown away up to the server's close,
// then the 226. curl reads a data connection at most 100 KiB per call, with a poll before each,
// and writes what it read 4 to 12 KiB at a time; on loopback that, not the server, sets the pace
// of its fetches.
class FetchClient {
public:
    enum Receive { ReadLarge, SpliceToNull };

    // One fetch: total from connecting the control connection to reading the 226, transfer from
    // sending RETR to reading the 226; -1 when anything failed.
    struct Times {
        double totalMs = -1;
        double transferMs = -1;
        double serverCpuMs = -1; // filled in by timedFetch()
    };

    FetchClient()
        : m_buffer(4 << 20)
    {
    }

    Times fetch(quint16 port, Receive receive)
    {
        Times times;
        m_pending.clear();
        QElapsedTimer clock;
        clock.start();
        m_control = connectTo(port);
        qint64 transferStart = 0;
        const qint64 bytes = m_control < 0 ? -1 : retrieve(receive, clock, transferStart);
        const qint64 end = clock.nsecsElapsed();
        if (bytes == fileBytes) {
            times.totalMs = double(end) / 1e6;
            times.transferMs = double(end - transferStart) / 1e6;
        }
        if (m_control >= 0) {
            if (bytes == fileBytes)
                command("QUIT");
            ::close(m_control);
        }
        return times;
    }

private:
    static int connectTo(quint16 port)
    {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        if (s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return s;
        if (s >= 0)
            ::close(s);
        return -1;
    }

    // The bytes fetched, -1 when the dialogue went wrong; transferStart is when RETR went out.
    qint64 retrieve(Receive receive, const QElapsedTimer& clock, qint64& transferStart)
    {
        QByteArray pasv;
        if (reply() != 220 || command("USER " + User) != 331 || command("PASS " + Password) != 230
            || command("TYPE I") != 200 || command("PASV", &pasv) != 227)
            return -1;
        const int open = pasv.indexOf('(');
        const QList<QByteArray> numbers = pasv.mid(open + 1, pasv.indexOf(')') - open - 1).split(',');
        if (open < 0 || numbers.size() != 6)
            return -1;
        const int data = connectTo(quint16(numbers[4].toInt() * 256 + numbers[5].toInt()));
        if (data < 0)
            return -1;
        transferStart = clock.nsecsElapsed();
        qint64 bytes = -1;
        const int preliminary = command("RETR big.bin");
        if (preliminary == 150 || preliminary == 125)
            bytes = receive == ReadLarge ? readAll(data) : spliceAll(data);
        ::close(data);
        return bytes >= 0 && reply() == 226 ? bytes : -1;
    }

    qint64 readAll(int data)
    {
        qint64 bytes = 0;
        for (;;) {
            const ssize_t n = ::recv(data, m_buffer.data(), m_buffer.size(), 0);
            if (n == 0)
                return bytes;
            if (n > 0)
                bytes += n;
            else if (errno != EINTR)
                return -1;
        }
    }

    static qint64 spliceAll(int data)
    {
        int pipe[2];
        if (::pipe2(pipe, O_CLOEXEC) != 0)
            return -1;
        ::fcntl(pipe[1], F_SETPIPE_SZ, 1 << 20);
        const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        qint64 bytes = null < 0 ? -1 : 0;
        while (bytes >= 0) {
            ssize_t n = ::splice(data, nullptr, pipe[1], nullptr, 1 << 20, SPLICE_F_MOVE);
            if (n == 0)
                break;
            if (n < 0) {
                if (errno != EINTR)
                    bytes = -1;
                continue;
            }
            bytes += n;
            while (n > 0) {
                const ssize_t out = ::splice(pipe[0], nullptr, null, nullptr, size_t(n), SPLICE_F_MOVE);
                if (out < 0 && errno == EINTR)
                    continue;
                if (out <= 0) {
                    bytes = -1;
                    break;
                }
                n -= out;
            }
        }
        if (null >= 0)
            ::close(null);
        ::close(pipe[0]);
        ::close(pipe[1]);
        return bytes;
    }

    int command(const QByteArray& line, QByteArray* text = nullptr)
    {
        const QByteArray out = line + "\r\n";
        if (::send(m_control, out.constData(), size_t(out.size()), MSG_NOSIGNAL) != out.size())
            return -1;
        return reply(text);
    }

    // The code of the next whole reply (its last line in text), -1 when the connection ends.
    int reply(QByteArray* text = nullptr)
    {
        QByteArray first;
        for (;;) {
            const int end = m_pending.indexOf('\n');
            if (end < 0) {
                char chunk[4096];
                const ssize_t n = ::recv(m_control, chunk, sizeof chunk, 0);
                if (n <= 0)
                    return -1;
                m_pending.append(chunk, int(n));
                continue;
            }
            const QByteArray line = m_pending.left(end + 1);
            m_pending.remove(0, end + 1);
            if (first.isEmpty())
                first = line;
            // A reply of several lines ends with the line of its code and a space.
            if (line.size() >= 4 && line.left(3) == first.left(3) && line[3] == ' ') {
                if (text)
                    *text = line;
                return line.left(3).toInt();
            }
        }
    }

    int m_control = -1;
    QByteArray m_pending;
    std::vector<char> m_buffer;
};

// Milliseconds of CPU the peer's server has had so far, -1 when unknown: pyftpdlib's process (one
// thread) from the scheduler's count, ours as this process's time less this (the client's) thread's,
// which leaves our server's thread and threads that sleep. On loopback most of the kernel's work of
// carrying the bytes into the client's socket is done inside the server's send calls and counts as
// the server's, for either server.
double serverCpuMs(const Peer& peer)
{
    if (peer.process) {
        QFile stat(QStringLiteral("/proc/%1/schedstat").arg(peer.process->processId()));
        if (!stat.open(QIODevice::ReadOnly))
            return -1;
        bool ok = false;
        const double ns = stat.readAll().split(' ').value(0).toDouble(&ok);
        return ok ? ns / 1e6 : -1;
    }
    rusage process {};
    rusage thread {};
    if (::getrusage(RUSAGE_SELF, &process) != 0 || ::getrusage(RUSAGE_THREAD, &thread) != 0)
        return -1;
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(process.ru_utime) + ms(process.ru_stime) - ms(thread.ru_utime) - ms(thread.ru_stime);
}

// One fetch by the client, with the CPU the server spent on it.
FetchClient::Times timedFetch(FetchClient& client, const Peer& peer, FetchClient::Receive receive)
{
    const double cpuBefore = serverCpuMs(peer);
    FetchClient::Times times = client.fetch(peer.port, receive);
    const double cpuAfter = serverCpuMs(peer);
    times.serverCpuMs = cpuBefore < 0 || cpuAfter < 0 ? -1 : cpuAfter - cpuBefore;
    return times;
}

// As runPaired, each fetch by the client in this process; the transfer's times (from RETR to its
// 226) are reported beside the totals.
void runClientPaired(benchmark::State& state, FetchClient::Receive receive)
{
    if (!ours || !python) {
        state.SkipWithError("server not available here");
        return;
    }
    FetchClient client;
    Pairs totals;
    Pairs transfers;
    Pairs cpu;
    for (auto _ : state) {
        const bool oursFirst = totals.ratios.size() % 2 == 0;
        const FetchClient::Times first = timedFetch(client, oursFirst ? *ours : *python, receive);
        const FetchClient::Times second = timedFetch(client, oursFirst ? *python : *ours, receive);
        const FetchClient::Times& mine = oursFirst ? first : second;
        const FetchClient::Times& theirs = oursFirst ? second : first;
        if (mine.totalMs < 0 || theirs.totalMs < 0 || mine.serverCpuMs < 0 || theirs.serverCpuMs < 0) {
            state.SkipWithError("a fetch failed, brought the wrong number of bytes or was not measured");
            break;
        }
        totals.add(mine.totalMs, theirs.totalMs);
        transfers.add(mine.transferMs, theirs.transferMs);
        cpu.add(mine.serverCpuMs, theirs.serverCpuMs);
    }
    totals.report(state, std::string());
    transfers.report(state, "transfer_");
    cpu.report(state, "server_cpu_");
    state.SetBytesProcessed(state.iterations() * 2 * fileBytes);
}

void BM_StorPaired(benchmark::State& state)
{
    runPaired(state, ours, python, true);
}
void BM_RetrPaired(benchmark::State& state)
{
    runPaired(state, ours, python, false);
}
void BM_RetrDiscardPaired(benchmark::State& state)
{
    runPaired(state, ours, python, false, true);
}
void BM_RetrClientPaired(benchmark::State& state)
{
    runClientPaired(state, FetchClient::ReadLarge);
}
void BM_RetrClientSplicePaired(benchmark::State& state)
{
    runClientPaired(state, FetchClient::SpliceToNull);
}
void BM_StorTlsPaired(benchmark::State& state)
{
    runPaired(state, oursTls, pythonTls, true);
}
void BM_RetrTlsPaired(benchmark::State& state)
{
    runPaired(state, oursTls, pythonTls, false);
}
void BM_RetrDiscardTlsPaired(benchmark::State& state)
{
    runPaired(state, oursTls, pythonTls, false, true);
}

void BM_RetrOurs(benchmark::State& state)
{
    runCurl(state, ours, false);
}
void BM_RetrPyftpdlib(benchmark::State& state)
{
    runCurl(state, python, false);
}
void BM_RetrVsftpd(benchmark::State& state)
{
    runCurl(state, vsftpd, false);
}
void BM_RetrDiscardOurs(benchmark::State& state)
{
    runCurl(state, ours, false, true);
}
void BM_RetrDiscardPyftpdlib(benchmark::State& state)
{
    runCurl(state, python, false, true);
}
void BM_StorOurs(benchmark::State& state)
{
    runCurl(state, ours, true);
}
void BM_StorPyftpdlib(benchmark::State& state)
{
    runCurl(state, python, true);
}
void BM_StorVsftpd(benchmark::State& state)
{
    runCurl(state, vsftpd, true);
}

BENCHMARK(BM_StorPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrDiscardPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrClientPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrClientSplicePaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_StorTlsPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrTlsPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrDiscardTlsPaired)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(15);
BENCHMARK(BM_RetrOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RetrPyftpdlib)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RetrVsftpd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RetrDiscardOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_RetrDiscardPyftpdlib)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_StorOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_StorPyftpdlib)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_StorVsftpd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const qint64 megabytes
        = qEnvironmentVariableIsSet("ORTOVA_BENCH_MB") ? qEnvironmentVariableIntValue("ORTOVA_BENCH_MB") : 100;
    fileBytes = megabytes << 20;
    local = new QTemporaryDir;
    if (!writeBigFile(local->filePath(QStringLiteral("big.bin")), megabytes)) {
        fprintf(stderr, "bench_ftpserver: cannot write the test file\n");
        return 1;
    }
    ours = startOurs(false);
    python = startPython(false);
    vsftpd = startVsftpd();
    oursTls = startOurs(true);
    pythonTls = startPython(true);
    if (!ours || !oursTls)
        fprintf(stderr, "bench_ftpserver: the terminal's server did not start\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete ours;
    delete python;
    delete vsftpd;
    delete oursTls;
    delete pythonTls;
    delete local;
    return 0;
}
