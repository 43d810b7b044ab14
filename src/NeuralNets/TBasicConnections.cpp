#include "NeuralNets/TBasicConnections.h"

#include <memory>

#include "KQmessage/Check.h"
#include "NeuralNets/TBasicNetwork.h"

namespace ruvo {

// ---------------------------------------------------------------------------------------------
// Random weights

namespace {

std::uint32_t randomSeed = 1;

}  // namespace

int RuvoRandom() {
    randomSeed = randomSeed * 22695477u + 1u;  // unsigned: wraps modulo 2^32
    return static_cast<int>((randomSeed >> 16) & 32767u);
}

void ResetRandomGenerator() {
    randomSeed = 1;
}

std::uint32_t GetRandomSeed() {
    return randomSeed;
}

double RandomWeight(double min, double max) {
    // Extended precision for the factor and the products; one rounding to double at the end. The
    // modulus 32767 makes r = 32767 give min again, so the value stays below max.
    const long double factor = 1.0L / 32767.0L;
    const long double r = static_cast<long double>(RuvoRandom() % 32767);
    const long double value =
        static_cast<long double>(min) +
        (r * factor) * (static_cast<long double>(max) - static_cast<long double>(min));
    return static_cast<double>(value);
}

// ---------------------------------------------------------------------------------------------
// TBasicConnections: the defaults, built on the visitors

TBasicConnections::TBasicConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : network(net), from(fromLayer), to(toLayer) {}

TBasicConnections::~TBasicConnections() = default;

int TBasicConnections::NumFrom() const {
    return network->layers[from]->numNeurons;
}

int TBasicConnections::NumTo() const {
    return network->layers[to]->numNeurons;
}

void TBasicConnections::CheckArc(int f, int t) const {
    RUVO_CHECK_TEXT(0 <= f && f < NumFrom() && 0 <= t && t < NumTo(),
                    "0 <= from < n_from && 0 <= to < n_to");
}

bool TBasicConnections::IsConnected() const {
    return true;
}

int TBasicConnections::GetNumWeights(int mask) {
    TIterateObjGetNumWeights visitor;
    IterateArcs(visitor, mask);
    return visitor.count;
}

int TBasicConnections::GetWeights(double* buffer, int mask) {
    TIterateObjGetWeights visitor(buffer);
    IterateArcs(visitor, mask);
    return visitor.count;
}

int TBasicConnections::SetWeights(const double* buffer, int mask) {
    TIterateObjSetWeights visitor(buffer);
    IterateArcs(visitor, mask);
    return visitor.count;
}

void TBasicConnections::RandomizeWeights(double min, double max) {
    TIterateObjRandomize visitor(min, max);
    IterateArcs(visitor, 0);
}

void TBasicConnections::Propagate(double* net) {
    TIterateObjAggregate visitor;
    const int nTo = NumTo();
    for (int t = 0; t < nTo; ++t) {
        visitor.sum = 0.0;
        IterateInArcs(visitor, t, FMaskExists);
        net[t] += visitor.sum;
    }
}

bool TBasicConnections::IsTrainable(int f, int t) const {
    return IsValid(f, t);
}

void TBasicConnections::PruneWeight(int, int) {
    RUVO_CHECK_TEXT(false, "false");
}

void TBasicConnections::AddWeight(int, int) {
    RUVO_CHECK_TEXT(false, "false");
}

void TBasicConnections::UnfreezeWeight(int, int) {
    RUVO_CHECK_TEXT(false, "false");
}

void TBasicConnections::FreezeWeight(int, int) {
    RUVO_CHECK_TEXT(false, "false");
}

char TBasicConnections::GetFlags(int, int) const {
    return static_cast<char>(FMaskAll);
}

void TBasicConnections::SetFlags(int, int, char val) {
    RUVO_CHECK_TEXT((val == FMaskAll) || (val == FMaskExists),
                    "(val==FMaskAll) || (val==FMaskExists)");
}

void TBasicConnections::InsertFromNeuron(int, double, double, bool) {
    RUVO_CHECK_TEXT(false, "false");
}

void TBasicConnections::InsertToNeuron(int, double, double, bool) {
    RUVO_CHECK_TEXT(false, "false");
}

char* TBasicConnections::GetAllFlags() {
    std::unique_ptr<char[]> flags(new char[GetNumWeights(FMaskExists)]);
    TIterateObjGetFlags visitor(flags.get());
    IterateArcs(visitor, FMaskExists);
    return flags.release();
}

void TBasicConnections::SetAllFlags(const unsigned char* flags) {
    TIterateObjSetFlags visitor(flags);
    IterateArcs(visitor, FMaskExists);
}

void TBasicConnections::FreezeAll() {
    TIterateObjAllUntrainable visitor;
    IterateArcs(visitor, FMaskExists);
}

// ---------------------------------------------------------------------------------------------
// TEmptyConnections

TEmptyConnections::TEmptyConnections(TBasicNetwork* net, int fromLayer, int toLayer)
    : TBasicConnections(net, fromLayer, toLayer) {}

bool TEmptyConnections::IsConnected() const {
    return false;
}

int TEmptyConnections::GetNumWeights(int) {
    return 0;
}

int TEmptyConnections::GetWeights(double*, int) {
    return 0;
}

int TEmptyConnections::SetWeights(const double*, int) {
    return 0;
}

void TEmptyConnections::RandomizeWeights(double, double) {}

double* TEmptyConnections::GetWeight(int, int) {
    RUVO_CHECK_TEXT(false, "false");
    return nullptr;
}

void TEmptyConnections::Propagate(double*) {}

bool TEmptyConnections::IsValid(int, int) const {
    return false;
}

void TEmptyConnections::IterateInArcs(TIterateObj&, int, int) {}

void TEmptyConnections::IterateOutArcs(TIterateObj&, int, int) {}

void TEmptyConnections::IterateArcs(TIterateObj&, int) {}

void TEmptyConnections::IterateArcs2(TIterateObj2&, TBasicNetwork*, int) {}

void TEmptyConnections::IterateArcs3(TIterateObj3&, TBasicNetwork*, TBasicNetwork*, int) {}

const char* TEmptyConnections::GetConnectionsNType() const {
    return "Empty";
}

void TEmptyConnections::Destroy() {
    delete this;
}

TBasicConnections* TEmptyConnections::Clone(TBasicNetwork* net) const {
    TBasicConnections* x = new TEmptyConnections(net, from, to);
    RUVO_CHECK_TEXT(x != nullptr, "x!=NULL");
    return x;
}

void TEmptyConnections::DeleteFromNeuron(int) {}

void TEmptyConnections::DeleteToNeuron(int) {}

void TEmptyConnections::InsertFromNeuron(int, double, double, bool) {}

void TEmptyConnections::InsertToNeuron(int, double, double, bool) {}

}  // namespace ruvo
