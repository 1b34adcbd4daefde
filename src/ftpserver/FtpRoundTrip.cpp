#include "FtpRoundTrip.h"

// The kernel's own tcp_info: the C library's lacks the minimum round trip.
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>

qint64 ftpMinRoundTripUs(qintptr descriptor)
{
    tcp_info info {};
    socklen_t size = sizeof(info);
    if (descriptor < 0 || ::getsockopt(int(descriptor), IPPROTO_TCP, TCP_INFO, &info, &size) != 0
        || size < offsetof(tcp_info, tcpi_min_rtt) + sizeof(info.tcpi_min_rtt) || info.tcpi_min_rtt == 0
        || info.tcpi_min_rtt == ~0u)
        return -1;
    return qint64(info.tcpi_min_rtt);
}
