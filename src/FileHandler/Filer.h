#ifndef RUVO_FILEHANDLER_FILER_H
#define RUVO_FILEHANDLER_FILER_H

// Data-set files: readers, writer and identification. The grammar, in the bracketed syntax of
// FileHandler/ParseTools.h:
//
//   [FormatVersion = 1.0]            optional
//   [DataSet]
//   [Rows = r]                       required, anywhere among the counts
//   [Inputs = n]                     the four counts in this order, each at most once, each
//   [ExpectedOutputs = n | Labels]   optional (a missing count is 0); Labels means every row
//   [GeneratedOutputs = n | Labels]  carries a label list instead of those values
//   [Error = n]
//   [Data]
//   rows
//   [~Data]
//   [~DataSet]
//
// A row is a sequence of numbers: the Inputs values, the ExpectedOutputs values, the
// GeneratedOutputs values and the Error values; after all of them come the row's label lists: the
// expected-output list when ExpectedOutputs is Labels, then the generated-output list when
// GeneratedOutputs is Labels. The writer uses the same order. Line breaks, blanks, commas and
// comments all separate the numbers alike. A label list is "[" then items, each a name (weight
// 1.0) or name = number, then "]"; [] is the empty list, and comments may precede it.
//
// In memory a file becomes up to two data sets: the first (inputs, expected outputs, labels) when
// Inputs or ExpectedOutputs is non-zero or ExpectedOutputs is Labels; the second (generated
// outputs as its inputs, errors as its outputs, labels) when GeneratedOutputs or Error is non-zero
// or GeneratedOutputs is Labels. An ExpectedOutputs or GeneratedOutputs of -1 means Labels; any
// other negative value of those two counts counts as 0.
//
// Limits of the readers, checked before anything is allocated: every count and the row count fit
// an int, and Rows x (values per row + 2 per label list) does not exceed the bytes of the file
// after the [Data] tag (every value takes at least one byte, every list two), so a hostile header
// can never ask for more memory than the file could fill. The readers need to know the file's
// size (a regular file).
//
// Syntax errors raise FileTools::Error; the load is then abandoned and nothing is handed back.

#include <istream>

#include "DataObject/Data.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"

namespace ruvo {

// Result codes of the operations below.
constexpr int kFilerOk = 0;
constexpr int kFilerCannotOpen = -81;  // the file cannot be opened (or, writing, written)
// ReadTrainingData: the file also holds generated outputs or errors (the first set is still
// handed over). ReadDataSetHeader: a malformed header statement.
constexpr int kFilerExtraSet = -82;
constexpr int kFilerBadSets = -83;  // writer: no data set, or two with different row counts

// Reads a data-set file for training: *first receives the first set (owned by the caller). A
// second set in the file is discarded and reported as kFilerExtraSet. On kFilerCannotOpen,
// *first is left untouched.
int ReadTrainingData(FileTools& tools, const char* fileName, Data** first);

// Reads a whole data-set file. *first and *second receive the sets the file describes (owned by
// the caller), null for those it does not; on kFilerCannotOpen both are left untouched.
int ReadDataSet(FileTools& tools, const char* fileName, Data** first, Data** second);

// Reads the header statements that follow [DataSet]: the four counts (-1 for Labels; 0 when not
// given) and Rows (-1 when not given). *statement receives the first statement after them.
// Returns kFilerOk, or kFilerExtraSet when it stopped at a malformed header statement (an
// assignment with further items, an unknown keyword, or a count out of order or repeated); that
// statement is then in *statement. A negative Inputs, Error or Rows raises "No labels in inputs".
int ReadDataSetHeader(FileTools& tools,
                      std::istream& in,
                      long* inputs,
                      long* expectedOutputs,
                      long* generatedOutputs,
                      long* errors,
                      long* rows,
                      TStatement* statement);

// Reads one label list (comments may precede it); a new list owned by the caller. Labels of the
// same name (compared exactly) are merged by adding their weights.
TLabelList* ReadLabelList(FileTools& tools, std::istream& in);

// Reads a slice of rows without loading the rest: the header as ReadDataSet does, then, starting
// *offset bytes after the end of the [Data] tag, exactly rows rows into new sets of rows slots
// (created under the same rule as ReadDataSet). On return *offset holds the bytes from the end of
// the [Data] tag to the end of the last row read, so that the next call continues there. The end
// tags are not read. REQUIRES: rows >= 0, *offset >= 0.
int ReadDataSetRows(
    FileTools& tools, const char* fileName, long* offset, int rows, Data** first, Data** second);

// Writes a whole data-set file from a first set, a second set, or both (either may be null). The
// rows written are the rows each set holds, oldest first; both sets must hold the same number.
// Numbers are written in general notation with 15 significant digits. Returns kFilerBadSets
// without writing when no set is given or the row counts differ, kFilerCannotOpen when the file
// cannot be created or written. REQUIRES: a set with labels for its expected (first) or generated
// (second) values has no such values.
int WriteDataSet(FileTools& tools, const char* fileName, const Data* first, const Data* second);

// Describes a file by its first block, as a new structure owned by the caller:
//   (data :rows r :inputs n :actual-outputs n :calc-outputs n :errors n)  a data-set file (a
//                                                          Labels count is -1, a missing Rows -1)
//   network                                           a network file ([NeuralNetwork] or [Network])
//   (error :type file-read-error)                     the file cannot be opened
//   (error :type bad-header)                          a malformed data-set header
//   (error :type unknown-header :header Name)         any other first block
// A first statement that is not a block raises "start of block expected".
TKQstructure* IdentifyFile(FileTools& tools, const char* fileName);

}  // namespace ruvo

#endif
