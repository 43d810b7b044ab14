#include "KQmessage/KQML.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "KQmessage/Check.h"

namespace ruvo {

namespace {

constexpr int kInitialPairs = 16;

char* CopyText(const char* text) {
    if (text == nullptr) {
        return nullptr;
    }
    const std::size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

unsigned char Upper(unsigned char c) {
    return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c;
}

// Token characters are the printable bytes 0x21..0x7E; every other byte separates tokens.
bool IsTokenChar(unsigned char c) {
    return c >= 0x21 && c <= 0x7E;
}

// Reads the next token of the text form. Skips separators; returns "" at the end of the text; a
// character of specials is a token alone; otherwise collects token characters up to a separator
// or a special character, except that a ':' inside a word is part of the word.
std::string NextToken(const char** cursor, const char* specials) {
    const char* s = *cursor;
    while (*s != '\0' && !IsTokenChar(static_cast<unsigned char>(*s))) {
        ++s;
    }
    std::string token;
    if (*s == '\0') {
        *cursor = s;
        return token;
    }
    if (std::strchr(specials, *s) != nullptr) {
        token.assign(1, *s);
        *cursor = s + 1;
        return token;
    }
    while (*s != '\0' && IsTokenChar(static_cast<unsigned char>(*s)) &&
           (*s == ':' || std::strchr(specials, *s) == nullptr)) {
        token.push_back(*s);
        ++s;
    }
    *cursor = s;
    return token;
}

// Every token that must be a word (type word, keyword, atom) passes through here.
void CheckToken(const std::string& token) {
    if (token.empty() || token[0] == '(' || token[0] == ')' || token[0] == ':') {
        std::fprintf(stderr, "special character unexpected\n");
        InternalCheckFailed("special character unexpected", __FILE__, __LINE__);
    }
}

// Builds (error :type <type> :<key> <value>) for the checked accessors.
TKQstructure* MakeKeyedError(const char* type, const char* key, const char* value) {
    TKQstructure* error = TKQstructure::MakeError(type);
    error->SetString(key, value);
    return error;
}

// Reads a long like "%ld": skips leading white space, optional sign, decimal digits; text after
// the number is ignored. Returns false when no number starts the text.
bool ScanLong(const char* text, long* value) {
    return std::sscanf(text, "%ld", value) == 1;
}

// Reads a double like "%lf". The trainer reads its rates this way for every pattern, so a text
// that is one plain number, the usual case, is converted by strtod directly (the same correctly
// rounded conversion); anything else goes through sscanf itself.
bool ScanDouble(const char* text, double* value) {
    char* end = nullptr;
    const double parsed = std::strtod(text, &end);
    if (end != text && *end == '\0') {
        *value = parsed;
        return true;
    }
    return std::sscanf(text, "%lf", value) == 1;
}

}  // namespace

int strcasecmp(const char* a, const char* b) {
    // Upper-cased bytes compared as unsigned values; no copies are needed to get the same order.
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a);
    const unsigned char* q = reinterpret_cast<const unsigned char*>(b);
    for (;; ++p, ++q) {
        const unsigned char x = Upper(*p);
        const unsigned char y = Upper(*q);
        if (x != y) {
            return x < y ? -1 : 1;
        }
        if (x == '\0') {
            return 0;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// TKQstructure::Error

TKQstructure::Error::Error(TKQstructure* errorStructure) : structure(errorStructure) {}

TKQstructure::Error::Error(const Error& other)
    : structure(other.structure ? new TKQstructure(*other.structure) : nullptr) {}

TKQstructure::Error& TKQstructure::Error::operator=(const Error& other) {
    if (this != &other) {
        TKQstructure* copy = other.structure ? new TKQstructure(*other.structure) : nullptr;
        delete structure;
        structure = copy;
    }
    return *this;
}

TKQstructure::Error::~Error() {
    delete structure;
}

// ---------------------------------------------------------------------------------------------
// TKQstructure: construction and copying

TKQstructure::TKQstructure() : TKQstructure("unknown") {}

TKQstructure::TKQstructure(const char* word)
    : type(CopyText(word)), pairs(new TKQpair[kInitialPairs]), capacity(kInitialPairs), count(0) {}

TKQstructure::TKQstructure(const TKQstructure& other)
    : type(nullptr), pairs(nullptr), capacity(0), count(0) {
    CopyFrom(other);
}

TKQstructure& TKQstructure::operator=(const TKQstructure& other) {
    if (this != &other) {
        Release();
        CopyFrom(other);
    }
    return *this;
}

TKQstructure::~TKQstructure() {
    Release();
}

void TKQstructure::Release() {
    for (int i = 0; i < count; ++i) {
        delete[] pairs[i].keyword;
        delete pairs[i].value;
    }
    delete[] pairs;
    delete[] type;
    pairs = nullptr;
    type = nullptr;
    capacity = 0;
    count = 0;
}

// The copy gets exactly as many pair slots as the source has pairs.
void TKQstructure::CopyFrom(const TKQstructure& other) {
    type = CopyText(other.type);
    pairs = new TKQpair[other.count];
    capacity = other.count;
    for (int i = 0; i < other.count; ++i) {
        std::unique_ptr<TKQstructure> value(new TKQstructure(*other.pairs[i].value));
        pairs[i].keyword = CopyText(other.pairs[i].keyword);
        pairs[i].value = value.release();
        count = i + 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Setting values

void TKQstructure::Set(const char* keyword, TKQstructure* newval) {
    RUVO_CHECK_TEXT(newval != nullptr, "newval != NULL");
    for (int i = count - 1; i >= 0; --i) {
        if (ruvo::strcasecmp(pairs[i].keyword, keyword) == 0) {
            delete pairs[i].value;
            pairs[i].value = newval;
            return;
        }
    }
    if (count == capacity) {
        int grown = capacity * 2;
        if (grown < kInitialPairs) {
            grown = kInitialPairs;
        }
        TKQpair* moved = new TKQpair[grown];
        for (int i = 0; i < count; ++i) {
            moved[i] = pairs[i];
        }
        delete[] pairs;
        pairs = moved;
        capacity = grown;
    }
    pairs[count].keyword = CopyText(keyword);
    pairs[count].value = newval;
    ++count;
}

void TKQstructure::SetString(const char* keyword, const char* text) {
    Set(keyword, new TKQstructure(text));
}

void TKQstructure::SetInteger(const char* keyword, long value) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, "%ld", value);
    SetString(keyword, buffer);
}

void TKQstructure::SetReal(const char* keyword, double value) {
    // "%f" of a huge double can exceed any fixed buffer; measure first so nothing is cut.
    const int length = std::snprintf(nullptr, 0, "%f", value);
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(&buffer[0], buffer.size(), "%f", value);
    buffer.resize(static_cast<std::size_t>(length));
    SetString(keyword, buffer.c_str());
}

void TKQstructure::SetBoolean(const char* keyword, bool value) {
    SetString(keyword, value ? "true" : "false");
}

// ---------------------------------------------------------------------------------------------
// Reading values

TKQstructure* TKQstructure::Find(const char* keyword) const {
    for (int i = count - 1; i >= 0; --i) {
        if (ruvo::strcasecmp(pairs[i].keyword, keyword) == 0) {
            return pairs[i].value;
        }
    }
    return nullptr;
}

TKQstructure* TKQstructure::Get(const char* keyword) const {
    TKQstructure* value = Find(keyword);
    RUVO_CHECK_TEXT(value != nullptr, "value != NULL");
    return value;
}

TKQstructure* TKQstructure::GetChecked(const char* keyword) const {
    TKQstructure* value = Find(keyword);
    if (value == nullptr) {
        throw Error(MakeKeyedError("invalid-message", "expected", keyword));
    }
    return value;
}

void TKQstructure::Expect(const char* keyword, const char* value) const {
    TKQstructure* found = GetChecked(keyword);
    if (value != nullptr && value[0] != '\0' && ruvo::strcasecmp(found->type, value) != 0) {
        TKQstructure* error = MakeError("invalid-message");
        error->SetString("tag", keyword);
        error->SetString("expected-value", value);
        throw Error(error);
    }
}

void TKQstructure::Remove(const char* keyword) {
    for (int i = count - 1; i >= 0; --i) {
        if (ruvo::strcasecmp(pairs[i].keyword, keyword) == 0) {
            delete[] pairs[i].keyword;
            delete pairs[i].value;
            pairs[i] = pairs[count - 1];
            --count;
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Converters

bool TKQstructure::ToBoolean(const char* text) {
    if (ruvo::strcasecmp(text, "TRUE") == 0) {
        return true;
    }
    if (ruvo::strcasecmp(text, "FALSE") == 0) {
        return false;
    }
    throw Error(MakeKeyedError("type-error", "expected", "boolean"));
}

long TKQstructure::ToInteger(const char* text) {
    long value = 0;
    RUVO_CHECK_TEXT(ScanLong(text, &value), "err == 1");
    return value;
}

long TKQstructure::ToIntegerChecked(const char* text) {
    long value = 0;
    if (!ScanLong(text, &value)) {
        throw Error(MakeKeyedError("invalid-message", "integer-expected", text));
    }
    return value;
}

double TKQstructure::ToReal(const char* text) {
    double value = 0.0;
    RUVO_CHECK_TEXT(ScanDouble(text, &value), "err == 1");
    return value;
}

double TKQstructure::ToRealChecked(const char* text) {
    double value = 0.0;
    if (!ScanDouble(text, &value)) {
        throw Error(MakeKeyedError("invalid-message", "number-expected", text));
    }
    return value;
}

TKQstructure* TKQstructure::MakeError(const char* word) {
    TKQstructure* error = new TKQstructure("error");
    error->SetString("type", word);
    return error;
}

char* TKQstructure::JoinArguments(int argc, const char* const* argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        joined += argv[i];
        joined += ' ';
    }
    return CopyText(joined.c_str());
}

// ---------------------------------------------------------------------------------------------
// Text form

void TKQstructure::AppendText(std::string* out) const {
    if (count == 0) {
        *out += type;
        return;
    }
    *out += '(';
    *out += type;
    for (int i = 0; i < count; ++i) {
        *out += " :";
        *out += pairs[i].keyword;
        *out += ' ';
        pairs[i].value->AppendText(out);
    }
    *out += ')';
}

void TKQstructure::Print() const {
    std::string text;
    AppendText(&text);
    std::fputs(text.c_str(), stdout);
}

void TKQstructure::PrintLine() const {
    Print();
    std::fputc('\n', stdout);
}

TKQstructure* TKQstructure::Parse(const char** cursor) {
    std::string token = NextToken(cursor, "():");
    if (token != "(") {
        CheckToken(token);
        return new TKQstructure(token.c_str());
    }
    token = NextToken(cursor, "():");
    CheckToken(token);
    std::unique_ptr<TKQstructure> result(new TKQstructure(token.c_str()));
    for (;;) {
        token = NextToken(cursor, "():");
        if (token == ")") {
            return result.release();
        }
        RUVO_CHECK_TEXT(token == ":", "*s == ')'");
        std::string keyword = NextToken(cursor, "():");
        CheckToken(keyword);
        result->Set(keyword.c_str(), Parse(cursor));
    }
}

TKQstructure* TKQstructure::ParseComplete(const char** cursor) {
    std::unique_ptr<TKQstructure> result(Parse(cursor));
    RUVO_CHECK_TEXT(NextToken(cursor, "").empty(), "*s == '\\0'");
    return result.release();
}

// ---------------------------------------------------------------------------------------------
// TException

TException::TException() : message(nullptr), kind(nullptr), structure(nullptr), location(nullptr) {}

TException::TException(const char* messageText, const char* kindText)
    : message(CopyText(messageText)),
      kind(CopyText(kindText)),
      structure(nullptr),
      location(nullptr) {}

TException::TException(const char* messageText,
                       const char* kindText,
                       const char* locationText,
                       TKQstructure* details)
    : message(CopyText(messageText)),
      kind(CopyText(kindText)),
      structure(details),
      location(CopyText(locationText)) {}

TException::TException(const TException& other)
    : message(nullptr), kind(nullptr), structure(nullptr), location(nullptr) {
    CopyFrom(other);
}

TException& TException::operator=(const TException& other) {
    if (this != &other) {
        Release();
        CopyFrom(other);
    }
    return *this;
}

TException::~TException() {
    Release();
}

void TException::Release() {
    delete[] message;
    delete[] kind;
    delete structure;
    delete[] location;
    message = kind = location = nullptr;
    structure = nullptr;
}

void TException::CopyFrom(const TException& other) {
    message = CopyText(other.message);
    kind = CopyText(other.kind);
    location = CopyText(other.location);
    structure = other.structure ? new TKQstructure(*other.structure) : nullptr;
}

}  // namespace ruvo
