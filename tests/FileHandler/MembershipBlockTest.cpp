// Reading and writing the InputMF and OutputMF blocks of the fuzzy layers.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "FileHandler/SaveRuvo.h"
#include "NeuralNets/TBasicNetwork.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvoOutputLayer.h"

namespace ruvo {
namespace {

struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const {
        p->Destroy();
    }
};

// A standalone layer of the given size on a scratch network; the block's opener is taken as read.
class MembershipBlockTest : public testing::Test {
protected:
    MembershipBlockTest() : network(3) {}

    std::unique_ptr<TConditionLayer, DestroyDeleter> ConditionLayer(int n) {
        return std::unique_ptr<TConditionLayer, DestroyDeleter>(
            new TConditionLayer(&network, 2, n));
    }
    std::unique_ptr<TRuvoOutputLayer, DestroyDeleter> OutputLayer(int n) {
        return std::unique_ptr<TRuvoOutputLayer, DestroyDeleter>(
            new TRuvoOutputLayer(&network, 2, n));
    }

    TConnectedNetwork network;
};

std::vector<int> Counts(const int* counts, int n) {
    return std::vector<int>(counts, counts + n);
}

TEST_F(MembershipBlockTest, InputBlockSetsInputsAndCounts) {
    auto layer = ConditionLayer(5);
    std::istringstream in("[Input=0 MF=3] [Input=1 MF=2] [~InputMF]");
    ReadMembershipBlock(in, layer.get(), "InputMF");
    ASSERT_EQ(layer->numInputs, 2);
    EXPECT_EQ(Counts(layer->mfPerInput, 2), (std::vector<int>{3, 2}));
    EXPECT_EQ(Counts(layer->inputOf, 5), (std::vector<int>{0, 0, 0, 1, 1}));
}

TEST_F(MembershipBlockTest, AcceptedSpellingsAndOrders) {
    struct Row {
        const char* text;
        const char* blockName;
        std::vector<int> counts;
    };
    const Row kRows[] = {
        {"[Input=1 MF=2] [Input=0 MF=3] [~InputMF]", "InputMF", {3, 2}},
        {"[ input = 0 mf = 3 ]\n[INPUT=1,MF=2]\n[~INPUTMF]", "INPUTMF", {3, 2}},
        {"/* first */ [Input=0 MF=2] /* second */ [Input=1 MF=3] [~inputmf]", "inputMF", {2, 3}},
        {"[Input=0 MF=5] [~InputMF]", "InputMF", {5}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        auto layer = ConditionLayer(5);
        std::istringstream in(row.text);
        ReadMembershipBlock(in, layer.get(), row.blockName);
        ASSERT_EQ(layer->numInputs, static_cast<int>(row.counts.size()));
        EXPECT_EQ(Counts(layer->mfPerInput, layer->numInputs), row.counts);
        // The block is consumed up to and including its end tag.
        EXPECT_TRUE(FileTools().ReadToken(in).empty());
    }
}

TEST_F(MembershipBlockTest, OutputBlockSetsTotalAndOwners) {
    auto layer = OutputLayer(2);
    std::istringstream in("[Output=1 MF=3] [Output=0 MF=2] [~OutputMF]");
    ReadMembershipBlock(in, layer.get(), "OutputMF");
    EXPECT_EQ(layer->totalMFs, 5);
    EXPECT_EQ(Counts(layer->mfPerOutput, 2), (std::vector<int>{2, 3}));
    EXPECT_EQ(Counts(layer->outputOf, 5), (std::vector<int>{0, 0, 1, 1, 1}));
}

TEST_F(MembershipBlockTest, EmptyLayersTakeEmptyBlocks) {
    auto condition = ConditionLayer(0);
    std::istringstream in1("[~InputMF]");
    ReadMembershipBlock(in1, condition.get(), "InputMF");
    EXPECT_EQ(condition->numInputs, 0);

    auto output = OutputLayer(0);
    std::istringstream in2("[~OutputMF]");
    ReadMembershipBlock(in2, output.get(), "OutputMF");
    EXPECT_EQ(output->totalMFs, 0);
}

struct ErrorRow {
    const char* text;
    const char* message;
};

TEST_F(MembershipBlockTest, InputBlockRejections) {
    const ErrorRow kRows[] = {
        {"[Output=0 MF=5] [~InputMF]", "invalid tag in membership1"},
        {"[MF=3 Input=0] [Input=1 MF=2] [~InputMF]", "invalid tag in membership1"},
        {"[Input=0 MF=3 extra] [Input=1 MF=2] [~InputMF]", "invalid tag in membership2"},
        {"[Input=0 Count=3] [Input=1 MF=2] [~InputMF]", "invalid tag in membership2"},
        {"[Input=0 MF] [~InputMF]", "integer-expected"},
        {"[Input=zero MF=3] [~InputMF]", "integer-expected"},
        {"[Input=0 MF=three] [~InputMF]", "integer-expected"},
        // A statement holding only the index ends the statements: the end tag is then missing.
        {"[Input=0] [~InputMF]", "End Tag expected"},
        {"[Input=0 MF=3] [Input=1 MF=2]", "Unexpected end of file"},
        {"[Input=0 MF=5] [~OutputMF]", "Unexpected End Tag"},
        {"[Input=5 MF=3] [~InputMF]", "Input index out of range in membership block"},
        {"[Input=-1 MF=3] [~InputMF]", "Input index out of range in membership block"},
        {"[Input=0 MF=3] [Input=0 MF=2] [~InputMF]", "Input named twice in membership block"},
        {"[Input=0 MF=1] [Input=1 MF=4] [~InputMF]", "Must be >= 2 MF per input"},
        {"[Input=0 MF=-3] [~InputMF]", "Must be >= 2 MF per input"},
        {"[Input=0 MF=3] [Input=2 MF=2] [~InputMF]",
         "Membership functions of an input are missing"},
        {"[Input=0 MF=3] [~InputMF]",
         "Input membership functions do not add up to the layer's neurons"},
        {"[Input=0 MF=3] [Input=1 MF=3] [~InputMF]",
         "Input membership functions exceed the layer's neurons"},
        {"[Input=0 MF=4000000000] [~InputMF]",
         "Input membership functions exceed the layer's neurons"},
        {"[~InputMF]", "Input membership functions do not add up to the layer's neurons"},
    };
    for (const ErrorRow& row : kRows) {
        SCOPED_TRACE(row.text);
        auto layer = ConditionLayer(5);
        std::istringstream in(row.text);
        try {
            ReadMembershipBlock(in, layer.get(), "InputMF");
            ADD_FAILURE() << "accepted";
        } catch (const FileTools::Error& error) {
            EXPECT_EQ(error.message, row.message);
        }
    }
}

TEST_F(MembershipBlockTest, OutputBlockRejections) {
    const ErrorRow kRows[] = {
        {"[Input=0 MF=2] [~OutputMF]", "invalid tag in membership1"},
        {"[Output=0 MF=2 MF=2] [~OutputMF]", "invalid tag in membership2"},
        {"[Output=0 MF=2] [~OutputMF]", "Membership functions of an output are missing"},
        {"[Output=1 MF=2] [~OutputMF]", "Membership functions of an output are missing"},
        {"[Output=2 MF=2] [~OutputMF]", "Output index out of range in membership block"},
        {"[Output=0 MF=2] [Output=0 MF=3] [~OutputMF]", "Output named twice in membership block"},
        {"[Output=0 MF=0] [Output=1 MF=2] [~OutputMF]", "Must be >= 2 MF per output"},
        {"[Output=0 MF=2000000000] [Output=1 MF=2] [~OutputMF]",
         "Too many output membership functions"},
        {"[Output=0 MF=1000000] [Output=1 MF=1000000] [~OutputMF]",
         "Too many output membership functions"},
    };
    for (const ErrorRow& row : kRows) {
        SCOPED_TRACE(row.text);
        auto layer = OutputLayer(2);
        std::istringstream in(row.text);
        try {
            ReadMembershipBlock(in, layer.get(), "OutputMF");
            ADD_FAILURE() << "accepted";
        } catch (const FileTools::Error& error) {
            EXPECT_EQ(error.message, row.message);
        }
    }
}

TEST_F(MembershipBlockTest, ErrorsCarryTheLineWithTheCallersTools) {
    auto layer = ConditionLayer(5);
    std::istringstream in("[InputMF]\n[Input=0 MF=3]\n[Input=1 MF=1]\n[~InputMF]\n");
    FileTools tools;
    tools.BeginInput(in);
    const TStatement opener = tools.ReadStatement(nullptr, in, false);
    try {
        ReadMembershipBlock(tools, in, layer.get(), opener.name.c_str());
        ADD_FAILURE() << "accepted";
    } catch (const FileTools::Error& error) {
        EXPECT_EQ(error.message, "Must be >= 2 MF per input");
        EXPECT_EQ(error.line, 3);
    }
}

TEST_F(MembershipBlockTest, OwnToolsCannotKnowTheLine) {
    auto layer = ConditionLayer(5);
    std::istringstream in("\n\n[Input=0 MF=1] [~InputMF]");
    try {
        ReadMembershipBlock(in, layer.get(), "InputMF");
        ADD_FAILURE() << "accepted";
    } catch (const FileTools::Error& error) {
        EXPECT_EQ(error.line, 0);
    }
}

TEST_F(MembershipBlockTest, WritersProduceTheCanonicalBlocks) {
    auto condition = ConditionLayer(5);
    const int mfPerInput[] = {3, 2};
    condition->SetInputMFs(2, mfPerInput);
    std::ostringstream inputs;
    WriteInputMFBlock(inputs, condition.get());
    EXPECT_EQ(inputs.str(), "[InputMF]\n[Input=0 MF=3 ]\n[Input=1 MF=2 ]\n[~InputMF]\n");

    auto output = OutputLayer(2);
    const int mfPerOutput[] = {2, 4};
    output->SetOutputMFs(6, mfPerOutput);
    std::ostringstream outputs;
    WriteOutputMFBlock(outputs, output.get());
    EXPECT_EQ(outputs.str(), "[OutputMF]\n[Output=0 MF=2 ]\n[Output=1 MF=4 ]\n[~OutputMF]\n");

    auto empty = ConditionLayer(0);
    empty->SetInputMFs(0, nullptr);
    std::ostringstream none;
    WriteInputMFBlock(none, empty.get());
    EXPECT_EQ(none.str(), "[InputMF]\n[~InputMF]\n");
}

// A block read from a file in any order and spelling is written back in canonical form, which
// reads back to the same layout.
TEST_F(MembershipBlockTest, WrittenBlockReadsBackToTheSameLayout) {
    auto first = ConditionLayer(7);
    std::istringstream in("[input = 2 mf = 2] [INPUT=0 MF=3] [Input=1 MF=2] [~InputMF]");
    ReadMembershipBlock(in, first.get(), "InputMF");
    std::ostringstream written;
    WriteInputMFBlock(written, first.get());
    EXPECT_EQ(written.str(),
              "[InputMF]\n[Input=0 MF=3 ]\n[Input=1 MF=2 ]\n[Input=2 MF=2 ]\n[~InputMF]\n");

    FileTools tools;
    std::istringstream again(written.str());
    const TStatement opener = tools.ReadStatement(nullptr, again, false);
    auto second = ConditionLayer(7);
    ReadMembershipBlock(tools, again, second.get(), opener.name.c_str());
    ASSERT_EQ(second->numInputs, 3);
    EXPECT_EQ(Counts(second->inputOf, 7), Counts(first->inputOf, 7));
}

using MembershipBlockDeathTest = MembershipBlockTest;

TEST_F(MembershipBlockDeathTest, OtherBlockNamesAreACallerError) {
    auto layer = ConditionLayer(2);
    std::istringstream in("[~Neurons]");
    EXPECT_DEATH(ReadMembershipBlock(in, layer.get(), "Neurons"),
                 "block name is INPUTMF or OUTPUTMF");
}

}  // namespace
}  // namespace ruvo
