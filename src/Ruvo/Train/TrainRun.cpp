#include <cstdio>

#include "Ruvo/Train/TrainSettings.h"

namespace ruvo {

int RunTraining(const TrainSettings& /*settings*/) {
    std::fprintf(stderr, "Training is not available yet in this build\n");
    return 1;
}

}  // namespace ruvo
