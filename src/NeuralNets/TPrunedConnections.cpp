#include "NeuralNets/TPrunedConnections.h"

#include <cstddef>
#include <memory>

#include "KQmessage/Check.h"
#include "NeuralNets/DenseRows.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

namespace {

constexpr unsigned char kAbsent = 0;
constexpr unsigned char kAll = static_cast<unsigned char>(FMaskAll);

// The storage of a matrix while it is being rebuilt: the old arrays, released at scope exit.
struct OldStorage {
    std::unique_ptr<double[]> weights;
    std::unique_ptr<double*[]> weightRows;
    std::unique_ptr<unsigned char[]> masks;
    std::unique_ptr<unsigned char*[]> maskRows;
};

// Moves the matrix's arrays into an OldStorage, leaving the matrix without storage.
OldStorage TakeStorage(TPrunedConnections* matrix) {
    OldStorage old{std::unique_ptr<double[]>(matrix->array_weights),
                   std::unique_ptr<double*[]>(matrix->index_weights),
                   std::unique_ptr<unsigned char[]>(matrix->array_masks),
                   std::unique_ptr<unsigned char*[]>(matrix->index_masks)};
    matrix->array_weights = nullptr;
    matrix->index_weights = nullptr;
    matrix->array_masks = nullptr;
    matrix->index_masks = nullptr;
    return old;
}

}  // namespace

TPrunedConnections::TPrunedConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : TBasicConnections(net, fromLayer, toLayer),
      array_weights(nullptr),
      index_weights(nullptr),
      array_masks(nullptr),
      index_masks(nullptr) {
    RUVO_CHECK(network->layers[from] != NULL && network->layers[to] != NULL);
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    Allocate(nFrom, nTo);
    const int n = nFrom * nTo;
    for (int i = 0; i < n; ++i) {
        array_masks[i] = kAll;
    }
}

TPrunedConnections::~TPrunedConnections() {
    delete[] index_masks;
    delete[] array_masks;
    delete[] index_weights;
    delete[] array_weights;
}

void TPrunedConnections::Allocate(int nFrom, int nTo) {
    const std::size_t n = static_cast<std::size_t>(nFrom) * nTo;
    std::unique_ptr<double[]> weights(new double[n]());
    RUVO_CHECK_TEXT(weights != nullptr, "array_weights != nil");
    std::unique_ptr<double*[]> weightRows(new double*[nTo]);
    RUVO_CHECK_TEXT(weightRows != nullptr, "index_weights != nil");
    std::unique_ptr<unsigned char[]> masks(new unsigned char[n]());
    std::unique_ptr<unsigned char*[]> maskRows(new unsigned char*[nTo]);
    RUVO_CHECK_TEXT(maskRows != nullptr, "index_masks != nil");
    for (int t = 0; t < nTo; ++t) {
        weightRows[t] = weights.get() + static_cast<std::size_t>(t) * nFrom;
        maskRows[t] = masks.get() + static_cast<std::size_t>(t) * nFrom;
    }
    delete[] index_masks;
    delete[] array_masks;
    delete[] index_weights;
    delete[] array_weights;
    array_weights = weights.release();
    index_weights = weightRows.release();
    array_masks = masks.release();
    index_masks = maskRows.release();
}

int TPrunedConnections::GetNumWeights(int mask) {
    const int n = NumFrom() * NumTo();
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (PassesMask(array_masks[i], mask)) {
            ++count;
        }
    }
    return count;
}

int TPrunedConnections::GetWeights(double* buffer, int mask) {
    const int n = NumFrom() * NumTo();
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (PassesMask(array_masks[i], mask)) {
            buffer[count++] = array_weights[i];
        }
    }
    return count;
}

int TPrunedConnections::SetWeights(const double* buffer, int mask) {
    const int n = NumFrom() * NumTo();
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (PassesMask(array_masks[i], mask)) {
            array_weights[i] = buffer[count++];
        }
    }
    return count;
}

void TPrunedConnections::RandomizeWeights(double min, double max) {
    const int n = NumFrom() * NumTo();
    // Exact comparison: a bound that is not a number still draws one number per weight.
    const bool same = min == max;
    for (int i = 0; i < n; ++i) {
        if ((array_masks[i] & FMaskTrainable) != 0) {
            array_weights[i] = same ? min : RandomWeight(min, max);
        }
    }
}

double* TPrunedConnections::GetWeight(int f, int t) {
    CheckArc(f, t);
    return &index_weights[t][f];
}

void TPrunedConnections::Propagate(double* net) {
    dense::PropagateFlaggedRows(array_weights, array_masks, network->layers[from]->activations, net,
                                NumFrom(), NumTo());
}

bool TPrunedConnections::IsValid(int f, int t) const {
    CheckArc(f, t);
    return (index_masks[t][f] & FMaskExists) != 0;
}

bool TPrunedConnections::IsTrainable(int f, int t) const {
    CheckArc(f, t);
    return (index_masks[t][f] & FMaskTrainable) != 0;
}

void TPrunedConnections::PruneWeight(int f, int t) {
    CheckArc(f, t);
    index_masks[t][f] = kAbsent;
    index_weights[t][f] = 0.0;
}

void TPrunedConnections::AddWeight(int f, int t) {
    CheckArc(f, t);
    if ((index_masks[t][f] & FMaskExists) == 0) {
        index_masks[t][f] = kAll;
        index_weights[t][f] = 0.0;
    }
}

void TPrunedConnections::UnfreezeWeight(int f, int t) {
    CheckArc(f, t);
    if ((index_masks[t][f] & FMaskExists) != 0) {
        index_masks[t][f] = static_cast<unsigned char>(index_masks[t][f] | FMaskTrainable);
    }
}

void TPrunedConnections::FreezeWeight(int f, int t) {
    CheckArc(f, t);
    index_masks[t][f] = static_cast<unsigned char>(index_masks[t][f] & ~FMaskTrainable);
}

void TPrunedConnections::IterateInArcs(TIterateObj& visitor, int t, int mask) {
    const int nFrom = NumFrom();
    RUVO_CHECK(0 <= t && t < NumTo());
    visitor.Bind(network->layers[from], network->layers[to]);
    visitor.toNeuron = t;
    double* row = index_weights[t];
    const unsigned char* flags = index_masks[t];
    for (int f = 0; f < nFrom; ++f) {
        if (PassesMask(flags[f], mask)) {
            visitor.fromNeuron = f;
            visitor.trainable = static_cast<char>((flags[f] & FMaskTrainable) != 0);
            visitor.weight = row + f;
            visitor.Visit();
        }
    }
}

void TPrunedConnections::IterateOutArcs(TIterateObj& visitor, int f, int mask) {
    const int nTo = NumTo();
    RUVO_CHECK(0 <= f && f < NumFrom());
    visitor.Bind(network->layers[from], network->layers[to]);
    for (int t = 0; t < nTo; ++t) {
        const unsigned char flags = index_masks[t][f];
        if (PassesMask(flags, mask)) {
            visitor.fromNeuron = f;
            visitor.toNeuron = t;
            visitor.trainable = static_cast<char>((flags & FMaskTrainable) != 0);
            visitor.weight = &index_weights[t][f];
            visitor.Visit();
        }
    }
}

void TPrunedConnections::IterateArcs(TIterateObj& visitor, int mask) {
    visitor.Bind(network->layers[from], network->layers[to]);
    double* w = array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), array_masks, mask,
                            [&](int f, int t, std::size_t i, char trainable) {
                                visitor.fromNeuron = f;
                                visitor.toNeuron = t;
                                visitor.trainable = trainable;
                                visitor.weight = w + i;
                                visitor.Visit();
                            });
}

void TPrunedConnections::IterateArcs2(TIterateObj2& visitor, TBasicNetwork* network2, int mask) {
    visitor.Bind(network, network2, from, to);
    // Same type name, hence the same class and storage layout.
    double* w1 = array_weights;
    double* w2 = static_cast<TPrunedConnections*>(visitor.conn2)->array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), array_masks, mask,
                            [&](int f, int t, std::size_t i, char trainable) {
                                visitor.fromNeuron = f;
                                visitor.toNeuron = t;
                                visitor.trainable = trainable;
                                visitor.weight1 = w1 + i;
                                visitor.weight2 = w2 + i;
                                visitor.Visit();
                            });
}

void TPrunedConnections::IterateArcs3(TIterateObj3& visitor,
                                      TBasicNetwork* network2,
                                      TBasicNetwork* network3,
                                      int mask) {
    visitor.Bind(network, network2, network3, from, to);
    double* w1 = array_weights;
    double* w2 = static_cast<TPrunedConnections*>(visitor.conn2)->array_weights;
    double* w3 = static_cast<TPrunedConnections*>(visitor.conn3)->array_weights;
    dense::ForEachStoredArc(NumFrom(), NumTo(), array_masks, mask,
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

const char* TPrunedConnections::GetConnectionsNType() const {
    return "Pruneable";
}

char TPrunedConnections::GetFlags(int f, int t) const {
    CheckArc(f, t);
    return static_cast<char>(index_masks[t][f]);
}

void TPrunedConnections::SetFlags(int f, int t, char value) {
    CheckArc(f, t);
    index_masks[t][f] = static_cast<unsigned char>(value);
}

void TPrunedConnections::Destroy() {
    delete this;
}

TBasicConnections* TPrunedConnections::Clone(TBasicNetwork* net) const {
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    std::unique_ptr<TPrunedConnections> x(new TPrunedConnections(net, from, to));
    RUVO_CHECK_TEXT(x != nullptr, "x!=nil");
    x->Allocate(nFrom, nTo);
    RUVO_CHECK_TEXT(x->index_weights != nullptr, "x -> index_weights != nil");
    RUVO_CHECK_TEXT(x->index_masks != nullptr, "x -> index_masks != nil");
    RUVO_CHECK_TEXT(x->array_weights != nullptr, "x -> array_weights != nil");
    RUVO_CHECK_TEXT(x->array_masks != nullptr, "x -> array_masks != nil");
    const int n = nFrom * nTo;
    for (int i = 0; i < n; ++i) {
        x->array_weights[i] = array_weights[i];
        x->array_masks[i] = array_masks[i];
    }
    return x.release();
}

// The neuron insert and delete operations run after the network has changed the layer's size.
// For a matrix from a layer to itself the network calls the from-operation and then the
// to-operation on the same object, so during the from-operation the number of rows still is the
// old size of the layer.

void TPrunedConnections::DeleteFromNeuron(int index) {
    const int nFrom = NumFrom();
    const int oldFrom = nFrom + 1;
    const int rows = from == to ? NumTo() + 1 : NumTo();
    RUVO_CHECK(0 <= index && index < oldFrom);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, rows);
    dense::CopyWithoutColumn(old.weights.get(), oldFrom, rows, index, array_weights);
    dense::CopyWithoutColumn(old.masks.get(), oldFrom, rows, index, array_masks);
}

void TPrunedConnections::DeleteToNeuron(int index) {
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    RUVO_CHECK(0 <= index && index <= nTo);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, nTo);
    dense::CopyWithoutRow(old.weights.get(), nFrom, nTo, index, array_weights);
    dense::CopyWithoutRow(old.masks.get(), nFrom, nTo, index, array_masks);
}

void TPrunedConnections::InsertFromNeuron(int index, double min, double max, bool attached) {
    const int nFrom = NumFrom();
    const int oldFrom = nFrom - 1;
    const int rows = from == to ? NumTo() - 1 : NumTo();
    RUVO_CHECK(0 <= index && index < nFrom);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, rows);
    dense::CopyAroundNewColumn(old.weights.get(), oldFrom, rows, index, array_weights);
    dense::CopyAroundNewColumn(old.masks.get(), oldFrom, rows, index, array_masks);
    // The new column: Allocate left it absent (0.0, flags 0).
    if (attached) {
        for (int t = 0; t < rows; ++t) {
            index_weights[t][index] = RandomWeight(min, max);
            index_masks[t][index] = kAll;
        }
    }
}

void TPrunedConnections::InsertToNeuron(int index, double min, double max, bool attached) {
    const int nFrom = NumFrom();
    const int nTo = NumTo();
    RUVO_CHECK(0 <= index && index < nTo);
    OldStorage old = TakeStorage(this);
    Allocate(nFrom, nTo);
    dense::CopyAroundNewRow(old.weights.get(), nFrom, nTo, index, array_weights);
    dense::CopyAroundNewRow(old.masks.get(), nFrom, nTo, index, array_masks);
    if (attached) {
        for (int f = 0; f < nFrom; ++f) {
            index_weights[index][f] = RandomWeight(min, max);
            index_masks[index][f] = kAll;
        }
    }
}

}  // namespace ruvo
