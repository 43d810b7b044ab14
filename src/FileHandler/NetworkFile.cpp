// The network file reader.
//
// Grammar (keywords and type names without regard to case; blocks close with an end tag naming
// them, [~Layer] closes [Layer = 2]; comments, line breaks and a [FormatVersion = 1.0] header
// may stand between any two statements):
//
//   file        := [NeuralNetwork] [NetworkType = type] information layer* connection*
//                  [~NeuralNetwork] <end of input>
//   type        := BASIC | CONNECTED | RUVO
//   information := [NetworkInformation] ( [key = integer] )* [~NetworkInformation]
//                  key: NumberOfLayers (required), InputLayer (default 1), OutputLayer (default
//                  NumberOfLayers - 1), NumberOfInputs, NumberOfOutputs, BiasLayer (ignored)
//   layer       := [Layer = k] header* membership? neurons? [~Layer]
//   header      := [keyword = value] | [ALL keyword = value]
//                  keyword: LayerType (SIMPLE, INPUT, GAIN, FUZZYCONDITION, DEFUZZIFY),
//                  NumberOfNeurons, ActivationFunction (a registered name), or the name of a
//                  neuron parameter (Gain) once LayerType and NumberOfNeurons are known
//   membership  := an InputMF block in a FUZZYCONDITION layer, an OutputMF block in a DEFUZZIFY
//                  layer (SaveRuvo.h), required there and allowed nowhere else
//   neurons     := [Neurons] ( [Neuron = j item*] )* [~Neurons]
//                  item: ActivationFunction = name | parameter = number
//   connection  := [ConnectionLayer] ( [LayerFrom = f] | [LayerTo = t] | [ConnectionType = c]
//                  | [Attributes word*] )* body* [~ConnectionLayer]
//                  c: FULLYCONNECTED, PRUNEABLE, TOCONDITIONCONNECTIONS, TOOUTPUTCONNECTIONS
//   body        := [Matrix attribute*] word* [~Matrix] | [WeightList] entry* [~WeightList]
//                  attribute: Weights | TrainableInfo (at most nine); the words run over the
//                  source neurons (outer), the destination neurons, then the attributes: a
//                  number or "-" (pruned) for Weights, T, F or another word (no weight) for
//                  TrainableInfo
//   entry       := [From = i To = j Weight = w Trainable|UnTrainable], items in any order,
//                  Weight defaulting to 0.0 and trainability to Trainable
//
// Neuron indices count from 0 within their layer; arc (i, j) goes from source neuron i to
// destination neuron j. Bodies apply in order, so a later body overrides an earlier one.
//
// The reader builds the network as it goes: the network after the information block, each layer
// once its LayerType and NumberOfNeurons are known (installed when its block closes), each matrix
// once its connection header is read. Everything is held by owners that release it if the file is
// rejected, so a failed load leaks nothing.

#include "FileHandler/NetworkFile.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "FileHandler/SaveRuvo.h"
#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"
#include "NeuralNets/TBasicNetwork.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"
#include "Ruvo/TConditionLayer.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/TRuvoOutputLayer.h"
#include "Ruvo/TToConditionConnections.h"
#include "Ruvo/TToOutputConnections.h"

namespace ruvo {

namespace {

// Layers and matrices are released through Destroy.
struct DestroyDeleter {
    template <class T>
    void operator()(T* p) const {
        p->Destroy();
    }
};
using LayerPtr = std::unique_ptr<TBasicLayer, DestroyDeleter>;
using ConnectionsPtr = std::unique_ptr<TBasicConnections, DestroyDeleter>;

// Texts taken from the file and put into a message are cut to this many characters.
constexpr size_t kMaxQuoted = 64;

std::string Quoted(const std::string& text) {
    return text.size() <= kMaxQuoted ? text : text.substr(0, kMaxQuoted) + "...";
}

bool NameIs(const std::string& name, const char* keyword) {
    return strcasecmp(name.c_str(), keyword) == 0;
}

bool Is(const TStatement& statement, int kind, const char* keyword) {
    return statement.kind == kind && NameIs(statement.name, keyword);
}

// The connection kinds a file can name.
enum class MatrixKind { kFullyConnected, kPruneable, kToCondition, kToOutput };

// The gain functions read the neuron's gain and the condition function a condition neuron's
// neighbours, so each may only be given to neurons of its own layer class.
bool FunctionFitsLayer(TActFunction fn, TBasicLayer* layer) {
    if (fn == ActLinearGain || fn == ActSigmoidGain || fn == ActTanhGain) {
        return dynamic_cast<TGainLayer*>(layer) != nullptr;
    }
    if (fn == ActRuvoCondition) {
        return dynamic_cast<TConditionLayer*>(layer) != nullptr;
    }
    return true;
}

// Functions whose application in a recall is an internal error.
bool IsPlaceholderFunction(TActFunction fn) {
    return fn == nullptr || fn == ActError || fn == ActNull || fn == ActCog;
}

// Whether recalling layer applies only real functions: the common one when it is recorded, else
// each neuron's own. A layer without neurons applies nothing.
bool AppliesRealFunctions(TBasicLayer* layer) {
    if (layer->numNeurons == 0) {
        return true;
    }
    const TActFunction common = layer->GetActFunction();
    if (common != nullptr) {
        return !IsPlaceholderFunction(common);
    }
    for (int i = 0; i < layer->numNeurons; ++i) {
        if (IsPlaceholderFunction(layer->GetNeuron(i)->GetActFunction())) {
            return false;
        }
    }
    return true;
}

// Index of the parameter of neuron named keyword among its first `limit` parameters, -1 when
// there is none.
int FindParameter(TBasicNeuron* neuron, size_t limit, const std::string& keyword) {
    const int count = std::min(static_cast<int>(limit), neuron->GetNumParameters());
    for (int p = 0; p < count; ++p) {
        if (NameIs(keyword, neuron->GetParameterName(p))) {
            return p;
        }
    }
    return -1;
}

class NetworkReader {
public:
    NetworkReader(FileTools& fileTools, std::istream& input) : tools(fileTools), in(input) {}

    TBasicNetwork* Read();

private:
    // Reads the next statement inside the block named block (null outside every block).
    void Next(const std::string& block) { tools.ReadStatement(block.c_str(), in, false, &st); }
    void NextOutside() { tools.ReadStatement(nullptr, in, false, &st); }
    // Reads the next item of the current bracket.
    void Continue() { tools.ReadStatement(nullptr, in, true, &st); }
    [[noreturn]] void Fail(const std::string& message) { tools.Fail(in, message); }
    long Integer() { return tools.ParseInteger(in, st.value.c_str()); }
    double Number() { return tools.ParseNumber(in, st.value.c_str()); }
    // The registered function named by the current assignment's value.
    TActFunction Function();

    void ReadHeader();
    void ReadLayer();
    void ReadNeurons(TBasicLayer* layer, TActFunction layerFunction);
    void ReadConnections();
    void ReadMatrixBody(const std::string& connectionBlock);
    void ReadWeightList(const std::string& connectionBlock);
    // Apply one word of a Matrix body, or one weight-list entry, to arc (i, j) of the current
    // matrix.
    void ApplyWeightWord(int i, int j);
    void ApplyTrainableWord(int i, int j);
    void SetTrainable(int i, int j, bool trainable);
    void RequireArc(int i, int j);
    void CheckStructure();
    void CheckRuvoStructure();

    FileTools& tools;
    std::istream& in;
    TStatement st;  // the current statement, reused for every read
    std::unique_ptr<TBasicNetwork> network;
    std::string networkBlock;  // the name the network block was opened with
    bool ruvo = false;
    long numberOfInputs = -1;  // NumberOfInputs and NumberOfOutputs, -1 when not given
    long numberOfOutputs = -1;
    long networkWeights = 0;  // possible arcs of the allocating matrices read so far

    // The matrix of the connection block being read and its shape.
    TBasicConnections* matrix = nullptr;
    MatrixKind matrixKind = MatrixKind::kPruneable;
    int numFrom = 0;
    int numTo = 0;
    // Parameter values of the layer being read and which of them the header gave.
    std::vector<double> parameters;
    std::vector<char> parameterGiven;
};

TBasicNetwork* NetworkReader::Read() {
    ReadHeader();
    Next(networkBlock);
    while (st.kind == StmtAssign && NameIs(st.name, "LAYER")) {
        ReadLayer();
    }
    // Matrices read their layers' sizes when they are made, so every layer must exist by now.
    for (int k = 0; k < network->numLayers; ++k) {
        if (network->layers[k] == nullptr) {
            Fail("No Layer block for layer " + std::to_string(k));
        }
    }
    while (Is(st, StmtTag, "CONNECTIONLAYER")) {
        ReadConnections();
    }
    tools.ExpectEndTag(st, in);
    NextOutside();
    if (st.kind != StmtEnd) {
        Fail("End Tag expected");
    }
    CheckStructure();
    if (ruvo) {
        CheckRuvoStructure();
    }
    return network.release();
}

TActFunction NetworkReader::Function() {
    const TActFunction fn = network->registry->Find(st.value.c_str());
    if (fn == nullptr) {
        Fail("Unknown activation function " + Quoted(st.value));
    }
    return fn;
}

void NetworkReader::ReadHeader() {
    NextOutside();
    networkBlock = tools.ExpectBlock(st, in, "NEURALNETWORK");
    Next(networkBlock);
    const std::string type = tools.ReadStringValue(st, in, "NETWORKTYPE", nullptr);
    Next(networkBlock);
    const std::string informationBlock = tools.ExpectBlock(st, in, "NETWORKINFORMATION");

    long numLayers = -1;
    long inputLayer = 1;
    long outputLayer = -1;
    bool outputLayerGiven = false;
    Next(informationBlock);
    while (st.kind == StmtAssign) {
        if (st.unclosed) {
            Fail("Too complicated statement");
        }
        const long value = Integer();
        if (NameIs(st.name, "NUMBEROFLAYERS")) {
            if (value < 1 || value > kMaxNetworkLayers) {
                Fail("NumberOfLayers must lie between 1 and " + std::to_string(kMaxNetworkLayers));
            }
            numLayers = value;
        } else if (NameIs(st.name, "INPUTLAYER")) {
            inputLayer = value;
        } else if (NameIs(st.name, "OUTPUTLAYER")) {
            outputLayer = value;
            outputLayerGiven = true;
        } else if (NameIs(st.name, "NUMBEROFINPUTS")) {
            numberOfInputs = value;
        } else if (NameIs(st.name, "NUMBEROFOUTPUTS")) {
            numberOfOutputs = value;
        } else if (!NameIs(st.name, "BIASLAYER")) {
            Fail("Unknown keyword");
        }
        Next(informationBlock);
    }
    tools.ExpectEndTag(st, in);

    if (numLayers < 0) {
        Fail("Must specify number of layers");
    }
    if (!outputLayerGiven) {
        outputLayer = numLayers - 1;
    }
    if (inputLayer < 0 || inputLayer >= numLayers) {
        Fail("InputLayer must lie between 0 and NumberOfLayers - 1");
    }
    if (outputLayer < 0 || outputLayer >= numLayers) {
        Fail("OutputLayer must lie between 0 and NumberOfLayers - 1");
    }
    const int n = static_cast<int>(numLayers);
    if (NameIs(type, "BASIC")) {
        network.reset(new TBasicNetwork(n));
    } else if (NameIs(type, "CONNECTED")) {
        network.reset(new TConnectedNetwork(n));
    } else if (NameIs(type, "RUVO")) {
        // The fuzzy network's layers sit at fixed positions: recall and training rely on them.
        if (n != 6) {
            Fail("A RUVO network must have 6 layers");
        }
        if (inputLayer != 1 || outputLayer != 5) {
            Fail("A RUVO network has its input layer at 1 and its output layer at 5");
        }
        TRuvo* fuzzy = new TRuvo();
        network.reset(fuzzy);
        fuzzy->Init(6);
        ruvo = true;
    } else {
        Fail("Unknown network type");
    }
    network->inLayer = static_cast<int>(inputLayer);
    network->outLayer = static_cast<int>(outputLayer);
}

void NetworkReader::ReadLayer() {
    const long index = Integer();
    if (st.unclosed) {
        Fail("Too complicated statement");
    }
    if (index < 0 || index >= network->numLayers) {
        Fail("Layer index out of range");
    }
    const int k = static_cast<int>(index);
    const std::string layerBlock = st.name;

    long numNeurons = -1;
    std::string layerType;
    LayerPtr layer;
    TActFunction layerFunction = nullptr;
    parameters.clear();
    parameterGiven.clear();

    Next(layerBlock);
    while (st.kind == StmtAssign || Is(st, StmtTag, "ALL")) {
        if (st.kind == StmtTag) {
            if (!st.unclosed) {
                Fail("[ALL] is incomplete statment");
            }
            Continue();
            if (st.kind != StmtAssign) {
                Fail("Required syntax is [ALL <keyword>=<val>]");
            }
        }
        if (st.unclosed) {
            Fail("Too complicated statement");
        }
        if (NameIs(st.name, "LAYERTYPE")) {
            if (layer) {
                Fail("LayerType given after the layer was made");
            }
            layerType = st.value;
        } else if (NameIs(st.name, "NUMBEROFNEURONS")) {
            const long value = Integer();
            if (layer) {
                Fail("NumberOfNeurons given after the layer was made");
            }
            if (value < 0) {
                Fail("NumberOfNeurons must not be negative");
            }
            if (value > kMaxLayerNeurons) {
                Fail("NumberOfNeurons exceeds the limit of " + std::to_string(kMaxLayerNeurons));
            }
            numNeurons = value;
        } else if (NameIs(st.name, "ACTIVATIONFUNCTION")) {
            layerFunction = Function();
        } else {
            if (!layer) {
                Fail("Neuron parameter " + Quoted(st.name) +
                     " before LayerType and NumberOfNeurons");
            }
            const int p = layer->numNeurons == 0
                              ? -1
                              : FindParameter(layer->GetNeuron(0), parameters.size(), st.name);
            if (p < 0) {
                Fail("Unknown neuron parameter " + Quoted(st.name));
            }
            parameters[static_cast<size_t>(p)] = Number();
            parameterGiven[static_cast<size_t>(p)] = 1;
        }

        if (numNeurons >= 0 && !layerType.empty() && !layer) {
            if (k == network->inLayer && numberOfInputs >= 0 && numberOfInputs != numNeurons) {
                Fail("wrong number inputs in header");
            }
            if (k == network->outLayer && numberOfOutputs >= 0 && numberOfOutputs != numNeurons) {
                Fail("wrong number outputs in header");
            }
            long others = 0;  // neurons of the other layers; this block replaces layer k
            for (int i = 0; i < network->numLayers; ++i) {
                if (i != k && network->layers[i] != nullptr) {
                    others += network->layers[i]->numNeurons;
                }
            }
            if (others + numNeurons > kMaxNetworkNeurons) {
                Fail("The network exceeds the limit of " + std::to_string(kMaxNetworkNeurons) +
                     " neurons");
            }
            TBasicNetwork* net = network.get();
            const int count = static_cast<int>(numNeurons);
            if (NameIs(layerType, "SIMPLE")) {
                layer.reset(new TSimpleLayer(net, k, count));
            } else if (NameIs(layerType, "INPUT")) {
                layer.reset(new TSimpleInputLayer(net, k, count));
            } else if (NameIs(layerType, "GAIN")) {
                layer.reset(new TGainLayer(net, k, count, 1.0));
            } else if (NameIs(layerType, "FUZZYCONDITION")) {
                layer.reset(new TConditionLayer(net, k, count));
            } else if (NameIs(layerType, "DEFUZZIFY")) {
                layer.reset(new TRuvoOutputLayer(net, k, count));
            } else {
                Fail("Unknown layer type");
            }
            int numParameters = 0;
            for (int i = 0; i < count; ++i) {
                numParameters = std::max(numParameters, layer->GetNeuron(i)->GetNumParameters());
            }
            parameters.assign(static_cast<size_t>(numParameters), 0.0);
            parameterGiven.assign(static_cast<size_t>(numParameters), 0);
        }
        Next(layerBlock);
    }
    if (!layer) {
        Fail("Layer block without LayerType or NumberOfNeurons");
    }

    if (layerFunction != nullptr) {
        if (!FunctionFitsLayer(layerFunction, layer.get())) {
            Fail(std::string("Activation function ") + network->registry->GetName(layerFunction) +
                 " does not suit a layer of type " + layer->GetLayerType());
        }
        layer->SetActFunction(layerFunction);
    }
    if (dynamic_cast<TConditionLayer*>(layer.get()) != nullptr) {
        if (!Is(st, StmtTag, "INPUTMF")) {
            Fail("membership array missing in condition layer");
        }
        const std::string block = st.name;
        ReadMembershipBlock(tools, in, layer.get(), block.c_str());
        Next(layerBlock);
    } else if (dynamic_cast<TRuvoOutputLayer*>(layer.get()) != nullptr) {
        if (!Is(st, StmtTag, "OUTPUTMF")) {
            Fail("membership array missing in output layer");
        }
        const std::string block = st.name;
        ReadMembershipBlock(tools, in, layer.get(), block.c_str());
        Next(layerBlock);
    }

    if (Is(st, StmtTag, "NEURONS")) {
        ReadNeurons(layer.get(), layerFunction);
        Next(layerBlock);
    } else {
        for (char given : parameterGiven) {
            if (!given) {
                Fail("Incomplete Layer information");
            }
        }
        if (!parameters.empty()) {
            for (int i = 0; i < layer->numNeurons; ++i) {
                layer->GetNeuron(i)->SetParameters(parameters.data());
            }
        }
    }
    tools.ExpectEndTag(st, in);

    TBasicLayer*& slot = network->layers[k];
    if (slot != nullptr) {
        slot->Destroy();  // a second block for the same index replaces the first
    }
    slot = layer.release();
    Next(networkBlock);
}

void NetworkReader::ReadNeurons(TBasicLayer* layer, TActFunction layerFunction) {
    const std::string neuronsBlock = st.name;
    std::vector<char> defined(static_cast<size_t>(layer->numNeurons), 0);
    Next(neuronsBlock);
    while (st.kind == StmtAssign && NameIs(st.name, "NEURON")) {
        const long j = Integer();
        if (j < 0 || j >= layer->numNeurons) {
            Fail("Neuron index out of range");
        }
        if (defined[static_cast<size_t>(j)]) {
            Fail("repeated neuron");
        }
        TBasicNeuron* neuron = layer->GetNeuron(static_cast<int>(j));
        TActFunction neuronFunction = nullptr;
        while (st.unclosed) {
            Continue();
            if (st.kind != StmtAssign) {
                Fail("Equals clause expected in neuron parameter");
            }
            if (NameIs(st.name, "ACTIVATIONFUNCTION")) {
                neuronFunction = Function();
            } else {
                const int p = FindParameter(neuron, parameters.size(), st.name);
                if (p < 0) {
                    Fail("Unknown neuron parameter " + Quoted(st.name));
                }
                // The array is shared by the whole block: a value stays in force for the
                // neurons that follow unless they set it again.
                parameters[static_cast<size_t>(p)] = Number();
            }
        }
        if (!parameters.empty()) {
            neuron->SetParameters(parameters.data());
        }
        // With a layer-wide function, a function named here is checked but not applied.
        if (layerFunction == nullptr) {
            if (neuronFunction == nullptr) {
                Fail("No activation function defined");
            }
            if (!FunctionFitsLayer(neuronFunction, layer)) {
                Fail(std::string("Activation function ") +
                     network->registry->GetName(neuronFunction) +
                     " does not suit a layer of type " + layer->GetLayerType());
            }
            neuron->SetActFunction(neuronFunction);
        }
        defined[static_cast<size_t>(j)] = 1;
        Next(neuronsBlock);
    }
    tools.ExpectEndTag(st, in);
    for (char isDefined : defined) {
        if (!isDefined) {
            Fail("Neuron not defined");
        }
    }
}

void NetworkReader::ReadConnections() {
    const std::string connectionBlock = st.name;
    long fromLayer = -1;
    long toLayer = -1;
    std::string connectionType;

    // The first statement inside the block is read with the network block's name.
    Next(networkBlock);
    while (st.kind == StmtAssign || Is(st, StmtTag, "ATTRIBUTES")) {
        if (st.kind == StmtTag) {
            while (st.unclosed) {
                Continue();  // attributes are for the human reader only
            }
        } else {
            if (st.unclosed) {
                Fail("Too complicated statement");
            }
            if (NameIs(st.name, "LAYERFROM")) {
                fromLayer = Integer();
            } else if (NameIs(st.name, "LAYERTO")) {
                toLayer = Integer();
            } else if (NameIs(st.name, "CONNECTIONTYPE")) {
                connectionType = st.value;
            } else {
                Fail("Unknown keyword in connections");
            }
        }
        Next(connectionBlock);
    }

    if (fromLayer < 0 || toLayer < 0 || connectionType.empty()) {
        Fail("Insufficient information to construct layer");
    }
    if (fromLayer >= network->numLayers || toLayer >= network->numLayers) {
        Fail("LayerFrom and LayerTo must lie between 0 and NumberOfLayers - 1");
    }
    if (NameIs(connectionType, "FULLYCONNECTED")) {
        matrixKind = MatrixKind::kFullyConnected;
    } else if (NameIs(connectionType, "PRUNEABLE")) {
        matrixKind = MatrixKind::kPruneable;
    } else if (NameIs(connectionType, "TOCONDITIONCONNECTIONS")) {
        matrixKind = MatrixKind::kToCondition;
    } else if (NameIs(connectionType, "TOOUTPUTCONNECTIONS")) {
        matrixKind = MatrixKind::kToOutput;
    } else {
        Fail("Insufficient information to construct layer");
    }
    const int f = static_cast<int>(fromLayer);
    const int t = static_cast<int>(toLayer);
    TBasicNetwork* net = network.get();
    numFrom = net->layers[f]->numNeurons;
    numTo = net->layers[t]->numNeurons;

    // Fully connected and prunable matrices allocate every possible arc.
    const long possible = static_cast<long>(numFrom) * numTo;
    if (matrixKind == MatrixKind::kFullyConnected || matrixKind == MatrixKind::kPruneable) {
        if (possible > kMaxMatrixWeights) {
            Fail("Connections exceed the limit of " + std::to_string(kMaxMatrixWeights) +
                 " weights per matrix");
        }
        if (networkWeights + possible > kMaxNetworkWeights) {
            Fail("Connections exceed the limit of " + std::to_string(kMaxNetworkWeights) +
                 " weights per network");
        }
    }
    // The fuzzy matrices index their layers' membership layouts: the condition matrix's arcs
    // leave the source neurons 0 ... numInputs - 1, and the output matrix holds one arc per
    // source neuron, each belonging to one of the output layer's membership functions.
    if (matrixKind == MatrixKind::kToCondition) {
        auto* conditionLayer = dynamic_cast<TConditionLayer*>(net->layers[t]);
        if (conditionLayer == nullptr) {
            Fail("ToConditionConnections must lead to a FuzzyCondition layer");
        }
        if (conditionLayer->numInputs > numFrom) {
            Fail(
                "ToConditionConnections: the source layer has fewer neurons than the condition "
                "layer has inputs");
        }
    } else if (matrixKind == MatrixKind::kToOutput) {
        auto* outputLayer = dynamic_cast<TRuvoOutputLayer*>(net->layers[t]);
        if (outputLayer == nullptr) {
            Fail("ToOutputConnections must lead to a Defuzzify layer");
        }
        if (outputLayer->totalMFs != numFrom) {
            Fail(
                "ToOutputConnections: the source layer must have one neuron per output "
                "membership function");
        }
    }
    TBasicConnections*& cell = net->priv_conns_index[t][f];
    if (cell->IsConnected()) {
        Fail("Connections already defined");
    }

    ConnectionsPtr made;
    switch (matrixKind) {
        case MatrixKind::kFullyConnected:
            made.reset(new TConnectedConnections(net, f, t));
            break;
        case MatrixKind::kPruneable: {
            auto* pruned = new TPrunedConnections(net, f, t);
            made.reset(pruned);
            // A prunable matrix starts with no weights; the bodies add them. Clearing the flags
            // and weights directly is what PruneWeight does for every arc.
            std::fill(pruned->array_masks, pruned->array_masks + possible, 0);
            std::fill(pruned->array_weights, pruned->array_weights + possible, 0.0);
            break;
        }
        case MatrixKind::kToCondition:
            made.reset(new TToConditionConnections(net, f, t));
            break;
        case MatrixKind::kToOutput:
            made.reset(new TToOutputConnections(net, f, t));
            break;
    }
    cell->Destroy();
    cell = made.release();
    matrix = cell;
    if (matrixKind == MatrixKind::kFullyConnected || matrixKind == MatrixKind::kPruneable) {
        networkWeights += possible;
    }

    while (st.kind == StmtTag && (NameIs(st.name, "MATRIX") || NameIs(st.name, "WEIGHTLIST"))) {
        if (NameIs(st.name, "MATRIX")) {
            ReadMatrixBody(connectionBlock);
        } else {
            ReadWeightList(connectionBlock);
        }
    }
    tools.ExpectEndTag(st, in);
    matrix = nullptr;
    Next(networkBlock);
}

void NetworkReader::ReadMatrixBody(const std::string& connectionBlock) {
    constexpr int kMaxAttributes = 9;
    bool isWeights[kMaxAttributes];  // per attribute: Weights (true) or TrainableInfo (false)
    int numAttributes = 0;
    const std::string matrixBlock = st.name;
    while (st.unclosed) {
        Continue();
        if (st.kind != StmtTag) {
            Fail("Keyword expected in matrix parameter");
        }
        const bool weights = NameIs(st.name, "WEIGHTS");
        if (!weights && !NameIs(st.name, "TRAINABLEINFO")) {
            Fail("Unknown matrix attribute");
        }
        if (numAttributes == kMaxAttributes) {
            Fail("More than nine matrix attributes");
        }
        isWeights[numAttributes++] = weights;
    }
    Next(matrixBlock);
    // Without attributes the body holds no words, whatever the matrix's size.
    if (numAttributes > 0) {
        for (int i = 0; i < numFrom; ++i) {
            for (int j = 0; j < numTo; ++j) {
                for (int a = 0; a < numAttributes; ++a) {
                    if (st.kind != StmtWord) {
                        Fail("Token Expected");
                    }
                    if (isWeights[a]) {
                        ApplyWeightWord(i, j);
                    } else {
                        ApplyTrainableWord(i, j);
                    }
                    Next(matrixBlock);
                }
            }
        }
    }
    tools.ExpectEndTag(st, in);
    Next(connectionBlock);
}

void NetworkReader::RequireArc(int i, int j) {
    // The fuzzy matrices have a fixed set of arcs and address a centre by one of its two
    // indices, so a value or flag for another pair would overwrite a real arc's.
    if (!matrix->IsValid(i, j)) {
        Fail("Arc (" + std::to_string(i) + ", " + std::to_string(j) + ") does not exist in " +
             matrix->GetConnectionsNType());
    }
}

void NetworkReader::ApplyWeightWord(int i, int j) {
    if (st.name == "-") {
        if (matrixKind == MatrixKind::kFullyConnected) {
            Fail("A fully connected matrix cannot prune a weight");
        }
        matrix->PruneWeight(i, j);
        return;
    }
    const double value = tools.ParseNumber(in, st.name.c_str());
    matrix->AddWeight(i, j);
    RequireArc(i, j);
    *matrix->GetWeight(i, j) = value;
}

void NetworkReader::SetTrainable(int i, int j, bool trainable) {
    if (trainable) {
        matrix->UnfreezeWeight(i, j);
    } else {
        if (matrixKind == MatrixKind::kFullyConnected) {
            Fail("A fully connected matrix cannot freeze a weight");
        }
        matrix->FreezeWeight(i, j);
    }
    // The condition neuron keeps its centre's trainability too, as the fuzzy network's own
    // freezing does.
    if (matrixKind == MatrixKind::kToCondition) {
        static_cast<TToConditionConnections*>(matrix)->conditionLayer->nodes[j].trainable =
            trainable;
    }
}

void NetworkReader::ApplyTrainableWord(int i, int j) {
    const bool trainable = NameIs(st.name, "T");
    if (trainable || NameIs(st.name, "F")) {
        if (matrixKind == MatrixKind::kToCondition || matrixKind == MatrixKind::kToOutput) {
            RequireArc(i, j);
        }
        SetTrainable(i, j, trainable);
    } else if (matrix->IsValid(i, j)) {
        Fail("TrainableInfo of an existing weight must be T or F");
    }
}

void NetworkReader::ReadWeightList(const std::string& connectionBlock) {
    const std::string listBlock = st.name;
    Next(listBlock);
    while (st.kind == StmtTag || st.kind == StmtAssign) {
        long i = -1;
        long j = -1;
        double weight = 0.0;
        bool trainable = true;
        for (;;) {
            if (st.kind == StmtAssign && NameIs(st.name, "FROM")) {
                i = Integer();
            } else if (st.kind == StmtAssign && NameIs(st.name, "TO")) {
                j = Integer();
            } else if (st.kind == StmtAssign && NameIs(st.name, "WEIGHT")) {
                weight = Number();
            } else if (st.kind == StmtTag && NameIs(st.name, "TRAINABLE")) {
                trainable = true;
            } else if (st.kind == StmtTag && NameIs(st.name, "UNTRAINABLE")) {
                trainable = false;
            } else {
                if (st.kind == StmtTag) {
                    std::cout << st.name << std::endl;
                }
                Fail("Unknown keyword in weights list");
            }
            if (!st.unclosed) {
                break;
            }
            Continue();
        }
        if (i < 0 || j < 0) {
            Fail("Insufficient information in weights list");
        }
        if (i >= numFrom || j >= numTo) {
            Fail("Neuron index out of range in weights list");
        }
        const int from = static_cast<int>(i);
        const int to = static_cast<int>(j);
        matrix->AddWeight(from, to);
        RequireArc(from, to);
        SetTrainable(from, to, trainable);
        *matrix->GetWeight(from, to) = weight;
        Next(listBlock);
    }
    tools.ExpectEndTag(st, in);
    Next(connectionBlock);
}

// Checks what the fuzzy layers need from their neighbours in any network: the condition layer
// fuzzifies the layer below it, the output layer defuzzifies the centres of the output matrix
// from the layer below it.
void NetworkReader::CheckStructure() {
    TBasicNetwork* net = network.get();
    for (int k = 0; k < net->numLayers; ++k) {
        TBasicLayer* layer = net->layers[k];
        if (auto* condition = dynamic_cast<TConditionLayer*>(layer)) {
            if (k == 0 || net->layers[k - 1]->numNeurons < condition->numInputs) {
                Fail("FuzzyCondition layer " + std::to_string(k) +
                     " needs a layer below it with a neuron per input");
            }
        } else if (dynamic_cast<TRuvoOutputLayer*>(layer) != nullptr) {
            if (k == 0 ||
                dynamic_cast<TToOutputConnections*>(net->priv_conns_index[k][k - 1]) == nullptr) {
                Fail("Defuzzify layer " + std::to_string(k) +
                     " needs ToOutputConnections from the layer below it");
            }
        }
    }
}

// A RUVO network must be the six-layer fuzzy network that recall and training use: the layer
// classes at their positions, the inputs fuzzified one to one, both centre matrices and both
// inner matrices, and functions that recall can apply and training can differentiate.
void NetworkReader::CheckRuvoStructure() {
    TBasicNetwork* net = network.get();
    static const char* const kTypes[6] = {"Simple", "Input",  "FuzzyCondition",
                                          "Simple", "Simple", "Defuzzify"};
    for (int k = 0; k < 6; ++k) {
        if (strcasecmp(net->layers[k]->GetLayerType(), kTypes[k]) != 0) {
            Fail("Layer " + std::to_string(k) + " of a RUVO network must be of type " + kTypes[k]);
        }
    }
    auto* condition = static_cast<TConditionLayer*>(net->layers[2]);
    if (condition->numInputs != net->layers[1]->numNeurons) {
        Fail("The condition layer of a RUVO network needs membership functions for every input");
    }
    if (dynamic_cast<TToConditionConnections*>(net->priv_conns_index[2][1]) == nullptr) {
        Fail("A RUVO network needs ToConditionConnections from layer 1 to layer 2");
    }
    for (int k = 2; k <= 3; ++k) {
        const char* type = net->priv_conns_index[k + 1][k]->GetConnectionsNType();
        if (strcasecmp(type, "Pruneable") != 0 && strcasecmp(type, "FullyConnected") != 0) {
            Fail("A RUVO network needs Pruneable or FullyConnected connections from layer " +
                 std::to_string(k) + " to layer " + std::to_string(k + 1));
        }
    }
    for (int k : {0, 2}) {
        if (!AppliesRealFunctions(net->layers[k])) {
            Fail("Layer " + std::to_string(k) +
                 " of a RUVO network has neurons without a usable activation function");
        }
    }
    // Training back-propagates through the rule and action layers with the derivative of their
    // common function.
    for (int k = 3; k <= 4; ++k) {
        const TActFunction fn = net->layers[k]->GetActFunction();
        if (fn != ActLinear && fn != ActSigmoid && fn != ActTanh) {
            Fail("Layer " + std::to_string(k) +
                 " of a RUVO network needs one common activation function linear, sigmoid or "
                 "tanh");
        }
    }
}

}  // namespace

TBasicNetwork* ReadNetwork(FileTools& tools, std::istream& in) {
    NetworkReader reader(tools, in);
    return reader.Read();
}

TBasicNetwork* LoadNetwork(FileTools& tools, const char* fileName) {
    RUVO_CHECK(fileName != nullptr);
    std::ifstream in(fileName);
    if (!in.is_open()) {
        throw FileTools::Error("Error on File Open", &in, 0);
    }
    tools.BeginInput(in);
    return ReadNetwork(tools, in);
}

}  // namespace ruvo
