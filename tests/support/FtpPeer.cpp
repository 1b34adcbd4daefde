#include "FtpPeer.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

namespace {

// pyftpdlib's own command-line server with two changes: undecodable name bytes pass through
// unchanged (surrogateescape) instead of becoming "?" or failing the reply, data connections may be throttled,
// LIST may answer as a Windows (IIS) server does, and the server may demand explicit TLS.
const char starter[] = R"(
import os, sys, runpy
from pyftpdlib import handlers
handlers.FTPHandler.unicode_errors = 'surrogateescape'
handlers.FTPHandler.push = lambda self, s: handlers.asynchat.async_chat.push(self, s.encode('utf8', 'surrogateescape'))
rate = int(os.environ.get('FTPPEER_THROTTLE', '0'))
if rate > 0:
    class Slow(handlers.ThrottledDTPHandler):
        read_limit = rate
        write_limit = rate
    handlers.FTPHandler.dtp_handler = Slow
if os.environ.get('FTPPEER_WINDOWS') == '1':
    import time
    from pyftpdlib import filesystems
    def format_list(self, basedir, listing, ignore_err=True):
        for name in listing:
            try:
                st = self.lstat(os.path.join(basedir, name))
            except OSError:
                if ignore_err:
                    continue
                raise
            stamp = time.strftime('%m-%d-%y  %I:%M%p', time.localtime(st.st_mtime))
            size = '      <DIR>         ' if os.path.isdir(os.path.join(basedir, name)) else '%20d' % st.st_size
            yield ('%s %s %s\r\n' % (stamp, size, name)).encode('utf8', 'surrogateescape')
    filesystems.AbstractedFS.format_list = format_list
pem = os.environ.get('FTPPEER_TLS', '')
if pem:
    # The TLS handler is handed to the server in place of the plain one, which keeps its name:
    # the TLS handler's own methods call it by that name.
    from pyftpdlib import servers
    # libcurl begins a data connection's handshake before its transfer command; pyftpdlib would
    # drop a data connection that speaks that early.
    class TlsData(handlers.TLS_DTPHandler):
        def readable(self):
            return self._ssl_accepting or super().readable()
    class Tls(handlers.TLS_FTPHandler):
        dtp_handler = TlsData
        certfile = pem
        tls_control_required = True
        tls_data_required = True
    plain_init = servers.FTPServer.__init__
    servers.FTPServer.__init__ = lambda self, address, handler, *rest: plain_init(self, address, Tls, *rest)
sys.argv = ['pyftpdlib'] + sys.argv[1:]
runpy.run_module('pyftpdlib', run_name='__main__')
)";

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

} // namespace

FtpPeer::~FtpPeer()
{
    kill();
}

bool FtpPeer::start(const QString& rootDir, const QByteArray& user, const QByteArray& password)
{
    m_root = rootDir;
    m_user = user;
    m_password = password;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = freePort();
        if (m_port == 0)
            return false;
        if (launch())
            return true;
        kill(); // the port was taken meanwhile, or the server did not come up: try another port
    }
    return false;
}

bool FtpPeer::restart()
{
    kill();
    return launch();
}

bool FtpPeer::launch()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FTPPEER_THROTTLE"), QString::number(m_throttle));
    env.insert(QStringLiteral("FTPPEER_WINDOWS"), m_windowsListing ? QStringLiteral("1") : QStringLiteral("0"));
    env.insert(QStringLiteral("FTPPEER_TLS"), m_tlsPem);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral("-c"), QString::fromLatin1(starter), QStringLiteral("-D"), QStringLiteral("-i"),
            QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port), QStringLiteral("-d"), m_root,
            QStringLiteral("-u"), QString::fromLocal8Bit(m_user), QStringLiteral("-P"),
            QString::fromLocal8Bit(m_password), QStringLiteral("-w") });
    if (!m_process.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(15000);
    while (m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(500))
            return true;
        QThread::msleep(50);
    }
    return false;
}

QByteArray FtpPeer::log()
{
    m_log += m_process.readAll();
    return m_log;
}

void FtpPeer::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    m_log += m_process.readAll();
}
