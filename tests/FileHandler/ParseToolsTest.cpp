#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"

namespace ruvo {
namespace {

// All tokens of text, up to the end of input.
std::vector<std::string> Tokens(const std::string& text) {
    FileTools tools;
    std::istringstream in(text);
    std::vector<std::string> tokens;
    for (std::string t = tools.ReadToken(in); !t.empty(); t = tools.ReadToken(in)) {
        tokens.push_back(t);
    }
    return tokens;
}

// Runs f, which must raise FileTools::Error, and returns its message; *line gets its line.
std::string ErrorOf(const std::function<void()>& f, long* line = nullptr) {
    try {
        f();
    } catch (const FileTools::Error& e) {
        if (line != nullptr) {
            *line = e.line;
        }
        return e.message;
    }
    return "no error raised";
}

std::string KindName(int kind) {
    switch (kind) {
        case StmtEnd:
            return "End";
        case StmtWord:
            return "Word";
        case StmtTag:
            return "Tag";
        case StmtAssign:
            return "Assign";
        default:
            return "kind " + std::to_string(kind);
    }
}

// A statement in a compact comparable form: Tag(Layer)+ for an unclosed tag, Assign(a=b).
std::string Show(const TStatement& s) {
    std::string text = KindName(s.kind) + "(" + s.name;
    if (s.kind == StmtAssign) {
        text += "=" + s.value;
    }
    text += ")";
    if (s.unclosed) {
        text += "+";
    }
    return text;
}

// Reads statements up to the first StmtEnd the way a reader walks a bracket: an unclosed item is
// followed by a continuation read without block name.
std::vector<std::string> Statements(const std::string& text, const char* block = nullptr) {
    FileTools tools;
    std::istringstream in(text);
    std::vector<std::string> shown;
    bool continuation = false;
    for (;;) {
        TStatement s = tools.ReadStatement(continuation ? nullptr : block, in, continuation);
        shown.push_back(Show(s));
        if (s.kind == StmtEnd) {
            break;
        }
        continuation = s.unclosed;
    }
    return shown;
}

TEST(FileToolsTest, ScannerSplitsTokens) {
    struct Row {
        std::string text;
        std::vector<std::string> tokens;
    };
    const Row kRows[] = {
        {"abc=5", {"abc", "=", "5"}},
        {"[~Layer]", {"[~", "Layer", "]"}},
        {"[ ~Layer]", {"[", "~Layer", "]"}},
        {"x/*note*/y", {"x", "y"}},
        {"1,2, 3", {"1", "2", "3"}},
        {",,,", {}},
        {"a\xC3\xA9"
         "b\x7F"
         "c\x01"
         "d\x80\xFF"
         "e",
         {"a", "b", "c", "d", "e"}},
        {"a/b*c<d>e", {"a", "/", "b", "*", "c", "<", "d", ">", "e"}},
        {"[[]]", {"[", "[", "]", "]"}},
        {"/", {"/"}},
        {"[", {"["}},
        {"[~", {"[~"}},
        {"~[-1.5e3]x", {"~", "[", "-1.5e3", "]", "x"}},
        {"\t\r\n  word\n", {"word"}},
        {"/**/z", {"z"}},
        {"/*/ still inside */y", {"y"}},
        // Nesting: the inner close does not end the outer comment.
        {"/* one /* two */ three */word", {"word"}},
        // A "/" directly after an inner close also closes the enclosing comment.
        {"/* a /* b *// c", {"c"}},
        {"/* a /* b */ / c */ d", {"d"}},
        {"/* a /* b /* c *///x", {"x"}},
        {"/* * / ** */ok", {"ok"}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "text=" << row.text);
        EXPECT_EQ(Tokens(row.text), row.tokens);
    }
}

TEST(FileToolsTest, TokensOfAnyLengthAreKeptWhole) {
    const std::string longWord(100000, 'w');
    EXPECT_EQ(Tokens(longWord + " x"), (std::vector<std::string>{longWord, "x"}));
    EXPECT_EQ(Tokens("[" + longWord + "]"), (std::vector<std::string>{"[", longWord, "]"}));
}

TEST(FileToolsTest, DeeplyNestedCommentsAreSkippedWithoutRecursion) {
    const std::size_t depth = 1000000;
    std::string text;
    text.reserve(depth * 4 + 8);
    for (std::size_t i = 0; i < depth; ++i) {
        text += "/*";
    }
    for (std::size_t i = 0; i < depth; ++i) {
        text += "*/";
    }
    EXPECT_EQ(Tokens(text + " after"), (std::vector<std::string>{"after"}));
    // One close short: the input ends inside the outermost comment.
    const std::string open = text.substr(0, text.size() - 2);
    EXPECT_EQ(ErrorOf([&] { Tokens(open); }), "Unexpected end of file during comment");
}

TEST(FileToolsTest, ReadStatementForms) {
    struct Row {
        std::string text;
        const char* block;
        std::vector<std::string> statements;
    };
    const Row kRows[] = {
        {"[Name]", nullptr, {"Tag(Name)", "End()"}},
        {"[ Name ]", nullptr, {"Tag(Name)", "End()"}},
        {"[Name=Value]", nullptr, {"Assign(Name=Value)", "End()"}},
        {"[Name = Value]", nullptr, {"Assign(Name=Value)", "End()"}},
        {"[Name=Value ]", nullptr, {"Assign(Name=Value)", "End()"}},
        {"[\nRows\n=\n120\n]", nullptr, {"Assign(Rows=120)", "End()"}},
        {"[Rows,=,120]", nullptr, {"Assign(Rows=120)", "End()"}},
        {"[Name = /* c */ Value]", nullptr, {"Assign(Name=Value)", "End()"}},
        // Further items in one bracket come back one by one.
        {"[Layer 1]", nullptr, {"Tag(Layer)+", "Tag(1)", "End()"}},
        {"[Matrix Weights TrainableInfo]",
         nullptr,
         {"Tag(Matrix)+", "Tag(Weights)+", "Tag(TrainableInfo)", "End()"}},
        {"[Name = a b]", nullptr, {"Assign(Name=a)+", "Tag(b)", "End()"}},
        {"[Neuron = 3 ActivationFunction = sigmoid Gain=2]",
         nullptr,
         {"Assign(Neuron=3)+", "Assign(ActivationFunction=sigmoid)+", "Assign(Gain=2)", "End()"}},
        {"[cat dog=0.5]", nullptr, {"Tag(cat)+", "Assign(dog=0.5)", "End()"}},
        // "[~" is one token: a bracket and ~Layer is an ordinary tag.
        {"[ ~Layer]", nullptr, {"Tag(~Layer)", "End()"}},
        {"1.5 -2 = / * < > x",
         nullptr,
         {"Word(1.5)", "Word(-2)", "Word(=)", "Word(/)", "Word(*)", "Word(<)", "Word(>)", "Word(x)",
          "End()"}},
        {"", nullptr, {"End()"}},
        {"/* only a comment */", nullptr, {"End()"}},
        // End tags close the named block, ignoring case.
        {"7 [~LAYER]", "Layer", {"Word(7)", "End()"}},
        {"[~ layer ]", "Layer", {"End()"}},
        // The format header is consumed wherever a statement is read outside a bracket.
        {"[FormatVersion = 1.0]", nullptr, {"End()"}},
        {"[FormatVersion = 0.5][A]", nullptr, {"Tag(A)", "End()"}},
        {"[formatversion=1]x", nullptr, {"Word(x)", "End()"}},
        {"[A][FormatVersion = 1.0][FormatVersion = 1.0]3", nullptr, {"Tag(A)", "Word(3)", "End()"}},
        // Inside a bracket it is an ordinary item, and without "=" an ordinary tag.
        {"[A FormatVersion = 7]", nullptr, {"Tag(A)+", "Assign(FormatVersion=7)", "End()"}},
        {"[FormatVersion 7]", nullptr, {"Tag(FormatVersion)+", "Tag(7)", "End()"}},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "text=" << row.text);
        EXPECT_EQ(Statements(row.text, row.block), row.statements);
    }
}

TEST(FileToolsTest, ReadStatementErrors) {
    struct Row {
        std::string text;
        const char* block;
        bool continuation;
        std::string message;
        long line;
    };
    const Row kRows[] = {
        {"/* never closed", nullptr, false, "Unexpected end of file during comment", 1},
        {"\n\n  /* opened here\n\n", nullptr, false, "Unexpected end of file during comment", 3},
        {"", "Data", false, "Unexpected end of file", 1},
        {"\n", "Data", false, "Unexpected end of file", 2},
        {"[", nullptr, false, "Unexpected end of file", 1},
        {"[Name", nullptr, false, "Unexpected end of file", 1},
        {"[Name\n=", nullptr, false, "Unexpected end of file", 2},
        {"[Name = 5", nullptr, false, "Unexpected end of file", 1},
        {"[~", "Data", false, "Unexpected End Tag", 1},
        {"[~Data", "Data", false, "Expected ']'", 1},
        {"/* */", nullptr, true, "Unexpected end of file", 1},
        {"[=x]", nullptr, false, "Unexpected special character", 1},
        {"[Name =]", nullptr, false, "Unexpected special character", 1},
        {"[[Name]", nullptr, false, "Unexpected special character", 1},
        {"[Name = <]", nullptr, false, "Unexpected special character", 1},
        {"=x", nullptr, true, "Unexpected special character", 1},
        {"[~Layer]", nullptr, true, "Unexpected special character", 1},
        {"]", nullptr, false, "Unexpected ']'", 1},
        {"\n]", nullptr, true, "Unexpected ']'", 2},
        {"[~Layer]", nullptr, false, "Unexpected End Tag", 1},
        {"\n[~NeuralNetwork]", "Layer", false, "Unexpected End Tag", 2},
        {"[~Layer x]", "Layer", false, "Expected ']'", 1},
        {"[~Layer [", "Layer", false, "Expected ']'", 1},
        {"[FormatVersion = 1.0 x]", nullptr, false, "Illegal Format of FormatVersion", 1},
        {"[FormatVersion = 1.1]", nullptr, false, "Illegal Format Version", 1},
        {"[FormatVersion = 2]", "DataSet", false, "Illegal Format Version", 1},
        {"\n\n[FormatVersion = x]", nullptr, false, "number-expected", 3},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "text=" << row.text);
        FileTools tools;
        std::istringstream in(row.text);
        long line = -1;
        EXPECT_EQ(ErrorOf([&] { tools.ReadStatement(row.block, in, row.continuation); }, &line),
                  row.message);
        EXPECT_EQ(line, row.line);
    }
}

TEST(FileToolsTest, ErrorsCarryTheLineOfTheOffendingToken) {
    FileTools tools;
    std::istringstream in("[DataSet]\n/* a\ncomment */\n[Rows = 2]\n\n  oops\n");
    TStatement s;
    tools.ReadStatement(nullptr, in, false, &s);
    tools.ReadStatement(nullptr, in, false, &s);
    EXPECT_EQ(tools.TokenLine(), 4);
    tools.ReadStatement(nullptr, in, false, &s);
    long line = 0;
    EXPECT_EQ(ErrorOf([&] { tools.ReadNumberToken(s, in); }, &line), "number-expected");
    EXPECT_EQ(line, 6);

    // A new stream restarts the count; after LoseLineCount the line is unknown.
    std::istringstream other("\n\nx");
    tools.ReadStatement(nullptr, other, false, &s);
    EXPECT_EQ(tools.TokenLine(), 3);
    tools.LoseLineCount(other);
    EXPECT_EQ(ErrorOf([&] { tools.Fail(other, "boom"); }, &line), "boom");
    EXPECT_EQ(line, 0);
}

TEST(FileToolsTest, PutBackOfALineEndKeepsTheLineCount) {
    FileTools tools;
    std::istringstream in("a\nb");
    EXPECT_EQ(tools.GetChar(in), 'a');
    const int c = tools.GetChar(in);
    EXPECT_EQ(c, '\n');
    tools.PutBack(in, c);
    EXPECT_EQ(tools.PeekChar(in), '\n');
    EXPECT_EQ(tools.ReadToken(in), "b");
    EXPECT_EQ(tools.TokenLine(), 2);
}

TEST(FileToolsTest, TypedReaders) {
    auto tag = [](const char* name, bool unclosed = false) {
        return TStatement{StmtTag, name, "", unclosed};
    };
    auto assign = [](const char* name, const char* value) {
        return TStatement{StmtAssign, name, value, false};
    };
    const TStatement word{StmtWord, "0.25", "", false};
    const TStatement end{StmtEnd, "", "", false};
    const std::string longName(200, 'n');

    FileTools tools;
    std::istringstream in;
    struct Row {
        const char* what;
        std::function<void()> call;
        std::string message;  // empty: must succeed
    };
    const Row kRows[] = {
        {"block", [&] { EXPECT_EQ(tools.ExpectBlock(tag("DataSet"), in, "DATASET"), "DataSet"); },
         ""},
        {"unclosed block opener",
         [&] { EXPECT_EQ(tools.ExpectBlock(tag("Layer", true), in, "LAYER"), "Layer"); }, ""},
        {"any block", [&] { EXPECT_EQ(tools.ExpectBlock(tag("Foo"), in, nullptr), "Foo"); }, ""},
        {"other block", [&] { tools.ExpectBlock(tag("Network"), in, "DATASET"); },
         "[DATASET] expected"},
        {"word for block", [&] { tools.ExpectBlock(word, in, "DATA"); }, "[DATA] expected"},
        {"assign for block", [&] { tools.ExpectBlock(assign("Layer", "1"), in, nullptr); },
         "start of block expected"},
        {"end for block", [&] { tools.ExpectBlock(end, in, nullptr); }, "start of block expected"},
        {"end tag", [&] { tools.ExpectEndTag(end, in); }, ""},
        {"tag for end tag", [&] { tools.ExpectEndTag(tag("Data"), in); }, "End Tag expected"},
        {"string",
         [&] {
             EXPECT_EQ(
                 tools.ReadStringValue(assign("networktype", "Ruvo"), in, "NETWORKTYPE", nullptr),
                 "Ruvo");
         },
         ""},
        {"expected string",
         [&] {
             EXPECT_EQ(
                 tools.ReadStringValue(assign("NetworkType", "ruvo"), in, "NETWORKTYPE", "RUVO"),
                 "");
         },
         ""},
        {"tag for string", [&] { tools.ReadStringValue(tag("Foo"), in, "NETWORKTYPE", nullptr); },
         "[NETWORKTYPE = <string>] expectedFoo"},
        {"other keyword for string",
         [&] { tools.ReadStringValue(assign("Type", "x"), in, "NETWORKTYPE", nullptr); },
         "[NETWORKTYPE = <string>] expectedType"},
        {"end for string", [&] { tools.ReadStringValue(end, in, "NETWORKTYPE", nullptr); },
         "[NETWORKTYPE = <string>] expected"},
        {"long name for string",
         [&] { tools.ReadStringValue(tag(longName.c_str()), in, "K", nullptr); },
         "[K = <string>] expected" + longName.substr(0, 64) + "..."},
        {"wrong string",
         [&] { tools.ReadStringValue(assign("NetworkType", "Basic"), in, "NETWORKTYPE", "RUVO"); },
         "[NETWORKTYPE = RUVO] expected"},
        {"integer",
         [&] { EXPECT_EQ(tools.ReadIntegerValue(assign("rows", "120"), in, "ROWS"), 120); }, ""},
        {"tag for integer", [&] { tools.ReadIntegerValue(tag("Rows"), in, "ROWS"); },
         "[ROWS = <integer>] expected"},
        {"non-integer", [&] { tools.ReadIntegerValue(assign("Rows", "x"), in, "ROWS"); },
         "integer-expected"},
        {"number",
         [&] { EXPECT_EQ(tools.ReadNumberValue(assign("Weight", "-2.5"), in, "WEIGHT"), -2.5); },
         ""},
        {"word for number", [&] { tools.ReadNumberValue(word, in, "WEIGHT"); },
         "[WEIGHT = <number>] expected"},
        {"non-number", [&] { tools.ReadNumberValue(assign("Weight", "w"), in, "WEIGHT"); },
         "number-expected"},
        {"number token", [&] { EXPECT_EQ(tools.ReadNumberToken(word, in), 0.25); }, ""},
        {"tag for number token", [&] { tools.ReadNumberToken(tag("Data"), in); },
         "Token (number) expected"},
        {"end for number token", [&] { tools.ReadNumberToken(end, in); },
         "Token (number) expected"},
        {"word not a number",
         [&] {
             tools.ReadNumberToken(TStatement{StmtWord, "-", "", false}, in);
         },
         "number-expected"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        if (row.message.empty()) {
            row.call();
        } else {
            EXPECT_EQ(ErrorOf(row.call), row.message);
        }
    }
}

TEST(FileToolsTest, ParseIntegerReadsLikePercentLd) {
    struct Row {
        const char* text;
        long value;
        const char* message;  // null: accepted
    };
    const Row kRows[] = {
        {"7x", 7, nullptr},
        {"12abc", 12, nullptr},
        {"1.5", 1, nullptr},
        {"+5", 5, nullptr},
        {"-3", -3, nullptr},
        {" \t8", 8, nullptr},
        {"0x1A", 0, nullptr},
        {"007", 7, nullptr},
        {"9223372036854775807", LONG_MAX, nullptr},
        {"-9223372036854775808", LONG_MIN, nullptr},
        {"9223372036854775808", 0, "integer out of range"},
        {"-9223372036854775809", 0, "integer out of range"},
        {"99999999999999999999999", 0, "integer out of range"},
        {"x7", 0, "integer-expected"},
        {"", 0, "integer-expected"},
        {"-", 0, "integer-expected"},
        {"- 5", 0, "integer-expected"},
        {"+-5", 0, "integer-expected"},
        {".5", 0, "integer-expected"},
        {"Labels", 0, "integer-expected"},
    };
    FileTools tools;
    std::istringstream in;
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << "text=" << row.text);
        if (row.message == nullptr) {
            EXPECT_EQ(tools.ParseInteger(in, row.text), row.value);
        } else {
            EXPECT_EQ(ErrorOf([&] { tools.ParseInteger(in, row.text); }), row.message);
        }
    }
}

TEST(FileToolsTest, ParseNumberAcceptsWhatPercentFAccepts) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Row {
        const char* text;
        double value;
    };
    const Row kAccepted[] = {
        {"0.1", 0.1},
        {"1.5abc", 1.5},
        {"+.5", 0.5},
        {"-.5", -0.5},
        {"1.", 1.0},
        {" \n 7", 7.0},
        {"1e", 1.0},
        {"1e+", 1.0},
        {"2E-3", 0.002},
        {"100ergs", 100.0},
        {"00x1", 0.0},
        {"0x1p3", 8.0},
        {"-0X.8", -0.5},
        {"inf", inf},
        {"-INFINITY", -inf},
        {"1e400", inf},
        {"-1e400", -inf},
        {"4.9e-324", 4.9406564584124654e-324},
        {"1e-400", 0.0},
        {"2.2250738585072011e-308", 2.2250738585072011e-308},
        {"0.1000000000000000055511151231257827", 0.1},
    };
    FileTools tools;
    std::istringstream in;
    for (const Row& row : kAccepted) {
        SCOPED_TRACE(testing::Message() << "text=" << row.text);
        EXPECT_EQ(tools.ParseNumber(in, row.text), row.value);
    }
    EXPECT_TRUE(std::isnan(tools.ParseNumber(in, "nan")));
    EXPECT_TRUE(std::isnan(tools.ParseNumber(in, "NaN(1)")));

    const char* const kRejected[] = {"",    "x",  "-",   "+",  ".",     ".e1", "+.e1", "-x", "+-1",
                                     "--1", "0x", "0xg", "in", "infin", "na",  "e5",   "=1"};
    for (const char* text : kRejected) {
        SCOPED_TRACE(testing::Message() << "text=" << text);
        EXPECT_EQ(ErrorOf([&] { tools.ParseNumber(in, text); }), "number-expected");
    }
}

// The fast path for decimal numbers must give exactly the double of the standard conversion,
// including the hard cases: many digits, halfway points, subnormals and the largest values.
TEST(FileToolsTest, ParseNumberMatchesStrtodBitForBit) {
    std::vector<std::string> texts = {
        "9007199254740993",
        "9007199254740992.5",
        "2.4703282292062328e-324",
        "2.4703282292062327e-324",
        "1.7976931348623157e308",
        "1.7976931348623158e308",
        "1.7976931348623159e308",
        "0.30000000000000004",
        "123456789012345678901234567890",
        "7.2057594037927933e16",
        "4.4501477170144023e-308",
        "-0.0",
        "2.2250738585072012e-308",
        "1.00000000000000011102230246251565404236316680908203125",
    };
    // A deterministic spread of magnitudes and digit counts.
    unsigned long long state = 12345;
    for (int i = 0; i < 20000; ++i) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        const int exponent = static_cast<int>((state >> 33) % 600) - 300;
        const int digits = 1 + static_cast<int>((state >> 20) % 20);
        char text[64];
        std::snprintf(text, sizeof text, "%.*e", digits, static_cast<double>(state >> 11) * 1e-16);
        std::string t = text;
        t = t.substr(0, t.find('e')) + "e" + std::to_string(exponent);
        texts.push_back(t);
    }
    FileTools tools;
    std::istringstream in;
    for (const std::string& t : texts) {
        const double expected = std::strtod(t.c_str(), nullptr);
        const double got = tools.ParseNumber(in, t.c_str());
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << t;
    }
}

TEST(FileToolsTest, WritersProduceTheBracketAndInlineForms) {
    FileTools tools;
    struct Row {
        const char* what;
        std::function<void(std::ostream&)> write;
        std::string text;
    };
    const Row kRows[] = {
        {"format version", [&](std::ostream& o) { tools.WriteFormatVersion(o); },
         "[FormatVersion = 1.0]\n\n"},
        {"tag", [&](std::ostream& o) { tools.WriteTag(o, "DataSet", true); }, "[DataSet]\n"},
        {"inline tag", [&](std::ostream& o) { tools.WriteTag(o, "All", false); }, "All "},
        {"end tag", [&](std::ostream& o) { tools.WriteEndTag(o, "Data"); }, "[~Data]\n"},
        {"no end tag", [&](std::ostream& o) { tools.WriteEndTag(o, nullptr); }, ""},
        {"assign", [&](std::ostream& o) { tools.WriteAssign(o, "NetworkType", "Ruvo", true); },
         "[NetworkType = Ruvo]\n"},
        {"inline assign",
         [&](std::ostream& o) { tools.WriteAssign(o, "ActivationFunction", "sigmoid", false); },
         "ActivationFunction=sigmoid "},
        {"integer", [&](std::ostream& o) { tools.WriteIntegerAssign(o, "Rows", 120, true); },
         "[Rows = 120]\n"},
        {"negative integer",
         [&](std::ostream& o) { tools.WriteIntegerAssign(o, "ExpectedOutputs", -1, false); },
         "ExpectedOutputs=-1 "},
        {"real", [&](std::ostream& o) { tools.WriteRealAssign(o, "Gain", 1.0, 15, false); },
         "Gain=1.000000000000000 "},
        {"real, 9 decimals",
         [&](std::ostream& o) { tools.WriteRealAssign(o, "dog", 0.5, 9, false); },
         "dog=0.500000000 "},
        {"huge real", [&](std::ostream& o) { tools.WriteRealAssign(o, "W", -1e30, 15, true); },
         "[W = -1000000000000000019884624838656.000000000000000]\n"},
        {"word",
         [&](std::ostream& o) {
             tools.WriteStatement({StmtWord, "-", "", false}, o, true);
         },
         "- "},
        {"inline word",
         [&](std::ostream& o) {
             tools.WriteStatement({StmtWord, "T", "", false}, o, false);
         },
         "T "},
        {"end statement without name",
         [&](std::ostream& o) {
             tools.WriteStatement({StmtEnd, "", "", false}, o, true);
         },
         ""},
        {"inline bracket",
         [&](std::ostream& o) {
             tools.OpenBracket(o, true);
             tools.WriteTag(o, "All", false);
             tools.WriteAssign(o, "ActivationFunction", "sigmoid", false);
             tools.CloseBracket(o, true, true);
         },
         "[All ActivationFunction=sigmoid ]\n"},
        {"bracket without line end",
         [&](std::ostream& o) {
             tools.OpenBracket(o, true);
             tools.CloseBracket(o, true, false);
         },
         "[]"},
        {"no bracket",
         [&](std::ostream& o) {
             tools.OpenBracket(o, false);
             tools.CloseBracket(o, false, true);
             tools.WriteNewLine(o);
         },
         "\n"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        std::ostringstream out;
        row.write(out);
        EXPECT_EQ(out.str(), row.text);
    }
}

TEST(FileToolsTest, WrittenStatementsReadBack) {
    FileTools tools;
    std::ostringstream out;
    tools.WriteFormatVersion(out);
    tools.WriteTag(out, "Layer", true);
    tools.WriteIntegerAssign(out, "NumberOfNeurons", 3, true);
    tools.OpenBracket(out, true);
    tools.WriteIntegerAssign(out, "Neuron", 2, false);
    tools.WriteRealAssign(out, "Gain", 0.25, 15, false);
    tools.WriteTag(out, "Trainable", false);
    tools.CloseBracket(out, true, true);
    tools.WriteEndTag(out, "Layer");
    EXPECT_EQ(
        Statements(out.str(), "Layer"),
        (std::vector<std::string>{"Tag(Layer)", "Assign(NumberOfNeurons=3)", "Assign(Neuron=2)+",
                                  "Assign(Gain=0.250000000000000)+", "Tag(Trainable)", "End()"}));
}

TEST(FileToolsTest, CopyStringCopies) {
    const char* text = "Layer";
    char* copy = FileTools::CopyString(text);
    EXPECT_STREQ(copy, text);
    EXPECT_NE(copy, text);
    delete[] copy;
    EXPECT_EQ(FileTools::CopyString(nullptr), nullptr);
}

TEST(FileToolsDeathTest, InlineFormsOfHeaderAndEndTagAreInternalErrors) {
    FileTools tools;
    std::ostringstream out;
    EXPECT_DEATH(tools.WriteStatement({StmtEnd, "Data", "", false}, out, false),
                 "bracket form of StmtEnd");
    EXPECT_DEATH(tools.WriteStatement({StmtFormatVersion, "", "", false}, out, false),
                 "bracket form of StmtFormatVersion");
    EXPECT_DEATH(tools.WriteStatement({4, "x", "", false}, out, true), "known statement kind");
}

}  // namespace
}  // namespace ruvo
