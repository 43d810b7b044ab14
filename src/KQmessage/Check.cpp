#include "KQmessage/Check.h"

#include <cstdio>
#include <cstdlib>

namespace ruvo {

void InternalCheckFailed(const char* condition, const char* file, int line) {
    std::fflush(stdout);
    std::fprintf(stderr, "Internal error: consistency check failed: %s (%s:%d)\n", condition, file,
                 line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace ruvo
