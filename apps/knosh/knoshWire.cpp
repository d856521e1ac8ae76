// The daemon's side of the wire: text, data with or without the binary
// header, and errors, all sent on the connected client's socket.
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "apps/knosh/knoshInternal.h"
#include "tarn/platform/host_utils.h"

namespace Knosh {

int clientSocket = -1;
int binaryMode = 0;
bool clientLost = false;
Clock::time_point replyDeadline;

int PollTimeout(Clock::time_point end) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    return static_cast<int>(std::clamp<decltype(left)>(left, 0, INT_MAX));
}

bool ToClient() { return options.daemonMode && clientSocket >= 0; }

} // namespace Knosh

namespace {

// Header of a data or error reply in binary mode, host byte order.
struct BinaryHeader {
    uint8_t type;  // 0 data, 1 error
    uint8_t zero;
    uint16_t length;  // data length modulo 65536
    uint8_t pad[4];
    int64_t seconds;
    int64_t microseconds;
};
static_assert(sizeof(BinaryHeader) == 24, "the header is 24 bytes on the wire");

// Waits until the client can take more of the reply; false (errno
// ETIMEDOUT) once the reply's deadline has passed.
bool WaitWritable() {
    const int left = Knosh::PollTimeout(Knosh::replyDeadline);
    if (left == 0) {
        errno = ETIMEDOUT;
        return false;
    }
    pollfd client{Knosh::clientSocket, POLLOUT, 0};
    poll(&client, 1, left);
    return true;
}

int SendHeader(uint8_t type, uint32_t length) {
    BinaryHeader header{};
    header.type = type;
    if (type == 0) {
        header.length = static_cast<uint16_t>(length);
        timeval now{};
        gettimeofday(&now, nullptr);
        header.seconds = now.tv_sec;
        header.microseconds = now.tv_usec;
    }
    return KNOSHSend(&header, sizeof header);
}

// A reply is gathered here and handed to the connection when its request is
// answered, or when it fills: every send costs a pass through the network
// stack on both ends, and a reply is mostly a few short pieces.
char replyBuffer[16 * 1024];
size_t replyLength = 0;

int SendNow(const void* bytes, size_t length) {
    // Everything is handed over unless the connection fails or the request's
    // deadline passes: a client that reads slowly, a byte now and then,
    // cannot stretch a reply for ever. After one failure the rest of the
    // reply is dropped at once.
    if (Knosh::clientLost) return -1;
    const char* p = static_cast<const char*>(bytes);
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(Knosh::clientSocket, p + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitWritable()))) continue;
        if (n <= 0) {
            KNOSHDiag(0, "KNOSHSend", "send: %s", strerror(n < 0 ? errno : EPIPE));
            shellTerminate = 1;
            Knosh::clientLost = true;
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    return static_cast<int>(sent);
}

} // namespace

int KNOSHSend(const void* bytes, size_t length) {
    if (Knosh::clientLost) return -1;
    if (replyLength + length > sizeof replyBuffer && Knosh::FlushReply() < 0) return -1;
    if (length >= sizeof replyBuffer) return SendNow(bytes, length);
    std::memcpy(replyBuffer + replyLength, bytes, length);
    replyLength += length;
    return static_cast<int>(length);
}

int Knosh::FlushReply() {
    const size_t length = replyLength;
    replyLength = 0;
    return length ? SendNow(replyBuffer, length) : 0;
}

int KNOSHSendData(const void* bytes, uint32_t length) {
    static const char* const kLabel = "KNOSHSendData";
    if (Knosh::binaryMode) {
        KNOSHDiag(2, kLabel, "sending binary header");
        if (SendHeader(0, length) < 0) return -1;
        KNOSHDiag(2, kLabel, "sending %d bytes of data in binary mode", static_cast<int>(length));
    } else {
        KNOSHDiag(2, kLabel, "Sending %d bytes of data in text mode", static_cast<int>(length));
    }
    return KNOSHSend(bytes, length);
}

void KNOSHSendError(const char* format, va_list args) {
    static const char* const kLabel = "KNOSHSendError";
    if (Knosh::binaryMode) {
        KNOSHDiag(2, kLabel, "Sending binary error");
        SendHeader(1, 0);
        return;
    }
    static char errorBuffer[4096];
    Str_Vsnprintf(errorBuffer, sizeof errorBuffer, format, args);
    KNOSHDiag(2, kLabel, "Sending text error");
    if (KNOSHSend(errorBuffer, strlen(errorBuffer)) >= 0) KNOSHPrintf("\n");
}
