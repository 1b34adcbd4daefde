#pragma once

#include <QtGlobal>

// The shortest round trip TCP has seen on the connection (its handshake's, as a rule), in
// microseconds; -1 when unknown. Unlike the smoothed estimate it is not inflated by delayed
// acknowledgements, which a command connection's pauses bring.
qint64 ftpMinRoundTripUs(qintptr descriptor);
