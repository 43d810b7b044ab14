#ifndef RUVO_DATAOBJECT_DATA_H
#define RUVO_DATAOBJECT_DATA_H

// The in-memory data set: a fixed number of row slots, each holding input values, output (target)
// values and, optionally, a list of weighted labels. The slots form a ring: rows are appended at
// the end, and once every slot is in use each new row replaces the oldest. A cursor walks the rows
// in ring order, one row per GetNext, optionally delivering only selected columns.

#include <cstddef>

namespace ruvo {

// One weighted label. The label owns its name.
class TLabel {
public:
    TLabel();  // weight 0, no name
    TLabel(const char* name, double weight);
    TLabel(const TLabel& other);
    TLabel& operator=(const TLabel& other);
    ~TLabel();

    double weight;
    char* name;  // owned copy; null only in a default-constructed label
};

// A list of labels with distinct names (compared exactly, with case). The list owns its array and
// every label in it; copies are deep.
class TLabelList {
public:
    TLabelList();  // empty: count 0, no array
    TLabelList(const char* name, double weight);
    TLabelList(const TLabelList& other);
    TLabelList& operator=(const TLabelList& other);
    ~TLabelList();

    // Adds weight to the label called name, or appends a new label (name, weight) at the end.
    // REQUIRES: name != NULL.
    void Add(const char* name, double weight);
    // Releases every label; the list becomes empty.
    void Clear();

    int count;
    TLabel* labels;  // count labels, null when count is 0
};

// Row numbers passed to the operations below are slot numbers (0 ... MbrNdxRows - 1). An operation
// that takes a row number raises TException "Invalid Data Row" ("Bad Parameter", located at the
// operation) unless IsValidRow(row); column numbers are checked after the row and raise "Invalid
// Input Data Column" or "Invalid Output Data Column". Nothing is changed before a check fails.
//
// Storage: the values are held compactly, one contiguous block per direction. The inputs of slot
// s are MbrDyaRtpInputs[s * MbrNdxInputs + c] for c = 0 ... MbrNdxInputs - 1, and likewise the
// outputs with MbrNdxOutputs; InputRow and OutputRow return the start of a slot's values.
//
// Selections: an input selection (MbrNdxInputSel > 0) makes row delivery hand over only the
// selected input columns, in selection order; an output selection (MbrNdxOutputSel > 0) does the
// same for the outputs, but only together with an input selection. A column may be selected more
// than once; a column outside the data set's range raises TException when the selection is made,
// so nothing is read outside a row. DeliveredInputs and DeliveredOutputs tell how many values one
// row delivery writes, for sizing the caller's buffers.
class Data {
public:
    // rows slots of zeroed inputs and outputs (negative column counts count as 0) and, with
    // labels, one empty label list per slot; holds no rows, no selection. A data set whose values
    // cannot be allocated raises TException "Data Set Too Large" at "Data::Data".
    // REQUIRES: rows >= 0.
    Data(int rows, int inputs, int outputs, bool hasLabels);
    virtual ~Data();

    // Moves the cursor one row forwards and delivers that row as GetCurrent does (the labels too,
    // with or without an input selection). Copies into caller buffers, never allocates.
    // REQUIRES: MbrNdxRows > 0.
    virtual void GetNext(double* inputs, double* outputs, TLabelList** labels = nullptr);

    Data& operator=(const Data&) = delete;

    // True when 0 <= row < MbrNdxRows and the slot lies in the ring of rows held, going upwards
    // from MbrNdxFirst to MbrNdxLast and wrapping at the top. Slot 0 of a fresh data set counts as
    // held (MbrNdxFirst and MbrNdxLast are both 0) and reads zeros.
    bool IsValidRow(int row) const;

    void GetInputDatum(int row, int col, double* value) const;
    void GetOutputDatum(int row, int col, double* value) const;
    void SetInputDatum(int row, int col, double value);
    void SetOutputDatum(int row, int col, double value);

    // *list = the slot's own label list (not a copy; it stays owned by the data set), or null when
    // the data set has no labels.
    void GetLabels(int row, TLabelList** list);
    // The label operations below REQUIRE a data set constructed with labels.
    // The slot's labels become a copy of list; a null list empties them.
    void SetLabels(int row, const TLabelList* list);
    void ClearLabels(int row);
    // Adds weight to the slot's label called name (exact comparison), or appends (name, weight).
    void AppendLabel(int row, double weight, const char* name);

    // Copies all inputs when inputs is given and all outputs when outputs is given; with labels,
    // the slot's labels become a copy of labels (empty when null).
    void SetRow(int row, const double* inputs, const double* outputs, const TLabelList* labels);

    // Copies all inputs (outputs) of the slot into buffer.
    void GetInputRow(int row, double* buffer) const;
    void GetOutputRow(int row, double* buffer) const;
    // Copies the given columns, in the given order: buffer[k] = column columns[k]. Every column is
    // checked against the column count first ("Invalid Input Data Column" / "Invalid Output Data
    // Column", as is a negative count).
    void GetInputRow(int row, double* buffer, int count, const int* columns) const;
    void GetOutputRow(int row, double* buffer, int count, const int* columns) const;

    // Copies slots from ... min(to, MbrNdxLast) in slot order, slot from + k into inputRows[k] and
    // outputRows[k] (a null array is skipped), and sets *count to the number of slots copied (0
    // when the upper end lies below from). A from that is not a valid row sets *count to 0 and
    // raises "Data Block Fault".
    void GetBlock(double** inputRows, double** outputRows, int from, int to, int* count) const;

    // Adds a row at the end of the ring, replacing the oldest row once every slot is in use. A
    // null inputs or outputs leaves the slot's old values; with labels, the slot's labels become a
    // copy of labels, or empty when none is given (labels are ignored without the label flag).
    // REQUIRES: MbrNdxRows > 0.
    void AppendRow(const double* inputs, const double* outputs, const TLabelList* labels);
    // AppendRow for i = 0 ... n - 1 with inputRows[i], outputRows[i] and labelLists[i]; a null
    // array gives null for every row.
    void AppendRows(const double* const* inputRows,
                    const double* const* outputRows,
                    int n,
                    const TLabelList* labelLists);

    // Sets the cursor to the newest row, so that the next GetNext delivers the oldest.
    void Rewind();
    // Moves the cursor step rows along the ring of rows held (backwards for a negative step),
    // wrapping between the newest and the oldest row. Without rows held the cursor stays.
    void MoveCursor(int step);
    // Copies the cursor row into the buffers (a null buffer is skipped): the selected input
    // columns or all inputs; the selected output columns when both selections are set, otherwise
    // all outputs; and, when labels is given, sets *labels as GetLabels does.
    // REQUIRES: MbrNdxRows > 0.
    void GetCurrent(double* inputs, double* outputs, TLabelList** labels);
    // Moves the cursor one row backwards and delivers inputs and outputs as GetCurrent.
    void GetPrevious(double* inputs, double* outputs);

    // Replaces the input selection by a copy of columns (count 0 removes it) and returns count.
    // Raises "Invalid Input Data Column" at "Data::SelectInputs", keeping the old selection, when
    // count is negative or a column lies outside the inputs.
    int SelectInputs(int count, const int* columns);
    // *count and a new copy of the input selection (null when there is none); the caller releases
    // it with delete[].
    void GetInputSelection(int* count, int** columns) const;
    // Sets both selections to copies; checked like SelectInputs (location "Data::SetSelections")
    // before either is changed.
    void SetSelections(int nIn, const int* inColumns, int nOut, const int* outColumns);

    // A new data set, owned by the caller, equal to this one: capacity, columns, label flag, ring
    // counters, cursor, rows, label lists and selections.
    Data* Clone() const;

    // The start of slot's values; null when the data set has no such columns.
    // REQUIRES: 0 <= slot < MbrNdxRows.
    // Number of input and output values one row delivery writes.
    int DeliveredInputs() const { return MbrNdxInputSel > 0 ? MbrNdxInputSel : MbrNdxInputs; }
    int DeliveredOutputs() const {
        return MbrNdxInputSel > 0 && MbrNdxOutputSel > 0 ? MbrNdxOutputSel : MbrNdxOutputs;
    }

    double* InputRow(int slot) const {
        return MbrDyaRtpInputs == nullptr
                   ? nullptr
                   : MbrDyaRtpInputs + static_cast<std::size_t>(slot) * MbrNdxInputs;
    }
    double* OutputRow(int slot) const {
        return MbrDyaRtpOutputs == nullptr
                   ? nullptr
                   : MbrDyaRtpOutputs + static_cast<std::size_t>(slot) * MbrNdxOutputs;
    }

    double* MbrDyaRtpInputs;   // MbrNdxRows x MbrNdxInputs values, row by row; null without inputs
    double* MbrDyaRtpOutputs;  // MbrNdxRows x MbrNdxOutputs values; null without outputs
    TLabelList* MbrDyaLabels;  // MbrNdxRows lists; null unless MbrHasLabels
    int MbrNdxRows;            // number of slots (capacity)
    int MbrNdxDataRows;        // slots holding rows, at most MbrNdxRows
    int MbrNdxInputs;
    int MbrNdxOutputs;
    bool MbrHasLabels;
    int MbrNdxFirst;      // slot of the oldest row
    int MbrNdxLast;       // slot of the newest row
    int MbrNdxCurrent;    // the cursor: slot of the row last delivered
    int MbrNdxInputSel;   // selected input columns; 0 = no selection
    int* MbrDyaInputSel;  // selected input column numbers (from 0), in delivery order
    int MbrNdxOutputSel;  // selected output columns; 0 = no selection
    int* MbrDyaOutputSel;

protected:
    // Deep copy, used by Clone.
    Data(const Data& other);

private:
    void CheckRow(int row, const char* location) const;
    void ReleaseAll();
};

}  // namespace ruvo

#endif
