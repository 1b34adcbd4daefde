// FTP client throughput: a 100 MB download and upload through FtpClient against pyftpdlib on
// loopback, and the curl command line moving the same file from the same server in the same run.
// The figures go into BENCHMARKS.md.
//
// Run: build/bench/bench_ftp; ORTOVA_BENCH_MB changes the file size. Needs /usr/bin/python3 with
// pyftpdlib and curl on the PATH.

#include "BenchNet.h"
#include "FtpClient.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

namespace {

const QByteArray User = "office";
const QByteArray Password = "secret";

struct Server {
    QTemporaryDir root;
    QTemporaryDir local;
    QProcess process;
    quint16 port = 0;
    qint64 size = 0;
};

Server* server = nullptr;

bool startServer(qint64 megabytes)
{
    server = new Server;
    QFile big(server->root.filePath(QStringLiteral("big.bin")));
    if (!big.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 31 + i / 4096);
    for (qint64 i = 0; i < megabytes; ++i)
        big.write(block);
    big.close();
    server->size = megabytes << 20;
    QFile::copy(big.fileName(), server->local.filePath(QStringLiteral("up.bin")));
    server->port = freePort();
    server->process.setStandardOutputFile(QProcess::nullDevice());
    server->process.setStandardErrorFile(QProcess::nullDevice());
    server->process.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-m"), QStringLiteral("pyftpdlib"), QStringLiteral("-i"), QStringLiteral("127.0.0.1"),
            QStringLiteral("-p"), QString::number(server->port), QStringLiteral("-d"), server->root.path(),
            QStringLiteral("-u"), QString::fromLatin1(User), QStringLiteral("-P"), QString::fromLatin1(Password),
            QStringLiteral("-w") });
    for (int i = 0; i < 200 && !accepts(server->port); ++i)
        QThread::msleep(50);
    return accepts(server->port);
}

void runClient(benchmark::State& state, bool upload)
{
    for (auto _ : state) {
        FtpClient ftp;
        QEventLoop loop;
        bool failed = true;
        QObject::connect(&ftp, &FtpClient::done, &loop, [&](bool error) {
            failed = error;
            loop.quit();
        });
        ftp.connectToHost(QStringLiteral("127.0.0.1"), server->port);
        ftp.login(User, Password);
        if (upload)
            ftp.put(server->local.filePath(QStringLiteral("up.bin")), "up.bin");
        else
            ftp.get("big.bin", server->local.filePath(QStringLiteral("down.bin")));
        ftp.close();
        loop.exec();
        if (failed)
            state.SkipWithError(ftp.errorString().toLocal8Bit().constData());
    }
    state.SetBytesProcessed(state.iterations() * server->size);
}

void runCurl(benchmark::State& state, bool upload)
{
    const QString url = QStringLiteral("ftp://127.0.0.1:%1/").arg(server->port);
    const QString user = QString::fromLatin1(User + ':' + Password);
    for (auto _ : state) {
        const QStringList args = upload
            ? QStringList { QStringLiteral("-sS"), QStringLiteral("--user"), user, QStringLiteral("-T"),
                  server->local.filePath(QStringLiteral("up.bin")), url + QStringLiteral("up.bin") }
            : QStringList { QStringLiteral("-sS"), QStringLiteral("--user"), user, QStringLiteral("-o"),
                  server->local.filePath(QStringLiteral("curl.bin")), url + QStringLiteral("big.bin") };
        if (QProcess::execute(QStringLiteral("curl"), args) != 0)
            state.SkipWithError("curl failed");
    }
    state.SetBytesProcessed(state.iterations() * server->size);
}

void BM_FtpClientDownload(benchmark::State& state)
{
    runClient(state, false);
}
void BM_CurlDownload(benchmark::State& state)
{
    runCurl(state, false);
}
void BM_FtpClientUpload(benchmark::State& state)
{
    runClient(state, true);
}
void BM_CurlUpload(benchmark::State& state)
{
    runCurl(state, true);
}

BENCHMARK(BM_FtpClientDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_FtpClientUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlUpload)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    const qint64 megabytes
        = qEnvironmentVariableIsSet("ORTOVA_BENCH_MB") ? qEnvironmentVariableIntValue("ORTOVA_BENCH_MB") : 100;
    if (!startServer(megabytes)) {
        fprintf(stderr, "bench_ftp: pyftpdlib did not start\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    server->process.kill();
    server->process.waitForFinished();
    delete server;
    return 0;
}
