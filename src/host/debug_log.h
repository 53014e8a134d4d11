// The daily debug log "zoras_log_yyyymmdd.log": one line per message of the branch
// service, one three-line entry per request that fails in the HTTP layer. Writing never
// fails the caller: a file that cannot be opened or written is reported on standard
// error and the caller goes on. Safe to call from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "base/datetime.h"

namespace zoras {

// The daily debug log is on: the boot setting DEBUGLOG is exactly "D".
bool DebugLogEnabled();
// The bank register import's error log is on: DEBUGLOG is exactly "1".
bool RegisterImportLogEnabled();

// The file name of the log for the day of `when`: "zoras_log_" + yyyymmdd + ".log".
std::string DebugLogFileName(TDateTime when);

// When DebugLogEnabled(), appends "dd.mm.yyyy hh:nn:ss USR=<usr>: <message>" to the
// log of the day of Now(), creating the file. Does nothing otherwise.
void WriteDebugLine(std::string_view usr, std::string_view message) noexcept;

// When DebugLogEnabled(), appends the HTTP layer's entry for a failed request, three
// lines in one write: the timestamp and `error_message`; the timestamp and
// " TWSWBBridge.DoCommandGet RequestInfo:"; MaskPasswords(request_body).
void WriteDebugErrorEntry(std::string_view error_message, std::string_view request_body) noexcept;

// `body` with every password element (APassword, ANewPassword, AConfirmPassword, with
// or without a namespace prefix) replaced from its start tag to its end tag by
// <NAME xsi:type="xsd:string">*****</NAME>. Self-closing and unterminated elements are
// kept. Linear in the size of `body`; any bytes are accepted.
std::string MaskPasswords(std::string_view body);

// Tests only: writes the log into `folder` in place of the current working directory;
// an empty path restores the working directory.
void SetDebugLogFolderForTesting(std::filesystem::path folder);

}  // namespace zoras
