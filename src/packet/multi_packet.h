// The multi-packet response: named packets one after another, each between
// <BEGIN DATAPACKET="name"/> and <END DATAPACKET="name"/> (WrapPacket builds one entry).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zoras {

class TMultiPacket {
 public:
  struct TEntry {
    std::string name;
    std::string packet;
  };

  TMultiPacket() = default;

  // Splits `text` into its entries, in order. White space between entries is allowed;
  // the empty text has no entries. Throws EZoras "Invalid multi-packet text at offset %d:
  // %s" when the text is anything else: text outside the markers, an END without its
  // BEGIN, an END naming another packet, a BEGIN without its END.
  static TMultiPacket Parse(std::string_view text);

  const std::vector<TEntry>& Entries() const { return entries_; }
  size_t Count() const { return entries_.size(); }
  // True when an entry has that name (exact letter case).
  bool Has(std::string_view name) const;
  // The packet of the first entry of that name. Throws EZoras "Packet '%s' not found".
  const std::string& Packet(std::string_view name) const;

 private:
  std::vector<TEntry> entries_;
};

}  // namespace zoras
