#ifndef RUVO_FILEHANDLER_PARSETOOLS_H
#define RUVO_FILEHANDLER_PARSETOOLS_H

// The toolkit shared by the two bracketed text formats (network files and data-set files): a
// token scanner, a statement reader, typed value readers, the reading error FileTools::Error, and
// the statement writer.
//
// Lexical syntax. A character is taken as a signed byte.
//   separators   every code below 33 (blank, tab, line ends, other control characters), 127,
//                every byte from 128 up, and the comma;
//   specials     the seven characters [ ] / * = < >
//   words        maximal runs of all other characters.
// Two specials pair up into one token: "/*" opens a comment and "[~" opens an end tag. Comments
// nest: /* one /* two */ three */ is one comment. After a nested comment closes, the scan of the
// enclosing one resumes as if the last character seen were "*", so a "/" directly after the
// inner "*/" closes the enclosing comment too. A comment acts as a separator.
//
// Statements, as ReadStatement returns them (TStatement):
//   [Keyword]            StmtTag
//   [Keyword = value]    StmtAssign
//   [Keyword item ...]   StmtTag or StmtAssign with unclosed set; each further item inside the
//                        same bracket is read with ReadStatement in continuation mode
//   [~Name]              StmtEnd, closing the innermost open block (Name compared ignoring case)
//   word                 StmtWord (also a lone "=", "/", "*", "<" or ">")
//   end of input         StmtEnd when no block is open
// A header [FormatVersion = v] with v <= 1.0 is consumed by ReadStatement wherever a statement is
// read outside a bracket; the caller never sees it.
//
// The reader keeps no block state: the caller passes the name of the innermost open block on
// every call (null when none is open) and stops passing it once its end tag has been read.
//
// Streams. Readers take a std::istream and read it through its stream buffer one character at a
// time, with one character of look-ahead that is put back when it belongs to the next token. The
// toolkit counts the lines of the stream it reads so that every FileTools::Error carries the line
// where the problem was found: call BeginInput on every newly opened stream (a different stream
// object also restarts the count). Writers take a std::ostream.
//
// All keyword and value comparisons are case-insensitive (ruvo::strcasecmp).

#include <ios>
#include <istream>
#include <ostream>
#include <string>

namespace ruvo {

// Statement kinds, shared by reader and writer. The value 4 is not used.
enum TStatementKind : int {
    StmtEnd = 0,            // end tag of the open block, or end of input with no block open
    StmtWord = 1,           // a word that does not start a bracket
    StmtTag = 2,            // a bracket holding a keyword alone, or a keyword and further items
    StmtAssign = 3,         // a bracket holding keyword = value, possibly with further items
    StmtFormatVersion = 5,  // written only: "[FormatVersion = 1.0]" and an empty line
};

// One statement. An empty name or value means absent: the reader never returns an empty keyword,
// value or word.
struct TStatement {
    int kind = StmtEnd;
    std::string name;   // keyword of a tag or assignment, the word of a StmtWord; empty for StmtEnd
    std::string value;  // value of a StmtAssign; empty otherwise
    bool unclosed = false;  // the closing "]" did not follow this item: more items follow
};

// Reader and writer of the bracketed syntax. One object is used per file being read or written;
// it owns the work area in which tokens are collected (any length; it grows as needed and is
// reused, so reading allocates nothing per token once it has seen its longest token).
class FileTools {
public:
    // The exception of every reading failure of the bracketed formats (and of the network
    // writer's single failure). The message texts are fixed; line is where the problem was found
    // (1 for the first line), 0 when it is not known.
    class Error {
    public:
        Error(std::string text, const std::ios* where, long lineNumber = 0);

        std::string message;
        const std::ios* stream;  // the stream being read or written; not owned
        long line;
    };

    FileTools();
    FileTools(const FileTools&) = delete;
    FileTools& operator=(const FileTools&) = delete;

    // Starts counting lines of a newly opened stream from line 1.
    void BeginInput(std::istream& in);
    // Forgets the line count of in (after a seek): errors then report line 0 (unknown).
    void LoseLineCount(std::istream& in);
    // The line of the stream read last where the most recent token began; 0 when unknown.
    long TokenLine() const { return linesKnown ? tokenLine : 0; }

    // Raises Error with message, naming stream and, when stream is the one being read, the line
    // of the most recent token.
    [[noreturn]] void Fail(const std::ios& stream, const std::string& message) const;
    // The same with the line of the character read last (for problems found between tokens).
    [[noreturn]] void FailHere(const std::ios& stream, const std::string& message) const;

    // --- Scanning and parsing -------------------------------------------------------------

    // The next token; the empty text at end of input.
    std::string ReadToken(std::istream& in);
    // Consumes the rest of a comment whose opening "/*" has just been read. Nesting is counted,
    // not recursed, so any depth is fine. Raises "Unexpected end of file during comment".
    void SkipComment(std::istream& in);

    // Reads one statement. blockName: name of the innermost open block, null when none is open.
    // continuation: the previous item of the current bracket was returned unclosed; the next
    // item then starts directly with its keyword.
    TStatement ReadStatement(const char* blockName, std::istream& in, bool continuation);
    // The same, filling *out; reusing one TStatement avoids allocating per statement.
    void ReadStatement(const char* blockName, std::istream& in, bool continuation, TStatement* out);

    // The name of a block-opening statement: a StmtTag named expected (ignoring case), or any
    // StmtTag when expected is null. Raises "[<expected>] expected" or "start of block expected".
    // The unclosed flag is not examined.
    std::string ExpectBlock(const TStatement& statement, std::istream& in, const char* expected);
    // Raises "End Tag expected" unless statement is StmtEnd.
    void ExpectEndTag(const TStatement& statement, std::istream& in);
    // statement must be a StmtAssign named keyword. Without an expected value, returns the value;
    // with one, checks that the value equals it (ignoring case) and returns the empty text.
    std::string ReadStringValue(const TStatement& statement,
                                std::istream& in,
                                const char* keyword,
                                const char* expected);
    // statement must be a StmtAssign named keyword; its value converted by ParseInteger or
    // ParseNumber.
    long ReadIntegerValue(const TStatement& statement, std::istream& in, const char* keyword);
    double ReadNumberValue(const TStatement& statement, std::istream& in, const char* keyword);
    // statement must be a StmtWord ("Token (number) expected"); its word through ParseNumber.
    double ReadNumberToken(const TStatement& statement, std::istream& in);

    // The integer at the start of text, read as "%ld" reads it: optional white space, optional
    // sign, decimal digits; anything after the digits is ignored (12abc is 12, 1.5 is 1). Raises
    // "integer-expected" when text does not start with an integer, "integer out of range" when it
    // does not fit a long. in only names the stream in the error.
    long ParseInteger(std::istream& in, const char* text);
    // The number at the start of text: accepted as "%f" accepts it (optional white space and
    // sign, then decimal digits with an optional point and exponent, a hexadecimal number, inf,
    // infinity or nan, any case), else "number-expected"; the value is the correctly rounded
    // double of the standard string-to-double conversion. Text after the number is ignored.
    double ParseNumber(std::istream& in, const char* text);

    // A copy of text made with new[] (the caller releases it with delete[]); null for null.
    static char* CopyString(const char* text);

    // --- Character access for readers that need look-ahead (label lists) -------------------

    // The next character (EOF at end of input), counting lines.
    int GetChar(std::istream& in);
    // The next character without consuming it (EOF at end of input).
    int PeekChar(std::istream& in);
    // Puts back c, the character just read by GetChar (nothing for EOF).
    void PutBack(std::istream& in, int c);
    // Consumes separators and returns the first other character, consumed too (EOF at end).
    int SkipSeparators(std::istream& in);
    static bool IsSeparator(int c);
    static bool IsSpecial(int c);

    // --- Writing ------------------------------------------------------------------------------
    // Bracket form: a statement of its own on its own line, never indented. Inline form: an item
    // inside a bracket that the caller opens (OpenBracket) and closes (CloseBracket). A line end
    // is the stream's end of line, which also flushes it.

    // StmtFormatVersion: "[FormatVersion = 1.0]", two line ends (bracket form only).
    // StmtEnd: "[~name]", line end; nothing without a name (bracket form only).
    // StmtTag: "[name]", line end | "name ".
    // StmtAssign: "[name = value]", line end | "name=value ".
    // StmtWord: "word " in both forms.
    void WriteStatement(const TStatement& statement, std::ostream& out, bool bracket);
    void OpenBracket(std::ostream& out, bool bracket);
    void CloseBracket(std::ostream& out, bool bracket, bool lineEnd);
    void WriteNewLine(std::ostream& out);
    void WriteFormatVersion(std::ostream& out);
    void WriteTag(std::ostream& out, const char* name, bool bracket);
    // The end tag in bracket form; nothing when name is null.
    void WriteEndTag(std::ostream& out, const char* name);
    void WriteAssign(std::ostream& out, const char* name, const char* value, bool bracket);
    // The value formatted with "%ld".
    void WriteIntegerAssign(std::ostream& out, const char* name, long value, bool bracket);
    // The value formatted with "%.*f" and precision decimals (written in full however long).
    void WriteRealAssign(
        std::ostream& out, const char* name, double value, int precision, bool bracket);

private:
    void Track(std::istream& in);
    // Scans the next token into workArea (empty at end of input).
    void ScanToken(std::istream& in);
    [[noreturn]] void FailAtLine(const std::ios& stream,
                                 const char* message,
                                 long lineNumber) const;

    std::string workArea;
    const std::ios* tracked;  // the stream whose lines are being counted
    long line;                // current line of tracked
    long tokenLine;           // line where the most recent token of tracked began
    bool linesKnown;          // false after LoseLineCount: errors then report line 0
};

}  // namespace ruvo

#endif
