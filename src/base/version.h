// What the build says about the binaries.
#pragma once

#include <string>

namespace zoras {

// The four-part file version, "major.minor.release.build".
std::string FileVersion();

}  // namespace zoras
