#ifndef RUVO_FILEHANDLER_NETWORKFILE_H
#define RUVO_FILEHANDLER_NETWORKFILE_H

// The network file: a whole network (its class, layers, activation functions, neuron parameters,
// membership-function layout and every connection matrix with its weights and trainability) as
// bracketed text. The reader accepts the grammar described at the top of NetworkFile.cpp; the
// writer produces one canonical form of it, which the reader turns back into the same network.

#include <istream>
#include <ostream>

#include "NeuralNets/TIterateObj.h"

namespace ruvo {

class FileTools;
class TBasicNetwork;

// Limits of the reader. A file asking for more is refused before anything is allocated, so a
// hostile or corrupt file cannot exhaust memory.
constexpr long kMaxNetworkLayers = 256;        // NumberOfLayers
constexpr long kMaxLayerNeurons = 1L << 20;    // NumberOfNeurons of one layer
constexpr long kMaxNetworkNeurons = 1L << 21;  // neurons of all layers together
constexpr long kMaxMatrixWeights = 1L << 24;   // possible arcs of one connection matrix
constexpr long kMaxNetworkWeights = 1L << 25;  // possible arcs of all matrices together

// Opens fileName and reads a network from it with ReadNetwork. A file that cannot be opened
// raises FileTools::Error "Error on File Open".
TBasicNetwork* LoadNetwork(FileTools& tools, const char* fileName);
// Reads a network file from in and returns a new network of the class the file names
// (TBasicNetwork, TConnectedNetwork or TRuvo), owned by the caller. Every defect of the file
// raises FileTools::Error carrying the line where it was found; nothing is returned then and
// nothing leaks. A network of type RUVO is returned only when it is a complete six-layer fuzzy
// network that recall and training can use.
TBasicNetwork* ReadNetwork(FileTools& tools, std::istream& in);

// Writes network to fileName (created or truncated) with WriteNetwork. A file that cannot be
// opened raises FileTools::Error "Error on File Open", one that cannot be written completely
// "Error on File Write".
void SaveNetwork(FileTools& tools, const char* fileName, TBasicNetwork* network);
// Writes the canonical network file of network to out; leaves the stream's precision at 15.
// Raises FileTools::Error "Illegal number of bias nodes" when a layer whose common function is
// "bias" has more than one neuron (what was written so far stays).
void WriteNetwork(FileTools& tools, std::ostream& out, TBasicNetwork* network);

// Counts the arcs it is shown.
class TIterateObjCount : public TIterateObj {
public:
    TIterateObjCount() : count(0) {}
    void Visit() override;

    int count;
};

// Writes one weight-list statement per arc it is shown, for example
// [From=0 To=2 Weight=0.250000000000000 Trainable ]
// with the weight to `precision` decimals and, when saveTrainable is set, the arc's trainability.
class TIterateObjSaveWeights : public TIterateObj {
public:
    TIterateObjSaveWeights(std::ostream& stream,
                           FileTools& fileTools,
                           bool writeTrainable,
                           int digits);
    void Visit() override;

    std::ostream* out;  // not owned
    FileTools* tools;   // not owned
    bool saveTrainable;
    int precision;
};

}  // namespace ruvo

#endif
