#include "support/ScriptedPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "support/LoopbackPorts.h"
#include "upload/Protocol.h"

namespace pelvar::testing {

namespace {

constexpr int kPollSliceMs = 20;

}  // namespace

void PeerConnection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    if (fd_ < 0)
      throw PeerClosed("send on a closed peer connection");
    ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      throw PeerClosed(std::string("send failed: ") + std::strerror(errno));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool PeerConnection::ReceiveMore() {
  if (fd_ < 0)
    throw PeerClosed("read on a closed peer connection");
  auto deadline = std::chrono::steady_clock::now() + peer_.readLimit_.load();
  for (;;) {
    if (peer_.stopping_)
      throw PeerClosed("peer stopping");
    if (std::chrono::steady_clock::now() > deadline)
      throw PeerClosed("read limit passed");
    pollfd entry{fd_, POLLIN, 0};
    int rc = ::poll(&entry, 1, kPollSliceMs);
    if (rc == 0 || (rc < 0 && errno == EINTR))
      continue;
    char buffer[65536];
    ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
      continue;
    if (n > 0) {
      pending_.append(buffer, static_cast<std::size_t>(n));
      peer_.Record(index_, std::string_view(buffer, static_cast<std::size_t>(n)));
      return true;
    }
    lastEndWasReset_ = n < 0;
    return false;
  }
}

std::string PeerConnection::ReadLine() {
  std::size_t lf;
  while ((lf = pending_.find('\n')) == std::string::npos) {
    if (!ReceiveMore())
      throw PeerClosed("client closed before the end of a line");
  }
  std::string line = pending_.substr(0, lf);
  pending_.erase(0, lf + 1);
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  return line;
}

std::string PeerConnection::ReadBytes(std::size_t count) {
  while (pending_.size() < count) {
    if (!ReceiveMore())
      throw PeerClosed("client closed before the expected bytes");
  }
  std::string bytes = pending_.substr(0, count);
  pending_.erase(0, count);
  return bytes;
}

std::string PeerConnection::ReadFrame() {
  std::string header = ReadBytes(4);
  return header + ReadBytes(protocol::DecodeFrameLength(header));
}

bool PeerConnection::WaitForClientClose() {
  while (ReceiveMore()) {
  }
  return !lastEndWasReset_;
}

void PeerConnection::Close() {
  if (fd_ < 0)
    return;
  ::shutdown(fd_, SHUT_WR);
  try {
    while (ReceiveMore()) {
    }
  } catch (const PeerClosed&) {
  }
  CloseNow();
}

void PeerConnection::Reset() {
  if (fd_ < 0)
    return;
  linger option{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  CloseNow();
}

void PeerConnection::CloseNow() {
  ::close(fd_);
  fd_ = -1;
}

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
  listenFd_ = ListenOnLoopback(16, port_);
  thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
  stopping_ = true;
  thread_.join();
  ::close(listenFd_);
}

void ScriptedPeer::SetScript(Script script) {
  std::lock_guard lock(mutex_);
  script_ = std::move(script);
}

ScriptedPeer::Script ScriptedPeer::CurrentScript() {
  std::lock_guard lock(mutex_);
  return script_;
}

void ScriptedPeer::Run() {
  while (!stopping_) {
    pollfd entry{listenFd_, POLLIN, 0};
    if (::poll(&entry, 1, kPollSliceMs) <= 0)
      continue;
    int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
      continue;
    int index;
    {
      std::lock_guard lock(mutex_);
      index = accepted_++;
      received_.emplace_back();
    }
    PeerConnection connection(*this, fd, index);
    Script script = CurrentScript();
    try {
      if (script)
        script(connection);
    } catch (const PeerClosed&) {
    } catch (const std::exception& error) {
      ADD_FAILURE() << "scripted peer, connection " << index << ": " << error.what();
    }
    if (connection.fd_ >= 0)
      connection.Close();
    {
      std::lock_guard lock(mutex_);
      ++finishedCount_;
    }
    finished_.notify_all();
  }
}

void ScriptedPeer::Record(int index, std::string_view bytes) {
  std::lock_guard lock(mutex_);
  received_[static_cast<std::size_t>(index)].append(bytes);
}

bool ScriptedPeer::WaitForScripts(int count) {
  std::unique_lock lock(mutex_);
  bool done =
      finished_.wait_for(lock, std::chrono::seconds(10), [&] { return finishedCount_ >= count; });
  if (!done)
    ADD_FAILURE() << "scripted peer: " << finishedCount_ << " of " << count << " scripts finished";
  return done;
}

int ScriptedPeer::AcceptedCount() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

std::string ScriptedPeer::Received(int index) const {
  std::lock_guard lock(mutex_);
  if (index < 0 || static_cast<std::size_t>(index) >= received_.size())
    return {};
  return received_[static_cast<std::size_t>(index)];
}

std::string ScriptedPeer::Received() const {
  std::lock_guard lock(mutex_);
  std::string all;
  for (const auto& bytes : received_)
    all += bytes;
  return all;
}

}  // namespace pelvar::testing
