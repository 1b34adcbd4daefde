#pragma once

#include <QByteArray>
#include <QtGlobal>

// The six user settings records of "OrtUser.ini". Text fields are Windows-1251 bytes; each is
// kept within its field size less the terminator (see the *Max constants), longer values are cut.
// A default-constructed record is the section defaults record: empty texts, false, 0.
// The keys that store them in the file and show them in the editors: UserSettingsKeys.h.

constexpr int ShortTextMax = 63; // 64-byte fields
constexpr int FolderMax = 511; // 512-byte folders
constexpr int TerminalNumberMax = 15;
constexpr int PasswordMax = 16; // what the scrambled form can hold

struct FtpClientSettings {
    QByteArray ipAdress;
    QByteArray userName;
    QByteArray passWord; // plain
    qint32 transferMode = 0; // 0 passive, 1 active
    QByteArray root;
    QByteArray input;
    QByteArray output;
    qint32 tls = 0; // TlsUse
    // The office server's public key pin: "sha256//" and the base64 of its SHA-256, or the base64 alone.
    QByteArray fingerprint;
};

struct FtpServerSettings {
    QByteArray userName;
    QByteArray passWord; // plain
    QByteArray root;
    QByteArray input;
    QByteArray output;
    qint32 trace = 0;
    qint32 tls = 0; // TlsUse
};

struct LocalDirSettings {
    QByteArray root;
    QByteArray input;
    QByteArray output;
};

// Explicit TLS on an FTP connection: not offered, offered (and taken when the other side can), or
// demanded before the login.
enum class TlsUse : qint32 { Off = 0, Allowed = 1, Required = 2 };

enum class Channel : qint32 { FtpClient = 0, LocalDir = 1, FtpServer = 2 };
enum class SourceAction : qint32 { Keep = 0, Delete = 1, Rename = 2 };

struct ObmenSettings {
    bool enUnloadRequest = false;
    qint32 ioFtpLocal = 0; // Channel
    bool enLoadReplace = false;
    qint32 loadAct = 0; // SourceAction
    qint32 unloadAct = 0;
    qint32 loadMessage = 0; // 0 on error, 1 always
    qint32 unloadMessage = 0;
    bool enCaseChanged = false;
};

struct ProgrammSettings {
    bool programm = false; // false stock-taking, true goods receipt
    QByteArray terminalNumber;
    QByteArray workDirectory;
    bool enOnDepartment = false;
    bool enOnPlace = false;
    bool enOnDocument = false;
    bool enAvtoriz = false;
    bool enExitRequest = false;
};

enum class SearchOrder : qint32 { CodeOnly = 0, CodeThenBar = 1, BarThenCode = 2 };

struct VvodSettings {
    bool enAddItem = false;
    bool enWeightBarCode = false;
    qint32 quantityIncr = 0; // thousandths
    bool enQuantitySkip = false;
    bool enSumRepeated = false;
    qint32 searchOrder = 0; // SearchOrder
    qint32 vvodPanel = 0; // 0 table, 1 row
    bool enSumDocum = false;
    // A scan while a quantity awaits books the awaited item with the quantity shown, then goes on.
    bool enScanConfirms = false;
};

struct UserSettings {
    FtpClientSettings ftpClient;
    FtpServerSettings ftpServer;
    LocalDirSettings localDir;
    ObmenSettings obmen;
    ProgrammSettings programm;
    VvodSettings vvod;
};

// Section SYSTEM: decimal places of amounts and quantities; each [SYSTEM] header resets them.
struct SystemSettings {
    qint32 summaDp = 2;
    qint32 quantityDp = 3;
};
