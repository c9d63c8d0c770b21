#include "support/ScriptedPeer.h"

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
    if (fd_ == sockets::kNoSocket)
      throw PeerClosed("send on a closed peer connection");
    std::ptrdiff_t n = sockets::SendSome(fd_, bytes.data(), bytes.size());
    if (n < 0 && sockets::Retry())
      continue;
    if (n <= 0)
      throw PeerClosed("send failed: " + sockets::LastErrorText());
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool PeerConnection::ReceiveMore() {
  if (fd_ == sockets::kNoSocket)
    throw PeerClosed("read on a closed peer connection");
  auto deadline = std::chrono::steady_clock::now() + peer_.readLimit_.load();
  for (;;) {
    if (peer_.stopping_)
      throw PeerClosed("peer stopping");
    if (std::chrono::steady_clock::now() > deadline)
      throw PeerClosed("read limit passed");
    if (sockets::WaitReady(fd_, false, kPollSliceMs) == 0)
      continue;
    char buffer[65536];
    std::ptrdiff_t n = sockets::ReceiveSome(fd_, buffer, sizeof buffer);
    if (n < 0 && sockets::Retry())
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
  if (fd_ == sockets::kNoSocket)
    return;
  sockets::ShutdownSend(fd_);
  try {
    while (ReceiveMore()) {
    }
  } catch (const PeerClosed&) {
  }
  CloseNow();
}

void PeerConnection::Reset() {
  if (fd_ == sockets::kNoSocket)
    return;
  sockets::ResetOnClose(fd_);
  CloseNow();
}

void PeerConnection::CloseNow() {
  sockets::Close(fd_);
  fd_ = sockets::kNoSocket;
}

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
  listenFd_ = ListenOnLoopback(16, port_);
  thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
  stopping_ = true;
  thread_.join();
  sockets::Close(listenFd_);
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
    if (sockets::WaitReady(listenFd_, false, kPollSliceMs) <= 0)
      continue;
    sockets::Fd fd = sockets::Accept(listenFd_);
    if (fd == sockets::kNoSocket)
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
    if (connection.fd_ != sockets::kNoSocket)
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
