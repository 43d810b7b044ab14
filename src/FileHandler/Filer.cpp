#include "FileHandler/Filer.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "KQmessage/Check.h"

namespace ruvo {

namespace {

constexpr const char* kNoLabels = "No labels in inputs";
constexpr std::size_t kReadBufferSize = 1 << 16;

// An input file with a larger buffer than the default; the scanner reads it one character at a
// time through the buffer.
class InputFile {
public:
    explicit InputFile(const char* fileName) : buffer(kReadBufferSize) {
        stream.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        stream.open(fileName, std::ios::in | std::ios::binary);
    }

    bool IsOpen() const { return stream.is_open(); }

    // The stream position, or -1 when the stream cannot tell.
    long long Position() {
        return static_cast<long long>(stream.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
    }

    // The size of the file in bytes, or -1 when it cannot be told (not a regular file); the
    // position is kept.
    long long Size() {
        const long long here = Position();
        if (here < 0) {
            return -1;
        }
        const long long end =
            static_cast<long long>(stream.rdbuf()->pubseekoff(0, std::ios::end, std::ios::in));
        stream.rdbuf()->pubseekpos(here, std::ios::in);
        return end;
    }

    bool Seek(long long position) {
        return static_cast<long long>(stream.rdbuf()->pubseekpos(position, std::ios::in)) ==
               position;
    }

    std::vector<char> buffer;  // declared first: the stream uses it until it is destroyed
    std::ifstream stream;
};

// The counts of a header after the Labels values have been turned into flags.
struct Layout {
    long inputs = 0;
    long expected = 0;
    long generated = 0;
    long errors = 0;
    long rows = -1;
    bool firstLabels = false;
    bool secondLabels = false;

    bool HasFirst() const { return inputs != 0 || expected != 0 || firstLabels; }
    bool HasSecond() const { return generated != 0 || errors != 0 || secondLabels; }
};

// A data-set file being read, with what its header says once ReadHead has read it.
class DataSetFile : public InputFile {
public:
    using InputFile::InputFile;

    // Reads [DataSet] and the header up to and including the [Data] tag, so that the stream
    // stands at the first row; size is the size of the file (-1 when it cannot be told).
    void ReadHead(FileTools& tools) {
        std::istream& in = stream;
        tools.BeginInput(in);
        size = Size();
        tools.ReadStatement(nullptr, in, false, &statement);
        setName = tools.ExpectBlock(statement, in, "DATASET");
        // A malformed header statement is left in statement and surfaces below as [DATA] expected.
        ReadDataSetHeader(tools, in, &layout.inputs, &layout.expected, &layout.generated,
                          &layout.errors, &layout.rows, &statement);
        if (layout.rows < 0) {
            tools.Fail(in, "Rows not given in data set header");
        }
        dataName = tools.ExpectBlock(statement, in, "DATA");
        layout.firstLabels = layout.expected == -1;
        layout.secondLabels = layout.generated == -1;
        if (layout.expected < 0) {
            layout.expected = 0;
        }
        if (layout.generated < 0) {
            layout.generated = 0;
        }
    }

    TStatement statement;
    std::string setName;   // name of the data-set block
    std::string dataName;  // name of the data block
    Layout layout;
    long long size = -1;
};

// Refuses a layout whose counts do not fit the data set, or whose rows (rows of them) could not
// fit in the available bytes of the file. Nothing has been allocated yet.
void CheckSize(
    FileTools& tools, std::istream& in, const Layout& layout, long rows, long long available) {
    const long counts[] = {layout.inputs, layout.expected, layout.generated, layout.errors, rows};
    for (long count : counts) {
        if (count > INT_MAX) {
            tools.Fail(in, "Data set count out of range");
        }
    }
    if (rows == 0 || !(layout.HasFirst() || layout.HasSecond())) {
        return;  // nothing to store
    }
    if (available < 0) {
        tools.Fail(in, "Data set file size unknown");
    }
    // At most 4 x INT_MAX + 4: no overflow in a long long.
    const long long perRow = static_cast<long long>(layout.inputs) + layout.expected +
                             layout.generated + layout.errors + 2 * layout.firstLabels +
                             2 * layout.secondLabels;
    if (rows > available / perRow) {
        tools.Fail(in, "Data set is larger than its file");
    }
}

// Collects the items of one label list, merging equal names (exactly compared) by adding their
// weights, and hands them over as a TLabelList. Reused from row to row.
class LabelCollector {
public:
    void Clear() {
        count = 0;
        index.clear();
    }

    void Add(const std::string& name, double weight) {
        const std::size_t found = Find(name);
        if (found < count) {
            weights[found] += weight;
            return;
        }
        if (count == names.size()) {
            names.emplace_back();
            weights.push_back(0.0);
        }
        names[count] = name;
        weights[count] = weight;
        if (!index.empty()) {
            index.emplace(name, count);
        }
        ++count;
        if (count == kIndexFrom) {
            for (std::size_t i = 0; i < count; ++i) {
                index.emplace(names[i], i);
            }
        }
    }

    // Replaces the labels of list by the collected ones.
    void MoveTo(TLabelList* list) const {
        list->Clear();
        if (count == 0) {
            return;
        }
        RUVO_CHECK(count <= static_cast<std::size_t>(INT_MAX));
        std::unique_ptr<TLabel[]> labels(new TLabel[count]);
        for (std::size_t i = 0; i < count; ++i) {
            labels[i].name = FileTools::CopyString(names[i].c_str());
            labels[i].weight = weights[i];
        }
        list->labels = labels.release();
        list->count = static_cast<int>(count);
    }

private:
    // Short lists are searched directly; from this many labels on, through the index.
    static constexpr std::size_t kIndexFrom = 16;

    std::size_t Find(const std::string& name) const {
        if (count < kIndexFrom) {
            for (std::size_t i = 0; i < count; ++i) {
                if (names[i] == name) {
                    return i;
                }
            }
            return count;
        }
        const auto it = index.find(name);
        return it == index.end() ? count : it->second;
    }

    std::vector<std::string> names;  // the first count entries are in use
    std::vector<double> weights;
    std::size_t count = 0;
    std::unordered_map<std::string, std::size_t> index;
};

void ReadLabelsInto(FileTools& tools,
                    std::istream& in,
                    TStatement* statement,
                    LabelCollector* collector,
                    TLabelList* list) {
    collector->Clear();
    int c = tools.SkipSeparators(in);
    for (;;) {
        if (c == std::char_traits<char>::eof()) {
            tools.FailHere(in, "Unexpected end of file");
        }
        if (c == '/' && tools.PeekChar(in) == '*') {
            tools.GetChar(in);
            tools.SkipComment(in);
            c = tools.SkipSeparators(in);
            continue;
        }
        break;
    }
    if (c != '[') {
        tools.FailHere(in, "Label list expected");
    }
    c = tools.SkipSeparators(in);
    if (c == std::char_traits<char>::eof()) {
        tools.FailHere(in, "Unexpected end of file");
    }
    if (c != ']') {
        tools.PutBack(in, c);
        do {
            tools.ReadStatement(nullptr, in, true, statement);
            if (statement->kind == StmtAssign) {
                collector->Add(statement->name, tools.ParseNumber(in, statement->value.c_str()));
            } else {
                RUVO_CHECK(statement->kind == StmtTag);  // all a continuation read returns
                collector->Add(statement->name, 1.0);
            }
        } while (statement->unclosed);
    }
    collector->MoveTo(list);
}

// Reads rows rows into the sets that exist (either may be null).
void ReadRows(FileTools& tools,
              std::istream& in,
              const char* dataName,
              const Layout& layout,
              long rows,
              Data* first,
              Data* second) {
    if (rows == 0 || (first == nullptr && second == nullptr)) {
        return;
    }
    // CheckSize has bounded every count by the size of the file.
    std::vector<double> inputs(static_cast<std::size_t>(layout.inputs));
    std::vector<double> expected(static_cast<std::size_t>(layout.expected));
    std::vector<double> generated(static_cast<std::size_t>(layout.generated));
    std::vector<double> errors(static_cast<std::size_t>(layout.errors));
    std::vector<double>* const groups[] = {&inputs, &expected, &generated, &errors};
    TStatement statement;
    LabelCollector collector;
    for (long row = 0; row < rows; ++row) {
        for (std::vector<double>* group : groups) {
            for (double& value : *group) {
                tools.ReadStatement(dataName, in, false, &statement);
                value = tools.ReadNumberToken(statement, in);
            }
        }
        if (first != nullptr) {
            first->AppendRow(inputs.data(), expected.data(), nullptr);
            if (layout.firstLabels) {
                ReadLabelsInto(tools, in, &statement, &collector,
                               &first->MbrDyaLabels[first->MbrNdxLast]);
            }
        }
        if (second != nullptr) {
            second->AppendRow(generated.data(), errors.data(), nullptr);
            if (layout.secondLabels) {
                ReadLabelsInto(tools, in, &statement, &collector,
                               &second->MbrDyaLabels[second->MbrNdxLast]);
            }
        }
    }
}

std::unique_ptr<Data> MakeFirst(const Layout& layout, long rows) {
    if (!layout.HasFirst()) {
        return nullptr;
    }
    return std::make_unique<Data>(static_cast<int>(rows), static_cast<int>(layout.inputs),
                                  static_cast<int>(layout.expected), layout.firstLabels);
}

std::unique_ptr<Data> MakeSecond(const Layout& layout, long rows) {
    if (!layout.HasSecond()) {
        return nullptr;
    }
    return std::make_unique<Data>(static_cast<int>(rows), static_cast<int>(layout.generated),
                                  static_cast<int>(layout.errors), layout.secondLabels);
}

void ExpectEnd(FileTools& tools, std::istream& in, const char* blockName, TStatement* statement) {
    tools.ReadStatement(blockName, in, false, statement);
    tools.ExpectEndTag(*statement, in);
}

// --- Writing -----------------------------------------------------------------------------

void WriteNumber(std::ostream& out, double value) {
    char text[40];
    const std::to_chars_result result =
        std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general, 15);
    RUVO_CHECK(result.ec == std::errc());
    *result.ptr = ' ';
    out.write(text, result.ptr + 1 - text);
}

void WriteNumbers(std::ostream& out, const double* values, int count) {
    for (int i = 0; i < count; ++i) {
        WriteNumber(out, values[i]);
    }
}

void WriteLabelList(FileTools& tools, std::ostream& out, const TLabelList& list) {
    out << '[';
    for (int i = 0; i < list.count; ++i) {
        const TLabel& label = list.labels[i];
        if (label.weight == 1.0) {
            tools.WriteTag(out, label.name, false);
        } else {
            tools.WriteRealAssign(out, label.name, label.weight, 9, false);
        }
    }
    out << "] ";
}

void WriteCount(FileTools& tools, std::ostream& out, const char* name, bool labels, long count) {
    if (labels) {
        tools.WriteAssign(out, name, "Labels", true);
    } else {
        tools.WriteIntegerAssign(out, name, count, true);
    }
}

// The slot of the k-th oldest row a set holds.
int SlotOf(const Data& set, int k) {
    return static_cast<int>((static_cast<long long>(set.MbrNdxFirst) + k) % set.MbrNdxRows);
}

}  // namespace

int ReadDataSetHeader(FileTools& tools,
                      std::istream& in,
                      long* inputs,
                      long* expectedOutputs,
                      long* generatedOutputs,
                      long* errors,
                      long* rows,
                      TStatement* statement) {
    *inputs = 0;
    *expectedOutputs = 0;
    *generatedOutputs = 0;
    *errors = 0;
    *rows = -1;
    // The counts must come in this order; seen is the position of the last one read (0: none).
    enum { kNone, kInputs, kExpected, kGenerated, kError };
    int seen = kNone;
    tools.ReadStatement(nullptr, in, false, statement);
    while (statement->kind == StmtAssign) {
        if (statement->unclosed) {
            return kFilerExtraSet;
        }
        const char* name = statement->name.c_str();
        const long value = strcasecmp(statement->value.c_str(), "LABELS") == 0
                               ? -1
                               : tools.ParseInteger(in, statement->value.c_str());
        if (strcasecmp(name, "INPUTS") == 0 && seen == kNone) {
            if (value < 0) {
                tools.Fail(in, kNoLabels);
            }
            *inputs = value;
            seen = kInputs;
        } else if (strcasecmp(name, "EXPECTEDOUTPUTS") == 0 && seen < kExpected) {
            *expectedOutputs = value;
            seen = kExpected;
        } else if (strcasecmp(name, "GENERATEDOUTPUTS") == 0 && seen < kGenerated) {
            *generatedOutputs = value;
            seen = kGenerated;
        } else if (strcasecmp(name, "ERROR") == 0 && seen < kError) {
            if (value < 0) {
                tools.Fail(in, kNoLabels);
            }
            *errors = value;
            seen = kError;
        } else if (strcasecmp(name, "ROWS") == 0) {
            if (value < 0) {
                tools.Fail(in, kNoLabels);
            }
            *rows = value;
        } else {
            return kFilerExtraSet;
        }
        tools.ReadStatement(nullptr, in, false, statement);
    }
    return kFilerOk;
}

TLabelList* ReadLabelList(FileTools& tools, std::istream& in) {
    TStatement statement;
    LabelCollector collector;
    std::unique_ptr<TLabelList> list(new TLabelList());
    ReadLabelsInto(tools, in, &statement, &collector, list.get());
    return list.release();
}

int ReadDataSet(FileTools& tools, const char* fileName, Data** first, Data** second) {
    RUVO_CHECK(first != nullptr && second != nullptr);
    DataSetFile file(fileName);
    if (!file.IsOpen()) {
        return kFilerCannotOpen;
    }
    *first = nullptr;
    *second = nullptr;
    file.ReadHead(tools);
    std::istream& in = file.stream;
    const Layout& layout = file.layout;
    const long long here = file.Position();
    CheckSize(tools, in, layout, layout.rows, file.size < 0 || here < 0 ? -1 : file.size - here);

    std::unique_ptr<Data> firstSet = MakeFirst(layout, layout.rows);
    std::unique_ptr<Data> secondSet = MakeSecond(layout, layout.rows);
    ReadRows(tools, in, file.dataName.c_str(), layout, layout.rows, firstSet.get(),
             secondSet.get());
    ExpectEnd(tools, in, file.dataName.c_str(), &file.statement);
    ExpectEnd(tools, in, file.setName.c_str(), &file.statement);
    ExpectEnd(tools, in, nullptr, &file.statement);

    *first = firstSet.release();
    *second = secondSet.release();
    return kFilerOk;
}

int ReadTrainingData(FileTools& tools, const char* fileName, Data** first) {
    RUVO_CHECK(first != nullptr);
    Data* firstSet = nullptr;
    Data* secondSet = nullptr;
    const int result = ReadDataSet(tools, fileName, &firstSet, &secondSet);
    if (result != kFilerOk) {
        return result;
    }
    *first = firstSet;
    if (secondSet != nullptr) {
        delete secondSet;
        return kFilerExtraSet;
    }
    return kFilerOk;
}

int ReadDataSetRows(
    FileTools& tools, const char* fileName, long* offset, int rows, Data** first, Data** second) {
    RUVO_CHECK(offset != nullptr && first != nullptr && second != nullptr);
    RUVO_CHECK(rows >= 0 && *offset >= 0);
    DataSetFile file(fileName);
    if (!file.IsOpen()) {
        return kFilerCannotOpen;
    }
    *first = nullptr;
    *second = nullptr;
    file.ReadHead(tools);
    std::istream& in = file.stream;
    const Layout& layout = file.layout;
    const long long size = file.size;
    const long long dataEnd = file.Position();
    if (dataEnd < 0 || !file.Seek(dataEnd + *offset)) {
        tools.Fail(in, "Data set file cannot be positioned");
    }
    if (*offset > 0) {
        tools.LoseLineCount(in);  // the lines skipped over are not counted
    }
    const long long start = dataEnd + *offset;
    CheckSize(tools, in, layout, rows, size < 0 ? -1 : (size > start ? size - start : 0));

    std::unique_ptr<Data> firstSet = MakeFirst(layout, rows);
    std::unique_ptr<Data> secondSet = MakeSecond(layout, rows);
    ReadRows(tools, in, file.dataName.c_str(), layout, rows, firstSet.get(), secondSet.get());
    const long long end = file.Position();
    RUVO_CHECK(end >= start);

    *offset = static_cast<long>(end - dataEnd);
    *first = firstSet.release();
    *second = secondSet.release();
    return kFilerOk;
}

int WriteDataSet(FileTools& tools, const char* fileName, const Data* first, const Data* second) {
    if (first == nullptr && second == nullptr) {
        return kFilerBadSets;
    }
    if (first != nullptr && second != nullptr && first->MbrNdxDataRows != second->MbrNdxDataRows) {
        return kFilerBadSets;
    }
    if (first != nullptr && first->MbrHasLabels) {
        RUVO_CHECK(first->MbrNdxOutputs == 0);
    }
    if (second != nullptr && second->MbrHasLabels) {
        RUVO_CHECK(second->MbrNdxInputs == 0);
    }
    const int rows = first != nullptr ? first->MbrNdxDataRows : second->MbrNdxDataRows;

    std::ofstream out(fileName, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!out.is_open()) {
        return kFilerCannotOpen;
    }
    // Header.
    tools.WriteFormatVersion(out);
    tools.WriteTag(out, "DataSet", true);
    tools.WriteIntegerAssign(out, "Rows", rows, true);
    tools.WriteIntegerAssign(out, "Inputs", first != nullptr ? first->MbrNdxInputs : 0, true);
    WriteCount(tools, out, "ExpectedOutputs", first != nullptr && first->MbrHasLabels,
               first != nullptr ? first->MbrNdxOutputs : 0);
    WriteCount(tools, out, "GeneratedOutputs", second != nullptr && second->MbrHasLabels,
               second != nullptr ? second->MbrNdxInputs : 0);
    tools.WriteIntegerAssign(out, "Error", second != nullptr ? second->MbrNdxOutputs : 0, true);
    tools.WriteNewLine(out);
    tools.WriteTag(out, "Data", true);

    // Rows: all numbers first, then the label lists, as the reader expects them.
    for (int k = 0; k < rows; ++k) {
        const int firstSlot = first != nullptr ? SlotOf(*first, k) : 0;
        const int secondSlot = second != nullptr ? SlotOf(*second, k) : 0;
        if (first != nullptr) {
            WriteNumbers(out, first->InputRow(firstSlot), first->MbrNdxInputs);
        }
        out << "  ";
        if (first != nullptr) {
            WriteNumbers(out, first->OutputRow(firstSlot), first->MbrNdxOutputs);
        }
        if (second != nullptr) {
            out << "  ";
            WriteNumbers(out, second->InputRow(secondSlot), second->MbrNdxInputs);
            out << "  ";
            WriteNumbers(out, second->OutputRow(secondSlot), second->MbrNdxOutputs);
        }
        if (first != nullptr && first->MbrHasLabels) {
            WriteLabelList(tools, out, first->MbrDyaLabels[firstSlot]);
        }
        if (second != nullptr && second->MbrHasLabels) {
            WriteLabelList(tools, out, second->MbrDyaLabels[secondSlot]);
        }
        out << '\n';
    }

    // Trailer.
    tools.WriteEndTag(out, "Data");
    tools.WriteNewLine(out);
    tools.WriteEndTag(out, "DataSet");
    out.close();
    return out.fail() ? kFilerCannotOpen : kFilerOk;
}

TKQstructure* IdentifyFile(FileTools& tools, const char* fileName) {
    InputFile file(fileName);
    if (!file.IsOpen()) {
        return TKQstructure::MakeError("file-read-error");
    }
    std::istream& in = file.stream;
    tools.BeginInput(in);
    TStatement statement;
    tools.ReadStatement(nullptr, in, false, &statement);
    const std::string name = tools.ExpectBlock(statement, in, nullptr);
    if (strcasecmp(name.c_str(), "DATASET") == 0) {
        long inputs = 0;
        long expected = 0;
        long generated = 0;
        long errors = 0;
        long rows = 0;
        const int result = ReadDataSetHeader(tools, in, &inputs, &expected, &generated, &errors,
                                             &rows, &statement);
        file.stream.close();
        if (result != kFilerOk) {
            return TKQstructure::MakeError("bad-header");
        }
        std::unique_ptr<TKQstructure> data(new TKQstructure("data"));
        data->SetInteger("rows", rows);
        data->SetInteger("inputs", inputs);
        data->SetInteger("actual-outputs", expected);
        data->SetInteger("calc-outputs", generated);
        data->SetInteger("errors", errors);
        return data.release();
    }
    // Network files open with [NeuralNetwork]; [Network] is recognised as well.
    if (strcasecmp(name.c_str(), "NEURALNETWORK") == 0 ||
        strcasecmp(name.c_str(), "NETWORK") == 0) {
        return new TKQstructure("network");
    }
    std::unique_ptr<TKQstructure> error(TKQstructure::MakeError("unknown-header"));
    error->SetString("header", name.c_str());
    return error.release();
}

}  // namespace ruvo
