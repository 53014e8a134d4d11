// TWSWBBridge: the HTTP/1.1 server. Asynchronous I/O on a few threads with a deadline
// per request; the requests that may block (SOAP calls) run on a worker pool, so a call
// waiting for a database connection never holds up the I/O or the other requests.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "host/limits.h"
#include "host/web_module.h"

namespace zoras {

struct THttpServerOptions {
  // Address to listen on; the server serves every interface by default.
  std::string address = "0.0.0.0";
  // TCP port (ASPORT); 0 lets the system choose (tests).
  uint16_t port = 0;
  // Threads that run the sockets. Two match the machines the server is sized for.
  int io_threads = 2;
  // Threads that run blocking requests. Enough that requests waiting for a database
  // connection (at most REQTO seconds each) leave room for the others.
  int worker_threads = 32;
  THttpLimits limits;
};

class TWSWBBridge {
 public:
  // Answers one request; runs on a worker thread or, when `runs_inline` says so, on an
  // I/O thread (it must not block then). Must not throw.
  using THandler = std::function<TWebResponse(const TWebRequest&)>;
  using TInlineTest = std::function<bool(const TWebRequest&)>;

  TWSWBBridge(THttpServerOptions options, THandler handler, TInlineTest runs_inline);
  // Stops the server if it is still serving.
  ~TWSWBBridge();

  TWSWBBridge(const TWSWBBridge&) = delete;
  TWSWBBridge& operator=(const TWSWBBridge&) = delete;

  // Binds, listens and starts the threads. Throws EZoras when the port cannot be bound.
  void Activate();
  // The port actually bound (after Activate).
  uint16_t Port() const;
  // Stops accepting, lets the requests in flight finish and be answered (up to the
  // shutdown grace), closes idle connections, and joins every thread. Idempotent.
  void Stop();

  class Impl;  // defined with the connection code

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace zoras
