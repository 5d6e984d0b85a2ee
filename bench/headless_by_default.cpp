// Linked into every benchmark: a benchmark shows no window, so it runs on the headless host unless
// ORBEL_HOST names another (a display-less machine would otherwise find no host to run on).
#include <cstdlib>

namespace {

const bool kHeadlessByDefault = setenv("ORBEL_HOST", "headless", 0) == 0;

}  // namespace
