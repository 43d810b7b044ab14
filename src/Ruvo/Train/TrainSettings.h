#ifndef RUVO_TRAIN_TRAINSETTINGS_H
#define RUVO_TRAIN_TRAINSETTINGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace ruvo {

// The settings of one training run, as the parameter file gives them (defaults otherwise).
struct TrainSettings {
    std::string weightFile;                       // network to load; required
    std::string destinationFile = "trained.wgt";  // where the trained network goes
    std::string trainingFile;                     // data set; required
    std::int32_t epochs = 0;                      // 0 means "not specified"; negative runs none
    float learningRate = 0.5f;
    float momentum = 0.5f;
    bool batch = false;                  // weights updated once per epoch instead of per pattern
    std::int32_t numFeatures = 0;        // #Features: 0 means no input selection
    std::vector<std::int32_t> features;  // selected input columns, in network-input order
};

// Longest word a text value (file name) may have, and the Batch value's limit.
constexpr std::size_t kMaxParameterWord = 255;
constexpr std::size_t kMaxBatchWord = 15;

// Reads the parameter file text into settings (which should hold the defaults).
//
// Grammar: white-space separated words. A word equal ignoring case to a key is followed by one
// separator character (the next non-blank character, conventionally "=") and the key's value:
// WeightFile, DestinationFile, TrainingFile and Batch take a word; Epochs and #Features an integer
// (leading 0 octal, 0x hexadecimal); LearningRate and Momentum a single-precision real; Features
// as many integers as the current #Features count. Any other word is skipped. Later keys override
// earlier ones; Batch is switched on by "true" and never off again.
//
// Returns true on success. On a value that cannot be read (not a number, out of range, too long,
// missing at the end of the file) or an inconsistent feature list, stops at once, stores a
// message naming the key in *error and returns false.
bool ParseParameterText(const std::string& text, TrainSettings* settings, std::string* error);

// The program's entry: checks the command line, reads and checks the parameter file, then runs
// the training. Returns the exit status; messages go to standard error.
int TrainRuvoMain(int argc, const char* const* argv);

// The training run with checked settings; returns the exit status.
int RunTraining(const TrainSettings& settings);

}  // namespace ruvo

#endif
