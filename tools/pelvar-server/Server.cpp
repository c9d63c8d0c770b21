#include "Server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Log.h"
#include "text/Error.h"

namespace pelvar::server {

Server::Server(ServerOptions options)
    : options_(std::move(options)), budget_(options_.frameBudget) {}

Server::~Server() {
  Reap(true);
  if (listenSocket_ >= 0)
    ::close(listenSocket_);
}

void Server::Listen() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(options_.port);
  if (::inet_pton(AF_INET, options_.listenAddress.c_str(), &address.sin_addr) != 1) {
    throw Error("not an IPv4 address: " + options_.listenAddress);
  }
  listenSocket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenSocket_ < 0)
    throw Error(std::string("socket: ") + std::strerror(errno));
  int yes = 1;
  ::setsockopt(listenSocket_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(listenSocket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw Error("cannot listen on " + options_.listenAddress + ":" + std::to_string(options_.port) +
                ": " + std::strerror(errno));
  }
  if (::listen(listenSocket_, 64) != 0)
    throw Error(std::string("listen: ") + std::strerror(errno));
  socklen_t length = sizeof address;
  ::getsockname(listenSocket_, reinterpret_cast<sockaddr*>(&address), &length);
  boundPort_ = ntohs(address.sin_port);
}

std::string Server::BoundAddress() const {
  return options_.listenAddress + ":" + std::to_string(boundPort_);
}

void Server::Run(int stopFd) {
  for (;;) {
    pollfd fds[2] = {{listenSocket_, POLLIN, 0}, {stopFd, POLLIN, 0}};
    // The timeout only lets finished session threads be joined while idle.
    int n = ::poll(fds, 2, 1000);
    if (n < 0 && errno != EINTR)
      throw Error(std::string("poll: ") + std::strerror(errno));
    if (n > 0 && fds[1].revents != 0)
      break;
    if (n > 0 && (fds[0].revents & POLLIN) != 0)
      Accept();
    Reap(false);
  }
  Reap(true);
}

void Server::Accept() {
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int socket = ::accept4(listenSocket_, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
  if (socket < 0) {
    if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
      LogLine(std::string("accept failed: ") + std::strerror(errno));
    }
    return;
  }
  char host[INET_ADDRSTRLEN] = "?";
  ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
  std::string peerText = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));
  Reap(false);  // sessions that have just ended leave room
  if (static_cast<int>(sessions_.size()) >= options_.maxSessions) {
    LogLine("refused " + peerText + ": " + std::to_string(options_.maxSessions) +
            " sessions already running");
    ::close(socket);
    return;
  }
  int number = nextNumber_++;
  Running& running = sessions_.emplace_back();
  running.session = std::make_unique<Session>(number, socket, peerText, options_.database,
                                              options_.session, budget_);
  running.thread = std::thread([this, &running] {
    running.session->Serve();
    std::lock_guard<std::mutex> lock(mutex_);
    running.done = true;
  });
}

void Server::Reap(bool all) {
  if (all) {
    for (Running& running : sessions_)
      running.session->Interrupt();
  }
  for (auto it = sessions_.begin(); it != sessions_.end();) {
    bool done;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done = it->done;
    }
    if (done || all) {
      it->thread.join();
      it = sessions_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace pelvar::server
