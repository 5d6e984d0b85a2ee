// The environment the tests run in: the variables through which a user steers the library and the
// platform are cleared when a test executable starts, so every test sees the defaults it was written for.
#pragma once

#include <vector>

namespace orbel::testing {

// Variables the library and the platform read that the test main clears.
const std::vector<const char*>& ClearedLibraryVariables();
// Variables the library reads that the test registrations set to pick the road under test (the host, the
// socket notice road); they are left as they come (the host is the headless one when none is set).
const std::vector<const char*>& KeptLibraryVariables();
// Clears the first list from the process's environment.
void ClearLibraryVariables();

}  // namespace orbel::testing
