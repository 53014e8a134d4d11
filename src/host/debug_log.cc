#include "host/debug_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/regional.h"
#include "host/boot_settings.h"

namespace zoras {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kRequestInfo = " TWSWBBridge.DoCommandGet RequestInfo:";

// The parameters that carry a password: Login's, and ChangePassword's two.
constexpr std::string_view kPasswordNames[] = {"APassword", "ANewPassword", "AConfirmPassword"};
constexpr int kPasswordNameCount = 3;

struct TLogState {
  // One writer at a time, so that lines of concurrent requests never interleave.
  std::mutex mutex;
  std::filesystem::path folder;  // guarded by mutex; empty: the working directory
};

TLogState& State() {
  // Never destroyed: a request thread may still log while the process exits.
  static TLogState* state = new TLogState();
  return *state;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool EndsName(char c) { return IsBlank(c) || c == '>' || c == '/' || c == '<'; }

// The tag name that starts at `pos`: up to a blank, '>', '/' or '<'. Since it stops at
// the next '<', the names read from all '<' positions never overlap.
std::string_view NameAt(std::string_view body, size_t pos) {
  size_t end = pos;
  while (end < body.size() && !EndsName(body[end])) ++end;
  return body.substr(pos, end - pos);
}

// Which password name `qname` carries once its namespace prefix is dropped; -1 for none.
int PasswordIndex(std::string_view qname) {
  const size_t colon = qname.rfind(':');
  if (colon != std::string_view::npos) qname.remove_prefix(colon + 1);
  for (int k = 0; k < kPasswordNameCount; ++k)
    if (qname == kPasswordNames[k]) return k;
  return -1;
}

void Report(const std::filesystem::path& file, int error) {
  std::fprintf(stderr, "zoras: cannot write the debug log %s: %s\n", file.c_str(),
               std::strerror(error));
}

// Opens, appends and closes per entry, so that the file may be rotated or deleted
// outside the server at any time. `compose` builds the entry from the time of writing.
template <typename Compose>
void Append(Compose compose) noexcept {
  try {
    TLogState& state = State();
    std::lock_guard lock(state.mutex);
    const TDateTime now = Now();
    const std::string name = DebugLogFileName(now);
    const std::filesystem::path file = state.folder / name;
    const std::string text = compose(regional::FormatTimestamp(now));

    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return Report(file, errno);
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        Report(file, n < 0 ? errno : EIO);
        break;
      }
      done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 && done == text.size()) Report(file, errno);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zoras: cannot write the debug log: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "zoras: cannot write the debug log\n");
  }
}

}  // namespace

bool DebugLogEnabled() { return BootSettings().Value(boot_key::kDebugLog) == "D"; }

bool RegisterImportLogEnabled() { return BootSettings().Value(boot_key::kDebugLog) == "1"; }

std::string DebugLogFileName(TDateTime when) {
  const TDateParts p = when.Decode();
  char buf[40];
  std::snprintf(buf, sizeof buf, "zoras_log_%04d%02d%02d.log", p.year, p.month, p.day);
  return buf;
}

void WriteDebugLine(std::string_view usr, std::string_view message) noexcept {
  if (!DebugLogEnabled()) return;
  Append([&](const std::string& timestamp) {
    std::string line;
    line.reserve(timestamp.size() + usr.size() + message.size() + 10);
    line.append(timestamp).append(" USR=").append(usr).append(": ").append(message);
    line.append(kLineEnd);
    return line;
  });
}

void WriteDebugErrorEntry(std::string_view error_message, std::string_view request_body) noexcept {
  if (!DebugLogEnabled()) return;
  std::string body;
  try {
    body = MaskPasswords(request_body);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zoras: cannot write the debug log: %s\n", e.what());
    return;
  }
  Append([&](const std::string& timestamp) {
    std::string entry;
    entry.reserve(2 * timestamp.size() + error_message.size() + body.size() + 50);
    entry.append(timestamp).append(" ").append(error_message).append(kLineEnd);
    entry.append(timestamp).append(kRequestInfo).append(kLineEnd);
    entry.append(body).append(kLineEnd);
    return entry;
  });
}

// Two passes over the '<' positions. The first lists the end tags of each password name;
// the second takes the start tags in order and pairs each with the first end tag of its
// name after it. The end-tag cursors only move forward, so the whole is linear however
// many unterminated or nested tags a body holds.
std::string MaskPasswords(std::string_view body) {
  std::vector<std::pair<size_t, size_t>> ends[kPasswordNameCount];  // [begin, end) of "</..>"
  for (size_t lt = body.find("</"); lt != std::string_view::npos; lt = body.find("</", lt + 1)) {
    const std::string_view name = NameAt(body, lt + 2);
    const int k = PasswordIndex(name);
    if (k < 0) continue;
    size_t p = lt + 2 + name.size();
    while (p < body.size() && IsBlank(body[p])) ++p;
    if (p < body.size() && body[p] == '>') ends[k].emplace_back(lt, p + 1);
  }
  if (ends[0].empty() && ends[1].empty() && ends[2].empty()) return std::string(body);

  std::string out;
  out.reserve(body.size());
  size_t cursor[kPasswordNameCount] = {};
  size_t copied = 0;
  size_t next = 0;
  for (size_t lt = body.find('<'); lt != std::string_view::npos; lt = body.find('<', next)) {
    next = lt + 1;
    const std::string_view name = NameAt(body, lt + 1);
    const int k = PasswordIndex(name);
    if (k < 0) continue;
    // The start tag runs to the next '>'; a '<' first means it is no tag at all.
    size_t gt = lt + 1 + name.size();
    while (gt < body.size() && body[gt] != '>' && body[gt] != '<') ++gt;
    if (gt == body.size() || body[gt] == '<') continue;
    if (body[gt - 1] == '/') continue;  // self-closing: no password to hide
    size_t& c = cursor[k];
    while (c < ends[k].size() && ends[k][c].first < gt) ++c;
    if (c == ends[k].size()) continue;  // unterminated
    out.append(body.substr(copied, lt - copied));
    out.append("<").append(kPasswordNames[k]).append(" xsi:type=\"xsd:string\">*****</");
    out.append(kPasswordNames[k]).append(">");
    copied = next = ends[k][c].second;
    ++c;
  }
  out.append(body.substr(copied));
  return out;
}

void SetDebugLogFolderForTesting(std::filesystem::path folder) {
  TLogState& state = State();
  std::lock_guard lock(state.mutex);
  state.folder = std::move(folder);
}

}  // namespace zoras
