#include <arpa/inet.h>
#include <fcntl.h>
#include <locale.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "net/SocketApi.h"

namespace pelvar::net::sockets {

const int kAddressNotAvailable = EADDRNOTAVAIL;
const int kInvalidArgument = EINVAL;

namespace {

// Poll that restarts after a signal; the timeout is not shortened for that,
// which at worst lengthens one slice.
int PollOne(int socket, short events, int milliseconds, short& revents) {
  pollfd entry{socket, events, 0};
  int rc;
  do {
    rc = ::poll(&entry, 1, milliseconds);
  } while (rc < 0 && errno == EINTR);
  revents = entry.revents;
  return rc < 0 ? -errno : rc;
}

}  // namespace

Handle CreateTcpSocket(int& error) {
  int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket < 0)
    error = errno;
  return socket < 0 ? kInvalid : socket;
}

int StartConnect(Handle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(address);
  peer.sin_port = htons(port);
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return 0;
  if (errno == EINPROGRESS || errno == EINTR)
    return kInProgress;
  return errno;
}

bool WaitConnected(Handle socket, int milliseconds, int& result) {
  short revents = 0;
  int rc = PollOne(socket, POLLOUT, milliseconds, revents);
  if (rc == 0)
    return false;
  if (rc < 0) {
    result = -rc;
    return true;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
    error = errno;
  result = error;
  return true;
}

int PrepareConnected(Handle socket, int receiveSliceMilliseconds) {
  int flags = ::fcntl(socket, F_GETFL);
  if (flags < 0 || ::fcntl(socket, F_SETFL, flags & ~O_NONBLOCK) < 0)
    return errno;
  // A blocking receive with a timeout needs one call per read when the reply
  // is on its way, where waiting with poll first would need two.
  timeval timeout{receiveSliceMilliseconds / 1000,
                  static_cast<suseconds_t>(receiveSliceMilliseconds % 1000) * 1000};
  if (::setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0)
    return errno;
  return 0;
}

std::ptrdiff_t Receive(Handle socket, char* buffer, std::size_t size, int& error) {
  ssize_t n = ::recv(socket, buffer, size, 0);
  if (n < 0)
    error = (errno == EAGAIN || errno == EWOULDBLOCK) ? kTimedOut : errno;
  return n;
}

int WaitWritable(Handle socket, int milliseconds, int& error) {
  short revents = 0;
  int rc = PollOne(socket, POLLOUT, milliseconds, revents);
  if (rc < 0) {
    error = -rc;
    return -1;
  }
  return rc > 0 ? 1 : 0;
}

std::ptrdiff_t Send(Handle socket, const char* data, std::size_t size, int& error) {
  ssize_t n = ::send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0)
    error = errno;
  return n;
}

bool IsTransient(int error) {
  return error == EINTR || error == EAGAIN || error == EWOULDBLOCK;
}

bool IsConnectionLost(int error) {
  return error == ECONNRESET || error == ECONNABORTED || error == EPIPE || error == ESHUTDOWN;
}

void ShutdownSend(Handle socket) {
  ::shutdown(socket, SHUT_WR);
}

void Close(Handle socket) {
  ::close(socket);
}

int LookupIPv4(const std::string& host, std::uint32_t& address) {
  // The lookup takes a C string: a host text with a NUL inside cannot be
  // looked up at all, which is a failure of the lookup, not a missing entry.
  if (host.find('\0') != std::string::npos)
    return EINVAL;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (rc == EAI_SYSTEM)
    return errno != 0 ? errno : EIO;
  if (rc == EAI_MEMORY)
    return ENOMEM;
  if (rc != 0)
    return kHostNotFound;
  int outcome = kHostNotFound;
  for (addrinfo* entry = result; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      address = ntohl(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
      outcome = 0;
      break;
    }
  }
  ::freeaddrinfo(result);
  return outcome;
}

bool ParseDottedQuad(const std::string& text, std::uint32_t& address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, text.c_str(), &parsed) != 1)
    return false;
  if (text.find('\0') != std::string::npos)
    return false;
  address = ntohl(parsed.s_addr);
  return true;
}

std::string ErrorDescription(int error) {
  if (error == kHostNotFound)
    return "Host not found.";
  // The C locale, so the text stays English whatever locale the GUI set.
  static locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  std::string text =
      cLocale != static_cast<locale_t>(0) ? ::strerror_l(error, cLocale) : std::strerror(error);
  if (text.empty() || text.back() != '.')
    text += '.';
  return text;
}

}  // namespace pelvar::net::sockets
