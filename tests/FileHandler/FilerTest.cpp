#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/Filer.h"

namespace ruvo {
namespace {

std::string Fixture(const char* name) {
    return std::string(TEST_DATA_DIR) + "/" + name;
}

// Writes text to a file of its own under the test temporary directory and returns its path.
std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + "filer_" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return path;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Both sets of a read, owned.
struct Sets {
    int result = 0;
    std::unique_ptr<Data> first;
    std::unique_ptr<Data> second;
};

Sets Read(const std::string& path) {
    FileTools tools;
    Data* first = nullptr;
    Data* second = nullptr;
    Sets sets;
    sets.result = ReadDataSet(tools, path.c_str(), &first, &second);
    sets.first.reset(first);
    sets.second.reset(second);
    return sets;
}

// Runs a read that must raise FileTools::Error and returns "message @ line".
std::string ReadError(const std::string& path) {
    FileTools tools;
    Data* first = reinterpret_cast<Data*>(0x1);
    Data* second = reinterpret_cast<Data*>(0x1);
    try {
        ReadDataSet(tools, path.c_str(), &first, &second);
    } catch (const FileTools::Error& e) {
        // A failed load hands nothing back.
        EXPECT_EQ(first, nullptr);
        EXPECT_EQ(second, nullptr);
        return e.message + " @ " + std::to_string(e.line);
    }
    return "no error raised";
}

// A set's shape as text: "rows x inputs -> outputs", plus " labels".
std::string Shape(const Data* set) {
    if (set == nullptr) {
        return "none";
    }
    std::string text = std::to_string(set->MbrNdxRows) + " x " + std::to_string(set->MbrNdxInputs) +
                       " -> " + std::to_string(set->MbrNdxOutputs);
    if (set->MbrHasLabels) {
        text += " labels";
    }
    return text;
}

std::vector<double> Inputs(const Data& set, int row) {
    return std::vector<double>(set.InputRow(row), set.InputRow(row) + set.MbrNdxInputs);
}

std::vector<double> Outputs(const Data& set, int row) {
    return std::vector<double>(set.OutputRow(row), set.OutputRow(row) + set.MbrNdxOutputs);
}

// A label list as text: "cat=1 dog=0.5".
std::string Labels(const TLabelList& list) {
    std::ostringstream text;
    for (int i = 0; i < list.count; ++i) {
        text << (i > 0 ? " " : "") << list.labels[i].name << "=" << list.labels[i].weight;
    }
    return text.str();
}

std::string Text(const TKQstructure& s) {
    std::string out;
    s.AppendText(&out);
    return out;
}

const char kHeader[] = "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = 1][Data]";

TEST(ReadDataSetTest, TrainingFileInAnyLayout) {
    FileTools tools;
    Data* first = nullptr;
    EXPECT_EQ(ReadTrainingData(tools, Fixture("dataset_2rows_3in_1out.dat").c_str(), &first),
              kFilerOk);
    std::unique_ptr<Data> set(first);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(Shape(set.get()), "2 x 3 -> 1");
    EXPECT_EQ(set->MbrNdxDataRows, 2);
    EXPECT_EQ(Inputs(*set, 0), (std::vector<double>{0.5, -125.0, 3.0}));
    EXPECT_EQ(Outputs(*set, 0), (std::vector<double>{1.0}));
    EXPECT_EQ(Inputs(*set, 1), (std::vector<double>{-0.5, 0.25, 7.0}));
    EXPECT_EQ(Outputs(*set, 1), (std::vector<double>{0.0}));
}

TEST(ReadDataSetTest, LabelListsEndTheRows) {
    Sets sets = Read(Fixture("dataset_labels.dat"));
    ASSERT_EQ(sets.result, kFilerOk);
    EXPECT_EQ(Shape(sets.first.get()), "3 x 2 -> 0 labels");
    EXPECT_EQ(sets.second, nullptr);
    EXPECT_EQ(Inputs(*sets.first, 2), (std::vector<double>{5.0, 6.0}));
    EXPECT_EQ(Labels(sets.first->MbrDyaLabels[0]), "cat=1 dog=0.5");
    EXPECT_EQ(Labels(sets.first->MbrDyaLabels[1]), "");
    // Equal names merge by adding weights; names differing in case stay apart.
    EXPECT_EQ(Labels(sets.first->MbrDyaLabels[2]), "x=3 X=1");
}

TEST(ReadDataSetTest, ErrorsMakeASecondSet) {
    Sets sets = Read(Fixture("dataset_with_errors.dat"));
    ASSERT_EQ(sets.result, kFilerOk);
    EXPECT_EQ(Shape(sets.first.get()), "2 x 1 -> 1");
    EXPECT_EQ(Shape(sets.second.get()), "2 x 1 -> 1");
    EXPECT_EQ(Inputs(*sets.second, 1), (std::vector<double>{0.3}));
    EXPECT_EQ(Outputs(*sets.second, 1), (std::vector<double>{-0.3}));

    // The training reader hands over the first set and reports the second.
    FileTools tools;
    Data* first = nullptr;
    EXPECT_EQ(ReadTrainingData(tools, Fixture("dataset_with_errors.dat").c_str(), &first),
              kFilerExtraSet);
    std::unique_ptr<Data> owned(first);
    EXPECT_EQ(Shape(owned.get()), "2 x 1 -> 1");
    EXPECT_EQ(Inputs(*owned, 0), (std::vector<double>{0.1}));
}

TEST(ReadDataSetTest, MissingFileLeavesTheSetsAlone) {
    FileTools tools;
    Data* sentinel = reinterpret_cast<Data*>(0x1);
    Data* first = sentinel;
    Data* second = sentinel;
    const std::string path = testing::TempDir() + "filer_no_such_file.dat";
    EXPECT_EQ(ReadDataSet(tools, path.c_str(), &first, &second), kFilerCannotOpen);
    EXPECT_EQ(first, sentinel);
    EXPECT_EQ(second, sentinel);
    EXPECT_EQ(ReadTrainingData(tools, path.c_str(), &first), kFilerCannotOpen);
    EXPECT_EQ(first, sentinel);
}

TEST(ReadDataSetTest, HeaderDecidesTheSets) {
    struct Row {
        const char* what;
        std::string text;
        const char* first;
        const char* second;
    };
    const Row kRows[] = {
        {"only rows and inputs", "[DataSet][Rows = 2][Inputs = 1][Data] 1 2 [~Data][~DataSet]",
         "2 x 1 -> 0", "none"},
        {"labels as -1", "[DataSet][Rows = 1][ExpectedOutputs = -1][Data] [a] [~Data][~DataSet]",
         "1 x 0 -> 0 labels", "none"},
        {"other negative outputs count as 0",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = -5][GeneratedOutputs = -2][Data] 4 "
         "[~Data][~DataSet]",
         "1 x 1 -> 0", "none"},
        {"no columns at all", "[DataSet][Rows = 3][Data][~Data][~DataSet]", "none", "none"},
        {"zero rows", "[DataSet][Rows = 0][Inputs = 2][Error = 1][Data][~Data][~DataSet]",
         "0 x 2 -> 0", "0 x 0 -> 1"},
        {"rows last and any case",
         "[dataset][INPUTS = 1][expectedoutputs=1][ROWS=1][data] 1 2 [~DATA][~DATASET]",
         "1 x 1 -> 1", "none"},
        {"generated labels",
         "[DataSet][Rows = 1][Inputs = 1][GeneratedOutputs = Labels][Error = 1][Data] 1 0.5 "
         "[b=2] [~Data][~DataSet]",
         "1 x 1 -> 0", "1 x 0 -> 1 labels"},
        {"both label lists, numbers first",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][GeneratedOutputs = "
         "labels][Error = 1][Data] 1 0.5 [a] [b] [~Data][~DataSet]",
         "1 x 1 -> 0 labels", "1 x 0 -> 1 labels"},
        {"format header and comments",
         "[FormatVersion = 0.5]/* c */[DataSet][Rows = 1][Inputs = 1][Data]/* c */ 9 "
         "[FormatVersion = 1.0][~Data][~DataSet] /* trailing */",
         "1 x 1 -> 0", "none"},
    };
    for (std::size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.what);
        Sets sets = Read(WriteTemp("layout" + std::to_string(i) + ".dat", row.text));
        EXPECT_EQ(sets.result, kFilerOk);
        EXPECT_EQ(Shape(sets.first.get()), row.first);
        EXPECT_EQ(Shape(sets.second.get()), row.second);
    }
}

TEST(ReadDataSetTest, MalformedFilesAreRejectedWithAMessage) {
    const std::string h = kHeader;
    struct Row {
        const char* what;
        std::string text;
        std::string error;  // "message @ line"
    };
    const Row kRows[] = {
        {"labels for inputs", "[DataSet][Rows = 1][Inputs = Labels]", "No labels in inputs @ 1"},
        {"negative inputs", "[DataSet][Rows = 1][Inputs = -2]", "No labels in inputs @ 1"},
        {"labels for rows", "[DataSet]\n[Rows = Labels]", "No labels in inputs @ 2"},
        {"negative error", "[DataSet][Rows = 1][Error = -1]", "No labels in inputs @ 1"},
        {"not a data set", "[Data]", "[DATASET] expected @ 1"},
        {"empty file", "", "[DATASET] expected @ 1"},
        {"inputs after outputs", "[DataSet][Rows = 1][ExpectedOutputs = 1][Inputs = 1][Data]",
         "[DATA] expected @ 1"},
        {"repeated outputs",
         "[DataSet][Rows = 1][ExpectedOutputs = 1]\n[ExpectedOutputs = 1][Data]",
         "[DATA] expected @ 2"},
        {"unknown keyword", "[DataSet][Rows = 1][Columns = 1][Data]", "[DATA] expected @ 1"},
        {"unclosed count", "[DataSet][Rows = 1][Inputs = 1 2][Data]", "[DATA] expected @ 1"},
        {"no data tag", "[DataSet][Rows = 1]", "[DATA] expected @ 1"},
        {"no rows", "[DataSet][Inputs = 1][Data]", "Rows not given in data set header @ 1"},
        {"rows not a number", "[DataSet][Rows = many]", "integer-expected @ 1"},
        {"rows beyond long", "[DataSet][Rows = 99999999999999999999]", "integer out of range @ 1"},
        {"bracket for a number", h + " 1\n[~Data][~DataSet]", "Token (number) expected @ 2"},
        {"word for a number", h + "\n\n1 abc", "number-expected @ 3"},
        {"end of file after the rows", h + " 1 2\n", "Unexpected end of file @ 2"},
        {"end of file inside the rows", h + " 1", "Unexpected end of file @ 1"},
        {"extra number", h + " 1 2 3 [~Data][~DataSet]", "End Tag expected @ 1"},
        {"wrong end tag", h + " 1 2 [~DataSet]", "Unexpected End Tag @ 1"},
        {"text after the data set", h + " 1 2 [~Data][~DataSet]\n[Again]", "End Tag expected @ 2"},
        {"unterminated comment", h + " 1 /* 2 [~Data]",
         "Unexpected end of file during comment @ 1"},
        {"newer format", "[FormatVersion = 2.0][DataSet]", "Illegal Format Version @ 1"},
        {"end tag before any block", "[~DataSet]", "Unexpected End Tag @ 1"},
        {"closing bracket where a statement begins", h + " 1 ] 2", "Unexpected ']' @ 1"},
        {"number for a label list",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 2 [~Data]",
         "Label list expected @ 1"},
        {"end of file for a label list",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1\n",
         "Unexpected end of file @ 2"},
        {"end of file in a label list",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [cat",
         "Unexpected end of file @ 1"},
        {"label starting with a special",
         "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [=2]",
         "Unexpected special character @ 1"},
        {"label weight not a number",
         "[DataSet][Rows = 1][ExpectedOutputs = Labels][Data] [cat = fat]", "number-expected @ 1"},
        // Hostile sizes are refused before anything is allocated.
        {"more rows than bytes", "[DataSet][Rows = 2000000000][Inputs = 1][Data] 1",
         "Data set is larger than its file @ 1"},
        {"more values than bytes", "[DataSet][Rows = 1][Inputs = 100][Data] 1 2 3",
         "Data set is larger than its file @ 1"},
        {"huge product",
         "[DataSet][Rows = 2147483647][Inputs = 2147483647][Error = 2147483647][Data]",
         "Data set is larger than its file @ 1"},
        {"label lists count", "[DataSet][Rows = 10][ExpectedOutputs = Labels][Data] [][] [~Data]",
         "Data set is larger than its file @ 1"},
        {"count beyond int", "[DataSet][Rows = 1][Inputs = 3000000000][Data]",
         "Data set count out of range @ 1"},
        {"rows beyond int", "[DataSet][Rows = 9223372036854775807][Inputs = 1][Data]",
         "Data set count out of range @ 1"},
    };
    for (std::size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ReadError(WriteTemp("bad" + std::to_string(i) + ".dat", row.text)), row.error);
    }
}

TEST(ReadDataSetTest, ZeroWidthRowsOfAHugeCountNeedNoTime) {
    // No set holds anything, so the rows are not walked one by one.
    Sets sets =
        Read(WriteTemp("hugezero.dat", "[DataSet][Rows = 2147483647][Data][~Data][~DataSet]"));
    EXPECT_EQ(sets.result, kFilerOk);
    EXPECT_EQ(sets.first, nullptr);
    EXPECT_EQ(sets.second, nullptr);
}

TEST(ReadDataSetHeaderTest, StopsAtTheFirstOtherStatement) {
    struct Row {
        std::string text;
        int result;
        std::vector<long> counts;  // inputs, expected, generated, errors, rows
        std::string stopped;       // name of the statement handed back
    };
    const Row kRows[] = {
        {"[Rows = 4][Inputs = 3][ExpectedOutputs = Labels][GeneratedOutputs = 2][Error = 1][Data]",
         kFilerOk,
         {3, -1, 2, 1, 4},
         "Data"},
        {"[Inputs = 3][Rows = 4][Rows = 5][Data]", kFilerOk, {3, 0, 0, 0, 5}, "Data"},
        {"[ExpectedOutputs = 2]", kFilerOk, {0, 2, 0, 0, -1}, ""},
        {"[Error = 1][GeneratedOutputs = 1][Data]",
         kFilerExtraSet,
         {0, 0, 0, 1, -1},
         "GeneratedOutputs"},
        {"[Inputs = 1][Inputs = 2]", kFilerExtraSet, {1, 0, 0, 0, -1}, "Inputs"},
        {"[Rows = 1 Inputs = 2]", kFilerExtraSet, {0, 0, 0, 0, -1}, "Rows"},
        {"[Weights = 1]", kFilerExtraSet, {0, 0, 0, 0, -1}, "Weights"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        FileTools tools;
        std::istringstream in(row.text);
        std::vector<long> counts(5, 99);
        TStatement statement;
        EXPECT_EQ(ReadDataSetHeader(tools, in, &counts[0], &counts[1], &counts[2], &counts[3],
                                    &counts[4], &statement),
                  row.result);
        EXPECT_EQ(counts, row.counts);
        EXPECT_EQ(statement.name, row.stopped);
    }
}

TEST(ReadLabelListTest, ItemsCommentsAndErrors) {
    struct Row {
        std::string text;
        std::string labels;  // or the error message
    };
    const Row kRows[] = {
        {"[cat dog=0.5]", "cat=1 dog=0.5"},
        {"[]", ""},
        {"  [ ]", ""},
        {"[\n a = 2,\n b ]", "a=2 b=1"},
        {"/* c */ /* /* nested */ */ [a]", "a=1"},
        {"[a=-1 a a=0.25]", "a=0.25"},
        {"[x X]", "x=1 X=1"},
        {"[n1 = 1e-3]", "n1=0.001"},
        {"", "Unexpected end of file"},
        {"/* open", "Unexpected end of file during comment"},
        {"[", "Unexpected end of file"},
        {"[a", "Unexpected end of file"},
        {"[a /* */", "Unexpected end of file"},
        {"5", "Label list expected"},
        {"/ [a]", "Label list expected"},
        {"a]", "Label list expected"},
        {"[a=b]", "number-expected"},
        {"[a = ]", "Unexpected special character"},
        {"[[a]]", "Unexpected special character"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        FileTools tools;
        std::istringstream in(row.text);
        try {
            std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
            EXPECT_EQ(Labels(*list), row.labels);
        } catch (const FileTools::Error& e) {
            EXPECT_EQ(e.message, row.labels);
        }
    }
}

TEST(ReadLabelListTest, LongListsMergeInLinearTime) {
    // 200000 labels, every name twice: a quadratic merge would not finish in time.
    std::string text = "[";
    const int n = 100000;
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = 0; i < n; ++i) {
            text += "L" + std::to_string(i) + (pass == 0 ? " " : "=0.5 ");
        }
    }
    text += "]";
    FileTools tools;
    std::istringstream in(text);
    std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
    ASSERT_EQ(list->count, n);
    EXPECT_STREQ(list->labels[n - 1].name, ("L" + std::to_string(n - 1)).c_str());
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(list->labels[i].weight, 1.5) << i;
    }
}

// A set with rows appended as given.
std::unique_ptr<Data> MakeSet(
    int slots, int inputs, int outputs, bool labels, const std::vector<std::vector<double>>& rows) {
    auto set = std::make_unique<Data>(slots, inputs, outputs, labels);
    for (const std::vector<double>& row : rows) {
        set->AppendRow(row.data(), row.data() + inputs, nullptr);
    }
    return set;
}

TEST(WriteDataSetTest, WritesTheCanonicalText) {
    std::unique_ptr<Data> set =
        MakeSet(2, 2, 1, false, {{0.1, -2.0, 1.0 / 3.0}, {1e-20, 5e20, 0.0}});
    FileTools tools;
    const std::string path = testing::TempDir() + "filer_written.dat";
    ASSERT_EQ(WriteDataSet(tools, path.c_str(), set.get(), nullptr), kFilerOk);
    EXPECT_EQ(ReadFile(path),
              "[FormatVersion = 1.0]\n\n"
              "[DataSet]\n[Rows = 2]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n"
              "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n"
              "0.1 -2   0.333333333333333 \n"
              "1e-20 5e+20   0 \n"
              "[~Data]\n\n[~DataSet]\n");

    std::unique_ptr<Data> labelled = MakeSet(1, 1, 0, true, {{0.5}});
    labelled->AppendLabel(0, 1.0, "cat");
    labelled->AppendLabel(0, 0.5, "dog");
    ASSERT_EQ(WriteDataSet(tools, path.c_str(), labelled.get(), nullptr), kFilerOk);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("[ExpectedOutputs = Labels]\n"), std::string::npos);
    EXPECT_NE(text.find("\n0.5   [cat dog=0.500000000 ] \n"), std::string::npos) << text;
}

TEST(WriteDataSetTest, WrittenFilesReadBack) {
    std::unique_ptr<Data> first = MakeSet(2, 1, 0, true, {{0.25}, {-4.5}});
    first->AppendLabel(0, 1.0, "a");
    first->AppendLabel(1, 0.125, "b");
    first->AppendLabel(1, 2.0, "c");
    std::unique_ptr<Data> second = MakeSet(2, 1, 2, false, {{0.7, 0.1, 0.2}, {0.3, 1e-300, -7.0}});
    FileTools tools;
    const std::string path = testing::TempDir() + "filer_roundtrip.dat";
    ASSERT_EQ(WriteDataSet(tools, path.c_str(), first.get(), second.get()), kFilerOk);
    Sets sets = Read(path);
    ASSERT_EQ(sets.result, kFilerOk);
    EXPECT_EQ(Shape(sets.first.get()), "2 x 1 -> 0 labels");
    EXPECT_EQ(Shape(sets.second.get()), "2 x 1 -> 2");
    EXPECT_EQ(Inputs(*sets.first, 1), (std::vector<double>{-4.5}));
    EXPECT_EQ(Labels(sets.first->MbrDyaLabels[1]), "b=0.125 c=2");
    EXPECT_EQ(Inputs(*sets.second, 1), (std::vector<double>{0.3}));
    EXPECT_EQ(Outputs(*sets.second, 1), (std::vector<double>{1e-300, -7.0}));

    // Writing what was read gives the same text.
    const std::string again = testing::TempDir() + "filer_roundtrip2.dat";
    ASSERT_EQ(WriteDataSet(tools, again.c_str(), sets.first.get(), sets.second.get()), kFilerOk);
    EXPECT_EQ(ReadFile(again), ReadFile(path));
}

TEST(WriteDataSetTest, WritesTheRowsHeldOldestFirst) {
    // Three rows through two slots: the set holds the second and third, the third in slot 0.
    std::unique_ptr<Data> set = MakeSet(2, 1, 0, false, {{1.0}, {2.0}, {3.0}});
    std::unique_ptr<Data> partial = MakeSet(4, 1, 0, false, {{8.0}});
    FileTools tools;
    const std::string path = testing::TempDir() + "filer_ring.dat";
    ASSERT_EQ(WriteDataSet(tools, path.c_str(), set.get(), nullptr), kFilerOk);
    Sets sets = Read(path);
    ASSERT_EQ(Shape(sets.first.get()), "2 x 1 -> 0");
    EXPECT_EQ(Inputs(*sets.first, 0), (std::vector<double>{2.0}));
    EXPECT_EQ(Inputs(*sets.first, 1), (std::vector<double>{3.0}));

    ASSERT_EQ(WriteDataSet(tools, path.c_str(), partial.get(), nullptr), kFilerOk);
    sets = Read(path);
    EXPECT_EQ(Shape(sets.first.get()), "1 x 1 -> 0");
}

TEST(WriteDataSetTest, ResultCodes) {
    std::unique_ptr<Data> two = MakeSet(2, 1, 0, false, {{1.0}, {2.0}});
    std::unique_ptr<Data> three = MakeSet(3, 1, 0, false, {{1.0}, {2.0}, {3.0}});
    FileTools tools;
    const std::string path = testing::TempDir() + "filer_codes.dat";
    std::remove(path.c_str());
    EXPECT_EQ(WriteDataSet(tools, path.c_str(), nullptr, nullptr), kFilerBadSets);
    EXPECT_EQ(WriteDataSet(tools, path.c_str(), two.get(), three.get()), kFilerBadSets);
    EXPECT_FALSE(std::ifstream(path).is_open());  // nothing written
    const std::string unwritable = testing::TempDir() + "no_such_dir/filer.dat";
    EXPECT_EQ(WriteDataSet(tools, unwritable.c_str(), two.get(), nullptr), kFilerCannotOpen);
    // A second set alone.
    ASSERT_EQ(WriteDataSet(tools, path.c_str(), nullptr, three.get()), kFilerOk);
    Sets sets = Read(path);
    EXPECT_EQ(Shape(sets.first.get()), "none");
    EXPECT_EQ(Shape(sets.second.get()), "3 x 1 -> 0");
}

TEST(ReadDataSetRowsTest, ReadsConsecutiveSlices) {
    const std::string path = WriteTemp("slices.dat",
                                       "[DataSet][Rows = 5][Inputs = 1][ExpectedOutputs = Labels]"
                                       "[Data]\n0 [a]\n1 []\n2 [c=2]\n3 [d]\n4 [e]\n[~Data]"
                                       "[~DataSet]\n");
    FileTools tools;
    long offset = 0;
    const int kSlices[] = {2, 0, 2, 1};
    double expected = 0.0;
    for (int rows : kSlices) {
        SCOPED_TRACE(testing::Message() << "slice of " << rows << " from " << offset);
        Data* first = nullptr;
        Data* second = nullptr;
        const long before = offset;
        ASSERT_EQ(ReadDataSetRows(tools, path.c_str(), &offset, rows, &first, &second), kFilerOk);
        std::unique_ptr<Data> set(first);
        EXPECT_EQ(second, nullptr);
        EXPECT_EQ(Shape(set.get()), std::to_string(rows) + " x 1 -> 0 labels");
        EXPECT_GE(offset, before);
        for (int r = 0; r < rows; ++r) {
            EXPECT_EQ(Inputs(*set, r), (std::vector<double>{expected}));
            expected += 1.0;
        }
    }
    EXPECT_EQ(expected, 5.0);
    // The rows are exhausted: the next slice meets the end tag.
    Data* first = nullptr;
    Data* second = nullptr;
    try {
        ReadDataSetRows(tools, path.c_str(), &offset, 1, &first, &second);
        ADD_FAILURE() << "no error raised";
    } catch (const FileTools::Error& e) {
        EXPECT_EQ(e.message, "Token (number) expected");
        EXPECT_EQ(e.line, 0);  // lines skipped by the offset are not counted
    }
}

TEST(ReadDataSetRowsTest, SlicesResumeAtACharacterPutBack) {
    // Each number ends at the "/" of a comment, which the scanner puts back: the next slice must
    // start at that "/" and not one character later.
    const std::string path =
        WriteTemp("slices_putback.dat",
                  "[DataSet][Rows = 3][Inputs = 1][Data]0/*a*/1/*b*/2[~Data][~DataSet]");
    FileTools tools;
    long offset = 0;
    for (int r = 0; r < 3; ++r) {
        SCOPED_TRACE(testing::Message() << "row " << r);
        Data* first = nullptr;
        Data* second = nullptr;
        ASSERT_EQ(ReadDataSetRows(tools, path.c_str(), &offset, 1, &first, &second), kFilerOk);
        std::unique_ptr<Data> set(first);
        EXPECT_EQ(Inputs(*set, 0), (std::vector<double>{static_cast<double>(r)}));
    }
}

TEST(ReadDataSetRowsTest, RefusesMoreRowsThanTheFileCanHold) {
    const std::string path = WriteTemp(
        "slices_small.dat", "[DataSet][Rows = 2][Inputs = 1][Data] 1 2 [~Data][~DataSet]");
    FileTools tools;
    long offset = 0;
    Data* first = nullptr;
    Data* second = nullptr;
    try {
        ReadDataSetRows(tools, path.c_str(), &offset, 1000000000, &first, &second);
        ADD_FAILURE() << "no error raised";
    } catch (const FileTools::Error& e) {
        EXPECT_EQ(e.message, "Data set is larger than its file");
    }
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(offset, 0);
}

TEST(IdentifyFileTest, DescribesTheFirstBlock) {
    struct Row {
        std::string text;
        std::string description;
    };
    const Row kRows[] = {
        {"[DataSet][Rows = 2][Inputs = 3][ExpectedOutputs = 1][Data]",
         "(data :rows 2 :inputs 3 :actual-outputs 1 :calc-outputs 0 :errors 0)"},
        {"[FormatVersion = 1.0]\n[dataset][ExpectedOutputs = Labels][GeneratedOutputs = 2]",
         "(data :rows -1 :inputs 0 :actual-outputs -1 :calc-outputs 2 :errors 0)"},
        {"[DataSet][Inputs = 1 2]", "(error :type bad-header)"},
        {"[NeuralNetwork]\n[NetworkType = Ruvo]", "network"},
        {"[network]", "network"},
        {"[Layer]\n[NumberOfNeurons = 2]", "(error :type unknown-header :header Layer)"},
    };
    for (std::size_t i = 0; i < sizeof kRows / sizeof kRows[0]; ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.text);
        FileTools tools;
        const std::string path = WriteTemp("identify" + std::to_string(i) + ".dat", row.text);
        std::unique_ptr<TKQstructure> description(IdentifyFile(tools, path.c_str()));
        EXPECT_EQ(Text(*description), row.description);
    }

    FileTools tools;
    const std::string missing = testing::TempDir() + "filer_missing.dat";
    std::unique_ptr<TKQstructure> error(IdentifyFile(tools, missing.c_str()));
    EXPECT_EQ(Text(*error), "(error :type file-read-error)");
    const std::string word = WriteTemp("identify_word.dat", "1 2 3");
    try {
        delete IdentifyFile(tools, word.c_str());
        ADD_FAILURE() << "no error raised";
    } catch (const FileTools::Error& e) {
        EXPECT_EQ(e.message, "start of block expected");
    }
}

TEST(WriteDataSetDeathTest, LabelledSetsHaveNoValuesForTheirLabels) {
    Data first(1, 1, 1, true);
    Data second(1, 1, 1, true);
    FileTools tools;
    const std::string path = testing::TempDir() + "filer_death.dat";
    EXPECT_DEATH(WriteDataSet(tools, path.c_str(), &first, nullptr), "first->MbrNdxOutputs == 0");
    EXPECT_DEATH(WriteDataSet(tools, path.c_str(), nullptr, &second), "second->MbrNdxInputs == 0");
}

}  // namespace
}  // namespace ruvo
