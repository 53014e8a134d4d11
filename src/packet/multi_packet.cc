#include "packet/multi_packet.h"

#include "base/errors.h"
#include "base/messages.h"

namespace zoras {
namespace {

constexpr std::string_view kBegin = "<BEGIN DATAPACKET=\"";
constexpr std::string_view kEnd = "<END DATAPACKET=\"";
constexpr std::string_view kMarkerClose = "\"/>";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

[[noreturn]] void Fail(size_t offset, const std::string& detail) {
  throw EZoras(Msg(msg::ecMultiPacketMalformed, {std::to_string(offset), detail}));
}

// Reads the name of a marker whose opening text starts at `pos`; sets `after` behind it.
// False when no '"/>' closes the name.
bool MarkerName(std::string_view text, size_t pos, std::string_view opening, std::string* name,
                size_t* after) {
  const size_t begin = pos + opening.size();
  const size_t quote = text.find('"', begin);
  if (quote == std::string_view::npos || text.substr(quote, kMarkerClose.size()) != kMarkerClose)
    return false;
  *name = std::string(text.substr(begin, quote - begin));
  *after = quote + kMarkerClose.size();
  return true;
}

}  // namespace

TMultiPacket TMultiPacket::Parse(std::string_view text) {
  TMultiPacket result;
  size_t pos = 0;
  while (true) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size()) break;
    TEntry entry;
    size_t body = 0;
    if (text.substr(pos, kBegin.size()) != kBegin ||
        !MarkerName(text, pos, kBegin, &entry.name, &body))
      Fail(pos, Msg(msg::ecMultiPacketBeginExpected));
    const size_t end = text.find(kEnd, body);
    if (end == std::string_view::npos) Fail(pos, Msg(msg::ecMultiPacketEndMissing, {entry.name}));
    std::string end_name;
    size_t after = 0;
    if (!MarkerName(text, end, kEnd, &end_name, &after))
      Fail(end, Msg(msg::ecMultiPacketEndMissing, {entry.name}));
    if (end_name != entry.name)
      Fail(end, Msg(msg::ecMultiPacketEndMismatch, {end_name, entry.name}));
    entry.packet = std::string(text.substr(body, end - body));
    result.entries_.push_back(std::move(entry));
    pos = after;
  }
  return result;
}

bool TMultiPacket::Has(std::string_view name) const {
  for (const TEntry& e : entries_)
    if (e.name == name) return true;
  return false;
}

const std::string& TMultiPacket::Packet(std::string_view name) const {
  for (const TEntry& e : entries_)
    if (e.name == name) return e.packet;
  throw EZoras(Msg(msg::ecPacketNotFound, {name}));
}

}  // namespace zoras
