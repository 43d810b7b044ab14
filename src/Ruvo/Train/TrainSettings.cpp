#include "Ruvo/Train/TrainSettings.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>

#include "KQmessage/KQML.h"

namespace ruvo {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// A cursor over the parameter file's text with the few reads the format needs.
class ParamScanner {
public:
    explicit ParamScanner(const std::string& text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size() && IsBlank(text_[pos_])) {
            ++pos_;
        }
    }
    bool AtEnd() const { return pos_ >= text_.size(); }

    // The next white-space delimited word; empty at the end of the text.
    std::string Word() {
        SkipBlanks();
        const std::size_t start = pos_;
        while (pos_ < text_.size() && !IsBlank(text_[pos_])) {
            ++pos_;
        }
        return text_.substr(start, pos_ - start);
    }

    // Consumes the separator: the next character that is not white space. False at the end.
    bool Separator() {
        SkipBlanks();
        if (AtEnd()) {
            return false;
        }
        ++pos_;
        return true;
    }

    // An integer with an optional sign; a leading 0 means octal, 0x or 0X hexadecimal. Stops
    // after the last digit, so "08" reads 0 and leaves "8". False when no digit starts the value
    // or the value does not fit in 32 bits (then *overflow is set).
    bool Integer(std::int32_t* value, bool* overflow) {
        *overflow = false;
        SkipBlanks();
        std::size_t p = pos_;
        bool negative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
            negative = text_[p] == '-';
            ++p;
        }
        int base = 10;
        if (p < text_.size() && text_[p] == '0') {
            base = 8;
            if (p + 2 < text_.size() + 0 && (text_[p + 1] == 'x' || text_[p + 1] == 'X') &&
                DigitValue(text_[p + 2], 16) >= 0) {
                base = 16;
                p += 2;
            }
        }
        const std::size_t digitsStart = p;
        std::uint64_t magnitude = 0;
        for (; p < text_.size(); ++p) {
            const int digit = DigitValue(text_[p], base);
            if (digit < 0) {
                break;
            }
            magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (magnitude > (std::uint64_t{1} << 31)) {
                *overflow = true;
            }
        }
        if (p == digitsStart) {
            return false;
        }
        const std::uint64_t limit =
            negative ? (std::uint64_t{1} << 31) : (std::uint64_t{1} << 31) - 1;
        if (*overflow || magnitude > limit) {
            *overflow = true;
            return false;
        }
        *value = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                          : static_cast<std::int32_t>(magnitude);
        pos_ = p;
        return true;
    }

    // A single-precision real as the C library reads one ("%f"): the longest prefix of the next
    // word that is a number; the rest of the word stays in the text.
    bool Real(float* value) {
        SkipBlanks();
        std::size_t end = pos_;
        while (end < text_.size() && !IsBlank(text_[end])) {
            ++end;
        }
        const std::string word = text_.substr(pos_, end - pos_);
        if (word.empty()) {
            return false;
        }
        char* stop = nullptr;
        errno = 0;
        const float parsed = std::strtof(word.c_str(), &stop);
        if (stop == word.c_str()) {
            return false;
        }
        *value = parsed;
        pos_ += static_cast<std::size_t>(stop - word.c_str());
        return true;
    }

private:
    static int DigitValue(char c, int base) {
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        return digit < base ? digit : -1;
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

enum class Key {
    None,
    WeightFile,
    DestinationFile,
    TrainingFile,
    Epochs,
    LearningRate,
    Momentum,
    Batch,
    NumFeatures,
    Features
};

Key LookupKey(const std::string& word) {
    struct Entry {
        const char* name;
        Key key;
    };
    static const Entry kKeys[] = {{"WeightFile", Key::WeightFile},
                                  {"DestinationFile", Key::DestinationFile},
                                  {"TrainingFile", Key::TrainingFile},
                                  {"Epochs", Key::Epochs},
                                  {"LearningRate", Key::LearningRate},
                                  {"Momentum", Key::Momentum},
                                  {"Batch", Key::Batch},
                                  {"#Features", Key::NumFeatures},
                                  {"Features", Key::Features}};
    for (const Entry& entry : kKeys) {
        if (ruvo::strcasecmp(word.c_str(), entry.name) == 0) {
            return entry.key;
        }
    }
    return Key::None;
}

}  // namespace

bool ParseParameterText(const std::string& text, TrainSettings* settings, std::string* error) {
    ParamScanner scanner(text);
    bool featuresPending = false;  // a #Features count > 0 still waits for its Features list
    for (;;) {
        const std::string word = scanner.Word();
        if (word.empty()) {
            break;
        }
        const Key key = LookupKey(word);
        if (key == Key::None) {
            continue;
        }
        if (!scanner.Separator()) {
            *error = "no value given for " + word;
            return false;
        }
        auto readWord = [&](std::size_t limit, std::string* out) {
            *out = scanner.Word();
            if (out->empty()) {
                *error = "no value given for " + word;
                return false;
            }
            if (out->size() > limit) {
                *error =
                    "value of " + word + " is longer than " + std::to_string(limit) + " characters";
                return false;
            }
            return true;
        };
        auto valueMissing = [&]() {
            scanner.SkipBlanks();
            if (scanner.AtEnd()) {
                *error = "no value given for " + word;
                return true;
            }
            return false;
        };
        auto readInteger = [&](std::int32_t* out) {
            if (valueMissing()) {
                return false;
            }
            bool overflow = false;
            if (scanner.Integer(out, &overflow)) {
                return true;
            }
            *error = overflow ? "value of " + word + " is out of range"
                              : "value of " + word + " is not an integer";
            return false;
        };
        auto readReal = [&](float* out) {
            if (valueMissing()) {
                return false;
            }
            if (scanner.Real(out)) {
                return true;
            }
            *error = "value of " + word + " is not a number";
            return false;
        };
        std::string value;
        switch (key) {
            case Key::WeightFile:
                if (!readWord(kMaxParameterWord, &settings->weightFile)) {
                    return false;
                }
                break;
            case Key::DestinationFile:
                if (!readWord(kMaxParameterWord, &settings->destinationFile)) {
                    return false;
                }
                break;
            case Key::TrainingFile:
                if (!readWord(kMaxParameterWord, &settings->trainingFile)) {
                    return false;
                }
                break;
            case Key::Epochs:
                if (!readInteger(&settings->epochs)) {
                    return false;
                }
                break;
            case Key::LearningRate:
                if (!readReal(&settings->learningRate)) {
                    return false;
                }
                break;
            case Key::Momentum:
                if (!readReal(&settings->momentum)) {
                    return false;
                }
                break;
            case Key::Batch:
                if (!readWord(kMaxBatchWord, &value)) {
                    return false;
                }
                if (ruvo::strcasecmp(value.c_str(), "true") == 0) {
                    settings->batch = true;
                }
                break;
            case Key::NumFeatures:
                if (!readInteger(&settings->numFeatures)) {
                    return false;
                }
                if (settings->numFeatures < 0) {
                    *error = "value of " + word + " must not be negative";
                    return false;
                }
                settings->features.clear();
                featuresPending = settings->numFeatures > 0;
                break;
            case Key::Features:
                // The list is collected as it is read, so a huge count allocates nothing the
                // file does not actually hold.
                settings->features.clear();
                for (std::int32_t i = 0; i < settings->numFeatures; ++i) {
                    std::int32_t column = 0;
                    bool overflow = false;
                    if (!scanner.Integer(&column, &overflow)) {
                        *error = word + " lists fewer than " +
                                 std::to_string(settings->numFeatures) +
                                 " column numbers (#Features)";
                        return false;
                    }
                    settings->features.push_back(column);
                }
                featuresPending = false;
                break;
            case Key::None:
                break;
        }
    }
    if (featuresPending) {
        *error = "#Features is " + std::to_string(settings->numFeatures) +
                 " but no Features list follows it";
        return false;
    }
    return true;
}

int TrainRuvoMain(int argc, const char* const* argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: TrainRuvo parameter.file\n");
        return 1;
    }
    std::ifstream file(argv[1], std::ios::in | std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "Cannot open parameter file %s\n", argv[1]);
        return 1;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    file.close();

    TrainSettings settings;
    std::string error;
    if (!ParseParameterText(contents.str(), &settings, &error)) {
        std::fprintf(stderr, "Error in parameter file %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    if (settings.weightFile.empty()) {
        std::fprintf(stderr, "No weight file specified\n");
        return 1;
    }
    if (settings.trainingFile.empty()) {
        std::fprintf(stderr, "No training file specified\n");
        return 1;
    }
    if (settings.epochs == 0) {
        std::fprintf(stderr, "Number of epochs not specified\n");
        return 1;
    }
    return RunTraining(settings);
}

}  // namespace ruvo
