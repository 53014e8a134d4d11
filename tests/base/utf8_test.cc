// Well-formed UTF-8: what the front door and the packet reader accept from outside.
#include "base/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace zoras {
namespace {

TEST(Utf8, ValidityTable) {
  struct Case {
    const char* name;
    std::string bytes;
    bool valid;
  } cases[] = {
      {"ascii longer than a word", "abcdefghijklmnopqrstuvwxyz", true},
      {"two, three and four bytes", "\xC4\x8D\xE2\x82\xAC\xF0\x9F\x98\x80", true},
      {"highest code point", "\xF4\x8F\xBF\xBF", true},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"truncated at the end", "abc\xE2\x82", false},
      {"continuation without lead", "a\x80", false},
      {"lead followed by ascii",
       "\xC4"
       "a",
       false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << c.name;
}

}  // namespace
}  // namespace zoras
