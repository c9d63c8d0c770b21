#include "support/TestSockets.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace pelvar::testing::sockets {

namespace {

sockaddr_in Loopback(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  return address;
}

#ifdef _WIN32
using Length = int;
SOCKET S(Fd fd) {
  return static_cast<SOCKET>(fd);
}
int LastError() {
  return ::WSAGetLastError();
}
#else
using Length = socklen_t;
int S(Fd fd) {
  return fd;
}
int LastError() {
  return errno;
}
#endif

}  // namespace

Fd OpenTcp(bool nonBlocking) {
#ifdef _WIN32
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started)
    return kNoSocket;
  SOCKET fd =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (fd == INVALID_SOCKET)
    return kNoSocket;
  u_long mode = nonBlocking ? 1 : 0;
  ::ioctlsocket(fd, FIONBIO, &mode);
  return static_cast<Fd>(fd);
#else
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
  return fd < 0 ? kNoSocket : fd;
#endif
}

void Close(Fd fd) {
#ifdef _WIN32
  ::closesocket(S(fd));
#else
  ::close(fd);
#endif
}

std::uint16_t BindLoopback(Fd fd, bool reuseAddress) {
  if (reuseAddress) {
    int yes = 1;
    ::setsockopt(S(fd), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  }
  sockaddr_in address = Loopback(0);
  Length length = sizeof address;
  if (::bind(S(fd), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(S(fd), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return 0;
  }
  return ntohs(address.sin_port);
}

bool Listen(Fd fd, int backlog) {
  return ::listen(S(fd), backlog) == 0;
}

Fd Accept(Fd listener) {
#ifdef _WIN32
  SOCKET fd = ::accept(S(listener), nullptr, nullptr);
  return fd == INVALID_SOCKET ? kNoSocket : static_cast<Fd>(fd);
#else
  int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? kNoSocket : fd;
#endif
}

void ConnectLoopback(Fd fd, std::uint16_t port) {
  sockaddr_in address = Loopback(port);
  ::connect(S(fd), reinterpret_cast<sockaddr*>(&address), sizeof address);
}

int WaitReady(Fd fd, bool forWriting, int milliseconds) {
  pollfd entry{};
  entry.fd = S(fd);
  entry.events = forWriting ? POLLOUT : POLLIN;
#ifdef _WIN32
  int rc = ::WSAPoll(&entry, 1, milliseconds);
#else
  int rc = ::poll(&entry, 1, milliseconds);
  if (rc < 0 && errno == EINTR)
    return 0;
#endif
  return rc < 0 ? -1 : rc > 0 ? 1 : 0;
}

std::ptrdiff_t SendSome(Fd fd, const char* data, std::size_t size) {
#ifdef _WIN32
  int n = ::send(S(fd), data, static_cast<int>(size), 0);
#else
  ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
#endif
  return n < 0 ? -1 : n;
}

std::ptrdiff_t ReceiveSome(Fd fd, char* buffer, std::size_t size) {
#ifdef _WIN32
  int n = ::recv(S(fd), buffer, static_cast<int>(size), 0);
#else
  ssize_t n = ::recv(fd, buffer, size, 0);
#endif
  return n < 0 ? -1 : n;
}

bool Retry() {
#ifdef _WIN32
  int error = LastError();
  return error == WSAEINTR || error == WSAEWOULDBLOCK;
#else
  return errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK;
#endif
}

std::string LastErrorText() {
#ifdef _WIN32
  return "error " + std::to_string(LastError());
#else
  return std::strerror(LastError());
#endif
}

void ShutdownSend(Fd fd) {
#ifdef _WIN32
  ::shutdown(S(fd), SD_SEND);
#else
  ::shutdown(fd, SHUT_WR);
#endif
}

void ResetOnClose(Fd fd) {
  linger option{1, 0};
  ::setsockopt(S(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&option), sizeof option);
}

}  // namespace pelvar::testing::sockets
