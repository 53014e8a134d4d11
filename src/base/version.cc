#include "base/version.h"

namespace zoras {

std::string FileVersion() { return ZORAS_FILE_VERSION; }

}  // namespace zoras
