#include "FileHandler/SaveRuvo.h"

#include <string>
#include <vector>

#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvoOutputLayer.h"

namespace ruvo {

void ReadMembershipBlock(std::istream& in, TBasicLayer* layer, const char* blockName) {
    FileTools tools;
    // A new toolkit would count lines from 1 in the middle of the file: report none instead.
    tools.LoseLineCount(in);
    ReadMembershipBlock(tools, in, layer, blockName);
}

void ReadMembershipBlock(FileTools& tools,
                         std::istream& in,
                         TBasicLayer* layer,
                         const char* blockName) {
    RUVO_CHECK(layer != nullptr && blockName != nullptr);
    const bool output = strcasecmp(blockName, "OUTPUTMF") == 0;
    RUVO_CHECK_TEXT(output || strcasecmp(blockName, "INPUTMF") == 0,
                    "block name is INPUTMF or OUTPUTMF");
    TConditionLayer* conditionLayer = nullptr;
    TRuvoOutputLayer* outputLayer = nullptr;
    if (output) {
        outputLayer = dynamic_cast<TRuvoOutputLayer*>(layer);
        RUVO_CHECK_TEXT(outputLayer != nullptr, "OutputMF block in a Defuzzify layer");
    } else {
        conditionLayer = dynamic_cast<TConditionLayer*>(layer);
        RUVO_CHECK_TEXT(conditionLayer != nullptr, "InputMF block in a FuzzyCondition layer");
    }
    const char* indexKeyword = output ? "OUTPUT" : "INPUT";
    const long n = layer->numNeurons;

    // counts[i] is 0 until input or output i is named; a named one has at least 2.
    std::vector<int> counts(static_cast<size_t>(n), 0);
    long highest = -1;  // highest index named so far
    long total = 0;     // sum of the counts read
    TStatement statement;
    tools.ReadStatement(blockName, in, false, &statement);
    while (statement.kind == StmtAssign && statement.unclosed) {
        if (strcasecmp(statement.name.c_str(), indexKeyword) != 0) {
            tools.Fail(in, "invalid tag in membership1");
        }
        const long index = tools.ParseInteger(in, statement.value.c_str());
        if (index < 0 || index >= n) {
            tools.Fail(in, output ? "Output index out of range in membership block"
                                  : "Input index out of range in membership block");
        }
        if (counts[static_cast<size_t>(index)] != 0) {
            tools.Fail(in, output ? "Output named twice in membership block"
                                  : "Input named twice in membership block");
        }
        if (index > highest) {
            highest = index;
        }
        tools.ReadStatement(nullptr, in, true, &statement);
        if (statement.unclosed || strcasecmp(statement.name.c_str(), "MF") != 0) {
            tools.Fail(in, "invalid tag in membership2");
        }
        const long count = tools.ParseInteger(in, statement.value.c_str());
        if (count < 2) {
            tools.Fail(in, output ? "Must be >= 2 MF per output" : "Must be >= 2 MF per input");
        }
        // Inputs share the layer's neurons, so no count can exceed them; the output counts must
        // add up to the action layer's size, which the reader caps.
        if (count > (output ? kMaxLayerNeurons : n) ||
            total + count > (output ? kMaxLayerNeurons : n)) {
            tools.Fail(in, output ? "Too many output membership functions"
                                  : "Input membership functions exceed the layer's neurons");
        }
        counts[static_cast<size_t>(index)] = static_cast<int>(count);
        total += count;
        tools.ReadStatement(blockName, in, false, &statement);
    }

    // The statement that ended the loop must close the block: a statement holding only the
    // index lands here too.
    tools.ExpectEndTag(statement, in);

    // The layer needs a count for every input up to the highest and for every output; the
    // condition neurons must be shared out exactly.
    const long named = output ? n : highest + 1;
    for (long i = 0; i < named; ++i) {
        if (counts[static_cast<size_t>(i)] == 0) {
            tools.Fail(in, output ? "Membership functions of an output are missing"
                                  : "Membership functions of an input are missing");
        }
    }
    if (output) {
        outputLayer->SetOutputMFs(static_cast<int>(total), counts.data());
    } else {
        if (total != n) {
            tools.Fail(in, "Input membership functions do not add up to the layer's neurons");
        }
        conditionLayer->SetInputMFs(static_cast<int>(named), counts.data());
    }
}

namespace {

// Writes the block tag with one bracket {key = k MF = counts[k]} per k = 0 ... count - 1.
void WriteMFBlock(
    std::ostream& out, const char* tag, const char* key, int count, const int* counts) {
    FileTools tools;
    tools.WriteTag(out, tag, true);
    for (int k = 0; k < count; ++k) {
        tools.OpenBracket(out, true);
        tools.WriteIntegerAssign(out, key, k, false);
        tools.WriteIntegerAssign(out, "MF", counts[k], false);
        tools.CloseBracket(out, true, true);
    }
    tools.WriteEndTag(out, tag);
}

}  // namespace

void WriteInputMFBlock(std::ostream& out, TConditionLayer* layer) {
    RUVO_CHECK(layer != nullptr);
    WriteMFBlock(out, "InputMF", "Input", layer->numInputs, layer->mfPerInput);
}

void WriteOutputMFBlock(std::ostream& out, TRuvoOutputLayer* layer) {
    RUVO_CHECK(layer != nullptr);
    WriteMFBlock(out, "OutputMF", "Output", layer->numNeurons, layer->mfPerOutput);
}

}  // namespace ruvo
