#include "NaFTPLocal.h"

#include "AppState.h"
#include "Codec.h"
#include "FtpServerConfig.h"
#include "FtpTlsIdentity.h"
#include "PathMacros.h"

#include <QDir>
#include <QRegularExpression>

namespace {

// Four groups of one to three digits separated by points, nothing else around them; the numbers
// are not range-checked.
bool ipAddressShape(const QByteArray& address)
{
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}")));
    return shape.match(QString::fromLatin1(address)).hasMatch();
}

// Empty, or public key pins as curl takes them: "sha256//" and the base64 of 32 bytes, the
// prefix optional, several joined by ';'. A mistyped pin would refuse every exchange.
bool pinShape(const QByteArray& fingerprint)
{
    if (fingerprint.isEmpty())
        return true;
    for (QByteArray pin : fingerprint.split(';')) {
        pin = pin.trimmed();
        if (pin.startsWith("sha256//"))
            pin.remove(0, 8);
        const auto decoded = QByteArray::fromBase64Encoding(pin, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.size() != 32)
            return false;
    }
    return true;
}

} // namespace

NaFTPLocal::NaFTPLocal(QObject* parent)
    : NaSection(QStringLiteral("Настройка обмена"), QStringLiteral("Обмен"), parent)
{
}

QByteArray NaFTPLocal::startEdit()
{
    const UserSettings& user = appState().user;
    m_channel = static_cast<Channel>(user.obmen.ioFtpLocal);
    switch (m_channel) {
    case Channel::LocalDir:
        m_local = user.localDir;
        return localDirKeys().name;
    case Channel::FtpServer:
        m_server = user.ftpServer;
        return ftpServerKeys().name;
    case Channel::FtpClient:
        break;
    }
    m_channel = Channel::FtpClient;
    m_client = user.ftpClient;
    return ftpClientKeys().name;
}

void NaFTPLocal::addRows()
{
    switch (m_channel) {
    case Channel::FtpClient:
        keyRows(ftpClientKeys(), m_client);
        break;
    case Channel::LocalDir:
        keyRows(localDirKeys(), m_local);
        break;
    case Channel::FtpServer:
        keyRows(ftpServerKeys(), m_server);
        break;
    }
}

QString NaFTPLocal::exchangeFolder(const QByteArray& root, const QByteArray& name) const
{
    // As the exchange builds it.
    return localExchangeRoot(root, m_channel == Channel::FtpServer) + QLatin1Char('/') + folderSettingPath(name);
}

bool NaFTPLocal::foldersReady(const QByteArray& root, const QByteArray& input, const QByteArray& output)
{
    const QString title = QStringLiteral("Настройка обмена");
    return folderReady(exchangeFolder(root, input), QStringLiteral("Нет папки ввода"), title)
        && folderReady(exchangeFolder(root, output), QStringLiteral("Нет папки вывода"), title);
}

bool NaFTPLocal::putIntoForce()
{
    UserSettings& user = appState().user;
    switch (m_channel) {
    case Channel::FtpClient:
        if (!ipAddressShape(m_client.ipAdress)) {
            refuse(parmLabel(*ftpClientKeys().keyOf(&FtpClientSettings::ipAdress)));
            return false;
        }
        if (!pinShape(m_client.fingerprint)) {
            refuse(parmLabel(*ftpClientKeys().keyOf(&FtpClientSettings::fingerprint)));
            return false;
        }
        user.ftpClient = m_client;
        return true;
    case Channel::LocalDir:
        if (!foldersReady(m_local.root, m_local.input, m_local.output))
            return false;
        user.localDir = m_local;
        return true;
    case Channel::FtpServer:
        // Without a password anyone on the shop's network could log in: the server refuses every
        // login then, and the editor does not take it.
        if (m_server.passWord.isEmpty()) {
            refuse(parmLabel(*ftpServerKeys().keyOf(&FtpServerSettings::passWord)));
            return false;
        }
        if (!foldersReady(m_server.root, m_server.input, m_server.output))
            return false;
        user.ftpServer = m_server;
        return true;
    }
    return false;
}

QString NaFTPLocal::note() const
{
    if (m_channel != Channel::FtpServer || static_cast<TlsUse>(m_server.tls) == TlsUse::Off)
        return QString();
    const QByteArray pin
        = FtpTlsIdentity::publicKeyPin(FtpTlsIdentity::load(ftpServerKeyPath(toUi(appState().appDir))).certificate);
    if (pin.isEmpty())
        return QStringLiteral("Ключ TLS будет создан\nпри запуске сервера");
    // The SHA-256 of the public key as curl pins it (--pinnedpubkey), cut to fit the screen.
    const QString text = QString::fromLatin1(pin);
    return QStringLiteral("Ключ TLS (SHA-256):\n") + text.left(30) + QLatin1Char('\n') + text.mid(30);
}
