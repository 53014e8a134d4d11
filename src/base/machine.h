// Facts about the machine and account the server runs on.
#pragma once

#include <string>

namespace zoras {

// The name of the computer the server runs on: the host name, at most 20 characters.
// Recorded with sessions and activity-trail rows.
std::string ServerComputerName();

// The name of the account the process runs as ("root", "zoras", ...); the numeric id as
// text when the account has no name.
std::string CurrentUserName();

}  // namespace zoras
