#include "support/TcpProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "support/LoopbackPorts.h"

namespace pelvar::testing {

namespace {

constexpr int kPollSliceMs = 20;
constexpr unsigned char kComQuery = 0x03;

int ConnectTo(const std::string& host, std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  if (::inet_pton(AF_INET, host == "localhost" ? "127.0.0.1" : host.c_str(), &address.sin_addr) !=
          1 ||
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

struct TcpProxy::Pipe {
  int clientFd = -1;
  int serverFd = -1;
  bool dead = false;
  std::string clientPending;  // client bytes not yet forwarded (an incomplete packet)
};

TcpProxy::TcpProxy(std::string targetHost, std::uint16_t targetPort)
    : targetHost_(std::move(targetHost)), targetPort_(targetPort) {
  listenFd_ = ListenOnLoopback(64, port_);
  thread_ = std::thread([this] { Run(); });
}

TcpProxy::~TcpProxy() {
  stopping_ = true;
  thread_.join();
  for (Pipe* pipe : pipes_) {
    ::close(pipe->clientFd);
    ::close(pipe->serverFd);
    delete pipe;
  }
  ::close(listenFd_);
}

void TcpProxy::CutAll() {
  std::lock_guard lock(mutex_);
  CutLocked();
}

void TcpProxy::Heal() {
  std::lock_guard lock(mutex_);
  refusing_ = false;
  queryMatches_ = nullptr;
  byteCutArmed_ = false;
}

void TcpProxy::CutAtQuery(std::function<bool(std::string_view)> matches, int count, Moment moment) {
  std::lock_guard lock(mutex_);
  queryMatches_ = std::move(matches);
  queryCountdown_ = count;
  queryMoment_ = moment;
}

void TcpProxy::CutAfterBytes(Direction direction, std::size_t count) {
  std::lock_guard lock(mutex_);
  byteCutArmed_ = true;
  byteDirection_ = direction;
  byteCountdown_ = count;
}

int TcpProxy::Cuts() const {
  std::lock_guard lock(mutex_);
  return cuts_;
}

bool TcpProxy::Refusing() const {
  std::lock_guard lock(mutex_);
  return refusing_;
}

void TcpProxy::CutLocked() {
  // Shut down only: the descriptors stay valid until the proxy's thread
  // closes them, so it never touches a number the system gave away again.
  for (Pipe* pipe : pipes_) {
    if (pipe->dead)
      continue;
    ::shutdown(pipe->clientFd, SHUT_RDWR);
    ::shutdown(pipe->serverFd, SHUT_RDWR);
    pipe->dead = true;
  }
  refusing_ = true;
  queryMatches_ = nullptr;
  byteCutArmed_ = false;
  ++cuts_;
}

void TcpProxy::ReapLocked() {
  for (auto it = pipes_.begin(); it != pipes_.end();) {
    if (!(*it)->dead) {
      ++it;
      continue;
    }
    ::close((*it)->clientFd);
    ::close((*it)->serverFd);
    delete *it;
    it = pipes_.erase(it);
  }
}

bool TcpProxy::SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void TcpProxy::Forward(Pipe& pipe, bool fromClient, const char* data, std::size_t size) {
  if (pipe.dead)
    return;
  bool cutAfter = false;
  const Direction direction = fromClient ? Direction::kToServer : Direction::kToClient;
  if (byteCutArmed_ && byteDirection_ == direction) {
    if (size >= byteCountdown_) {
      size = byteCountdown_;
      cutAfter = true;
    } else {
      byteCountdown_ -= size;
    }
  }
  if (!SendAll(fromClient ? pipe.serverFd : pipe.clientFd, data, size)) {
    ::shutdown(pipe.clientFd, SHUT_RDWR);
    ::shutdown(pipe.serverFd, SHUT_RDWR);
    pipe.dead = true;
  }
  if (cutAfter)
    CutLocked();
}

void TcpProxy::ForwardFromClient(Pipe& pipe) {
  std::string& pending = pipe.clientPending;
  std::size_t at = 0;
  while (!pipe.dead && pending.size() - at >= 4) {
    const auto* header = reinterpret_cast<const unsigned char*>(pending.data() + at);
    const std::size_t length = header[0] | (header[1] << 8) | (header[2] << 16);
    if (pending.size() - at < 4 + length)
      break;
    const bool isQuery = header[3] == 0 && length >= 1 && header[4] == kComQuery;
    if (isQuery && queryMatches_ &&
        queryMatches_(std::string_view(pending.data() + at + 5, length - 1)) &&
        --queryCountdown_ == 0) {
      if (queryMoment_ == Moment::kAfterQuery)
        Forward(pipe, true, pending.data() + at, 4 + length);
      CutLocked();
      pending.clear();
      return;
    }
    Forward(pipe, true, pending.data() + at, 4 + length);
    at += 4 + length;
  }
  if (pipe.dead) {
    pending.clear();
  } else {
    pending.erase(0, at);
  }
}

void TcpProxy::Run() {
  std::vector<char> buffer(65536);
  while (!stopping_) {
    std::vector<pollfd> entries{{listenFd_, POLLIN, 0}};
    std::vector<std::pair<Pipe*, bool>> owners{{nullptr, false}};
    {
      std::lock_guard lock(mutex_);
      for (Pipe* pipe : pipes_) {
        if (pipe->dead)
          continue;
        entries.push_back({pipe->clientFd, POLLIN, 0});
        owners.emplace_back(pipe, true);
        entries.push_back({pipe->serverFd, POLLIN, 0});
        owners.emplace_back(pipe, false);
      }
    }
    int ready = ::poll(entries.data(), entries.size(), kPollSliceMs);
    if (ready <= 0) {
      std::lock_guard lock(mutex_);
      ReapLocked();
      continue;
    }

    std::lock_guard lock(mutex_);
    if (entries[0].revents & POLLIN) {
      int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        int server = refusing_ ? -1 : ConnectTo(targetHost_, targetPort_);
        if (server < 0) {
          ::close(fd);
        } else {
          pipes_.push_back(new Pipe{fd, server, false, {}});
        }
      }
    }
    for (std::size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].revents == 0)
        continue;
      auto [pipe, fromClient] = owners[i];
      if (pipe->dead)
        continue;
      ssize_t n = ::recv(entries[i].fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
        continue;
      if (n <= 0) {
        // One side went away: so does the other, as a real server's would.
        ::shutdown(pipe->clientFd, SHUT_RDWR);
        ::shutdown(pipe->serverFd, SHUT_RDWR);
        pipe->dead = true;
        continue;
      }
      if (fromClient) {
        pipe->clientPending.append(buffer.data(), static_cast<std::size_t>(n));
        ForwardFromClient(*pipe);
      } else {
        Forward(*pipe, false, buffer.data(), static_cast<std::size_t>(n));
      }
    }
    ReapLocked();
  }
}

}  // namespace pelvar::testing
