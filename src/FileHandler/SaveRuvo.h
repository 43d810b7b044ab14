#ifndef RUVO_FILEHANDLER_SAVERUVO_H
#define RUVO_FILEHANDLER_SAVERUVO_H

// The membership-function blocks of the fuzzy network's layers in a network file. A layer of type
// FuzzyCondition holds an InputMF block giving the number of membership functions of each input,
// a layer of type Defuzzify an OutputMF block giving those of each output:
//
//   [InputMF]                [OutputMF]
//   [Input=0 MF=3 ]          [Output=0 MF=2 ]
//   [Input=1 MF=2 ]          [~OutputMF]
//   [~InputMF]
//
// Keywords are matched without regard to case. Each statement is one bracket holding the index
// assignment first and the MF assignment second, and nothing else. The statements may name the
// inputs or outputs in any order, but each exactly once.

#include <istream>
#include <ostream>

namespace ruvo {

class FileTools;
class TBasicLayer;
class TConditionLayer;
class TRuvoOutputLayer;

// Reads the rest of a membership block whose opening statement has just been read; blockName is
// that statement's name as written in the file (InputMF or OutputMF, any case). Reads up to and
// including the block's end tag and hands the layout to the layer: SetInputMFs for an input block
// (layer must be a TConditionLayer), SetOutputMFs for an output block (a TRuvoOutputLayer).
//
// Rejected with FileTools::Error, before the layer is changed: an index statement of the wrong
// kind ("invalid tag in membership1"), an MF item missing, misnamed or followed by further items
// ("invalid tag in membership2"), a non-integer value ("integer-expected"), an index outside the
// layer's neurons or named twice, fewer than 2 functions for one input or output, a missing end
// tag ("End Tag expected", also after a statement holding only the index), then inputs that
// leave a gap below the highest one named, outputs left out, input counts that do not add up to
// the layer's neurons, and output counts beyond the reader's limit.
//
// This form uses a FileTools object of its own, which cannot know the line it starts on, so its
// errors carry line 0.
void ReadMembershipBlock(std::istream& in, TBasicLayer* layer, const char* blockName);
// The same with the caller's FileTools, whose line count then stays right (the network reader
// uses this form).
void ReadMembershipBlock(FileTools& tools,
                         std::istream& in,
                         TBasicLayer* layer,
                         const char* blockName);

// [InputMF], one [Input=i MF=m ] line per input of the layer in input order, [~InputMF].
void WriteInputMFBlock(std::ostream& out, TConditionLayer* layer);
// [OutputMF], one [Output=o MF=m ] line per output (neuron) of the layer, [~OutputMF].
void WriteOutputMFBlock(std::ostream& out, TRuvoOutputLayer* layer);

}  // namespace ruvo

#endif
