#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The operating system's sockets, reduced to what TcpClient needs. This is
// the only place in the program that calls the socket layer; SocketPosix.cpp
// fills it with POSIX sockets, a Winsock version fills the same declarations.
// Error numbers are the platform's own (errno on POSIX), so they appear in
// messages as the platform reports them.
namespace pelvar::net::sockets {

#ifdef _WIN32
using Handle = std::uintptr_t;
#else
using Handle = int;
#endif
inline constexpr Handle kInvalid = static_cast<Handle>(-1);

// Returned by StartConnect while the connect is still under way.
inline constexpr int kInProgress = -1;

// "Host not found.": the number Windows Sockets uses (WSAHOST_NOT_FOUND).
// POSIX has no error number for it, so both platforms report this one.
inline constexpr int kHostNotFound = 11001;

// The platform's "Cannot assign requested address." (EADDRNOTAVAIL), which a
// connect to the unspecified address 0.0.0.0 fails with.
extern const int kAddressNotAvailable;
// The platform's "Invalid argument." (EINVAL).
extern const int kInvalidArgument;

// A new IPv4 stream socket in non-blocking mode, not inherited by child
// processes. Returns kInvalid and sets error on failure.
Handle CreateTcpSocket(int& error);

// Starts connecting to address (host byte order) and port, binding the socket
// to any local address and port. Returns 0 when connected at once,
// kInProgress, or the error number.
int StartConnect(Handle socket, std::uint32_t address, std::uint16_t port);

// Waits at most milliseconds for a started connect to finish. Returns true
// when it has finished, with its outcome (0 or an error number) in result.
bool WaitConnected(Handle socket, int milliseconds, int& result);

// Readies a connected socket for Receive and Send, with receives that wait
// at most receiveSliceMilliseconds. Returns 0 or the error number.
int PrepareConnected(Handle socket, int receiveSliceMilliseconds);

// Receives at most size bytes, waiting at most the receive slice for them.
// Returns the count, 0 for an orderly close by the peer, or -1 with error
// set: kTimedOut when nothing arrived within the slice, possibly a transient
// error, or the socket's failure. (Winsock leaves a socket unusable after a
// receive timeout, so a Winsock version waits with select() instead.)
std::ptrdiff_t Receive(Handle socket, char* buffer, std::size_t size, int& error);
inline constexpr int kTimedOut = -2;

// Waits at most milliseconds until a connected socket can take more bytes.
// Returns 1 when it can (or has failed: the next Send reports how), 0 when
// the time ran out, or -1 with error set.
int WaitWritable(Handle socket, int milliseconds, int& error);

// Sends at most size bytes without waiting for room: takes what the socket's
// buffers hold now, possibly less than size. Never raises a signal for a
// broken connection. Returns the count taken, or -1 with error set (a
// transient error when there was no room at all).
std::ptrdiff_t Send(Handle socket, const char* data, std::size_t size, int& error);

// True for errors that only mean "try again": interrupted, would block.
bool IsTransient(int error);

// True when the error means the connection is gone for good: reset,
// aborted, shut down, broken pipe.
bool IsConnectionLost(int error);

void ShutdownSend(Handle socket);
void Close(Handle socket);

// The IPv4 host-name lookup: 0 and the first address of the host entry
// (host byte order); kHostNotFound when the lookup returns no entry; any other
// number when the lookup itself failed (for example out of memory, or a host
// text the lookup cannot take at all).
int LookupIPv4(const std::string& host, std::uint32_t& address);

// Strict "a.b.c.d" with four decimal parts 0 to 255; address in host order.
bool ParseDottedQuad(const std::string& text, std::uint32_t& address);

// The platform's description of an error number, in English, ending in a full
// stop: "Connection refused.", "Connection reset by peer.", "Host not found.".
std::string ErrorDescription(int error);

}  // namespace pelvar::net::sockets
