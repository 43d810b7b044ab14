#ifndef RUVO_KQMESSAGE_CHECK_H
#define RUVO_KQMESSAGE_CHECK_H

// Internal consistency checks: conditions that a correct caller always guarantees (indices in
// range, operations a class supports, cases that cannot occur). A failed check writes the text of
// the condition, with the file and line, to standard error and aborts the program. Unlike assert,
// the check stays on in every build. Anything a user's file or parameter can trigger must raise an
// exception instead.

namespace ruvo {

[[noreturn]] void InternalCheckFailed(const char* condition, const char* file, int line);

}  // namespace ruvo

#define RUVO_CHECK(cond) \
    ((cond) ? static_cast<void>(0) : ::ruvo::InternalCheckFailed(#cond, __FILE__, __LINE__))

// Checks a condition whose quoted text differs from the expression that tests it (the reported
// text is the one callers and tests know the check by).
#define RUVO_CHECK_TEXT(cond, text) \
    ((cond) ? static_cast<void>(0) : ::ruvo::InternalCheckFailed(text, __FILE__, __LINE__))

#endif
