// Where the server finds its own files: the boot file, ZOR.INI, aliases.ini and the
// default database live in one home folder.
#pragma once

#include <filesystem>

namespace zoras {

// The running executable, resolved through /proc/self/exe. Empty when that link cannot
// be read (no /proc).
std::filesystem::path ExecutablePath();

// The folder that holds the server's files: $ZORAS_HOME when set and non-empty, else the
// executable's folder. The variable is used as given, relative or not.
std::filesystem::path HomeFolder();

// The boot file of `executable`: its file name with the extension (if any) replaced by
// ".BOOT", in HomeFolder(). ".../zoras" gives HomeFolder()/"zoras.BOOT", "x.exe" "x.BOOT".
std::filesystem::path BootFilePath(const std::filesystem::path& executable);

}  // namespace zoras
