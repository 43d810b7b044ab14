// TrainRuvo: trains a fuzzy neural network by backpropagation. Usage: TrainRuvo parameter.file
#include <cstdio>
#include <new>

#include "Ruvo/Train/TrainSettings.h"

int main(int argc, char** argv) {
    try {
        return ruvo::TrainRuvoMain(argc, argv);
    } catch (const std::bad_alloc&) {
        // The run reports its own; this covers reading the parameter file.
        std::fprintf(stderr, "TrainRuvo: out of memory\n");
        return 1;
    }
}
