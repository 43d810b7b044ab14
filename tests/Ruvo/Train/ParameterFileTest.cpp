#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Ruvo/Train/RunProgram.h"
#include "Ruvo/Train/TrainSettings.h"

namespace ruvo {
namespace {

using testing_support::MakeTempFolder;
using testing_support::ProgramResult;
using testing_support::RunProgram;
using testing_support::WriteWholeFile;

TrainSettings Parse(const std::string& text) {
    TrainSettings settings;
    std::string error;
    EXPECT_TRUE(ParseParameterText(text, &settings, &error)) << error;
    return settings;
}

std::string ParseError(const std::string& text) {
    TrainSettings settings;
    std::string error;
    EXPECT_FALSE(ParseParameterText(text, &settings, &error));
    return error;
}

TEST(ParameterFileTest, DefaultsWhenNothingIsSet) {
    TrainSettings s = Parse("just some free text\n");
    EXPECT_EQ(s.weightFile, "");
    EXPECT_EQ(s.destinationFile, "trained.wgt");
    EXPECT_EQ(s.trainingFile, "");
    EXPECT_EQ(s.epochs, 0);
    EXPECT_EQ(s.learningRate, 0.5f);
    EXPECT_EQ(s.momentum, 0.5f);
    EXPECT_FALSE(s.batch);
    EXPECT_EQ(s.numFeatures, 0);
}

TEST(ParameterFileTest, ReadsTheDocumentedExample) {
    TrainSettings s = Parse(
        "WeightFile = start.wgt\nTrainingFile = train.dat\nEpochs = 100\nLearningRate = 0.1\n"
        "Momentum = 0.9\nBatch = true\n#Features = 3\nFeatures = 0 2 5\n");
    EXPECT_EQ(s.weightFile, "start.wgt");
    EXPECT_EQ(s.trainingFile, "train.dat");
    EXPECT_EQ(s.epochs, 100);
    EXPECT_EQ(s.learningRate, 0.1f);
    EXPECT_EQ(s.momentum, 0.9f);
    EXPECT_TRUE(s.batch);
    EXPECT_EQ(s.numFeatures, 3);
    EXPECT_EQ(s.features, (std::vector<std::int32_t>{0, 2, 5}));
}

TEST(ParameterFileTest, WordsKeysAndSeparators) {
    struct Row {
        const char* text;
        const char* weightFile;
    };
    const Row kRows[] = {
        {"WeightFile=start.wgt", ""},            // one word, not a key
        {"WeightFile start.wgt", "tart.wgt"},    // 's' is taken as the separator
        {"weightfile = a.wgt", "a.wgt"},         // keys ignore case
        {"WEIGHTFILE : a.wgt", "a.wgt"},         // any separator character
        {"WeightFile = a WeightFile = b", "b"},  // later keys override earlier ones
        {"xWeightFile = a", ""},                 // only whole words are keys
        {"WeightFile\n=\n\ta.wgt", "a.wgt"},     // white space of any kind
        {"WeightFile =a.wgt", "a.wgt"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Parse(row.text).weightFile, row.weightFile);
    }
}

TEST(ParameterFileTest, IntegersTakeOctalAndHexadecimal) {
    struct Row {
        const char* text;
        std::int32_t epochs;
    };
    const Row kRows[] = {
        {"Epochs = 010", 8},
        {"Epochs = 0x10", 16},
        {"Epochs = 0X1f", 31},
        {"Epochs = -3", -3},
        {"Epochs = +7", 7},
        {"Epochs = 0", 0},
        {"Epochs = 08", 0},
        {"Epochs = 12abc", 12},
        {"Epochs = 2147483647", 2147483647},
        {"Epochs = -2147483648", -2147483647 - 1},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Parse(row.text).epochs, row.epochs);
    }
}

TEST(ParameterFileTest, RealsAreSinglePrecision) {
    struct Row {
        const char* text;
        float rate;
    };
    const Row kRows[] = {{"LearningRate = 0.1", 0.1f},
                         {"LearningRate = 1e-7", 1e-7f},
                         {"LearningRate = .25", 0.25f},
                         {"LearningRate = -2", -2.0f},
                         {"LearningRate = 0.3xyz", 0.3f}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Parse(row.text).learningRate, row.rate);
    }
}

TEST(ParameterFileTest, BatchIsSwitchedOnOnlyByTrue) {
    struct Row {
        const char* text;
        bool batch;
    };
    const Row kRows[] = {{"Batch = TRUE", true},
                         {"Batch = true", true},
                         {"Batch = yes", false},
                         {"Batch = 1", false},
                         {"Batch = true Batch = false", true}};
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Parse(row.text).batch, row.batch);
    }
}

TEST(ParameterFileTest, FeatureLists) {
    TrainSettings s = Parse("#features = 2 FEATURES = 3 1");
    EXPECT_EQ(s.features, (std::vector<std::int32_t>{3, 1}));
    // A count of 0 consumes only the separator; the numbers are skipped as words.
    TrainSettings none = Parse("Features = 3 1 Epochs = 5");
    EXPECT_TRUE(none.features.empty());
    EXPECT_EQ(none.epochs, 5);
    // A later count replaces the earlier list, and a later list the earlier one.
    TrainSettings again = Parse("#Features = 1 Features = 4 #Features = 2 Features = 5 6");
    EXPECT_EQ(again.features, (std::vector<std::int32_t>{5, 6}));
}

TEST(ParameterFileTest, BadValuesStopReadingWithAMessageNamingTheKey) {
    struct Row {
        const char* text;
        const char* message;
    };
    const std::string longName(256, 'a');
    const std::string longBatch(16, 't');
    const std::string longNameText = "WeightFile = " + longName;
    const std::string longBatchText = "Batch = " + longBatch;
    const Row kRows[] = {
        {"Epochs = ten", "value of Epochs is not an integer"},
        {"epochs = ten", "value of epochs is not an integer"},
        {"Epochs = 2147483648", "value of Epochs is out of range"},
        {"Epochs = 0xFFFFFFFFFF", "value of Epochs is out of range"},
        {"Momentum = fast", "value of Momentum is not a number"},
        {"LearningRate =", "no value given for LearningRate"},
        {"Epochs", "no value given for Epochs"},
        {"WeightFile =", "no value given for WeightFile"},
        {longNameText.c_str(), "value of WeightFile is longer than 255 characters"},
        {longBatchText.c_str(), "value of Batch is longer than 15 characters"},
        {"#Features = -1", "value of #Features must not be negative"},
        {"#Features = 2", "#Features is 2 but no Features list follows it"},
        {"#Features = 3 Features = 1 2", "Features lists fewer than 3 column numbers (#Features)"},
        {"#Features = 2 Features = 1 x", "Features lists fewer than 2 column numbers (#Features)"},
        {"#Features = 2000000000 Features = 1",
         "Features lists fewer than 2000000000 column numbers (#Features)"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseError(row.text), row.message);
    }
}

TEST(ParameterFileTest, GarbageNeverCrashes) {
    std::string garbage;
    for (int i = 0; i < 100000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    TrainSettings s;
    std::string error;
    ParseParameterText(garbage, &s, &error);  // any outcome but a crash or a hang
    const std::string huge(10 * 1000 * 1000, 'x');
    EXPECT_TRUE(ParseParameterText(huge, &s, &error));
}

// The program's own checks, run as a user runs it.
class TrainRuvoEntryTest : public testing::Test {
protected:
    ProgramResult Run(const std::vector<std::string>& args) {
        return RunProgram(TRAINRUVO_PATH, args, dir_);
    }
    void WriteParams(const std::string& text) { WriteWholeFile(dir_ + "/params.txt", text); }

    std::string dir_ = MakeTempFolder("entry");
};

TEST_F(TrainRuvoEntryTest, DriverMessages) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        const char* params;  // written to params.txt when not null
        const char* err;
    };
    const Row kRows[] = {
        {"no argument", {}, nullptr, "Usage: TrainRuvo parameter.file\n"},
        {"two arguments", {"a", "b"}, nullptr, "Usage: TrainRuvo parameter.file\n"},
        {"missing file", {"absent.txt"}, nullptr, "Cannot open parameter file absent.txt\n"},
        {"no files", {"params.txt"}, "Epochs = 3", "No weight file specified\n"},
        {"glued entry",
         {"params.txt"},
         "WeightFile=a.wgt TrainingFile = t.dat Epochs = 3",
         "No weight file specified\n"},
        {"no training file",
         {"params.txt"},
         "WeightFile = a.wgt Epochs = 3",
         "No training file specified\n"},
        {"no epochs",
         {"params.txt"},
         "WeightFile = a.wgt TrainingFile = t.dat",
         "Number of epochs not specified\n"},
        {"bad number",
         {"params.txt"},
         "WeightFile = a.wgt Epochs = ten TrainingFile = t.dat",
         "Error in parameter file params.txt: value of Epochs is not an integer\n"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        if (row.params != nullptr) {
            WriteParams(row.params);
        }
        ProgramResult result = Run(row.args);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, row.err);
    }
}

}  // namespace
}  // namespace ruvo
