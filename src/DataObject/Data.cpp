#include "DataObject/Data.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"

namespace ruvo {

namespace {

constexpr const char* kBadParameter = "Bad Parameter";
constexpr const char* kInvalidRow = "Invalid Data Row";
constexpr const char* kInvalidInputColumn = "Invalid Input Data Column";
constexpr const char* kInvalidOutputColumn = "Invalid Output Data Column";

[[noreturn]] void Raise(const char* message, const char* location) {
    throw TException(message, kBadParameter, location, nullptr);
}

char* CopyName(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(name);
    char* copy = new char[length + 1];
    std::memcpy(copy, name, length + 1);
    return copy;
}

// Zeroed storage for rows x columns doubles, or null when there are no values. calloc leaves
// untouched pages unmapped, so a capacity larger than the rows finally stored costs little.
double* AllocateValues(int rows, int columns) {
    if (rows <= 0 || columns <= 0) {
        return nullptr;
    }
    const std::size_t count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns);
    if (count > static_cast<std::size_t>(PTRDIFF_MAX) / sizeof(double)) {
        Raise("Data Set Too Large", "Data::Data");
    }
    double* values = static_cast<double*>(std::calloc(count, sizeof(double)));
    if (values == nullptr) {
        Raise("Data Set Too Large", "Data::Data");
    }
    return values;
}

// True when count (>= 0) columns, each within 0 ... limit - 1; a list may repeat columns.
bool IsValidColumnList(int count, const int* columns, int limit) {
    if (count < 0 || (count > 0 && columns == nullptr)) {
        return false;
    }
    for (int k = 0; k < count; ++k) {
        if (columns[k] < 0 || columns[k] >= limit) {
            return false;
        }
    }
    return true;
}

int* CopyColumns(int count, const int* columns) {
    if (count <= 0) {
        return nullptr;
    }
    int* copy = new int[static_cast<std::size_t>(count)];
    std::memcpy(copy, columns, static_cast<std::size_t>(count) * sizeof(int));
    return copy;
}

// Copies count values of row into buffer; with a selection, buffer[k] = row[columns[k]].
inline void Deliver(const double* row, int count, int selCount, const int* sel, double* buffer) {
    if (buffer == nullptr) {
        return;
    }
    if (selCount > 0) {
        for (int k = 0; k < selCount; ++k) {
            buffer[k] = row[sel[k]];
        }
    } else if (count > 0) {
        std::memcpy(buffer, row, static_cast<std::size_t>(count) * sizeof(double));
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TLabel

TLabel::TLabel() : weight(0.0), name(nullptr) {}

TLabel::TLabel(const char* labelName, double labelWeight)
    : weight(labelWeight), name(CopyName(labelName)) {}

TLabel::TLabel(const TLabel& other) : weight(other.weight), name(CopyName(other.name)) {}

TLabel& TLabel::operator=(const TLabel& other) {
    if (this == &other) {
        return *this;
    }
    char* copy = CopyName(other.name);
    delete[] name;
    name = copy;
    weight = other.weight;
    return *this;
}

TLabel::~TLabel() {
    delete[] name;
}

// ---------------------------------------------------------------------------------------------
// TLabelList

TLabelList::TLabelList() : count(0), labels(nullptr) {}

TLabelList::TLabelList(const char* name, double weight) : count(0), labels(nullptr) {
    Add(name, weight);
}

TLabelList::TLabelList(const TLabelList& other) : count(0), labels(nullptr) {
    if (other.count > 0) {
        std::unique_ptr<TLabel[]> copy(new TLabel[static_cast<std::size_t>(other.count)]);
        for (int i = 0; i < other.count; ++i) {
            copy[i] = other.labels[i];
        }
        labels = copy.release();
        count = other.count;
    }
}

TLabelList& TLabelList::operator=(const TLabelList& other) {
    if (this == &other) {
        return *this;
    }
    TLabelList copy(other);
    Clear();
    labels = copy.labels;
    count = copy.count;
    copy.labels = nullptr;
    copy.count = 0;
    return *this;
}

TLabelList::~TLabelList() {
    Clear();
}

void TLabelList::Clear() {
    delete[] labels;
    labels = nullptr;
    count = 0;
}

void TLabelList::Add(const char* name, double weight) {
    RUVO_CHECK(name != nullptr);
    for (int i = 0; i < count; ++i) {
        if (std::strcmp(labels[i].name, name) == 0) {
            labels[i].weight += weight;
            return;
        }
    }
    // One longer array: the existing labels move over (their names change hands, no copies).
    std::unique_ptr<TLabel[]> grown(new TLabel[static_cast<std::size_t>(count) + 1]);
    grown[count].name = CopyName(name);
    grown[count].weight = weight;
    for (int i = 0; i < count; ++i) {
        grown[i].weight = labels[i].weight;
        grown[i].name = labels[i].name;
        labels[i].name = nullptr;
    }
    delete[] labels;
    labels = grown.release();
    ++count;
}

// ---------------------------------------------------------------------------------------------
// Data: construction

Data::Data(int rows, int inputs, int outputs, bool hasLabels)
    : MbrDyaRtpInputs(nullptr),
      MbrDyaRtpOutputs(nullptr),
      MbrDyaLabels(nullptr),
      MbrNdxRows(rows),
      MbrNdxDataRows(0),
      MbrNdxInputs(inputs > 0 ? inputs : 0),
      MbrNdxOutputs(outputs > 0 ? outputs : 0),
      MbrHasLabels(hasLabels),
      MbrNdxFirst(0),
      MbrNdxLast(0),
      MbrNdxCurrent(0),
      MbrNdxInputSel(0),
      MbrDyaInputSel(nullptr),
      MbrNdxOutputSel(0),
      MbrDyaOutputSel(nullptr) {
    RUVO_CHECK(rows >= 0);
    try {
        MbrDyaRtpInputs = AllocateValues(MbrNdxRows, MbrNdxInputs);
        MbrDyaRtpOutputs = AllocateValues(MbrNdxRows, MbrNdxOutputs);
        if (MbrHasLabels && MbrNdxRows > 0) {
            MbrDyaLabels = new (std::nothrow) TLabelList[static_cast<std::size_t>(MbrNdxRows)];
            if (MbrDyaLabels == nullptr) {
                Raise("Data Set Too Large", "Data::Data");
            }
        }
    } catch (...) {
        // Release what was allocated before the failure; the destructor does not run for a
        // constructor that throws.
        ReleaseAll();
        throw;
    }
}

Data::Data(const Data& other)
    : MbrDyaRtpInputs(nullptr),
      MbrDyaRtpOutputs(nullptr),
      MbrDyaLabels(nullptr),
      MbrNdxRows(other.MbrNdxRows),
      MbrNdxDataRows(other.MbrNdxDataRows),
      MbrNdxInputs(other.MbrNdxInputs),
      MbrNdxOutputs(other.MbrNdxOutputs),
      MbrHasLabels(other.MbrHasLabels),
      MbrNdxFirst(other.MbrNdxFirst),
      MbrNdxLast(other.MbrNdxLast),
      MbrNdxCurrent(other.MbrNdxCurrent),
      MbrNdxInputSel(0),
      MbrDyaInputSel(nullptr),
      MbrNdxOutputSel(0),
      MbrDyaOutputSel(nullptr) {
    try {
        const std::size_t rows = static_cast<std::size_t>(MbrNdxRows);
        MbrDyaRtpInputs = AllocateValues(MbrNdxRows, MbrNdxInputs);
        if (MbrDyaRtpInputs != nullptr) {
            std::memcpy(MbrDyaRtpInputs, other.MbrDyaRtpInputs,
                        rows * static_cast<std::size_t>(MbrNdxInputs) * sizeof(double));
        }
        MbrDyaRtpOutputs = AllocateValues(MbrNdxRows, MbrNdxOutputs);
        if (MbrDyaRtpOutputs != nullptr) {
            std::memcpy(MbrDyaRtpOutputs, other.MbrDyaRtpOutputs,
                        rows * static_cast<std::size_t>(MbrNdxOutputs) * sizeof(double));
        }
        if (other.MbrDyaLabels != nullptr) {
            MbrDyaLabels = new TLabelList[rows];
            for (std::size_t i = 0; i < rows; ++i) {
                MbrDyaLabels[i] = other.MbrDyaLabels[i];
            }
        }
        MbrDyaInputSel = CopyColumns(other.MbrNdxInputSel, other.MbrDyaInputSel);
        MbrNdxInputSel = other.MbrNdxInputSel;
        MbrDyaOutputSel = CopyColumns(other.MbrNdxOutputSel, other.MbrDyaOutputSel);
        MbrNdxOutputSel = other.MbrNdxOutputSel;
    } catch (...) {
        ReleaseAll();
        throw;
    }
}

Data::~Data() {
    ReleaseAll();
}

void Data::ReleaseAll() {
    std::free(MbrDyaRtpInputs);
    MbrDyaRtpInputs = nullptr;
    std::free(MbrDyaRtpOutputs);
    MbrDyaRtpOutputs = nullptr;
    delete[] MbrDyaLabels;
    MbrDyaLabels = nullptr;
    delete[] MbrDyaInputSel;
    MbrDyaInputSel = nullptr;
    MbrNdxInputSel = 0;
    delete[] MbrDyaOutputSel;
    MbrDyaOutputSel = nullptr;
    MbrNdxOutputSel = 0;
}

Data* Data::Clone() const {
    return new Data(*this);
}

// ---------------------------------------------------------------------------------------------
// Data: single values and rows

bool Data::IsValidRow(int row) const {
    if (row < 0 || row >= MbrNdxRows) {
        return false;
    }
    if (MbrNdxFirst <= MbrNdxLast) {
        return row >= MbrNdxFirst && row <= MbrNdxLast;
    }
    // Wrapped ring: the rows held run from MbrNdxFirst to the top slot and from 0 to MbrNdxLast.
    return row >= MbrNdxFirst || row <= MbrNdxLast;
}

void Data::CheckRow(int row, const char* location) const {
    if (!IsValidRow(row)) {
        Raise(kInvalidRow, location);
    }
}

void Data::GetInputDatum(int row, int col, double* value) const {
    CheckRow(row, "Data::GetInputDatum");
    if (col < 0 || col >= MbrNdxInputs) {
        Raise(kInvalidInputColumn, "Data::GetInputDatum");
    }
    *value = InputRow(row)[col];
}

void Data::GetOutputDatum(int row, int col, double* value) const {
    CheckRow(row, "Data::GetOutputDatum");
    if (col < 0 || col >= MbrNdxOutputs) {
        Raise(kInvalidOutputColumn, "Data::GetOutputDatum");
    }
    *value = OutputRow(row)[col];
}

void Data::SetInputDatum(int row, int col, double value) {
    CheckRow(row, "Data::SetInputDatum");
    if (col < 0 || col >= MbrNdxInputs) {
        Raise(kInvalidInputColumn, "Data::SetInputDatum");
    }
    InputRow(row)[col] = value;
}

void Data::SetOutputDatum(int row, int col, double value) {
    CheckRow(row, "Data::SetOutputDatum");
    if (col < 0 || col >= MbrNdxOutputs) {
        Raise(kInvalidOutputColumn, "Data::SetOutputDatum");
    }
    OutputRow(row)[col] = value;
}

void Data::GetLabels(int row, TLabelList** list) {
    CheckRow(row, "Data::GetLabels");
    *list = MbrHasLabels ? &MbrDyaLabels[row] : nullptr;
}

void Data::SetLabels(int row, const TLabelList* list) {
    CheckRow(row, "Data::SetLabels");
    RUVO_CHECK(MbrHasLabels);
    if (list == nullptr) {
        MbrDyaLabels[row].Clear();
    } else {
        MbrDyaLabels[row] = *list;
    }
}

void Data::ClearLabels(int row) {
    CheckRow(row, "Data::ClearLabels");
    RUVO_CHECK(MbrHasLabels);
    MbrDyaLabels[row].Clear();
}

void Data::AppendLabel(int row, double weight, const char* name) {
    CheckRow(row, "Data::AppendLabel");
    RUVO_CHECK(MbrHasLabels);
    MbrDyaLabels[row].Add(name, weight);
}

void Data::SetRow(int row, const double* inputs, const double* outputs, const TLabelList* labels) {
    CheckRow(row, "Data::SetRow");
    if (inputs != nullptr && MbrNdxInputs > 0) {
        std::memcpy(InputRow(row), inputs, static_cast<std::size_t>(MbrNdxInputs) * sizeof(double));
    }
    if (outputs != nullptr && MbrNdxOutputs > 0) {
        std::memcpy(OutputRow(row), outputs,
                    static_cast<std::size_t>(MbrNdxOutputs) * sizeof(double));
    }
    if (MbrHasLabels) {
        SetLabels(row, labels);
    }
}

void Data::GetInputRow(int row, double* buffer) const {
    CheckRow(row, "Data::GetInputRow");
    Deliver(InputRow(row), MbrNdxInputs, 0, nullptr, buffer);
}

void Data::GetOutputRow(int row, double* buffer) const {
    CheckRow(row, "Data::GetOutputRow");
    Deliver(OutputRow(row), MbrNdxOutputs, 0, nullptr, buffer);
}

void Data::GetInputRow(int row, double* buffer, int count, const int* columns) const {
    CheckRow(row, "Data::GetInputRow");
    // The list may repeat columns (the caller sizes buffer by count), so only each column's range
    // is checked, not the count against the column count.
    if (!IsValidColumnList(count, columns, MbrNdxInputs)) {
        Raise(kInvalidInputColumn, "Data::GetInputRow");
    }
    if (count > 0) {
        Deliver(InputRow(row), MbrNdxInputs, count, columns, buffer);
    }
}

void Data::GetOutputRow(int row, double* buffer, int count, const int* columns) const {
    CheckRow(row, "Data::GetOutputRow");
    if (!IsValidColumnList(count, columns, MbrNdxOutputs)) {
        Raise(kInvalidOutputColumn, "Data::GetOutputRow");
    }
    if (count > 0) {
        Deliver(OutputRow(row), MbrNdxOutputs, count, columns, buffer);
    }
}

void Data::GetBlock(double** inputRows, double** outputRows, int from, int to, int* count) const {
    if (!IsValidRow(from)) {
        *count = 0;
        Raise("Data Block Fault", "Data::GetBlock");
    }
    if (to > MbrNdxLast) {
        to = MbrNdxLast;
    }
    int copied = 0;
    for (int slot = from; slot <= to; ++slot, ++copied) {
        if (inputRows != nullptr) {
            Deliver(InputRow(slot), MbrNdxInputs, 0, nullptr, inputRows[copied]);
        }
        if (outputRows != nullptr) {
            Deliver(OutputRow(slot), MbrNdxOutputs, 0, nullptr, outputRows[copied]);
        }
    }
    *count = copied;
}

// ---------------------------------------------------------------------------------------------
// Data: the ring

void Data::AppendRow(const double* inputs, const double* outputs, const TLabelList* labels) {
    RUVO_CHECK(MbrNdxDataRows <= MbrNdxRows);
    RUVO_CHECK(MbrNdxRows > 0);
    int slot;
    if (MbrNdxDataRows == 0) {
        slot = 0;
        MbrNdxDataRows = 1;
    } else if (MbrNdxDataRows < MbrNdxRows) {
        slot = MbrNdxDataRows;
        MbrNdxLast = slot;
        ++MbrNdxDataRows;
    } else {
        // Every slot is in use: the oldest row gives way to the new one.
        MbrNdxFirst = (MbrNdxFirst + 1) % MbrNdxRows;
        MbrNdxLast = (MbrNdxLast + 1) % MbrNdxRows;
        slot = MbrNdxLast;
    }
    SetRow(slot, inputs, outputs, labels);
}

void Data::AppendRows(const double* const* inputRows,
                      const double* const* outputRows,
                      int n,
                      const TLabelList* labelLists) {
    for (int i = 0; i < n; ++i) {
        AppendRow(inputRows != nullptr ? inputRows[i] : nullptr,
                  outputRows != nullptr ? outputRows[i] : nullptr,
                  labelLists != nullptr ? &labelLists[i] : nullptr);
    }
}

void Data::Rewind() {
    MbrNdxCurrent = MbrNdxLast;
}

void Data::MoveCursor(int step) {
    if (MbrNdxDataRows <= 0) {
        return;
    }
    if (MbrNdxDataRows == 1) {
        MbrNdxCurrent = MbrNdxFirst;
        return;
    }
    // Position of the cursor in the ring, counted from the oldest row; only the remainder of step
    // matters, which also keeps every sum below within int.
    const int held = MbrNdxDataRows;
    const int position = (MbrNdxCurrent - MbrNdxFirst + MbrNdxRows) % MbrNdxRows;
    int moved = (position + step % held) % held;
    if (moved < 0) {
        moved += held;
    }
    MbrNdxCurrent = (MbrNdxFirst + moved) % MbrNdxRows;
}

void Data::GetCurrent(double* inputs, double* outputs, TLabelList** labels) {
    RUVO_CHECK(MbrNdxRows > 0);
    const int slot = MbrNdxCurrent;
    Deliver(InputRow(slot), MbrNdxInputs, MbrNdxInputSel, MbrDyaInputSel, inputs);
    // An output selection applies only together with an input selection.
    const bool selectOutputs = MbrNdxInputSel > 0;
    Deliver(OutputRow(slot), MbrNdxOutputs, selectOutputs ? MbrNdxOutputSel : 0,
            selectOutputs ? MbrDyaOutputSel : nullptr, outputs);
    if (labels != nullptr) {
        *labels = MbrHasLabels ? &MbrDyaLabels[slot] : nullptr;
    }
}

void Data::GetNext(double* inputs, double* outputs, TLabelList** labels) {
    MoveCursor(1);
    GetCurrent(inputs, outputs, labels);
}

void Data::GetPrevious(double* inputs, double* outputs) {
    MoveCursor(-1);
    GetCurrent(inputs, outputs, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Data: selections

int Data::SelectInputs(int count, const int* columns) {
    if (!IsValidColumnList(count, columns, MbrNdxInputs)) {
        Raise(kInvalidInputColumn, "Data::SelectInputs");
    }
    int* copy = CopyColumns(count, columns);
    delete[] MbrDyaInputSel;
    MbrDyaInputSel = copy;
    MbrNdxInputSel = count;
    return count;
}

void Data::GetInputSelection(int* count, int** columns) const {
    *count = MbrNdxInputSel;
    *columns = CopyColumns(MbrNdxInputSel, MbrDyaInputSel);
}

void Data::SetSelections(int nIn, const int* inColumns, int nOut, const int* outColumns) {
    if (!IsValidColumnList(nIn, inColumns, MbrNdxInputs)) {
        Raise(kInvalidInputColumn, "Data::SetSelections");
    }
    if (!IsValidColumnList(nOut, outColumns, MbrNdxOutputs)) {
        Raise(kInvalidOutputColumn, "Data::SetSelections");
    }
    std::unique_ptr<int[]> inCopy(CopyColumns(nIn, inColumns));
    std::unique_ptr<int[]> outCopy(CopyColumns(nOut, outColumns));
    delete[] MbrDyaInputSel;
    MbrDyaInputSel = inCopy.release();
    MbrNdxInputSel = nIn;
    delete[] MbrDyaOutputSel;
    MbrDyaOutputSel = outCopy.release();
    MbrNdxOutputSel = nOut;
}

}  // namespace ruvo
