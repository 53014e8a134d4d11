#include "host/http_server.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "base/errors.h"

namespace zoras {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

class Session;

class TWSWBBridge::Impl {
 public:
  Impl(THttpServerOptions options, THandler handler, TInlineTest runs_inline)
      : options_(std::move(options)),
        handler_(std::move(handler)),
        runs_inline_(std::move(runs_inline)),
        workers_(static_cast<size_t>(std::max(1, options_.worker_threads))),
        acceptor_(asio::make_strand(ioc_)) {}

  void Activate();
  void Stop();
  uint16_t Port() const { return port_; }

  // Session bookkeeping, for a stop that waits for the requests in flight.
  void Register(uint64_t id, std::weak_ptr<Session> s);
  void Unregister(uint64_t id);
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }

  const THttpServerOptions options_;
  const THandler handler_;
  const TInlineTest runs_inline_;
  asio::io_context ioc_;
  asio::thread_pool workers_;

 private:
  void DoAccept();

  tcp::acceptor acceptor_;
  // Keeps the I/O threads running while requests are only on the worker pool (after the
  // acceptor has closed, nothing else would).
  std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work_;
  uint16_t port_ = 0;
  std::vector<std::thread> io_threads_;
  std::atomic<bool> stopping_{false};
  bool activated_ = false;
  bool stopped_ = false;
  std::atomic<uint64_t> next_id_{1};

  std::mutex mu_;
  std::condition_variable all_closed_;
  std::unordered_map<uint64_t, std::weak_ptr<Session>> sessions_;  // guarded by mu_

  friend class Session;
};

// One client connection: reads a request, answers it, and repeats while the client
// keeps the connection alive. Pipelined requests wait in the buffer and are answered in
// order.
class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket&& socket, TWSWBBridge::Impl& server, uint64_t id)
      : stream_(std::move(socket)), server_(server), id_(id) {}

  ~Session() { server_.Unregister(id_); }

  void Start() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->ReadHeader(); });
  }

  // Called on a stopping server: an idle connection closes now; a busy one closes once
  // its request is answered.
  void CloseIfIdle() {
    asio::dispatch(stream_.get_executor(), [self = shared_from_this()] {
      if (self->waiting_ && self->buffer_.size() == 0) {
        beast::error_code ec;
        self->stream_.socket().shutdown(tcp::socket::shutdown_both, ec);
        self->stream_.close();
      }
    });
  }

 private:
  const THttpLimits& Limits() const { return server_.options_.limits; }

  void ReadHeader() {
    if (server_.Stopping() && buffer_.size() == 0) return Close();
    parser_.emplace();
    parser_->header_limit(static_cast<uint32_t>(Limits().max_header_bytes));
    parser_->body_limit(Limits().max_body_bytes);
    // One deadline for the whole request: a client that trickles bytes gains nothing.
    stream_.expires_after(Limits().request_deadline);
    waiting_ = true;
    http::async_read_header(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->OnHeader(ec); });
  }

  void OnHeader(beast::error_code ec) {
    waiting_ = false;
    if (ec) return OnReadError(ec);
    const auto& req = parser_->get();
    size_t fields = 0;
    size_t content_lengths = 0;
    for (const auto& f : req) {
      ++fields;
      if (f.name() == http::field::content_length) ++content_lengths;
    }
    if (fields > Limits().max_header_fields)
      return Refuse(http::status::request_header_fields_too_large, "Too many header fields");
    // A body framed two ways is how requests are smuggled past proxies: refuse it.
    if (content_lengths > 0 && req.count(http::field::transfer_encoding) > 0)
      return Refuse(http::status::bad_request,
                    "Content-Length and Transfer-Encoding must not both be given");
    if (content_lengths > 1) {
      return Refuse(http::status::bad_request, "Content-Length is given more than once");
    }
    if (beast::iequals(req[http::field::expect], "100-continue")) {
      auto cont = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                     req.version());
      http::async_write(stream_, *cont,
                        [self = shared_from_this(), cont](beast::error_code ec, size_t) {
                          if (ec) return self->Close();
                          self->ReadBody();
                        });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRead(ec); });
  }

  void OnReadError(beast::error_code ec) {
    if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
        ec == asio::error::operation_aborted || ec == asio::error::connection_reset ||
        ec == asio::error::eof || ec == asio::error::bad_descriptor)
      return Close();
    if (ec == http::error::body_limit)
      return Refuse(
          http::status::payload_too_large,
          "The request body is larger than " + std::to_string(Limits().max_body_bytes) + " bytes");
    if (ec == http::error::header_limit)
      return Refuse(http::status::request_header_fields_too_large,
                    "The request header is larger than " +
                        std::to_string(Limits().max_header_bytes) + " bytes");
    if (ec == http::error::partial_message) return Close();
    Refuse(http::status::bad_request, "Malformed HTTP request: " + ec.message());
  }

  void OnRead(beast::error_code ec) {
    if (ec) return OnReadError(ec);
    stream_.expires_never();
    auto& msg = parser_->get();
    keep_alive_ = msg.keep_alive();
    version_ = msg.version();
    head_ = msg.method() == http::verb::head;
    auto req = std::make_shared<TWebRequest>();
    req->method = std::string(msg.method_string());
    req->target = std::string(msg.target());
    req->host = std::string(msg[http::field::host]);
    req->soap_action = std::string(msg["SOAPAction"]);
    req->body = std::move(msg.body());
    parser_.reset();
    if (server_.runs_inline_(*req)) return Write(server_.handler_(*req));
    asio::post(server_.workers_, [self = shared_from_this(), req] {
      TWebResponse res = self->server_.handler_(*req);
      asio::post(self->stream_.get_executor(),
                 [self, res = std::move(res)]() mutable { self->Write(std::move(res)); });
    });
  }

  void Refuse(http::status status, std::string text) {
    keep_alive_ = false;
    head_ = false;
    version_ = parser_ && parser_->is_header_done() ? parser_->get().version() : 11;
    parser_.reset();
    Write({static_cast<unsigned>(status), "text/plain; charset=utf-8", std::move(text) + "\n"});
  }

  void Write(TWebResponse r) {
    auto res = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(r.status), version_);
    res->set(http::field::server, "ZORAS");
    if (!r.content_type.empty()) res->set(http::field::content_type, r.content_type);
    const bool keep = keep_alive_ && !server_.Stopping();
    res->keep_alive(keep);
    const size_t length = r.body.size();
    if (!head_) res->body() = std::move(r.body);
    res->content_length(length);
    stream_.expires_after(Limits().write_deadline);
    http::async_write(stream_, *res,
                      [self = shared_from_this(), res, keep](beast::error_code ec, size_t) {
                        if (ec || !keep) return self->Close();
                        self->ReadHeader();
                      });
  }

  void Close() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
    stream_.close();
  }

  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
  TWSWBBridge::Impl& server_;
  const uint64_t id_;
  bool waiting_ = false;  // reading a header
  bool keep_alive_ = true;
  bool head_ = false;
  unsigned version_ = 11;
};

void TWSWBBridge::Impl::Register(uint64_t id, std::weak_ptr<Session> s) {
  std::lock_guard<std::mutex> lock(mu_);
  sessions_.emplace(id, std::move(s));
}

void TWSWBBridge::Impl::Unregister(uint64_t id) {
  std::lock_guard<std::mutex> lock(mu_);
  sessions_.erase(id);
  if (sessions_.empty()) all_closed_.notify_all();
}

void TWSWBBridge::Impl::Activate() {
  beast::error_code ec;
  const auto address = asio::ip::make_address(options_.address, ec);
  if (ec) throw EZoras("Invalid listening address '" + options_.address + "'");
  const tcp::endpoint endpoint(address, options_.port);
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec)
    throw EZoras("Cannot listen on port " + std::to_string(options_.port) + ": " + ec.message());
  port_ = acceptor_.local_endpoint().port();
  activated_ = true;
  work_.emplace(ioc_.get_executor());
  DoAccept();
  for (int i = 0; i < std::max(1, options_.io_threads); ++i)
    io_threads_.emplace_back([this] { ioc_.run(); });
}

void TWSWBBridge::Impl::DoAccept() {
  acceptor_.async_accept(asio::make_strand(ioc_), [this](beast::error_code ec, tcp::socket s) {
    if (Stopping() || !acceptor_.is_open()) return;
    if (!ec) {
      const uint64_t id = next_id_++;
      auto session = std::make_shared<Session>(std::move(s), *this, id);
      Register(id, session);
      session->Start();
    } else if (ec == asio::error::no_descriptors || ec == asio::error::no_buffer_space) {
      // Out of file descriptors: wait a moment instead of spinning on the error.
      std::fprintf(stderr, "zoras: accept failed: %s\n", ec.message().c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    DoAccept();
  });
}

void TWSWBBridge::Impl::Stop() {
  if (stopped_) return;
  stopped_ = true;
  if (activated_) {
    stopping_.store(true, std::memory_order_release);
    asio::dispatch(acceptor_.get_executor(), [this] {
      beast::error_code ec;
      acceptor_.close(ec);
    });
    std::vector<std::shared_ptr<Session>> live;
    {
      std::lock_guard<std::mutex> lock(mu_);
      for (auto& [id, weak] : sessions_)
        if (auto s = weak.lock()) live.push_back(std::move(s));
    }
    for (auto& s : live) s->CloseIfIdle();
    live.clear();
    {
      std::unique_lock<std::mutex> lock(mu_);
      all_closed_.wait_for(lock, options_.limits.shutdown_grace,
                           [this] { return sessions_.empty(); });
    }
  }
  work_.reset();
  ioc_.stop();
  for (auto& t : io_threads_) t.join();
  io_threads_.clear();
  workers_.join();
}

TWSWBBridge::TWSWBBridge(THttpServerOptions options, THandler handler, TInlineTest runs_inline)
    : impl_(
          std::make_unique<Impl>(std::move(options), std::move(handler), std::move(runs_inline))) {}

TWSWBBridge::~TWSWBBridge() { Stop(); }

void TWSWBBridge::Activate() { impl_->Activate(); }
uint16_t TWSWBBridge::Port() const { return impl_->Port(); }
void TWSWBBridge::Stop() { impl_->Stop(); }

}  // namespace zoras
