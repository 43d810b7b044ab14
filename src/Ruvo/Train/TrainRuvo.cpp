// TrainRuvo: trains a fuzzy neural network by backpropagation. Usage: TrainRuvo parameter.file
#include "Ruvo/Train/TrainSettings.h"

int main(int argc, char** argv) {
    return ruvo::TrainRuvoMain(argc, argv);
}
