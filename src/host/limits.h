// Every bound the front door puts on what a client may send, in one place.
#pragma once

#include <chrono>
#include <cstddef>

namespace zoras {

struct THttpLimits {
  // Largest request body, announced or read (chunked bodies included); larger: 413.
  size_t max_body_bytes = 16 * 1024 * 1024;
  // Largest request line plus header block; larger: 431.
  size_t max_header_bytes = 16 * 1024;
  // Most header fields in one request; more: 431.
  size_t max_header_fields = 100;
  // Time a client has to deliver one whole request, counted from when the server starts
  // waiting for it (this is also how long an idle keep-alive connection stays open).
  std::chrono::milliseconds request_deadline{30'000};
  // Time a client has to take one whole response.
  std::chrono::milliseconds write_deadline{60'000};
  // How long a stopping server waits for requests in flight before it closes anyway.
  std::chrono::milliseconds shutdown_grace{30'000};
};

// Deepest element nesting accepted in a SOAP envelope.
inline constexpr int kMaxXmlDepth = 64;
// Most elements in a SOAP envelope, counted before it is parsed. Calls carry their data
// as text, so a real call has a few dozen; the bound keeps a body of nothing but tags
// from costing the parser hundreds of megabytes.
inline constexpr size_t kMaxXmlElements = 10'000;

}  // namespace zoras
