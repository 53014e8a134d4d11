// The fixed text around the fields and rows of every data packet the server writes.
#pragma once

#include <string_view>

namespace zoras::packet_format {

inline constexpr std::string_view kHead =
    "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA><FIELDS>";
inline constexpr std::string_view kMiddle = "</FIELDS><PARAMS/></METADATA><ROWDATA>";
inline constexpr std::string_view kTail = "</ROWDATA></DATAPACKET>";

}  // namespace zoras::packet_format
