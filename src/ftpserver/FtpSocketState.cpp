#include "FtpSocketState.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

FtpTcpState ftpTcpState(qintptr descriptor)
{
    if (descriptor < 0)
        return FtpTcpState::Other;
    tcp_info info {};
    socklen_t size = sizeof(info);
    if (::getsockopt(int(descriptor), IPPROTO_TCP, TCP_INFO, &info, &size) != 0)
        return FtpTcpState::Other;
    switch (info.tcpi_state) {
    case TCP_ESTABLISHED:
        return FtpTcpState::Open;
    case TCP_CLOSE_WAIT:
        return FtpTcpState::PeerClosed;
    case TCP_CLOSE:
        return FtpTcpState::Reset;
    default:
        return FtpTcpState::Other;
    }
}

qintptr ftpDuplicateDescriptor(qintptr descriptor)
{
    return descriptor < 0 ? -1 : ::fcntl(int(descriptor), F_DUPFD_CLOEXEC, 0);
}

void ftpCloseDescriptor(qintptr& descriptor)
{
    if (descriptor >= 0)
        ::close(int(descriptor));
    descriptor = -1;
}

void ftpKeepUrgentInline(qintptr descriptor)
{
    const int on = 1;
    if (descriptor >= 0)
        ::setsockopt(int(descriptor), SOL_SOCKET, SO_OOBINLINE, &on, sizeof(on));
}
