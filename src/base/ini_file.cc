#include "base/ini_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/ascii.h"
#include "base/errors.h"

namespace zoras {
namespace {

std::string_view Trim(std::string_view s) { return TrimBlanks(s); }

}  // namespace

const std::string* TIniSection::Value(std::string_view key) const {
  for (const auto& [k, v] : entries)
    if (EqualsIgnoreCase(k, key)) return &v;
  return nullptr;
}

std::vector<TIniSection> ParseIniSections(std::string_view text) {
  std::vector<TIniSection> sections;
  size_t current = std::string::npos;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      std::string_view name = line.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      current = std::string::npos;
      if (name.empty()) continue;
      for (size_t i = 0; i < sections.size(); ++i)
        if (EqualsIgnoreCase(sections[i].name, name)) current = i;
      if (current == std::string::npos) {
        current = sections.size();
        sections.push_back(TIniSection{std::string(name), {}});
      }
      continue;
    }
    if (current == std::string::npos) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, eq));
    std::string_view value = Trim(line.substr(eq + 1));
    if (key.empty()) continue;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    sections[current].entries.emplace_back(std::string(key), std::string(value));
  }
  return sections;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                         const TMessage& unreadable) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(file.c_str(), "rb"), &std::fclose);
  if (!f) {
    if (errno == ENOENT) return std::nullopt;
    throw EZoras(Msg(unreadable, {file.string(), std::strerror(errno)}));
  }
  std::string text;
  char buf[8192];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) text.append(buf, n);
  if (std::ferror(f.get())) throw EZoras(Msg(unreadable, {file.string(), std::strerror(errno)}));
  return text;
}

}  // namespace zoras
