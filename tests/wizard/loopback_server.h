// A small HTTP/1.1 server on 127.0.0.1 for the wizard's tests: fixed responses by
// path, slow and stalling bodies, redirects, and a record of the requests.
#pragma once

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace verilo_test {

struct HttpResponse {
  int status = 200;
  std::string body;
  std::string location;          // sent as Location: for a redirect status
  std::size_t chunk = 0;         // when set, the body goes out in pieces of this size...
  int chunk_delay_ms = 0;        // ...with this pause between them
  std::size_t stall_after = std::string::npos;  // stop sending after this many bytes
};

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }
  std::string Url(const std::string& path) const;  // "http://127.0.0.1:<port>" + path

  // The response for a path (with its query); other paths get 404.
  void Set(const std::string& path, HttpResponse response);
  void Remove(const std::string& path);

  int Count(const std::string& path) const;  // requests seen for path
  std::vector<std::string> Requests() const;

 private:
  void AcceptLoop();
  void Serve(int fd);

  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mu_;
  std::map<std::string, HttpResponse> routes_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace verilo_test
