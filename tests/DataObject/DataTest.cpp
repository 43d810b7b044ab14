#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "KQmessage/KQML.h"

namespace ruvo {
namespace {

// Row k (counted from 1 in append order) holds the inputs k, 10k, 100k, 1000k (as many as the data
// set has) and the outputs -k, -10k, so every delivered value tells which row it came from.
std::vector<double> InputsOf(int k, int inputs) {
    std::vector<double> values;
    double scale = 1.0;
    for (int c = 0; c < inputs; ++c, scale *= 10.0) {
        values.push_back(k * scale);
    }
    return values;
}

std::vector<double> OutputsOf(int k, int outputs) {
    std::vector<double> values;
    double scale = 1.0;
    for (int c = 0; c < outputs; ++c, scale *= 10.0) {
        values.push_back(-k * scale);
    }
    return values;
}

// A data set of capacity slots with rows 1 ... appended appended in that order.
std::unique_ptr<Data> Filled(
    int capacity, int appended, int inputs = 2, int outputs = 1, bool labels = false) {
    auto data = std::make_unique<Data>(capacity, inputs, outputs, labels);
    for (int k = 1; k <= appended; ++k) {
        data->AppendRow(InputsOf(k, inputs).data(), OutputsOf(k, outputs).data(), nullptr);
    }
    return data;
}

// The row number (from 1) whose values GetNext / GetCurrent delivered.
int RowOfDelivered(const std::vector<double>& inputs) {
    return static_cast<int>(inputs[0]);
}

int NextRow(Data* data) {
    std::vector<double> inputs(static_cast<std::size_t>(data->MbrNdxInputs));
    data->GetNext(inputs.data(), nullptr);
    return RowOfDelivered(inputs);
}

// Runs call and checks that it raises TException with the given message and location, the kind
// "Bad Parameter" and no structure.
void ExpectBadParameter(const std::function<void()>& call,
                        const std::string& message,
                        const std::string& location) {
    try {
        call();
        ADD_FAILURE() << "no exception, expected " << message;
    } catch (const TException& e) {
        EXPECT_EQ(message, e.message);
        ASSERT_NE(nullptr, e.kind);
        EXPECT_STREQ("Bad Parameter", e.kind);
        ASSERT_NE(nullptr, e.location);
        EXPECT_EQ(location, e.location);
        EXPECT_EQ(nullptr, e.structure);
    }
}

// ---------------------------------------------------------------------------------------------
// The ring of row slots

struct RingRow {
    int capacity;
    int appended;
    int first;
    int last;
    int dataRows;
    std::vector<int> rowInSlot;  // row number held by each slot, 0 for a slot holding none
};

TEST(DataRingTest, AppendFillsSlotsThenReplacesTheOldest) {
    const RingRow kRows[] = {
        {3, 0, 0, 0, 0, {0, 0, 0}},  // fresh: slot 0 counts as held and reads zeros
        {3, 2, 0, 1, 2, {1, 2, 0}},       {3, 3, 0, 2, 3, {1, 2, 3}},
        {3, 4, 1, 0, 3, {4, 2, 3}},  // A B C D: holds B, C, D
        {3, 5, 2, 1, 3, {4, 5, 3}},       {3, 6, 0, 2, 3, {4, 5, 6}},
        {5, 2, 0, 1, 2, {1, 2, 0, 0, 0}}, {1, 3, 0, 0, 1, {3}},
    };
    for (const RingRow& row : kRows) {
        SCOPED_TRACE(testing::Message()
                     << "capacity " << row.capacity << ", appended " << row.appended);
        auto data = Filled(row.capacity, row.appended);
        EXPECT_EQ(row.first, data->MbrNdxFirst);
        EXPECT_EQ(row.last, data->MbrNdxLast);
        EXPECT_EQ(row.dataRows, data->MbrNdxDataRows);
        EXPECT_FALSE(data->IsValidRow(-1));
        EXPECT_FALSE(data->IsValidRow(row.capacity));
        for (int slot = 0; slot < row.capacity; ++slot) {
            SCOPED_TRACE(testing::Message() << "slot " << slot);
            const int held = row.rowInSlot[static_cast<std::size_t>(slot)];
            const bool valid = held != 0 || (row.appended == 0 && slot == 0);
            EXPECT_EQ(valid, data->IsValidRow(slot));
            if (valid) {
                double input = -1.0;
                double output = -1.0;
                data->GetInputDatum(slot, 1, &input);
                data->GetOutputDatum(slot, 0, &output);
                EXPECT_EQ(10.0 * held, input);
                EXPECT_EQ(-1.0 * held, output);
            }
        }
    }
}

TEST(DataRingTest, NullVectorsKeepTheOverwrittenSlotsValues) {
    auto data = Filled(2, 2);
    const std::vector<double> inputs = {7.0, 70.0};
    data->AppendRow(inputs.data(), nullptr, nullptr);  // replaces row 1 in slot 0
    double value = 0.0;
    data->GetInputDatum(0, 1, &value);
    EXPECT_EQ(70.0, value);
    data->GetOutputDatum(0, 0, &value);
    EXPECT_EQ(-1.0, value);  // row 1's output stays
}

TEST(DataRingTest, AppendRowsTakesTheIthVectorsAndLabels) {
    Data data(3, 1, 1, true);
    const double in0[] = {1.0};
    const double in1[] = {2.0};
    const double out0[] = {-1.0};
    const double out1[] = {-2.0};
    const double* inputRows[] = {in0, in1};
    const double* outputRows[] = {out0, out1};
    TLabelList lists[2];
    lists[1].Add("b", 2.0);
    data.AppendRows(inputRows, outputRows, 2, lists);
    EXPECT_EQ(2, data.MbrNdxDataRows);
    double value = 0.0;
    data.GetInputDatum(1, 0, &value);
    EXPECT_EQ(2.0, value);
    data.GetOutputDatum(0, 0, &value);
    EXPECT_EQ(-1.0, value);
    TLabelList* list = nullptr;
    data.GetLabels(0, &list);
    EXPECT_EQ(0, list->count);
    data.GetLabels(1, &list);
    ASSERT_EQ(1, list->count);
    EXPECT_STREQ("b", list->labels[0].name);

    data.AppendRows(nullptr, nullptr, 1, nullptr);  // a row with zeroed values and no labels
    EXPECT_EQ(3, data.MbrNdxDataRows);
    data.GetInputDatum(2, 0, &value);
    EXPECT_EQ(0.0, value);
}

TEST(DataRingTest, ColumnCountsAndCapacityEdges) {
    Data negative(2, -3, -1, false);
    EXPECT_EQ(0, negative.MbrNdxInputs);
    EXPECT_EQ(0, negative.MbrNdxOutputs);
    EXPECT_EQ(nullptr, negative.MbrDyaRtpInputs);
    EXPECT_EQ(nullptr, negative.MbrDyaRtpOutputs);
    negative.AppendRow(nullptr, nullptr, nullptr);
    negative.Rewind();
    negative.GetNext(nullptr, nullptr);  // nothing to copy, nothing read

    Data empty(0, 2, 1, true);
    EXPECT_FALSE(empty.IsValidRow(0));
    EXPECT_EQ(nullptr, empty.MbrDyaLabels);

    // A capacity whose values cannot be held is reported, not a crash.
    ExpectBadParameter([] { Data huge(INT_MAX, INT_MAX, 0, false); }, "Data Set Too Large",
                       "Data::Data");
}

// ---------------------------------------------------------------------------------------------
// The cursor

struct CursorRow {
    int capacity;
    int appended;
    std::vector<int> nextRows;  // rows delivered by successive GetNext after Rewind
};

TEST(DataCursorTest, GetNextAfterRewindWalksTheRingFromTheOldestRow) {
    const CursorRow kRows[] = {
        {3, 3, {1, 2, 3, 1}},                     // a full ring filled from slot 0
        {3, 4, {2, 3, 4, 2}},                     // wrapped: the oldest row sits in slot 1
        {3, 5, {3, 4, 5, 3}}, {5, 2, {1, 2, 1}},  // free slots are skipped
        {1, 3, {3, 3}},                           // one row held
    };
    for (const CursorRow& row : kRows) {
        SCOPED_TRACE(testing::Message()
                     << "capacity " << row.capacity << ", appended " << row.appended);
        auto data = Filled(row.capacity, row.appended);
        NextRow(data.get());  // the cursor persists; Rewind must start over regardless
        data->Rewind();
        for (int expected : row.nextRows) {
            EXPECT_EQ(expected, NextRow(data.get()));
        }
    }
}

struct MoveRow {
    int step;
    int expectedRow;  // from a rewound cursor on rows 2, 3, 4 in slots 1, 2, 0
};

TEST(DataCursorTest, MoveCursorWrapsByTheRemainderOfTheStep) {
    const MoveRow kRows[] = {
        {0, 4},       {1, 2},  {2, 3}, {3, 4},  {4, 2},       {-1, 3},
        {-2, 2},      {-3, 4}, {7, 2}, {-7, 3}, {INT_MAX, 2},  // INT_MAX % 3 == 1
        {INT_MIN, 2},                                          // INT_MIN % 3 == -2
    };
    for (const MoveRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << "step " << row.step);
        auto data = Filled(3, 4);
        data->Rewind();
        data->MoveCursor(row.step);
        std::vector<double> inputs(2);
        data->GetCurrent(inputs.data(), nullptr, nullptr);
        EXPECT_EQ(row.expectedRow, RowOfDelivered(inputs));
    }
}

TEST(DataCursorTest, GetPreviousWalksBackwards) {
    auto data = Filled(3, 4);
    data->Rewind();
    std::vector<double> inputs(2);
    std::vector<double> outputs(1);
    std::vector<int> delivered;
    for (int i = 0; i < 4; ++i) {
        data->GetPrevious(inputs.data(), outputs.data());
        delivered.push_back(RowOfDelivered(inputs));
        EXPECT_EQ(-inputs[0], outputs[0]);
    }
    EXPECT_EQ((std::vector<int>{3, 2, 4, 3}), delivered);
}

TEST(DataCursorTest, FreshDataSetDeliversZerosFromSlotZero) {
    Data data(2, 2, 1, false);
    std::vector<double> inputs = {5.0, 5.0};
    std::vector<double> outputs = {5.0};
    data.Rewind();
    data.GetNext(inputs.data(), outputs.data());
    EXPECT_EQ((std::vector<double>{0.0, 0.0}), inputs);
    EXPECT_EQ((std::vector<double>{0.0}), outputs);
    EXPECT_EQ(0, data.MbrNdxCurrent);
}

// ---------------------------------------------------------------------------------------------
// Selections

constexpr double kUntouched = 123.0;

struct SelectionRow {
    const char* name;
    std::vector<int> inputSel;
    std::vector<int> outputSel;
    std::vector<double> inputs;  // delivered values followed by untouched buffer slots
    std::vector<double> outputs;
};

TEST(DataSelectionTest, DeliveryFollowsTheSelections) {
    // Row 2 of a data set with 4 inputs (2, 20, 200, 2000) and 2 outputs (-2, -20).
    const SelectionRow kRows[] = {
        {"none", {}, {}, {2, 20, 200, 2000}, {-2, -20}},
        {"inputs 3, 1", {3, 1}, {}, {2000, 20, kUntouched, kUntouched}, {-2, -20}},
        {"repeated input", {0, 0, 2}, {}, {2, 2, 200, kUntouched}, {-2, -20}},
        {"inputs and outputs",
         {2},
         {1},
         {200, kUntouched, kUntouched, kUntouched},
         {-20, kUntouched}},
        // An output selection is used only together with an input selection.
        {"outputs only", {}, {1}, {2, 20, 200, 2000}, {-2, -20}},
    };
    for (const SelectionRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto data = Filled(3, 3, 4, 2);
        data->SetSelections(static_cast<int>(row.inputSel.size()), row.inputSel.data(),
                            static_cast<int>(row.outputSel.size()), row.outputSel.data());
        data->Rewind();
        data->MoveCursor(1);
        std::vector<double> inputs(4, kUntouched);
        std::vector<double> outputs(2, kUntouched);
        data->GetNext(inputs.data(), outputs.data());
        EXPECT_EQ(row.inputs, inputs);
        EXPECT_EQ(row.outputs, outputs);
        // The delivered counts tell exactly how much of each buffer was written.
        EXPECT_EQ(data->DeliveredInputs(), std::count_if(row.inputs.begin(), row.inputs.end(),
                                                         [](double v) { return v != kUntouched; }));
        EXPECT_EQ(data->DeliveredOutputs(),
                  std::count_if(row.outputs.begin(), row.outputs.end(),
                                [](double v) { return v != kUntouched; }));
    }
}

TEST(DataSelectionTest, ASelectionMayNameMoreColumnsThanTheDataSetHas) {
    auto data = Filled(2, 2, 2, 1);
    const int columns[] = {0, 1, 1};
    EXPECT_EQ(3, data->SelectInputs(3, columns));
    data->Rewind();
    std::vector<double> inputs(3);
    std::vector<double> outputs(1);
    data->GetNext(inputs.data(), outputs.data());
    EXPECT_EQ((std::vector<double>{1, 10, 10}), inputs);
    EXPECT_EQ(3, data->DeliveredInputs());
}

TEST(DataSelectionTest, SelectInputsCopiesAndReportsTheSelection) {
    auto data = Filled(2, 2, 4, 1);
    std::vector<int> columns = {3, 1};
    EXPECT_EQ(2, data->SelectInputs(2, columns.data()));
    columns[0] = 0;  // the data set holds its own copy
    data->Rewind();
    std::vector<double> inputs(2);
    std::vector<double> outputs(1);
    data->GetNext(inputs.data(), outputs.data());
    EXPECT_EQ((std::vector<double>{1000, 10}), inputs);
    EXPECT_EQ((std::vector<double>{-1}), outputs);

    int count = 0;
    int* copy = nullptr;
    data->GetInputSelection(&count, &copy);
    std::unique_ptr<int[]> owned(copy);
    ASSERT_EQ(2, count);
    EXPECT_EQ(3, copy[0]);
    EXPECT_EQ(1, copy[1]);

    EXPECT_EQ(0, data->SelectInputs(0, nullptr));  // count 0 removes the selection
    data->GetInputSelection(&count, &copy);
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, copy);
}

struct BadSelectionRow {
    const char* name;
    std::vector<int> inputSel;
    std::vector<int> outputSel;
    int inputCount;  // as passed; differs from inputSel.size() for a bad count
    const char* message;
};

TEST(DataSelectionTest, BadSelectionsAreRejectedAndTheOldOneKept) {
    // 4 inputs, 2 outputs.
    const BadSelectionRow kRows[] = {
        {"input column at the count", {4}, {}, 1, "Invalid Input Data Column"},
        {"negative input column", {-1}, {}, 1, "Invalid Input Data Column"},
        {"negative count", {}, {}, -1, "Invalid Input Data Column"},
        {"output column at the count", {0}, {2}, 1, "Invalid Output Data Column"},
        {"negative output column", {0}, {-1}, 1, "Invalid Output Data Column"},
    };
    for (const BadSelectionRow& row : kRows) {
        SCOPED_TRACE(row.name);
        auto data = Filled(2, 2, 4, 2);
        const int keptInput[] = {2};
        const int keptOutput[] = {1};
        data->SetSelections(1, keptInput, 1, keptOutput);
        if (row.outputSel.empty()) {
            ExpectBadParameter([&] { data->SelectInputs(row.inputCount, row.inputSel.data()); },
                               row.message, "Data::SelectInputs");
        }
        ExpectBadParameter(
            [&] {
                data->SetSelections(row.inputCount, row.inputSel.data(),
                                    static_cast<int>(row.outputSel.size()), row.outputSel.data());
            },
            row.message, "Data::SetSelections");
        ASSERT_EQ(1, data->MbrNdxInputSel);
        EXPECT_EQ(2, data->MbrDyaInputSel[0]);
        ASSERT_EQ(1, data->MbrNdxOutputSel);
        EXPECT_EQ(1, data->MbrDyaOutputSel[0]);
    }
}

TEST(DataSelectionTest, GetRowWithColumnListCopiesInListOrder) {
    auto data = Filled(2, 2, 3, 2);
    const int inColumns[] = {2, 0, 2};
    std::vector<double> inputs(3);
    data->GetInputRow(1, inputs.data(), 3, inColumns);
    EXPECT_EQ((std::vector<double>{200, 2, 200}), inputs);
    const int outColumns[] = {1};
    std::vector<double> outputs(1);
    data->GetOutputRow(0, outputs.data(), 1, outColumns);
    EXPECT_EQ((std::vector<double>{-10}), outputs);

    std::vector<double> all(3);
    data->GetInputRow(0, all.data());
    EXPECT_EQ((std::vector<double>{1, 10, 100}), all);
    data->GetOutputRow(1, all.data());
    EXPECT_EQ(-2.0, all[0]);
    EXPECT_EQ(-20.0, all[1]);
}

// ---------------------------------------------------------------------------------------------
// Labels

TEST(TLabelListTest, AddMergesExactNamesOnly) {
    TLabelList list;
    list.Add("x", 0.5);
    list.Add("x", 0.25);
    ASSERT_EQ(1, list.count);
    EXPECT_STREQ("x", list.labels[0].name);
    EXPECT_EQ(0.75, list.labels[0].weight);

    list.Add("X", 1.0);  // names compare with case
    list.Add("y", 2.0);
    ASSERT_EQ(3, list.count);
    EXPECT_STREQ("x", list.labels[0].name);
    EXPECT_STREQ("X", list.labels[1].name);
    EXPECT_STREQ("y", list.labels[2].name);
    EXPECT_EQ(2.0, list.labels[2].weight);
}

TEST(TLabelListTest, CopiesAreDeep) {
    TLabelList one("cat", 1.0);
    one.Add("dog", 0.5);
    TLabelList copy(one);
    TLabelList assigned;
    assigned.Add("old", 3.0);
    assigned = one;
    const TLabelList& alias = assigned;
    assigned = alias;  // self-assignment keeps the list
    one.Add("cat", 1.0);
    one.labels[1].name[0] = 'h';  // "hog"
    for (const TLabelList* list : {&copy, &assigned}) {
        ASSERT_EQ(2, list->count);
        EXPECT_STREQ("cat", list->labels[0].name);
        EXPECT_EQ(1.0, list->labels[0].weight);
        EXPECT_STREQ("dog", list->labels[1].name);
        EXPECT_EQ(0.5, list->labels[1].weight);
    }
    TLabel label("a", 1.5);
    TLabel other;
    other = label;
    label.name[0] = 'b';
    EXPECT_STREQ("a", other.name);
    EXPECT_EQ(1.5, other.weight);
}

TEST(DataLabelTest, SlotLabelOperations) {
    Data data(2, 1, 0, true);
    data.AppendRow(nullptr, nullptr, nullptr);
    data.AppendLabel(0, 0.5, "x");
    data.AppendLabel(0, 0.25, "x");
    data.AppendLabel(0, 1.0, "X");
    TLabelList* list = nullptr;
    data.GetLabels(0, &list);
    ASSERT_EQ(2, list->count);
    EXPECT_EQ(0.75, list->labels[0].weight);
    list->Add("own", 1.0);  // GetLabels hands out the slot's own list
    TLabelList* again = nullptr;
    data.GetLabels(0, &again);
    EXPECT_EQ(list, again);
    EXPECT_EQ(3, again->count);

    TLabelList given("cat", 1.0);
    data.SetLabels(0, &given);
    given.Add("dog", 1.0);  // the slot keeps its copy
    EXPECT_EQ(1, list->count);
    EXPECT_STREQ("cat", list->labels[0].name);

    data.SetLabels(0, nullptr);
    EXPECT_EQ(0, list->count);
    data.AppendLabel(0, 1.0, "z");
    data.ClearLabels(0);
    EXPECT_EQ(0, list->count);

    Data plain(1, 1, 0, false);
    TLabelList* none = &given;
    plain.GetLabels(0, &none);
    EXPECT_EQ(nullptr, none);
}

TEST(DataLabelTest, AppendingAndDeliveringLabels) {
    Data data(2, 2, 0, true);
    const TLabelList first("a", 1.0);
    const TLabelList second("b", 2.0);
    const double inputs[] = {1.0, 2.0};
    data.AppendRow(inputs, nullptr, &first);
    data.AppendRow(inputs, nullptr, &second);
    data.AppendRow(inputs, nullptr, nullptr);  // replaces the oldest row, labels emptied

    TLabelList* list = nullptr;
    data.GetLabels(0, &list);
    EXPECT_EQ(0, list->count);

    // GetNext delivers the labels with and without an input selection, as GetCurrent does.
    const int selection[] = {1};
    for (int count : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "selected inputs " << count);
        data.SelectInputs(count, selection);
        data.Rewind();
        double buffer[2];
        list = nullptr;
        data.GetNext(buffer, nullptr, &list);
        ASSERT_NE(nullptr, list);
        ASSERT_EQ(1, list->count);
        EXPECT_STREQ("b", list->labels[0].name);
        list = nullptr;
        data.GetCurrent(nullptr, nullptr, &list);
        EXPECT_EQ(1, list->count);
    }

    Data plain(1, 1, 0, false);
    plain.AppendRow(inputs, nullptr, &first);  // labels are ignored without the label flag
    list = &data.MbrDyaLabels[0];
    plain.GetNext(nullptr, nullptr, &list);
    EXPECT_EQ(nullptr, list);
}

// ---------------------------------------------------------------------------------------------
// Blocks and clones

struct BlockRow {
    int capacity;
    int appended;
    int from;
    int to;
    std::vector<int> rows;  // rows copied, in order
};

TEST(DataBlockTest, CopiesSlotsUpToTheNewest) {
    const BlockRow kRows[] = {
        {10, 5, 1, 10, {2, 3, 4, 5}},  // newest row in slot 4: slots 1 to 4
        {10, 5, 0, 2, {1, 2, 3}},
        {10, 5, 4, 4, {5}},
        {10, 5, 3, 1, {}},  // upper end below from
        {3, 4, 0, 2, {4}},  // wrapped: the newest row is in slot 0
        {3, 4, 1, 2, {}},   // slots 1 and 2 lie above the newest slot
    };
    for (const BlockRow& row : kRows) {
        SCOPED_TRACE(testing::Message() << "capacity " << row.capacity << ", appended "
                                        << row.appended << ", " << row.from << " to " << row.to);
        auto data = Filled(row.capacity, row.appended);
        std::vector<std::vector<double>> inputs(10, std::vector<double>(2));
        std::vector<std::vector<double>> outputs(10, std::vector<double>(1));
        std::vector<double*> inputRows;
        std::vector<double*> outputRows;
        for (std::size_t i = 0; i < inputs.size(); ++i) {
            inputRows.push_back(inputs[i].data());
            outputRows.push_back(outputs[i].data());
        }
        int count = -1;
        data->GetBlock(inputRows.data(), outputRows.data(), row.from, row.to, &count);
        ASSERT_EQ(static_cast<int>(row.rows.size()), count);
        for (int k = 0; k < count; ++k) {
            const int expected = row.rows[static_cast<std::size_t>(k)];
            EXPECT_EQ(InputsOf(expected, 2), inputs[static_cast<std::size_t>(k)]);
            EXPECT_EQ(OutputsOf(expected, 1), outputs[static_cast<std::size_t>(k)]);
        }
    }
}

TEST(DataCloneTest, CloneIsEqualAndIndependent) {
    auto data = Filled(3, 4, 3, 2, true);
    data->AppendLabel(1, 0.5, "x");
    const int in[] = {2, 0};
    const int out[] = {1};
    data->SetSelections(2, in, 1, out);
    data->Rewind();
    data->MoveCursor(1);

    std::unique_ptr<Data> clone(data->Clone());
    EXPECT_EQ(data->MbrNdxRows, clone->MbrNdxRows);
    EXPECT_EQ(data->MbrNdxDataRows, clone->MbrNdxDataRows);
    EXPECT_EQ(data->MbrNdxInputs, clone->MbrNdxInputs);
    EXPECT_EQ(data->MbrNdxOutputs, clone->MbrNdxOutputs);
    EXPECT_EQ(data->MbrHasLabels, clone->MbrHasLabels);
    EXPECT_EQ(data->MbrNdxFirst, clone->MbrNdxFirst);
    EXPECT_EQ(data->MbrNdxLast, clone->MbrNdxLast);
    EXPECT_EQ(data->MbrNdxCurrent, clone->MbrNdxCurrent);
    EXPECT_NE(data->MbrDyaRtpInputs, clone->MbrDyaRtpInputs);
    EXPECT_NE(data->MbrDyaInputSel, clone->MbrDyaInputSel);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(testing::Message() << "GetNext " << i);
        std::vector<double> a(2), b(2), ao(1), bo(1);
        TLabelList* la = nullptr;
        TLabelList* lb = nullptr;
        data->GetNext(a.data(), ao.data(), &la);
        clone->GetNext(b.data(), bo.data(), &lb);
        EXPECT_EQ(a, b);
        EXPECT_EQ(ao, bo);
        ASSERT_EQ(la->count, lb->count);
        EXPECT_NE(la, lb);
    }

    clone->SetInputDatum(1, 0, 99.0);
    clone->AppendLabel(1, 0.5, "x");
    clone->SelectInputs(0, nullptr);
    double value = 0.0;
    data->GetInputDatum(1, 0, &value);
    EXPECT_EQ(2.0, value);
    TLabelList* list = nullptr;
    data->GetLabels(1, &list);
    EXPECT_EQ(0.5, list->labels[0].weight);
    EXPECT_EQ(2, data->MbrNdxInputSel);
}

// ---------------------------------------------------------------------------------------------
// Argument errors

struct ErrorRow {
    const char* location;
    std::function<void(Data&)> call;
    const char* message;
};

TEST(DataErrorTest, BadRowsAndColumnsRaiseTException) {
    // 5 slots holding 2 rows, 4 inputs, 1 output, labels: slots 0 and 1 are valid.
    TLabelList labels("a", 1.0);
    double value = 0.0;
    double buffer[4] = {};
    double* rows[1] = {buffer};
    int count = 7;
    const int columns[] = {0};
    const int badInput[] = {1, 4};
    const int badOutput[] = {-1};
    const ErrorRow kRows[] = {
        {"Data::GetInputDatum", [&](Data& d) { d.GetInputDatum(2, 0, &value); },
         "Invalid Data Row"},
        {"Data::GetInputDatum", [&](Data& d) { d.GetInputDatum(-1, 0, &value); },
         "Invalid Data Row"},
        {"Data::GetInputDatum", [&](Data& d) { d.GetInputDatum(0, 7, &value); },
         "Invalid Input Data Column"},
        {"Data::GetInputDatum", [&](Data& d) { d.GetInputDatum(0, -1, &value); },
         "Invalid Input Data Column"},
        {"Data::GetInputDatum", [&](Data& d) { d.GetInputDatum(5, 7, &value); },
         "Invalid Data Row"},  // the row is checked first
        {"Data::GetOutputDatum", [&](Data& d) { d.GetOutputDatum(3, 0, &value); },
         "Invalid Data Row"},
        {"Data::GetOutputDatum", [&](Data& d) { d.GetOutputDatum(1, 1, &value); },
         "Invalid Output Data Column"},
        {"Data::SetInputDatum", [&](Data& d) { d.SetInputDatum(4, 0, 1.0); }, "Invalid Data Row"},
        {"Data::SetInputDatum", [&](Data& d) { d.SetInputDatum(0, 4, 1.0); },
         "Invalid Input Data Column"},
        {"Data::SetOutputDatum", [&](Data& d) { d.SetOutputDatum(2, 0, 1.0); }, "Invalid Data Row"},
        {"Data::SetOutputDatum", [&](Data& d) { d.SetOutputDatum(0, -1, 1.0); },
         "Invalid Output Data Column"},
        {"Data::GetLabels",
         [&](Data& d) {
             TLabelList* list = nullptr;
             d.GetLabels(2, &list);
         },
         "Invalid Data Row"},
        {"Data::SetLabels", [&](Data& d) { d.SetLabels(2, &labels); }, "Invalid Data Row"},
        {"Data::ClearLabels", [&](Data& d) { d.ClearLabels(-1); }, "Invalid Data Row"},
        {"Data::AppendLabel", [&](Data& d) { d.AppendLabel(2, 1.0, "x"); }, "Invalid Data Row"},
        {"Data::SetRow", [&](Data& d) { d.SetRow(2, buffer, buffer, &labels); },
         "Invalid Data Row"},
        {"Data::GetInputRow", [&](Data& d) { d.GetInputRow(2, buffer); }, "Invalid Data Row"},
        {"Data::GetInputRow", [&](Data& d) { d.GetInputRow(2, buffer, 1, columns); },
         "Invalid Data Row"},
        {"Data::GetInputRow", [&](Data& d) { d.GetInputRow(0, buffer, 2, badInput); },
         "Invalid Input Data Column"},
        {"Data::GetInputRow", [&](Data& d) { d.GetInputRow(0, buffer, -1, columns); },
         "Invalid Input Data Column"},
        {"Data::GetOutputRow", [&](Data& d) { d.GetOutputRow(2, buffer); }, "Invalid Data Row"},
        {"Data::GetOutputRow", [&](Data& d) { d.GetOutputRow(2, buffer, 1, columns); },
         "Invalid Data Row"},
        {"Data::GetOutputRow", [&](Data& d) { d.GetOutputRow(0, buffer, 1, badOutput); },
         "Invalid Output Data Column"},
        {"Data::GetBlock", [&](Data& d) { d.GetBlock(rows, rows, 2, 4, &count); },
         "Data Block Fault"},
        {"Data::GetBlock", [&](Data& d) { d.GetBlock(rows, rows, -1, 0, &count); },
         "Data Block Fault"},
    };
    for (const ErrorRow& row : kRows) {
        SCOPED_TRACE(row.location);
        auto data = Filled(5, 2, 4, 1, true);
        data->AppendLabel(0, 1.0, "kept");
        std::unique_ptr<Data> before(data->Clone());
        count = 7;
        ExpectBadParameter([&] { row.call(*data); }, row.message, row.location);
        if (std::string(row.location) == "Data::GetBlock") {
            EXPECT_EQ(0, count);
        }
        // Nothing was changed before the check failed.
        EXPECT_EQ(
            0, std::memcmp(before->MbrDyaRtpInputs, data->MbrDyaRtpInputs, 5 * 4 * sizeof(double)));
        EXPECT_EQ(0, std::memcmp(before->MbrDyaRtpOutputs, data->MbrDyaRtpOutputs,
                                 5 * 1 * sizeof(double)));
        EXPECT_EQ(1, data->MbrDyaLabels[0].count);
        EXPECT_EQ(0, data->MbrDyaLabels[2].count);
    }
}

TEST(DataErrorTest, WrappedRingRejectsOnlySlotsOutsideTheCapacity) {
    auto data = Filled(3, 4);  // holds B, C, D in slots 1, 2, 0
    double value = 0.0;
    for (int slot : {0, 1, 2}) {
        SCOPED_TRACE(testing::Message() << "slot " << slot);
        EXPECT_NO_THROW(data->GetInputDatum(slot, 0, &value));
    }
    for (int slot : {3, -1}) {
        SCOPED_TRACE(testing::Message() << "slot " << slot);
        ExpectBadParameter([&] { data->GetInputDatum(slot, 0, &value); }, "Invalid Data Row",
                           "Data::GetInputDatum");
    }
}

// ---------------------------------------------------------------------------------------------
// Internal consistency checks

TEST(DataDeathTest, CallerErrorsEndTheProgram) {
    Data empty(0, 1, 1, false);
    EXPECT_DEATH(empty.AppendRow(nullptr, nullptr, nullptr), "MbrNdxRows > 0");
    EXPECT_DEATH(empty.GetNext(nullptr, nullptr), "MbrNdxRows > 0");
    Data plain(1, 1, 1, false);
    EXPECT_DEATH(plain.SetLabels(0, nullptr), "MbrHasLabels");
    EXPECT_DEATH(plain.ClearLabels(0), "MbrHasLabels");
    EXPECT_DEATH(plain.AppendLabel(0, 1.0, "x"), "MbrHasLabels");
    EXPECT_DEATH(Data(-1, 1, 1, false), "rows >= 0");
    Data labelled(1, 1, 1, true);
    EXPECT_DEATH(labelled.AppendLabel(0, 1.0, nullptr), "name != nullptr");
}

}  // namespace
}  // namespace ruvo
