#ifndef RUVO_KQMESSAGE_KQML_H
#define RUVO_KQMESSAGE_KQML_H

// KQML-style structures: a word, optionally followed by an ordered list of keyword/value pairs
// whose values are again structures. Training parameters travel in them, (Params :LearningRate
// 0.500000 :Momentum 0.500000 :batch true), and errors are described by them, (error :type
// invalid-message :expected LEARNINGRATE). Numbers are stored as text.
//
// This header also holds the program's case-insensitive comparison and its exception types.

#include <string>

namespace ruvo {

// Compares two zero-terminated texts ignoring case: both are upper-cased, then compared as
// unsigned bytes. Returns -1, 0 or 1. Every key, keyword, type-name and function-name lookup of
// the program uses it. It lives in namespace ruvo so it never clashes with the C library's
// function of the same name.
int strcasecmp(const char* a, const char* b);

class TKQstructure;

// One keyword/value pair of a structure. Both members are owned by the structure.
struct TKQpair {
    char* keyword;
    TKQstructure* value;
};

class TKQstructure {
public:
    // Raised by the checked accessors; carries an error structure such as
    // (error :type invalid-message :expected Key). The exception owns the structure.
    class Error {
    public:
        explicit Error(TKQstructure* structure);
        Error(const Error& other);
        Error& operator=(const Error& other);
        ~Error();

        TKQstructure* structure;
    };

    // Atom with the word "unknown" and 16 pair slots.
    TKQstructure();
    // Atom holding a copy of word, with 16 pair slots.
    explicit TKQstructure(const char* word);
    // Deep copy; the copy has exactly as many pair slots as the source has pairs.
    TKQstructure(const TKQstructure& other);
    TKQstructure& operator=(const TKQstructure& other);
    ~TKQstructure();

    // Stores newval (taking ownership) under keyword. A keyword equal ignoring case to a stored
    // one replaces that pair's value in place, keeping the stored spelling and position.
    // REQUIRES: newval != NULL.
    void Set(const char* keyword, TKQstructure* newval);
    void SetString(const char* keyword, const char* text);
    void SetInteger(const char* keyword, long value);  // "%ld"
    void SetReal(const char* keyword, double value);   // "%f": six decimals
    void SetBoolean(const char* keyword, bool value);  // "true" / "false"

    // Lookups compare keywords ignoring case, searching from the last pair to the first. Returned
    // values stay owned by this structure.
    TKQstructure* Find(const char* keyword) const;        // null when absent
    TKQstructure* Get(const char* keyword) const;         // absent: consistency failure
    TKQstructure* GetChecked(const char* keyword) const;  // absent: raises Error
    // Raises Error unless keyword is present and, when value is not empty, the word of its value
    // equals value ignoring case.
    void Expect(const char* keyword, const char* value) const;
    // Releases the pair with that keyword and moves the last pair into its slot.
    void Remove(const char* keyword);

    // Converters of words. The numeric ones read like "%ld" and "%lf": leading white space is
    // skipped and text after the number is ignored.
    static bool ToBoolean(const char* text);
    static long ToInteger(const char* text);
    static long ToIntegerChecked(const char* text);
    static double ToReal(const char* text);
    static double ToRealChecked(const char* text);
    // A new structure (error :type word), owned by the caller.
    static TKQstructure* MakeError(const char* word);
    // A new text (owned by the caller, release with delete[]): arguments 1 to argc - 1, each
    // followed by one blank.
    static char* JoinArguments(int argc, const char* const* argv);

    // Writes the text form to standard output (PrintLine adds a line end).
    void Print() const;
    void PrintLine() const;
    // The text form as a string (what Print writes).
    void AppendText(std::string* out) const;

    // Reads one structure from *cursor and advances the cursor past it. The result belongs to the
    // caller. Malformed text is a consistency failure.
    static TKQstructure* Parse(const char** cursor);
    // Parse, then require that nothing but separators follows.
    static TKQstructure* ParseComplete(const char** cursor);

    char* type;
    TKQpair* pairs;
    int capacity;
    int count;

private:
    void Release();
    void CopyFrom(const TKQstructure& other);
};

// The exception of the fuzzy network and the data set for bad arguments. It owns its three texts
// (private copies) and its structure; copies are deep.
class TException {
public:
    TException();
    TException(const char* message, const char* kind);
    TException(const char* message,
               const char* kind,
               const char* location,
               TKQstructure* structure);
    TException(const TException& other);
    TException& operator=(const TException& other);
    ~TException();

    char* message;
    char* kind;               // "Bad Parameter" or "Null Pointer Parameter"; may be null
    TKQstructure* structure;  // may be null
    char* location;           // Class::Method; may be null

private:
    void Release();
    void CopyFrom(const TException& other);
};

}  // namespace ruvo

#endif
