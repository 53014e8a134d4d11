// The schema DDL, one file per subsystem (schema/*.sql), embedded in the binaries.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zoras {

// (file name, text) for every schema file, in file name order.
const std::vector<std::pair<std::string, std::string>>& SchemaFiles();

}  // namespace zoras
