#include "net/TcpClient.h"

#include <thread>

#include "text/Strings.h"

namespace pelvar::net {

using Clock = std::chrono::steady_clock;

std::string SocketErrorText(int error) {
  return "Socket Error # " + std::to_string(error) + "\r\n" + sockets::ErrorDescription(error);
}

namespace {

[[noreturn]] void Fail(std::string_view message) {
  throw CommError(std::string(message));
}

[[noreturn]] void FailSocket(int error) {
  throw CommError(SocketErrorText(error));
}

int Milliseconds(Clock::duration duration) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
  return ms < 0 ? 0 : static_cast<int>(ms);
}

}  // namespace

TcpClient::TcpClient() : receiveBuffer_(kReceiveSize) {}

TcpClient::~TcpClient() {
  Disconnect();
}

void TcpClient::SetPump(Pump pump) {
  pump_ = std::move(pump);
}

void TcpClient::SetConnectTiming(std::chrono::milliseconds limit, std::chrono::milliseconds slice) {
  connectLimit_ = limit;
  connectSlice_ = slice;
}

void TcpClient::SetReadLimit(std::chrono::milliseconds limit) {
  readLimit_ = limit;
}

void TcpClient::RunPump() {
  // A copy, so the pump may replace itself through SetPump while it runs.
  Pump pump = pump_;
  if (pump)
    pump();
}

std::uint32_t TcpClient::ResolveForConnect(const std::string& host) const {
  std::uint32_t address = 0;
  if (text::EqualsNoCase(host, "localhost"))
    return 0x7F000001;
  if (sockets::ParseDottedQuad(host, address))
    return address;
  if (sockets::LookupIPv4(host, address) != 0)
    FailSocket(sockets::kHostNotFound);
  return address;
}

std::string TcpClient::LookupHost(const std::string& host) {
  std::uint32_t address = 0;
  int outcome;
  try {
    outcome = sockets::LookupIPv4(host, address);
  } catch (...) {
    return host;
  }
  if (outcome == sockets::kHostNotFound)
    address = 0;
  else if (outcome != 0)
    return host;
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

void TcpClient::Connect(const std::string& host, int port) {
  if (Connected())
    Fail(kAlreadyConnected);
  closedByPeer_ = false;
  reader_.Clear();
  if (port < 0 || port > 65535)
    FailSocket(sockets::kInvalidArgument);
  std::uint32_t address = ResolveForConnect(host);

  int error = 0;
  sockets::Handle socket = sockets::CreateTcpSocket(error);
  if (socket == sockets::kInvalid)
    FailSocket(error);
  socket_ = socket;
  const std::uint64_t generation = ++generation_;
  // Whatever leaves this function with an exception closes the socket,
  // unless the pump already released it.
  struct Guard {
    TcpClient* client;
    std::uint64_t generation;
    bool armed = true;
    ~Guard() {
      if (armed && client->generation_ == generation)
        client->ReleaseSocket();
    }
  } guard{this, generation};

  // 0.0.0.0 would reach this machine on some systems; it names no server.
  int result = address == 0
                   ? sockets::kAddressNotAvailable
                   : sockets::StartConnect(socket, address, static_cast<std::uint16_t>(port));
  bool done = result != sockets::kInProgress;
  const Clock::time_point start = Clock::now();
  bool firstSlice = true;
  for (;;) {
    const Clock::time_point sliceEnd = Clock::now() + connectSlice_;
    if (!done)
      done = sockets::WaitConnected(socket, Milliseconds(sliceEnd - Clock::now()), result);
    // At least one whole slice is always waited; later ones end when the
    // connect does.
    if (firstSlice)
      std::this_thread::sleep_until(sliceEnd);
    firstSlice = false;
    RunPump();
    if (generation_ != generation) {
      guard.armed = false;
      Fail(kConnectionClosedGracefully);
    }
    if (done)
      break;
    if (Clock::now() - start >= connectLimit_)
      Fail(kConnectTimedOut);
  }
  if (result != 0)
    FailSocket(result);
  int prepared = sockets::PrepareConnected(socket, static_cast<int>(kReadSlice.count()));
  if (prepared != 0)
    FailSocket(prepared);
  guard.armed = false;
}

std::string TcpClient::ReadLine() {
  if (!Connected())
    Fail(closedByPeer_ ? kConnectionClosedGracefully : kNotConnected);
  const std::uint64_t generation = generation_;
  Clock::time_point lastArrival = Clock::now();
  Clock::time_point nextPump = lastArrival + kReadSlice;
  auto pump = [&] {
    RunPump();
    if (generation_ != generation)
      Fail(kConnectionClosedGracefully);
    nextPump = Clock::now() + kReadSlice;
  };
  std::string line;
  for (;;) {
    switch (reader_.Next(&line)) {
      case LineReader::Status::kLine:
        return line;
      case LineReader::Status::kTooLong:
        Fail(kMaxLineLengthExceeded);
      case LineReader::Status::kNeedMore:
        break;
    }
    // A server that trickles bytes must not keep the pump from running.
    if (Clock::now() >= nextPump)
      pump();
    int error = 0;
    std::ptrdiff_t received =
        sockets::Receive(socket_, receiveBuffer_.data(), receiveBuffer_.size(), error);
    if (received > 0) {
      reader_.Feed(std::string_view(receiveBuffer_.data(), static_cast<std::size_t>(received)));
      lastArrival = Clock::now();
      continue;
    }
    if (received == 0) {
      bool partial = reader_.BufferedSize() > 0;
      CloseNoticed();
      if (partial)
        return std::string();
      Fail(kConnectionClosedGracefully);
    }
    if (error == sockets::kTimedOut) {
      // Measured before the pump, which may take its time while bytes arrive.
      const bool silentTooLong = Clock::now() - lastArrival >= readLimit_;
      pump();
      if (silentTooLong)
        Fail(kReadTimedOut);
      continue;
    }
    if (sockets::IsTransient(error))
      continue;
    if (sockets::IsConnectionLost(error))
      CloseNoticed();
    FailSocket(error);
  }
}

void TcpClient::Write(std::string_view bytes) {
  if (!Connected())
    Fail(closedByPeer_ ? kConnectionClosedGracefully : kNotConnected);
  const std::uint64_t generation = generation_;
  Clock::time_point nextPump = Clock::now() + kWriteSlice;
  while (!bytes.empty()) {
    int error = 0;
    int ready = sockets::WaitWritable(socket_, Milliseconds(nextPump - Clock::now()), error);
    if (ready > 0) {
      std::ptrdiff_t sent = sockets::Send(socket_, bytes.data(), bytes.size(), error);
      if (sent >= 0)
        bytes.remove_prefix(static_cast<std::size_t>(sent));
      else
        ready = -1;
    }
    if (ready < 0 && !sockets::IsTransient(error)) {
      if (sockets::IsConnectionLost(error))
        CloseNoticed();
      FailSocket(error);
    }
    // A server that stops reading must not keep the pump from running.
    if (!bytes.empty() && Clock::now() >= nextPump) {
      RunPump();
      if (generation_ != generation)
        Fail(kConnectionClosedGracefully);
      nextPump = Clock::now() + kWriteSlice;
    }
  }
}

void TcpClient::Disconnect() {
  closedByPeer_ = false;
  if (!Connected())
    return;
  sockets::ShutdownSend(socket_);
  ReleaseSocket();
}

void TcpClient::CloseNoticed() {
  ReleaseSocket();
  closedByPeer_ = true;
}

void TcpClient::ReleaseSocket() {
  sockets::Close(socket_);
  socket_ = sockets::kInvalid;
  ++generation_;
  reader_.Clear();
}

}  // namespace pelvar::net
