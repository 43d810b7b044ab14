// End-to-end runs of TrainRuvo and CreateRuvo on small fixtures: exit status, standard output,
// standard error and the destination file.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Ruvo/Train/RunProgram.h"

namespace ruvo {
namespace {

using testing_support::FileExists;
using testing_support::MakeTempFolder;
using testing_support::ProgramResult;
using testing_support::ReadWholeFile;
using testing_support::RunProgram;
using testing_support::WriteWholeFile;

// A fuzzy network with 2 inputs (2 membership functions each), 3 rules and 1 output with 3
// membership functions, made by CreateRuvo.
const std::string kNetwork = std::string(TEST_DATA_DIR) + "/ruvo_2in_3rules.wgt";

// Rows of a data set; every row holds the inputs, then the outputs.
std::string DataSetText(const std::vector<std::vector<double>>& rows, int inputs, int outputs) {
    std::ostringstream text;
    text.precision(17);
    text << "[DataSet]\n[Rows = " << rows.size() << "]\n[Inputs = " << inputs
         << "]\n[ExpectedOutputs = " << outputs << "]\n[Data]\n";
    for (const std::vector<double>& row : rows) {
        for (double value : row) {
            text << value << ' ';
        }
        text << '\n';
    }
    text << "[~Data]\n[~DataSet]\n";
    return text.str();
}

// Six rows of y = (a + b) / 2 with a third, unused input column in between.
const std::vector<std::vector<double>> kRows3 = {{0.1, 0.9, 0.2, 0.15}, {0.4, 0.1, 0.8, 0.6},
                                                 {0.9, 0.5, 0.3, 0.6},  {0.0, 0.3, 1.0, 0.5},
                                                 {0.7, 0.7, 0.6, 0.65}, {0.2, 0.2, 0.4, 0.3}};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class TrainRunTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeTempFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
        WriteWholeFile(dir_ + "/start.wgt", ReadWholeFile(kNetwork));
        // Columns 0 and 2 as the network's two inputs.
        std::vector<std::vector<double>> two;
        for (const std::vector<double>& row : kRows3) {
            two.push_back({row[0], row[2], row[3]});
        }
        WriteWholeFile(dir_ + "/train.dat", DataSetText(two, 2, 1));
    }

    ProgramResult Train(const std::string& params) {
        WriteWholeFile(dir_ + "/params.txt", params);
        return RunProgram(TRAINRUVO_PATH, {"params.txt"}, dir_);
    }

    std::string File(const std::string& name) { return ReadWholeFile(dir_ + "/" + name); }

    std::string dir_;
};

const char kBase[] = "WeightFile = start.wgt TrainingFile = train.dat ";

TEST_F(TrainRunTest, TrainsPrintsOneLinePerEpochAndWritesTheNetwork) {
    ProgramResult r = Train(std::string(kBase) + "Epochs = 010 DestinationFile = out.wgt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 8u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind(std::to_string(i + 1) + " ", 0), 0u) << lines[i];
    }
    EXPECT_TRUE(FileExists(dir_ + "/out.wgt"));
    EXPECT_NE(File("out.wgt"), File("start.wgt"));
    EXPECT_FALSE(FileExists(dir_ + "/trained.wgt"));

    // The same run again gives the same digits and the same file.
    const std::string first = File("out.wgt");
    ProgramResult again = Train(std::string(kBase) + "Epochs = 010 DestinationFile = out.wgt");
    EXPECT_EQ(again.out, r.out);
    EXPECT_EQ(File("out.wgt"), first);
}

TEST_F(TrainRunTest, ErrorsAreWrittenInGeneralNotationWithSixDigits) {
    ProgramResult r = Train(std::string(kBase) + "Epochs = 3");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const std::string& line : Lines(r.out)) {
        const std::string number = line.substr(line.find(' ') + 1);
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%g",
                      static_cast<double>(std::strtof(number.c_str(), nullptr)));
        EXPECT_EQ(number, buffer);
    }
}

TEST_F(TrainRunTest, NegativeEpochsWriteTheLoadedNetworkUnchanged) {
    ProgramResult r = Train(std::string(kBase) + "Epochs = -3");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    // Written by default to trained.wgt; the fixture was written by the same writer.
    EXPECT_EQ(File("trained.wgt"), File("start.wgt"));
}

TEST_F(TrainRunTest, RatesReachTheTrainerWithSixDecimals) {
    // 0.0000001 becomes the text 0.000000: with no momentum either, no weight moves.
    ProgramResult r =
        Train(std::string(kBase) +
              "Epochs = 2 LearningRate = 0.0000001 Momentum = 0 DestinationFile = o.wgt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u);
    EXPECT_EQ(File("o.wgt"), File("start.wgt"));
}

TEST_F(TrainRunTest, BatchAndPerPatternRunsDiffer) {
    ProgramResult perPattern = Train(std::string(kBase) + "Epochs = 2 DestinationFile = p.wgt");
    ProgramResult batch =
        Train(std::string(kBase) + "Epochs = 2 Batch = true DestinationFile = b.wgt");
    ASSERT_EQ(perPattern.status, 0) << perPattern.err;
    ASSERT_EQ(batch.status, 0) << batch.err;
    // The first epoch's error is measured pattern by pattern with the weights of the moment, so
    // the two modes differ from the first epoch on.
    EXPECT_NE(Lines(perPattern.out)[0], Lines(batch.out)[0]);
    EXPECT_NE(File("p.wgt"), File("b.wgt"));
}

TEST_F(TrainRunTest, FeatureSelectionDeliversTheChosenColumns) {
    WriteWholeFile(dir_ + "/wide.dat", DataSetText(kRows3, 3, 1));
    ProgramResult selected = Train(
        "WeightFile = start.wgt TrainingFile = wide.dat Epochs = 4 #Features = 2 Features = 0 2 "
        "DestinationFile = selected.wgt");
    ProgramResult plain = Train(std::string(kBase) + "Epochs = 4 DestinationFile = plain.wgt");
    ASSERT_EQ(selected.status, 0) << selected.err;
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(selected.out, plain.out);
    EXPECT_EQ(File("selected.wgt"), File("plain.wgt"));

    // Swapped columns are another problem.
    ProgramResult swapped = Train(
        "WeightFile = start.wgt TrainingFile = wide.dat Epochs = 4 #Features = 2 Features = 2 0 "
        "DestinationFile = swapped.wgt");
    ASSERT_EQ(swapped.status, 0) << swapped.err;
    EXPECT_NE(File("swapped.wgt"), File("plain.wgt"));
}

TEST_F(TrainRunTest, OneRunsDestinationIsTheNextRunsNetwork) {
    ProgramResult first = Train(std::string(kBase) + "Epochs = 2 DestinationFile = step1.wgt");
    ASSERT_EQ(first.status, 0) << first.err;
    ProgramResult second = Train(
        "WeightFile = step1.wgt TrainingFile = train.dat Epochs = 2 DestinationFile = step2.wgt");
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(Lines(second.out).size(), 2u);
    EXPECT_NE(File("step2.wgt"), File("step1.wgt"));

    // Training in place replaces the network file with the trained one.
    ProgramResult inPlace = Train(
        "WeightFile = step1.wgt TrainingFile = train.dat Epochs = 2 DestinationFile = step1.wgt");
    ASSERT_EQ(inPlace.status, 0) << inPlace.err;
    EXPECT_EQ(File("step1.wgt"), File("step2.wgt"));
}

TEST_F(TrainRunTest, MissingNetworkFileIsReportedOnStandardOutput) {
    ProgramResult r = Train(
        "WeightFile = absent.wgt TrainingFile = train.dat Epochs = 2 DestinationFile = out.wgt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error on File Open\n");
    EXPECT_FALSE(FileExists(dir_ + "/out.wgt"));
}

TEST_F(TrainRunTest, SyntaxErrorsNameTheFileAndLine) {
    WriteWholeFile(dir_ + "/broken.wgt", "[NeuralNetwork]\n[NetworkType = Ruvo]\n\n[Bogus]\n");
    ProgramResult r = Train(
        "WeightFile = broken.wgt TrainingFile = train.dat Epochs = 2 DestinationFile = out.wgt");
    EXPECT_EQ(r.status, 1);
    const std::vector<std::string> out = Lines(r.out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(r.err, "TrainRuvo: broken.wgt, line 4: " + out[0] + "\n");
    EXPECT_FALSE(FileExists(dir_ + "/out.wgt"));
}

TEST_F(TrainRunTest, RunChecksRejectUnusableInputsBeforeTraining) {
    WriteWholeFile(dir_ + "/wide.dat", DataSetText(kRows3, 3, 1));
    WriteWholeFile(dir_ + "/two_out.dat", DataSetText({{0.1, 0.2, 0.3, 0.4}}, 2, 2));
    WriteWholeFile(dir_ + "/empty.dat", DataSetText({}, 2, 1));
    WriteWholeFile(dir_ + "/results.dat",
                   "[DataSet]\n[Rows = 1]\n[GeneratedOutputs = 1]\n[Data]\n0.5\n[~Data]\n"
                   "[~DataSet]\n");
    WriteWholeFile(dir_ + "/connected.wgt",
                   "[NeuralNetwork]\n[NetworkType = Connected]\n[NetworkInformation]\n"
                   "[NumberOfLayers = 2]\n[InputLayer = 0]\n[~NetworkInformation]\n"
                   "[Layer = 0]\n[LayerType = Input]\n[NumberOfNeurons = 2]\n"
                   "[ActivationFunction = linear]\n[~Layer]\n[Layer = 1]\n[LayerType = Simple]\n"
                   "[NumberOfNeurons = 1]\n[ActivationFunction = sigmoid]\n[~Layer]\n"
                   "[~NeuralNetwork]\n");
    struct Row {
        const char* params;
        const char* err;
    };
    const Row kRows[] = {
        {"WeightFile = start.wgt TrainingFile = absent.dat Epochs = 1",
         "TrainRuvo: Cannot open training file absent.dat\n"},
        {"WeightFile = start.wgt TrainingFile = results.dat Epochs = 1",
         "TrainRuvo: Training file results.dat holds no training data set\n"},
        {"WeightFile = connected.wgt TrainingFile = train.dat Epochs = 1",
         "TrainRuvo: The network in connected.wgt is not a six-layer fuzzy (RUVO) network\n"},
        {"WeightFile = start.wgt TrainingFile = wide.dat Epochs = 1",
         "TrainRuvo: Training file wide.dat has 3 input columns but the network has 2 inputs\n"},
        {"WeightFile = start.wgt TrainingFile = two_out.dat Epochs = 1",
         "TrainRuvo: Training file two_out.dat has 2 output columns but the network has 1 "
         "outputs\n"},
        {"WeightFile = start.wgt TrainingFile = empty.dat Epochs = 1",
         "TrainRuvo: Training file empty.dat holds no rows\n"},
        {"WeightFile = start.wgt TrainingFile = wide.dat Epochs = 1 #Features = 1 Features = 0",
         "TrainRuvo: #Features is 1 but the network has 2 inputs\n"},
        {"WeightFile = start.wgt TrainingFile = wide.dat Epochs = 1 #Features = 2 Features = 0 3",
         "TrainRuvo: Feature column 3 is outside the 3 input columns of wide.dat\n"},
        {"WeightFile = start.wgt TrainingFile = wide.dat Epochs = 1 #Features = 2 Features = -1 0",
         "TrainRuvo: Feature column -1 is outside the 3 input columns of wide.dat\n"},
        {"WeightFile = start.wgt TrainingFile = train.dat Epochs = 1 DestinationFile = no/such.wgt",
         nullptr},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.params);
        ProgramResult r = Train(row.params);
        EXPECT_EQ(r.status, 1);
        if (row.err != nullptr) {
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, row.err);
        } else {
            EXPECT_EQ(r.err.rfind("TrainRuvo: Cannot create no/such.wgt: ", 0), 0u) << r.err;
        }
        EXPECT_FALSE(FileExists(dir_ + "/trained.wgt"));
    }
}

TEST_F(TrainRunTest, OutputOutsideTheUnitIntervalEndsTheRun) {
    // Output centres above 1 put the defuzzified output above 1: the run reports the value and
    // the violated condition, and ends with status 1 without writing the destination.
    std::string net = File("start.wgt");
    const std::size_t matrix = net.find("[ConnectionType = ToOutputConnections]");
    ASSERT_NE(matrix, std::string::npos);
    const char* const kCentres[][2] = {{"                   0 T  /* 0 */", "  2 T /* 0 */"},
                                       {"                 0.5 T  /* 1 */", "  3 T /* 1 */"},
                                       {"                   1 T  /* 2 */", "  4 T /* 2 */"}};
    for (const auto& centre : kCentres) {
        const std::size_t at = net.find(centre[0], matrix);
        ASSERT_NE(at, std::string::npos) << centre[0];
        net.replace(at, std::string(centre[0]).size(), centre[1]);
    }
    WriteWholeFile(dir_ + "/bad.wgt", net);
    ProgramResult r =
        Train("WeightFile = bad.wgt TrainingFile = train.dat Epochs = 1 DestinationFile = out.wgt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("outside [0, 1]"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_FALSE(FileExists(dir_ + "/out.wgt"));
}

// CreateRuvo: a layout on the command line becomes a network file TrainRuvo can train.
class CreateRuvoTest : public testing::Test {
protected:
    ProgramResult Create(const std::vector<std::string>& args) {
        return RunProgram(CREATERUVO_PATH, args, dir_);
    }
    std::string dir_ = MakeTempFolder("create");
};

TEST_F(CreateRuvoTest, WritesTheShippedFixtureAgain) {
    ProgramResult r = Create({"--inputs", "2", "--input-mfs", "2", "--rules", "3", "--output-mfs",
                              "3", "--output", "net.wgt"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadWholeFile(dir_ + "/net.wgt"), ReadWholeFile(kNetwork));
}

TEST_F(CreateRuvoTest, HelpAndInvalidLayouts) {
    ProgramResult help = Create({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: CreateRuvo"), std::string::npos);

    struct Row {
        std::vector<std::string> args;
        const char* message;
    };
    const Row kRows[] = {
        {{}, nullptr},
        {{"--inputs", "2", "--input-mfs", "1", "--rules", "3", "--output-mfs", "3", "--output",
          "x.wgt"},
         "CreateRuvo: --input-mfs: every count must be at least 2 (got 1)\n"},
        {{"--inputs", "2", "--input-mfs", "2,3,4", "--rules", "3", "--output-mfs", "3", "--output",
          "x.wgt"},
         "CreateRuvo: --input-mfs lists 3 counts for 2 items\n"},
        {{"--inputs", "0", "--input-mfs", "2", "--rules", "3", "--output-mfs", "3", "--output",
          "x.wgt"},
         "CreateRuvo: --inputs must be between 1 and 10000\n"},
        {{"--inputs", "two", "--input-mfs", "2", "--rules", "3", "--output-mfs", "3", "--output",
          "x.wgt"},
         "CreateRuvo: --inputs: 'two' is not a valid number\n"},
        {{"--inputs", "2", "--input-mfs", "2", "--rules", "3", "--output-mfs", "3"},
         "CreateRuvo: --output is required\n"},
        {{"--inputs", "2", "--input-mfs", "2", "--rules", "3", "--output-mfs", "3", "--min", "1",
          "--max", "0", "--output", "x.wgt"},
         "CreateRuvo: --min must not be greater than --max\n"},
        {{"--inputs", "2", "--input-mfs", "2", "--rules", "3", "--output-mfs", "3", "--max", "inf",
          "--output", "x.wgt"},
         "CreateRuvo: --max: 'inf' is not a valid number\n"},
        {{"--bogus", "1"}, "CreateRuvo: unknown option --bogus\n"},
        {{"--inputs", "5000", "--input-mfs", "2", "--rules", "5000", "--output-mfs", "3",
          "--output", "x.wgt"},
         "CreateRuvo: more than 10000000 weights between two layers\n"},
    };
    for (const Row& row : kRows) {
        ProgramResult r = Create(row.args);
        EXPECT_EQ(r.status, 1);
        if (row.message != nullptr) {
            EXPECT_EQ(r.err.substr(0, std::string(row.message).size()), row.message);
        } else {
            EXPECT_NE(r.err.find("Usage: CreateRuvo"), std::string::npos);
        }
        EXPECT_FALSE(FileExists(dir_ + "/x.wgt"));
    }
}

}  // namespace
}  // namespace ruvo
