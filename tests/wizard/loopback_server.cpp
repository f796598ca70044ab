#include "tests/wizard/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace verilo_test {
namespace {

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Status";
  }
}

}  // namespace

LoopbackServer::LoopbackServer() {
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listen_fd_, 16) != 0)
    throw std::runtime_error("bind/listen on 127.0.0.1 failed");
  socklen_t len = sizeof addr;
  getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  acceptor_.join();
  close(listen_fd_);
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> lock(mu_);
    workers.swap(workers_);
  }
  for (auto& w : workers) w.join();
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Set(const std::string& path, HttpResponse response) {
  std::lock_guard<std::mutex> lock(mu_);
  routes_[path] = std::move(response);
}

void LoopbackServer::Remove(const std::string& path) {
  std::lock_guard<std::mutex> lock(mu_);
  routes_.erase(path);
}

int LoopbackServer::Count(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mu_);
  return int(std::count(requests_.begin(), requests_.end(), path));
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void LoopbackServer::AcceptLoop() {
  while (!stop_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mu_);
    workers_.emplace_back([this, fd] {
      Serve(fd);
      close(fd);
    });
  }
}

void LoopbackServer::Serve(int fd) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (stop_ || poll(&p, 1, 50) < 0) return;
    if (!(p.revents & (POLLIN | POLLHUP))) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    request.append(buf, std::size_t(n));
  }
  std::size_t sp1 = request.find(' '), sp2 = request.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return;
  std::string path = request.substr(sp1 + 1, sp2 - sp1 - 1);

  HttpResponse r;
  bool found;
  {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(path);
    auto it = routes_.find(path);
    found = it != routes_.end();
    if (found) r = it->second;
  }
  if (!found) r = HttpResponse{404, "not found"};

  std::string head = "HTTP/1.1 " + std::to_string(r.status) + " " + Reason(r.status) + "\r\n" +
                     "Content-Length: " + std::to_string(r.body.size()) + "\r\n" +
                     "Content-Type: application/octet-stream\r\nConnection: close\r\n";
  if (!r.location.empty()) head += "Location: " + r.location + "\r\n";
  head += "\r\n";
  if (!SendAll(fd, head.data(), head.size())) return;

  std::size_t limit = std::min(r.body.size(), r.stall_after);
  std::size_t step = r.chunk ? r.chunk : limit;
  for (std::size_t sent = 0; sent < limit && !stop_;) {
    std::size_t n = std::min(step, limit - sent);
    if (!SendAll(fd, r.body.data() + sent, n)) return;
    sent += n;
    if (r.chunk_delay_ms > 0 && sent < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(r.chunk_delay_ms));
  }
  if (limit < r.body.size()) {
    // Stalled: hold the connection open until the client gives up or the server stops.
    while (!stop_) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return;
      }
    }
  }
}

}  // namespace verilo_test
