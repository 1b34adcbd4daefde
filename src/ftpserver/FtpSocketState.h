#pragma once

#include <QtGlobal>

// How a TCP connection stands in the kernel, read from its descriptor. Qt reports a peer's reset
// like an orderly close and learns of a hang-up only when it next reads; the server asks the
// kernel instead before it takes the end of a data connection for the end of a file, and before it
// turns a new client away because the old one has not been seen to leave.
enum class FtpTcpState {
    Open, // established: both sides may still send
    PeerClosed, // the peer sent its FIN (an orderly end of what it sends)
    Reset, // the peer reset the connection, or it is closed
    Other, // any other state (our side is closing, or the descriptor is no socket)
};

FtpTcpState ftpTcpState(qintptr descriptor);
// A second descriptor of the same connection, which keeps it open and readable for
// ftpTcpState() after Qt has closed its own on the peer's close; -1 when it cannot be had.
qintptr ftpDuplicateDescriptor(qintptr descriptor);
void ftpCloseDescriptor(qintptr& descriptor);
// Received urgent data stays in the stream (a client's ABOR sent with MSG_OOB keeps its last byte).
void ftpKeepUrgentInline(qintptr descriptor);
