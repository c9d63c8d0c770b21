#include <winsock2.h>
#include <ws2tcpip.h>
// winsock2.h first: windows.h alone brings the old winsock.h.
#include <windows.h>

#include <mutex>
#include <unordered_map>

#include "net/SocketApi.h"

namespace pelvar::net::sockets {

const int kAddressNotAvailable = WSAEADDRNOTAVAIL;
const int kInvalidArgument = WSAEINVAL;

namespace {

// Winsock must be started once per process before any other call; it stays
// started until the process ends.
int StartWinsock() {
  static const int result = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

SOCKET AsSocket(Handle socket) {
  return static_cast<SOCKET>(socket);
}

// The receive slice of each prepared socket: Receive waits with select()
// for at most that long (a Winsock receive timeout would leave the socket
// unusable).
std::mutex slicesMutex;
std::unordered_map<Handle, int> receiveSlices;

int ReceiveSlice(Handle socket) {
  std::lock_guard lock(slicesMutex);
  auto found = receiveSlices.find(socket);
  return found != receiveSlices.end() ? found->second : 0;
}

timeval Timeval(int milliseconds) {
  return timeval{milliseconds / 1000, (milliseconds % 1000) * 1000};
}

std::string Utf8(const wchar_t* text, int length) {
  int size = ::WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

std::string SystemMessage(int error, DWORD language) {
  wchar_t* buffer = nullptr;
  DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), language, reinterpret_cast<wchar_t*>(&buffer), 0,
      nullptr);
  std::string text = length > 0 ? Utf8(buffer, static_cast<int>(length)) : std::string();
  if (buffer != nullptr)
    ::LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

}  // namespace

Handle CreateTcpSocket(int& error) {
  if (int started = StartWinsock(); started != 0) {
    error = started;
    return kInvalid;
  }
  SOCKET socket =
      ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (socket == INVALID_SOCKET) {
    error = ::WSAGetLastError();
    return kInvalid;
  }
  u_long nonBlocking = 1;
  if (::ioctlsocket(socket, FIONBIO, &nonBlocking) != 0) {
    error = ::WSAGetLastError();
    ::closesocket(socket);
    return kInvalid;
  }
  return static_cast<Handle>(socket);
}

int StartConnect(Handle socket, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_addr.s_addr = htonl(address);
  peer.sin_port = htons(port);
  if (::connect(AsSocket(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0)
    return 0;
  int error = ::WSAGetLastError();
  if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS || error == WSAEINTR)
    return kInProgress;
  return error;
}

bool WaitConnected(Handle socket, int milliseconds, int& result) {
  // A finished connect makes the socket writable; a failed one puts it in
  // the exception set.
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(AsSocket(socket), &writable);
  FD_SET(AsSocket(socket), &failed);
  timeval timeout = Timeval(milliseconds);
  int rc = ::select(0, nullptr, &writable, &failed, &timeout);
  if (rc == 0)
    return false;
  if (rc == SOCKET_ERROR) {
    result = ::WSAGetLastError();
    return true;
  }
  int error = 0;
  int length = sizeof error;
  if (::getsockopt(AsSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                   &length) != 0) {
    error = ::WSAGetLastError();
  }
  result = error;
  return true;
}

// The socket stays non-blocking: Receive waits with select() before it
// reads, and Send takes only what the buffers hold now.
int PrepareConnected(Handle socket, int receiveSliceMilliseconds) {
  std::lock_guard lock(slicesMutex);
  receiveSlices[socket] = receiveSliceMilliseconds;
  return 0;
}

std::ptrdiff_t Receive(Handle socket, char* buffer, std::size_t size, int& error) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(AsSocket(socket), &readable);
  timeval timeout = Timeval(ReceiveSlice(socket));
  int rc = ::select(0, &readable, nullptr, nullptr, &timeout);
  if (rc == 0) {
    error = kTimedOut;
    return -1;
  }
  if (rc == SOCKET_ERROR) {
    error = ::WSAGetLastError();
    return -1;
  }
  int n =
      ::recv(AsSocket(socket), buffer, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
  if (n == SOCKET_ERROR) {
    error = ::WSAGetLastError();
    return -1;
  }
  return n;
}

int WaitWritable(Handle socket, int milliseconds, int& error) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(AsSocket(socket), &writable);
  FD_SET(AsSocket(socket), &failed);
  timeval timeout = Timeval(milliseconds);
  int rc = ::select(0, nullptr, &writable, &failed, &timeout);
  if (rc == SOCKET_ERROR) {
    error = ::WSAGetLastError();
    return -1;
  }
  return rc > 0 ? 1 : 0;
}

std::ptrdiff_t Send(Handle socket, const char* data, std::size_t size, int& error) {
  int n =
      ::send(AsSocket(socket), data, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
  if (n == SOCKET_ERROR) {
    error = ::WSAGetLastError();
    return -1;
  }
  return n;
}

bool IsTransient(int error) {
  return error == WSAEINTR || error == WSAEWOULDBLOCK;
}

bool IsConnectionLost(int error) {
  return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAESHUTDOWN ||
         error == WSAENETRESET;
}

void ShutdownSend(Handle socket) {
  ::shutdown(AsSocket(socket), SD_SEND);
}

void Close(Handle socket) {
  {
    std::lock_guard lock(slicesMutex);
    receiveSlices.erase(socket);
  }
  ::closesocket(AsSocket(socket));
}

int LookupIPv4(const std::string& host, std::uint32_t& address) {
  // As on POSIX: a host text with a NUL inside cannot be looked up at all.
  if (host.find('\0') != std::string::npos)
    return WSAEINVAL;
  if (int started = StartWinsock(); started != 0)
    return started;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (rc == EAI_MEMORY)
    return WSA_NOT_ENOUGH_MEMORY;
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
  // The same strict form the POSIX inet_pton takes: four decimal parts of at
  // most three digits, no leading zeros, each at most 255.
  std::uint32_t parsed = 0;
  std::size_t i = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (i >= text.size() || text[i] != '.')
        return false;
      ++i;
    }
    std::size_t start = i;
    unsigned value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3)
      value = value * 10 + static_cast<unsigned>(text[i++] - '0');
    if (i == start || value > 255 || (text[start] == '0' && i - start > 1))
      return false;
    parsed = parsed << 8 | value;
  }
  if (i != text.size())
    return false;
  address = parsed;
  return true;
}

std::string ErrorDescription(int error) {
  if (error == kHostNotFound)
    return "Host not found.";
  // English where the system has it, so the text matches every other build;
  // else the system's own language.
  std::string text = SystemMessage(error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (text.empty())
    text = SystemMessage(error, 0);
  if (text.empty())
    text = "Unknown error " + std::to_string(error);
  if (text.back() != '.')
    text += '.';
  return text;
}

}  // namespace pelvar::net::sockets
