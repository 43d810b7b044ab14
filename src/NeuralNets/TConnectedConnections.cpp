#include "NeuralNets/TConnectedConnections.h"

#include <cstddef>
#include <memory>

#include "KQmessage/Check.h"
#include "NeuralNets/DenseRows.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

namespace {

// The storage of a matrix while it is being rebuilt: the old arrays, released at scope exit.
struct OldStorage {
    std::unique_ptr<double[]> weights;
    std::unique_ptr<double*[]> rows;
};

// Moves the matrix's arrays into an OldStorage, leaving the matrix without storage.
OldStorage TakeStorage(TConnectedConnections* matrix) {
    OldStorage old{std::unique_ptr<double[]>(matrix->array_weights),
                   std::unique_ptr<double*[]>(matrix->index_weights)};
    matrix->array_weights = nullptr;
    matrix->index_weights = nullptr;
    return old;
}

}  // namespace

TConnectedConnections::TConnectedConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : TBasicConnections(net, fromLayer, toLayer), array_weights(nullptr), index_weights(nullptr) {
    RUVO_CHECK(network->layers[from] != NULL && network->layers[to] != NULL);
    Allocate(NumFrom(), NumTo());
}

TConnectedConnections::~TConnectedConnections() {
    delete[] index_weights;
    delete[] array_weights;
}

void TConnectedConnections::Allocate(int nFrom, int nTo) {
    std::unique_ptr<double[]> weights(new double[static_cast<std::size_t>(nFrom) * nTo]());
    RUVO_CHECK_TEXT(weights != nullptr, "array_weights != nil");
    std::unique_ptr<double*[]> rows(new double*[nTo]);
    RUVO_CHECK_TEXT(rows != nullptr, "index_weights != nil");
    for (int t = 0; t < nTo; ++t) {
        rows[t] = weights.get() + static_cast<std::size_t>(t) * nFrom;
    }
    delete[] index_weights;
    delete[] array_weights;
    array_weights = weights.release();
    index_weights = rows.release();
}

bool TConnectedConnections::IsConnected() const {
    return true;
}

int TConnectedConnections::GetNumWeights(int) {
    return NumFrom() * NumTo();
}

int TConnectedConnections::GetWeights(double* buffer, int) {
    // By from-neuron: the transpose of the storage order.
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    int k = 0;
    for (int f = 0; f < nFrom; ++f) {
        for (int t = 0; t < nTo; ++t) {
            buffer[k++] = index_weights[t][f];
        }
    }
    return k;
}

int TConnectedConnections::SetWeights(const double* buffer, int) {
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    int k = 0;
    for (int f = 0; f < nFrom; ++f) {
        for (int t = 0; t < nTo; ++t) {
            index_weights[t][f] = buffer[k++];
        }
    }
    return k;
}

void TConnectedConnections::RandomizeWeights(double min, double max) {
    const int n = NumFrom() * NumTo();
    // Exact comparison: a bound that is not a number still draws one number per weight.
    if (min == max) {
        for (int i = 0; i < n; ++i) {
            array_weights[i] = min;
        }
        return;
    }
    for (int i = 0; i < n; ++i) {
        array_weights[i] = RandomWeight(min, max);
    }
}

double* TConnectedConnections::GetWeight(int f, int t) {
    CheckArc(f, t);
    return &index_weights[t][f];
}

void TConnectedConnections::Propagate(double* net) {
    dense::PropagateRows<false>(array_weights, nullptr, network->layers[from]->activations, net,
                                NumFrom(), NumTo());
}

bool TConnectedConnections::IsValid(int, int) const {
    return true;
}

bool TConnectedConnections::IsTrainable(int, int) const {
    return true;
}

void TConnectedConnections::AddWeight(int, int) {}

void TConnectedConnections::UnfreezeWeight(int, int) {}

void TConnectedConnections::IterateInArcs(TIterateObj& visitor, int t, int) {
    const int nFrom = NumFrom();
    RUVO_CHECK(0 <= t && t < NumTo());
    visitor.Bind(network->layers[from], network->layers[to]);
    visitor.trainable = 1;
    visitor.toNeuron = t;
    double* row = index_weights[t];
    for (int f = 0; f < nFrom; ++f) {
        visitor.fromNeuron = f;
        visitor.weight = row + f;
        visitor.Visit();
    }
}

void TConnectedConnections::IterateOutArcs(TIterateObj& visitor, int f, int) {
    const int nTo = NumTo();
    RUVO_CHECK(0 <= f && f < NumFrom());
    visitor.Bind(network->layers[from], network->layers[to]);
    visitor.trainable = 1;
    for (int t = 0; t < nTo; ++t) {
        visitor.fromNeuron = f;
        visitor.toNeuron = t;
        visitor.weight = &index_weights[t][f];
        visitor.Visit();
    }
}

void TConnectedConnections::IterateArcs(TIterateObj& visitor, int) {
    visitor.Bind(network->layers[from], network->layers[to]);
    double* w = array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), nullptr, 0,
                            [&](int f, int t, std::size_t i, char trainable) {
                                visitor.fromNeuron = f;
                                visitor.toNeuron = t;
                                visitor.trainable = trainable;
                                visitor.weight = w + i;
                                visitor.Visit();
                            });
}

void TConnectedConnections::IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int) {
    visitor.Bind(network, network2, from, to);
    // Same type name, hence the same class and storage layout.
    double* w1 = array_weights;
    double* w2 = static_cast<TConnectedConnections*>(visitor.conn2)->array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), nullptr, 0,
                            [&](int f, int t, std::size_t i, char trainable) {
                                visitor.fromNeuron = f;
                                visitor.toNeuron = t;
                                visitor.trainable = trainable;
                                visitor.weight1 = w1 + i;
                                visitor.weight2 = w2 + i;
                                visitor.Visit();
                            });
}

void TConnectedConnections::IterateArcs3(TIterateObj3& visitor,
                                         TBasicNetwork* network2,
                                         TBasicNetwork* network3,
                                         int) {
    visitor.Bind(network, network2, network3, from, to);
    double* w1 = array_weights;
    double* w2 = static_cast<TConnectedConnections*>(visitor.conn2)->array_weights;
    double* w3 = static_cast<TConnectedConnections*>(visitor.conn3)->array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), nullptr, 0,
                            [&](int f, int t, std::size_t i, char trainable) {
                                visitor.fromNeuron = f;
                                visitor.toNeuron = t;
                                visitor.trainable = trainable;
                                visitor.weight1 = w1 + i;
                                visitor.weight2 = w2 + i;
                                visitor.weight3 = w3 + i;
                                visitor.Visit();
                            });
}

const char* TConnectedConnections::GetConnectionsNType() const {
    return "FullyConnected";
}

char TConnectedConnections::GetFlags(int, int) const {
    return static_cast<char>(FMaskAll);
}

void TConnectedConnections::Destroy() {
    delete this;
}

TBasicConnections* TConnectedConnections::Clone(TBasicNetwork* net) const {
    // Sized from this matrix's layers, which the clone's network copied.
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    std::unique_ptr<TConnectedConnections> x(new TConnectedConnections(net, from, to));
    RUVO_CHECK_TEXT(x != nullptr, "x!=nil");
    x->Allocate(nFrom, nTo);
    RUVO_CHECK_TEXT(x->index_weights != nullptr, "x -> index_weights != nil");
    RUVO_CHECK_TEXT(x->array_weights != nullptr, "x -> array_weights != nil");
    const int n = nFrom * nTo;
    for (int i = 0; i < n; ++i) {
        x->array_weights[i] = array_weights[i];
    }
    return x.release();
}

// The neuron insert and delete operations run after the network has changed the layer's size.
// For a matrix from a layer to itself the network calls the from-operation and then the
// to-operation on the same object, so during the from-operation the number of rows still is the
// old size of the layer.

void TConnectedConnections::DeleteFromNeuron(int index) {
    const int nFrom = NumFrom();
    const int oldFrom = nFrom + 1;
    const int rows = from == to ? NumTo() + 1 : NumTo();
    RUVO_CHECK(0 <= index && index < oldFrom);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, rows);
    dense::CopyWithoutColumn(old.weights.get(), oldFrom, rows, index, array_weights);
}

void TConnectedConnections::DeleteToNeuron(int index) {
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    RUVO_CHECK(0 <= index && index <= nTo);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, nTo);
    dense::CopyWithoutRow(old.weights.get(), nFrom, nTo, index, array_weights);
}

void TConnectedConnections::InsertFromNeuron(int index, double min, double max, bool attached) {
    RUVO_CHECK(attached);
    const int nFrom = NumFrom();
    const int oldFrom = nFrom - 1;
    const int rows = from == to ? NumTo() - 1 : NumTo();
    RUVO_CHECK(0 <= index && index < nFrom);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, rows);
    dense::CopyAroundNewColumn(old.weights.get(), oldFrom, rows, index, array_weights);
    for (int t = 0; t < rows; ++t) {
        index_weights[t][index] = RandomWeight(min, max);
    }
}

void TConnectedConnections::InsertToNeuron(int index, double min, double max, bool attached) {
    RUVO_CHECK(attached);
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    RUVO_CHECK(0 <= index && index < nTo);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, nTo);
    dense::CopyAroundNewRow(old.weights.get(), nFrom, nTo, index, array_weights);
    for (int f = 0; f < nFrom; ++f) {
        index_weights[index][f] = RandomWeight(min, max);
    }
}

}  // namespace ruvo
