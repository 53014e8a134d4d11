// A plain-socket HTTP client for tests: sends bytes exactly as given and reads what the
// server answers, so that malformed and hostile requests can be sent too.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace zoras::testing {

class RawConnection {
 public:
  explicit RawConnection(uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) Close();
  }
  ~RawConnection() { Close(); }
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  bool Ok() const { return fd_ >= 0; }

  // False when the server has closed the connection.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }

  // Reads until the server closes, or `timeout` passes without a byte, or `until` is
  // contained in what was read. Returns everything read.
  std::string Read(std::chrono::milliseconds timeout, std::string_view until = {}) {
    std::string got;
    char buf[65536];
    while (true) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) break;
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        closed_by_peer_ = true;
        break;
      }
      got.append(buf, static_cast<size_t>(n));
      if (!until.empty() && got.find(until) != std::string::npos) break;
    }
    return got;
  }

  // Reads one whole response (headers and a Content-Length body).
  std::string ReadResponse(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::string got = pending_;
    pending_.clear();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
      const size_t head_end = got.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        size_t length = 0;
        const size_t cl = FindHeader(got.substr(0, head_end), "content-length:");
        if (cl != std::string::npos) length = std::stoul(got.substr(cl + 15));
        const size_t total = head_end + 4 + length;
        if (got.size() >= total) {
          pending_ = got.substr(total);
          return got.substr(0, total);
        }
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return got;
      std::string more = ReadSome(left);
      if (more.empty()) return got;
      got += more;
    }
  }

  // Reads what one receive gives, waiting at most `timeout` for it.
  std::string ReadSome(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return {};
    char buf[65536];
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) {
      closed_by_peer_ = true;
      return {};
    }
    return std::string(buf, static_cast<size_t>(n));
  }

  bool ClosedByPeer() const { return closed_by_peer_; }

  // Waits for the server to close the connection; true when it did within `timeout`.
  bool WaitClosed(std::chrono::milliseconds timeout) {
    Read(timeout);
    return closed_by_peer_;
  }

 private:
  static size_t FindHeader(const std::string& head, std::string_view lower_name) {
    std::string lower(head);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const size_t at = lower.find("\r\n" + std::string(lower_name));
    return at == std::string::npos ? at : at + 2;
  }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_ = -1;
  bool closed_by_peer_ = false;
  std::string pending_;
};

// The status code of a response text ("HTTP/1.1 500 ..." -> 500), 0 when none.
inline int StatusOf(std::string_view response) {
  if (response.size() < 12 || response.substr(0, 5) != "HTTP/") return 0;
  return std::atoi(std::string(response.substr(9, 3)).c_str());
}

inline std::string BodyOf(const std::string& response) {
  const size_t at = response.find("\r\n\r\n");
  return at == std::string::npos ? std::string() : response.substr(at + 4);
}

inline std::string Post(std::string_view path, std::string_view body,
                        std::string_view extra_headers = {}) {
  std::string r = "POST " + std::string(path) +
                  " HTTP/1.1\r\nHost: localhost\r\nContent-Type: text/xml; charset=utf-8\r\n";
  r += extra_headers;
  r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  r += body;
  return r;
}

inline std::string Get(std::string_view path) {
  return "GET " + std::string(path) + " HTTP/1.1\r\nHost: localhost\r\n\r\n";
}

}  // namespace zoras::testing
