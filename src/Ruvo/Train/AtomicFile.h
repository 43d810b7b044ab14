#ifndef RUVO_TRAIN_ATOMICFILE_H
#define RUVO_TRAIN_ATOMICFILE_H

#include <string>

namespace ruvo {

// Replaces the file at path by contents so that readers see either the old file or the complete
// new one, never a truncated mix: the text goes to a new temporary file in the same folder, is
// flushed to disk, and is then renamed over path. On failure (missing folder, no permission, disk
// full) nothing at path changes, the temporary file is removed, *error describes the failure and
// the result is false.
bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string* error);

}  // namespace ruvo

#endif
