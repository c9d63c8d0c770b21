#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <cerrno>
#endif

#include "net/TcpClient.h"

// The few socket calls the loopback test peers make, on POSIX and Winsock
// alike. Every socket is IPv4 TCP on 127.0.0.1 and not inherited by child
// processes.
namespace pelvar::testing {

#ifdef _WIN32
inline constexpr int kRefused = WSAECONNREFUSED;
inline constexpr int kAddressNotAvailable = WSAEADDRNOTAVAIL;
inline constexpr int kInvalidArgument = WSAEINVAL;
inline constexpr int kReset = WSAECONNRESET;
inline constexpr int kBrokenPipe = WSAECONNABORTED;
#else
inline constexpr int kRefused = ECONNREFUSED;
inline constexpr int kAddressNotAvailable = EADDRNOTAVAIL;
inline constexpr int kInvalidArgument = EINVAL;
inline constexpr int kReset = ECONNRESET;
inline constexpr int kBrokenPipe = EPIPE;
#endif

// The message of a socket failure: its number with the system's wording,
// which on POSIX is the fixed English text given.
inline std::string SocketMessage(int number, const std::string& posixText) {
#ifdef _WIN32
  (void)posixText;
  return net::SocketErrorText(number);
#else
  return "Socket Error # " + std::to_string(number) + "\r\n" + posixText;
#endif
}

}  // namespace pelvar::testing

namespace pelvar::testing::sockets {

#ifdef _WIN32
using Fd = std::uintptr_t;
#else
using Fd = int;
#endif
inline constexpr Fd kNoSocket = static_cast<Fd>(-1);

Fd OpenTcp(bool nonBlocking = false);
void Close(Fd fd);

// Binds to 127.0.0.1 at a free port and returns the port (0 on failure).
std::uint16_t BindLoopback(Fd fd, bool reuseAddress = false);
bool Listen(Fd fd, int backlog);
Fd Accept(Fd listener);
// Starts (or makes) a connect to 127.0.0.1 at port.
void ConnectLoopback(Fd fd, std::uint16_t port);

// Waits at most milliseconds for fd to become readable (or writable):
// 1 ready, 0 not yet, -1 failed. An interrupted wait counts as not yet.
int WaitReady(Fd fd, bool forWriting, int milliseconds);

// Send and receive some bytes: the count, or -1 with Retry() telling whether
// the call only needs repeating. Sending never raises a signal.
std::ptrdiff_t SendSome(Fd fd, const char* data, std::size_t size);
std::ptrdiff_t ReceiveSome(Fd fd, char* buffer, std::size_t size);
bool Retry();
std::string LastErrorText();

void ShutdownSend(Fd fd);
// The next Close resets the connection (the other side sees RST).
void ResetOnClose(Fd fd);

}  // namespace pelvar::testing::sockets
