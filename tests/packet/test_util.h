// Helpers shared by the packet tests.
#pragma once

#include <functional>
#include <string>

#include "base/errors.h"

namespace zoras {

// The message of the EZoras that `f` throws, or "(no error)".
inline std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EZoras& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace zoras
