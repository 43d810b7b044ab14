#include "NeuralNets/TBasicNetwork.h"

#include <memory>

#include "KQmessage/Check.h"
#include "NeuralNets/TConnectedConnections.h"
#include "NeuralNets/TPrunedConnections.h"

namespace ruvo {

namespace {

// The two tables of a network of n layers: n * n cells (null) and the n row pointers into them.
struct Table {
    std::unique_ptr<TBasicConnections*[]> cells;
    std::unique_ptr<TBasicConnections**[]> rows;
};

Table NewTable(int n) {
    const std::size_t count = static_cast<std::size_t>(n) * n;
    Table table{std::unique_ptr<TBasicConnections*[]>(new TBasicConnections*[count]()),
                std::unique_ptr<TBasicConnections**[]>(new TBasicConnections**[n])};
    RUVO_CHECK_TEXT(table.cells != nullptr, "priv_conns != NULL");
    RUVO_CHECK_TEXT(table.rows != nullptr, "priv_conns_index != NULL");
    for (int i = 0; i < n; ++i) {
        table.rows[i] = table.cells.get() + static_cast<std::size_t>(i) * n;
    }
    return table;
}

// Installs a new Matrix for the layer pair (fromLayer, toLayer) and releases the matrix it
// replaces; with keepConnected, a cell that IsConnected is left as it is. The new matrix is made
// before the old one goes, so the cell is never left empty.
template <class Matrix>
void ReplaceCell(TBasicNetwork* net, int fromLayer, int toLayer, bool keepConnected) {
    TBasicConnections*& cell = net->priv_conns_index[toLayer][fromLayer];
    if (keepConnected && cell->IsConnected()) {
        return;
    }
    TBasicConnections* created = new Matrix(net, fromLayer, toLayer);
    cell->Destroy();
    cell = created;
}

std::unique_ptr<TFnRegistry> NewRegistry() {
    std::unique_ptr<TFnRegistry> registry(new TFnRegistry());
    registry->RegisterStandard();
    return registry;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction, copy, destruction

TBasicNetwork::TBasicNetwork()
    : numLayers(0),
      layers(nullptr),
      inLayer(0),
      outLayer(0),
      priv_conns(nullptr),
      priv_conns_index(nullptr),
      registry(nullptr) {}

TBasicNetwork::TBasicNetwork(int n_layers) : TBasicNetwork() {
    Init(n_layers);
}

TBasicNetwork::TBasicNetwork(const TBasicNetwork& x) : TBasicNetwork() {
    CopyFrom(x);
}

TBasicNetwork& TBasicNetwork::operator=(const TBasicNetwork& x) {
    if (this == &x) {
        return *this;
    }
    Release();
    CopyFrom(x);
    return *this;
}

TBasicNetwork::~TBasicNetwork() {
    Release();
}

void TBasicNetwork::Init(int n_layers) {
    RUVO_CHECK(n_layers > 0);
    RUVO_CHECK(layers == nullptr && priv_conns == nullptr);  // initialised once
    numLayers = n_layers;
    inLayer = 1;
    outLayer = n_layers - 1;
    layers = new TBasicLayer*[n_layers]();
    RUVO_CHECK_TEXT(layers != nullptr, "layers != NULL");
    Table table = NewTable(n_layers);
    priv_conns = table.cells.release();
    priv_conns_index = table.rows.release();
    for (int to = 0; to < n_layers; ++to) {
        for (int from = 0; from < n_layers; ++from) {
            priv_conns[to * n_layers + from] = new TEmptyConnections(this, from, to);
            RUVO_CHECK_TEXT(priv_conns[to * n_layers + from] != nullptr,
                            "priv_conns[to*n_layers+from] != NULL");
        }
    }
    registry = NewRegistry().release();
}

void TBasicNetwork::CopyFrom(const TBasicNetwork& x) {
    // REQUIRES: this network holds nothing (fresh or released).
    const int n = x.numLayers;
    numLayers = n;
    inLayer = x.inLayer;
    outLayer = x.outLayer;
    // Layers first: cloned matrices read the sizes (and, for the fuzzy network, the layers) of
    // the network they are cloned onto.
    layers = new TBasicLayer*[n]();
    for (int i = 0; i < n; ++i) {
        RUVO_CHECK_TEXT(x.layers[i] != nullptr, "x.layers[i] != NULL");
        layers[i] = x.layers[i]->Clone(this);
    }
    Table table = NewTable(n);
    priv_conns = table.cells.release();
    priv_conns_index = table.rows.release();
    const int cells = n * n;
    for (int i = 0; i < cells; ++i) {
        RUVO_CHECK_TEXT(x.priv_conns[i] != nullptr, "x.priv_conns[i] != NULL");
        priv_conns[i] = x.priv_conns[i]->Clone(this);
    }
    registry = NewRegistry().release();
}

void TBasicNetwork::Release() {
    // Skips empty slots: a network whose creator failed half-way (a malformed file) is still
    // released cleanly.
    if (priv_conns != nullptr) {
        const int cells = numLayers * numLayers;
        for (int i = 0; i < cells; ++i) {
            if (priv_conns[i] != nullptr) {
                priv_conns[i]->Destroy();
            }
        }
    }
    delete[] priv_conns;
    delete[] priv_conns_index;
    priv_conns = nullptr;
    priv_conns_index = nullptr;
    if (layers != nullptr) {
        for (int i = 0; i < numLayers; ++i) {
            if (layers[i] != nullptr) {
                layers[i]->Destroy();
            }
        }
    }
    delete[] layers;
    layers = nullptr;
    delete registry;
    registry = nullptr;
    numLayers = 0;
}

// ---------------------------------------------------------------------------------------------
// Weights as one vector

int TBasicNetwork::GetNumWeights(int mask) {
    int total = 0;
    for (int from = 0; from < numLayers; ++from) {
        for (int to = 0; to < numLayers; ++to) {
            total += priv_conns_index[to][from]->GetNumWeights(mask);
        }
    }
    return total;
}

int TBasicNetwork::GetWeights(double* weights, int mask) {
    // From-layer in the outer loop: this is the order of the flat weight vector.
    int total = 0;
    for (int from = 0; from < numLayers; ++from) {
        for (int to = 0; to < numLayers; ++to) {
            total += priv_conns_index[to][from]->GetWeights(weights + total, mask);
        }
    }
    return total;
}

int TBasicNetwork::SetWeights(const double* weights, int mask) {
    int total = 0;
    for (int from = 0; from < numLayers; ++from) {
        for (int to = 0; to < numLayers; ++to) {
            total += priv_conns_index[to][from]->SetWeights(weights + total, mask);
        }
    }
    return total;
}

void TBasicNetwork::RandomizeWeights(double min, double max) {
    for (int from = 0; from < numLayers; ++from) {
        for (int to = 0; to < numLayers; ++to) {
            priv_conns_index[to][from]->RandomizeWeights(min, max);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Connections between two layers

void TBasicNetwork::CreateConnections(int fromLayer, int toLayer) {
    RUVO_CHECK(0 <= fromLayer && fromLayer < numLayers);
    RUVO_CHECK(0 <= toLayer && toLayer < numLayers);
    ReplaceCell<TPrunedConnections>(this, fromLayer, toLayer, true);
}

void TBasicNetwork::DeleteConnections(int fromLayer, int toLayer) {
    RUVO_CHECK(0 <= fromLayer && fromLayer < numLayers);
    RUVO_CHECK(0 <= toLayer && toLayer < numLayers);
    ReplaceCell<TEmptyConnections>(this, fromLayer, toLayer, false);
    RUVO_CHECK_TEXT(priv_conns_index[toLayer][fromLayer] != nullptr,
                    "priv_conns_index[toLayer][fromLayer] != NULL");
}

// ---------------------------------------------------------------------------------------------
// Recall, queries, iterators

void TBasicNetwork::Recall(const double* input, double* output) {
    for (int i = 0; i < numLayers; ++i) {
        layers[i]->Recall(input);
    }
    const TBasicLayer* out = layers[outLayer];
    for (int i = 0; i < out->numNeurons; ++i) {
        output[i] = out->activations[i];
    }
}

const char* TBasicNetwork::GetNetworkType() const {
    return "Basic";
}

TArcsIterator* TBasicNetwork::NewArcsIterator() {
    RUVO_CHECK_TEXT(false, "false");
    return nullptr;
}

int TBasicNetwork::GetNumNeurons() const {
    int total = 0;
    for (int i = 0; i < numLayers; ++i) {
        total += layers[i]->numNeurons;
    }
    return total;
}

TBasicNeuron* TBasicNetwork::GetNeuron(int index) {
    RUVO_CHECK(index >= 0);
    for (int i = 0; i < numLayers; ++i) {
        if (index < layers[i]->numNeurons) {
            return layers[i]->GetNeuron(index);
        }
        index -= layers[i]->numNeurons;
    }
    RUVO_CHECK_TEXT(false, "index < GetNumNeurons()");
    return nullptr;
}

void TBasicNetwork::IterateNodeInArcs(TIterateObj& visitor, int toLayer, int toNode, int mask) {
    RUVO_CHECK(0 <= toLayer && toLayer < numLayers);
    for (int i = 0; i < numLayers; ++i) {
        priv_conns_index[toLayer][i]->IterateInArcs(visitor, toNode, mask);
    }
}

void TBasicNetwork::IterateNodeOutArcs(TIterateObj& visitor,
                                       int fromLayer,
                                       int fromNode,
                                       int mask) {
    RUVO_CHECK(0 <= fromLayer && fromLayer < numLayers);
    for (int i = 0; i < numLayers; ++i) {
        priv_conns_index[i][fromLayer]->IterateOutArcs(visitor, fromNode, mask);
    }
}

// ---------------------------------------------------------------------------------------------
// Structural edits

void TBasicNetwork::CheckHiddenLayer(int LayerNum) const {
    RUVO_CHECK(0 <= LayerNum && LayerNum < numLayers);
    RUVO_CHECK(LayerNum != inLayer);
    RUVO_CHECK(LayerNum != outLayer);
}

void TBasicNetwork::InsertNeuron(int LayerNum, int node, double min, double max, bool attached) {
    CheckHiddenLayer(LayerNum);
    TBasicLayer* layer = layers[LayerNum];
    RUVO_CHECK(0 <= node && node <= layer->numNeurons);
    layer->InsertNeuron(node);
    ++layer->numNeurons;
    for (int i = 0; i < numLayers; ++i) {
        priv_conns_index[i][LayerNum]->InsertFromNeuron(node, min, max, attached);
        priv_conns_index[LayerNum][i]->InsertToNeuron(node, min, max, attached);
    }
}

void TBasicNetwork::RemoveNeuron(int LayerNum, int node) {
    CheckHiddenLayer(LayerNum);
    TBasicLayer* layer = layers[LayerNum];
    RUVO_CHECK(0 <= node && node < layer->numNeurons);
    layer->RemoveNeuron(node);
    --layer->numNeurons;
    for (int i = 0; i < numLayers; ++i) {
        priv_conns_index[i][LayerNum]->DeleteFromNeuron(node);
        priv_conns_index[LayerNum][i]->DeleteToNeuron(node);
    }
}

int TBasicNetwork::PruneNeurons() {
    TIterateObjPruneNode visitor;
    int removed = 0;
    // Downwards, so the numbers of the neurons still to be examined stay valid.
    for (int LayerNum = outLayer - 1; LayerNum >= 0; --LayerNum) {
        if (LayerNum == inLayer) {
            continue;
        }
        for (int node = layers[LayerNum]->numNeurons - 1; node >= 0; --node) {
            visitor.count = 0;
            IterateNodeOutArcs(visitor, LayerNum, node, FMaskExists);
            if (visitor.count == 0) {
                RemoveNeuron(LayerNum, node);
                ++removed;
            }
        }
    }
    return removed;
}

namespace {

// Sets a layer's position and the layer number of its neurons.
void Renumber(TBasicLayer* layer, int position) {
    layer->layerNum = position;
    for (int k = 0; k < layer->numNeurons; ++k) {
        layer->GetNeuron(k)->layerNum = position;
    }
}

}  // namespace

void TBasicNetwork::InsertLayer(int LayerNum, TBasicLayer* layer) {
    RUVO_CHECK(0 <= LayerNum && LayerNum <= numLayers);
    RUVO_CHECK(layer != nullptr && layer->network == this);
    const int L = LayerNum;
    const int n = numLayers;
    const int grown = n + 1;
    Table table = NewTable(grown);
    std::unique_ptr<TBasicLayer*[]> moved(new TBasicLayer*[grown]());
    numLayers = grown;  // the new empty matrices are made for the grown network
    for (int i = 0; i < grown; ++i) {
        table.rows[i][L] = new TEmptyConnections(this, L, i);
        if (i != L) {
            table.rows[L][i] = new TEmptyConnections(this, i, L);
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            table.rows[i + (i >= L ? 1 : 0)][j + (j >= L ? 1 : 0)] = priv_conns[i * n + j];
        }
    }
    for (int i = 0; i < grown; ++i) {
        for (int j = 0; j < grown; ++j) {
            table.rows[i][j]->from = j;
            table.rows[i][j]->to = i;
        }
    }
    for (int i = 0; i < n; ++i) {
        moved[i + (i >= L ? 1 : 0)] = layers[i];
    }
    moved[L] = layer;
    for (int i = 0; i < grown; ++i) {
        Renumber(moved[i], i);
    }
    if (inLayer >= L) {
        ++inLayer;
    }
    if (outLayer >= L) {
        ++outLayer;
    }
    delete[] priv_conns;
    delete[] priv_conns_index;
    delete[] layers;
    priv_conns = table.cells.release();
    priv_conns_index = table.rows.release();
    layers = moved.release();
}

void TBasicNetwork::RemoveLayer(int LayerNum) {
    CheckHiddenLayer(LayerNum);
    const int L = LayerNum;
    const int n = numLayers;
    for (int i = 0; i < n; ++i) {
        priv_conns_index[i][L]->Destroy();
        priv_conns_index[i][L] = nullptr;
        if (i != L) {
            priv_conns_index[L][i]->Destroy();
            priv_conns_index[L][i] = nullptr;
        }
    }
    const int shrunk = n - 1;
    Table table = NewTable(shrunk);
    std::unique_ptr<TBasicLayer*[]> moved(new TBasicLayer*[shrunk]());
    for (int i = 0; i < shrunk; ++i) {
        for (int j = 0; j < shrunk; ++j) {
            TBasicConnections* cell = priv_conns_index[i + (i >= L ? 1 : 0)][j + (j >= L ? 1 : 0)];
            cell->from = j;
            cell->to = i;
            table.rows[i][j] = cell;
        }
    }
    layers[L]->Destroy();
    for (int i = 0; i < shrunk; ++i) {
        moved[i] = layers[i + (i >= L ? 1 : 0)];
        Renumber(moved[i], i);
    }
    if (inLayer >= L) {
        --inLayer;
    }
    if (outLayer >= L) {
        --outLayer;
    }
    numLayers = shrunk;
    delete[] priv_conns;
    delete[] priv_conns_index;
    delete[] layers;
    priv_conns = table.cells.release();
    priv_conns_index = table.rows.release();
    layers = moved.release();
}

// ---------------------------------------------------------------------------------------------
// TConnectedNetwork

TConnectedNetwork::TConnectedNetwork() = default;

TConnectedNetwork::TConnectedNetwork(int n_layers) : TBasicNetwork(n_layers) {}

TConnectedNetwork::TConnectedNetwork(int n_layers, const int* numNeurons)
    : TBasicNetwork(n_layers) {
    for (int i = 0; i < n_layers; ++i) {
        if (i == inLayer) {
            layers[i] = new TSimpleInputLayer(this, i, numNeurons[i]);
        } else {
            layers[i] = new TSimpleLayer(this, i, numNeurons[i]);
        }
    }
}

void TConnectedNetwork::CreateConnections(int fromLayer, int toLayer) {
    RUVO_CHECK(0 <= fromLayer && fromLayer < numLayers);
    RUVO_CHECK(0 <= toLayer && toLayer < numLayers);
    ReplaceCell<TConnectedConnections>(this, fromLayer, toLayer, true);
}

const char* TConnectedNetwork::GetNetworkType() const {
    return "Connected";
}

TArcsIterator* TConnectedNetwork::NewArcsIterator() {
    return new TConnInAllArcsIterator(this);
}

}  // namespace ruvo
