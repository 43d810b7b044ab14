#include "FileHandler/ParseTools.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <streambuf>
#include <system_error>
#include <utility>
#include <vector>

#include "KQmessage/Check.h"
#include "KQmessage/KQML.h"

namespace ruvo {

namespace {

constexpr int kEof = std::char_traits<char>::eof();

constexpr const char* kUnexpectedEof = "Unexpected end of file";
constexpr const char* kUnexpectedSpecial = "Unexpected special character";

// Texts taken from a file and appended to a message are cut to this many characters.
constexpr std::size_t kMaxQuoted = 64;

// Character classes, indexed by the byte value 0 ... 255.
enum CharClass : unsigned char { kWordChar = 0, kSeparatorChar = 1, kSpecialChar = 2 };

constexpr std::array<unsigned char, 256> MakeClassTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        // Taken as a signed byte, every code from 128 up is negative and so below 33.
        const bool separator = c < 33 || c >= 127 || c == ',';
        table[static_cast<std::size_t>(c)] = separator ? kSeparatorChar : kWordChar;
    }
    for (const char* s = "[]/*=<>"; *s != '\0'; ++s) {
        table[static_cast<unsigned char>(*s)] = kSpecialChar;
    }
    return table;
}

constexpr std::array<unsigned char, 256> kClass = MakeClassTable();

inline unsigned char ClassOf(int c) {
    return kClass[static_cast<unsigned char>(c)];
}

// White space as "%ld" and "%f" skip it.
inline bool IsScanSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string Quoted(const std::string& text) {
    if (text.size() <= kMaxQuoted) {
        return text;
    }
    return text.substr(0, kMaxQuoted) + "...";
}

}  // namespace

FileTools::Error::Error(std::string text, const std::ios* where, long lineNumber)
    : message(std::move(text)), stream(where), line(lineNumber) {}

FileTools::FileTools() : tracked(nullptr), line(1), tokenLine(1), linesKnown(true) {
    workArea.reserve(1024);
}

void FileTools::BeginInput(std::istream& in) {
    tracked = &in;
    line = 1;
    tokenLine = 1;
    linesKnown = true;
}

void FileTools::LoseLineCount(std::istream& in) {
    tracked = &in;
    line = 1;
    tokenLine = 1;
    linesKnown = false;
}

void FileTools::Track(std::istream& in) {
    if (tracked != &in) {
        BeginInput(in);
    }
}

void FileTools::Fail(const std::ios& stream, const std::string& message) const {
    throw Error(message, &stream, &stream == tracked && linesKnown ? tokenLine : 0);
}

void FileTools::FailHere(const std::ios& stream, const std::string& message) const {
    throw Error(message, &stream, &stream == tracked && linesKnown ? line : 0);
}

void FileTools::FailAtLine(const std::ios& stream, const char* message, long lineNumber) const {
    throw Error(message, &stream, &stream == tracked && linesKnown ? lineNumber : 0);
}

// ---------------------------------------------------------------------------------------------
// Character access

bool FileTools::IsSeparator(int c) {
    return c != kEof && ClassOf(c) == kSeparatorChar;
}

bool FileTools::IsSpecial(int c) {
    return c != kEof && ClassOf(c) == kSpecialChar;
}

int FileTools::GetChar(std::istream& in) {
    Track(in);
    const int c = in.rdbuf()->sbumpc();
    if (c == '\n') {
        ++line;
    }
    return c;
}

int FileTools::PeekChar(std::istream& in) {
    Track(in);
    return in.rdbuf()->sgetc();
}

void FileTools::PutBack(std::istream& in, int c) {
    Track(in);
    if (c == kEof) {
        return;
    }
    in.rdbuf()->sputbackc(static_cast<char>(c));
    if (c == '\n') {
        --line;
    }
}

int FileTools::SkipSeparators(std::istream& in) {
    Track(in);
    std::streambuf* buf = in.rdbuf();
    for (;;) {
        const int c = buf->sbumpc();
        if (c == kEof || ClassOf(c) != kSeparatorChar) {
            return c;
        }
        if (c == '\n') {
            ++line;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Scanning

void FileTools::ScanToken(std::istream& in) {
    Track(in);
    std::streambuf* buf = in.rdbuf();
    workArea.clear();
    for (;;) {
        const int c = SkipSeparators(in);
        tokenLine = line;
        if (c == kEof) {
            return;
        }
        const unsigned char cls = ClassOf(c);
        if (cls == kSpecialChar) {
            const int next = buf->sbumpc();
            if (c == '/' && next == '*') {
                SkipComment(in);
                continue;  // a comment separates tokens
            }
            workArea.push_back(static_cast<char>(c));
            if (c == '[' && next == '~') {
                workArea.push_back('~');
            } else if (next != kEof) {
                buf->sputbackc(static_cast<char>(next));
            }
            return;
        }
        // A word: collect up to a separator (consumed) or a special character (put back).
        workArea.push_back(static_cast<char>(c));
        for (;;) {
            const int d = buf->sbumpc();
            if (d == kEof) {
                return;
            }
            const unsigned char dcls = ClassOf(d);
            if (dcls == kWordChar) {
                workArea.push_back(static_cast<char>(d));
                continue;
            }
            if (dcls == kSpecialChar) {
                buf->sputbackc(static_cast<char>(d));
            } else if (d == '\n') {
                ++line;
            }
            return;
        }
    }
}

std::string FileTools::ReadToken(std::istream& in) {
    ScanToken(in);
    return workArea;
}

void FileTools::SkipComment(std::istream& in) {
    Track(in);
    const long startLine = line;
    std::streambuf* buf = in.rdbuf();
    // depth counts the comments still open, this one included; prev is the character before the
    // current one within the innermost comment (a blank when it has just opened).
    unsigned long long depth = 1;
    int prev = ' ';
    for (;;) {
        const int c = buf->sbumpc();
        if (c == kEof) {
            FailAtLine(in, "Unexpected end of file during comment", startLine);
        }
        if (c == '\n') {
            ++line;
        }
        if (prev == '*' && c == '/') {
            if (--depth == 0) {
                return;
            }
            prev = '*';  // the enclosing comment resumes as if it had just seen "*"
        } else if (prev == '/' && c == '*') {
            ++depth;
            prev = ' ';
        } else {
            prev = c;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Statements

TStatement FileTools::ReadStatement(const char* blockName, std::istream& in, bool continuation) {
    TStatement statement;
    ReadStatement(blockName, in, continuation, &statement);
    return statement;
}

void FileTools::ReadStatement(const char* blockName,
                              std::istream& in,
                              bool continuation,
                              TStatement* out) {
    RUVO_CHECK(out != nullptr);
    Track(in);
    // The loop repeats only after a FormatVersion header, which is consumed and skipped.
    for (;;) {
        ScanToken(in);
        out->value.clear();
        out->unclosed = false;
        if (workArea.empty()) {
            // Inside a bracket (continuation) the end of input is always premature.
            if (blockName != nullptr || continuation) {
                FailAtLine(in, kUnexpectedEof, line);
            }
            out->kind = StmtEnd;
            out->name.clear();
            return;
        }
        if (workArea.size() == 1 && workArea[0] == ']') {
            Fail(in, "Unexpected ']'");
        }
        if (!continuation) {
            if (workArea.size() == 2 && workArea[0] == '[' && workArea[1] == '~') {
                if (blockName == nullptr) {
                    Fail(in, "Unexpected End Tag");
                }
                // The end of input after "[~" is an empty name, which differs from the block's
                // name; after the name it is a missing "]".
                ScanToken(in);
                if (strcasecmp(workArea.c_str(), blockName) != 0) {
                    Fail(in, "Unexpected End Tag");
                }
                ScanToken(in);
                if (!(workArea.size() == 1 && workArea[0] == ']')) {
                    Fail(in, "Expected ']'");
                }
                out->kind = StmtEnd;
                out->name.clear();
                return;
            }
            if (!(workArea.size() == 1 && workArea[0] == '[')) {
                out->kind = StmtWord;
                out->name = workArea;
                return;
            }
            ScanToken(in);  // the keyword after "["
        }

        // The keyword, then "]", "=" value, or a further item.
        if (workArea.empty()) {
            FailAtLine(in, kUnexpectedEof, line);
        }
        if (IsSpecial(static_cast<unsigned char>(workArea[0]))) {
            Fail(in, kUnexpectedSpecial);
        }
        out->name = workArea;
        int c = SkipSeparators(in);
        if (c == kEof) {
            FailAtLine(in, kUnexpectedEof, line);
        }
        if (c == ']') {
            out->kind = StmtTag;
            return;
        }
        if (c != '=') {
            PutBack(in, c);
            out->kind = StmtTag;
            out->unclosed = true;
            return;
        }
        ScanToken(in);
        if (workArea.empty()) {
            FailAtLine(in, kUnexpectedEof, line);
        }
        if (IsSpecial(static_cast<unsigned char>(workArea[0]))) {
            Fail(in, kUnexpectedSpecial);
        }
        out->value = workArea;
        c = SkipSeparators(in);
        if (c == kEof) {
            FailAtLine(in, kUnexpectedEof, line);
        }
        const bool closed = c == ']';
        if (!closed) {
            PutBack(in, c);
        }
        out->kind = StmtAssign;
        out->unclosed = !closed;
        if (continuation || strcasecmp(out->name.c_str(), "FORMATVERSION") != 0) {
            return;
        }
        // The file-format header: only separators may stand between its value and "]".
        if (!closed) {
            Fail(in, "Illegal Format of FormatVersion");
        }
        if (ParseNumber(in, out->value.c_str()) > 1.0) {
            Fail(in, "Illegal Format Version");
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Typed readers

std::string FileTools::ExpectBlock(const TStatement& statement,
                                   std::istream& in,
                                   const char* expected) {
    if (expected != nullptr) {
        if (statement.kind != StmtTag || strcasecmp(statement.name.c_str(), expected) != 0) {
            Fail(in, std::string("[") + expected + "] expected");
        }
    } else if (statement.kind != StmtTag) {
        Fail(in, "start of block expected");
    }
    return statement.name;
}

void FileTools::ExpectEndTag(const TStatement& statement, std::istream& in) {
    if (statement.kind != StmtEnd) {
        Fail(in, "End Tag expected");
    }
}

std::string FileTools::ReadStringValue(const TStatement& statement,
                                       std::istream& in,
                                       const char* keyword,
                                       const char* expected) {
    if (statement.kind != StmtAssign || strcasecmp(statement.name.c_str(), keyword) != 0) {
        Fail(in, std::string("[") + keyword + " = <string>] expected" + Quoted(statement.name));
    }
    if (expected == nullptr) {
        return statement.value;
    }
    if (strcasecmp(statement.value.c_str(), expected) != 0) {
        Fail(in, std::string("[") + keyword + " = " + expected + "] expected");
    }
    return std::string();
}

long FileTools::ReadIntegerValue(const TStatement& statement,
                                 std::istream& in,
                                 const char* keyword) {
    if (statement.kind != StmtAssign || strcasecmp(statement.name.c_str(), keyword) != 0) {
        Fail(in, std::string("[") + keyword + " = <integer>] expected");
    }
    return ParseInteger(in, statement.value.c_str());
}

double FileTools::ReadNumberValue(const TStatement& statement,
                                  std::istream& in,
                                  const char* keyword) {
    if (statement.kind != StmtAssign || strcasecmp(statement.name.c_str(), keyword) != 0) {
        Fail(in, std::string("[") + keyword + " = <number>] expected");
    }
    return ParseNumber(in, statement.value.c_str());
}

double FileTools::ReadNumberToken(const TStatement& statement, std::istream& in) {
    if (statement.kind != StmtWord) {
        Fail(in, "Token (number) expected");
    }
    return ParseNumber(in, statement.name.c_str());
}

long FileTools::ParseInteger(std::istream& in, const char* text) {
    RUVO_CHECK(text != nullptr);
    const char* p = text;
    while (IsScanSpace(*p)) {
        ++p;
    }
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') {
        ++p;
    }
    if (!IsDigit(*p)) {
        Fail(in, "integer-expected");
    }
    // Accumulated towards the sign so that LONG_MIN itself is representable.
    long value = 0;
    for (; IsDigit(*p); ++p) {
        const long digit = *p - '0';
        if (negative) {
            if (value < (LONG_MIN + digit) / 10) {
                Fail(in, "integer out of range");
            }
            value = value * 10 - digit;
        } else {
            if (value > (LONG_MAX - digit) / 10) {
                Fail(in, "integer out of range");
            }
            value = value * 10 + digit;
        }
    }
    return value;
}

double FileTools::ParseNumber(std::istream& in, const char* text) {
    RUVO_CHECK(text != nullptr);
    const char* p = text;
    while (IsScanSpace(*p)) {
        ++p;
    }
    const char* digits = (*p == '+' || *p == '-') ? p + 1 : p;
    const bool hexPrefix = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
    const bool decimal =
        !hexPrefix && (IsDigit(digits[0]) || (digits[0] == '.' && IsDigit(digits[1])));
    if (decimal) {
        // A plain decimal number: "%f" accepts it whatever follows, and from_chars gives the same
        // correctly rounded value as strtod (it takes no "+", so that is skipped). Out-of-range
        // values are left to strtod, which gives the infinities and subnormals.
        const char* start = *p == '+' ? p + 1 : p;
        double value = 0.0;
        const std::from_chars_result result =
            std::from_chars(start, start + std::strlen(start), value, std::chars_format::general);
        if (result.ec == std::errc()) {
            return value;
        }
        return std::strtod(text, nullptr);
    }
    // Hexadecimal numbers, inf, nan and everything else: the "%f" conversion decides.
    float probe = 0.0f;
    if (std::sscanf(text, "%f", &probe) != 1) {
        Fail(in, "number-expected");
    }
    return std::strtod(text, nullptr);
}

char* FileTools::CopyString(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Writing

void FileTools::WriteStatement(const TStatement& statement, std::ostream& out, bool bracket) {
    switch (statement.kind) {
        case StmtFormatVersion:
            RUVO_CHECK_TEXT(bracket, "bracket form of StmtFormatVersion");
            out << "[FormatVersion = 1.0]" << std::endl << std::endl;
            return;
        case StmtEnd:
            RUVO_CHECK_TEXT(bracket, "bracket form of StmtEnd");
            if (!statement.name.empty()) {
                out << "[~" << statement.name << ']' << std::endl;
            }
            return;
        case StmtTag:
            if (bracket) {
                out << '[' << statement.name << ']' << std::endl;
            } else {
                out << statement.name << ' ';
            }
            return;
        case StmtAssign:
            if (bracket) {
                out << '[' << statement.name << " = " << statement.value << ']' << std::endl;
            } else {
                out << statement.name << '=' << statement.value << ' ';
            }
            return;
        case StmtWord:
            out << statement.name << ' ';
            return;
        default:
            RUVO_CHECK_TEXT(false, "known statement kind");
    }
}

void FileTools::OpenBracket(std::ostream& out, bool bracket) {
    if (bracket) {
        out << '[';
    }
}

void FileTools::CloseBracket(std::ostream& out, bool bracket, bool lineEnd) {
    if (!bracket) {
        return;
    }
    out << ']';
    if (lineEnd) {
        out << std::endl;
    }
}

void FileTools::WriteNewLine(std::ostream& out) {
    out << std::endl;
}

void FileTools::WriteFormatVersion(std::ostream& out) {
    TStatement statement;
    statement.kind = StmtFormatVersion;
    WriteStatement(statement, out, true);
}

void FileTools::WriteTag(std::ostream& out, const char* name, bool bracket) {
    TStatement statement;
    statement.kind = StmtTag;
    statement.name = name;
    WriteStatement(statement, out, bracket);
}

void FileTools::WriteEndTag(std::ostream& out, const char* name) {
    if (name == nullptr) {
        return;
    }
    TStatement statement;
    statement.kind = StmtEnd;
    statement.name = name;
    WriteStatement(statement, out, true);
}

void FileTools::WriteAssign(std::ostream& out, const char* name, const char* value, bool bracket) {
    TStatement statement;
    statement.kind = StmtAssign;
    statement.name = name;
    statement.value = value;
    WriteStatement(statement, out, bracket);
}

void FileTools::WriteIntegerAssign(std::ostream& out, const char* name, long value, bool bracket) {
    char text[32];
    std::snprintf(text, sizeof text, "%ld", value);
    WriteAssign(out, name, text, bracket);
}

void FileTools::WriteRealAssign(
    std::ostream& out, const char* name, double value, int precision, bool bracket) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%.*f", precision, value);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof text) {
        WriteAssign(out, name, text, bracket);
        return;
    }
    // Large magnitudes at high precision: written in full.
    RUVO_CHECK(length > 0);
    std::vector<char> longText(static_cast<std::size_t>(length) + 1);
    std::snprintf(longText.data(), longText.size(), "%.*f", precision, value);
    WriteAssign(out, name, longText.data(), bracket);
}

}  // namespace ruvo
