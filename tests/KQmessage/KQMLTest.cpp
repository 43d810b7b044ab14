#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "KQmessage/KQML.h"

namespace ruvo {
namespace {

std::string Text(const TKQstructure& s) {
    std::string out;
    s.AppendText(&out);
    return out;
}

std::unique_ptr<TKQstructure> ParseText(const char* text) {
    const char* cursor = text;
    return std::unique_ptr<TKQstructure>(TKQstructure::Parse(&cursor));
}

// Runs f, which must raise TKQstructure::Error, and returns the error structure's text form.
template <class F>
std::string ErrorText(F f) {
    try {
        f();
    } catch (const TKQstructure::Error& e) {
        return Text(*e.structure);
    }
    return "no error raised";
}

TEST(StrcasecmpTest, ComparesUpperCasedBytesAsUnsigned) {
    struct Row {
        const char* a;
        const char* b;
        int expected;
    };
    const Row kRows[] = {
        {"LearningRate", "learningrate", 0},
        {"abc", "ABD", -1},
        {"abd", "ABC", 1},
        {"ab", "abc", -1},
        {"abc", "ab", 1},
        {"", "", 0},
        {"a", "\xc3", -1},  // bytes from 128 up compare above ASCII
        {"_", "a", 1},      // '_' (0x5F) is above 'A' (0x41) once both are upper case
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(testing::Message() << row.a << " vs " << row.b);
        EXPECT_EQ(strcasecmp(row.a, row.b), row.expected);
    }
}

TEST(TKQstructureTest, DefaultIsUnknownAtom) {
    TKQstructure s;
    EXPECT_EQ(Text(s), "unknown");
    EXPECT_EQ(s.count, 0);
    EXPECT_EQ(s.capacity, 16);
}

TEST(TKQstructureTest, SetReplacesIgnoringCaseAndKeepsFirstSpelling) {
    TKQstructure s("Params");
    s.SetString("a", "x");
    s.SetString("A", "y");
    ASSERT_EQ(s.count, 1);
    EXPECT_STREQ(s.pairs[0].keyword, "a");
    EXPECT_STREQ(s.pairs[0].value->type, "y");
}

TEST(TKQstructureTest, FindIgnoresCase) {
    TKQstructure s("Params");
    s.SetReal("LearningRate", 0.5);
    ASSERT_NE(s.Find("learningrate"), nullptr);
    EXPECT_STREQ(s.Find("LEARNINGRATE")->type, "0.500000");
    EXPECT_EQ(s.Find("Momentum"), nullptr);
}

TEST(TKQstructureTest, GrowthDoublesOrStartsAtSixteen) {
    TKQstructure s("p");
    for (int i = 0; i < 17; ++i) {
        s.SetInteger(("k" + std::to_string(i)).c_str(), i);
    }
    EXPECT_EQ(s.count, 17);
    EXPECT_EQ(s.capacity, 32);

    TKQstructure three("p");
    three.SetInteger("a", 1);
    three.SetInteger("b", 2);
    three.SetInteger("c", 3);
    TKQstructure copy(three);
    EXPECT_EQ(copy.capacity, 3);
    copy.SetInteger("d", 4);
    EXPECT_EQ(copy.capacity, 16);
    EXPECT_EQ(Text(copy), "(p :a 1 :b 2 :c 3 :d 4)");
}

TEST(TKQstructureTest, RemoveMovesLastPairIntoSlot) {
    TKQstructure s("p");
    s.SetString("first", "1");
    s.SetString("second", "2");
    s.SetString("third", "3");
    s.Remove("FIRST");
    EXPECT_EQ(Text(s), "(p :third 3 :second 2)");
    s.Remove("absent");
    EXPECT_EQ(s.count, 2);
}

TEST(TKQstructureTest, CopiesAndAssignmentsAreDeep) {
    TKQstructure s("p");
    s.Set("inner", ParseText("(q :x 1)").release());
    TKQstructure copy(s);
    TKQstructure assigned;
    assigned = s;
    s.Find("inner")->SetString("x", "2");
    EXPECT_EQ(Text(copy), "(p :inner (q :x 1))");
    EXPECT_EQ(Text(assigned), "(p :inner (q :x 1))");
    assigned = assigned;  // self-assignment leaves it intact
    EXPECT_EQ(Text(assigned), "(p :inner (q :x 1))");
}

TEST(TKQstructureTest, TypedSettersFormatTheirValues) {
    struct Row {
        double value;
        const char* word;
    };
    const Row kRows[] = {{0.0000004, "0.000000"},
                         {2.5, "2.500000"},
                         {-0.1, "-0.100000"},
                         {1e20, "100000000000000000000.000000"}};
    for (const Row& row : kRows) {
        TKQstructure s("p");
        s.SetReal("r", row.value);
        EXPECT_STREQ(s.Get("r")->type, row.word);
    }
    TKQstructure s("p");
    s.SetInteger("i", -42);
    s.SetBoolean("t", true);
    s.SetBoolean("f", false);
    EXPECT_EQ(Text(s), "(p :i -42 :t true :f false)");
}

TEST(TKQstructureTest, ParseAndPrintRoundTrip) {
    struct Row {
        const char* input;
        const char* printed;
    };
    const Row kRows[] = {
        {"(Params :LearningRate 0.5 :Momentum 0.9)", "(Params :LearningRate 0.5 :Momentum 0.9)"},
        {"( Params   :LearningRate\t0.5\n)", "(Params :LearningRate 0.5)"},
        {"a:b", "a:b"},
        {"a:", "a:"},
        {"(word)", "word"},
        {"(p :k (q :x y) :z w)", "(p :k (q :x y) :z w)"},
        {"(p :k 1 :K 2)", "(p :k 2)"},
        {"(p\x7f:k\x80v)", "(p :k v)"},
    };
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.input);
        std::unique_ptr<TKQstructure> s = ParseText(row.input);
        EXPECT_EQ(Text(*s), row.printed);
    }
}

TEST(TKQstructureTest, ParseAdvancesCursorPastOneStructure) {
    const char* text = "(a :b c) d";
    const char* cursor = text;
    std::unique_ptr<TKQstructure> s(TKQstructure::Parse(&cursor));
    EXPECT_STREQ(cursor, " d");
    const char* complete = "  (a :b c)  \n";
    std::unique_ptr<TKQstructure> t(TKQstructure::ParseComplete(&complete));
    EXPECT_EQ(Text(*t), "(a :b c)");
}

TEST(TKQstructureTest, PrintWritesTextFormToStandardOutput) {
    std::unique_ptr<TKQstructure> s = ParseText("(error :type invalid-message :expected X)");
    testing::internal::CaptureStdout();
    s->Print();
    s->PrintLine();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "(error :type invalid-message :expected X)(error :type invalid-message :expected "
              "X)\n");
}

TEST(TKQstructureTest, CheckedAccessorsRaiseErrorStructures) {
    TKQstructure s("p");
    s.SetString("Kind", "sigmoid");
    EXPECT_EQ(ErrorText([&] { s.GetChecked("LEARNINGRATE"); }),
              "(error :type invalid-message :expected LEARNINGRATE)");
    EXPECT_EQ(ErrorText([&] { s.Expect("Missing", ""); }),
              "(error :type invalid-message :expected Missing)");
    EXPECT_EQ(ErrorText([&] { s.Expect("kind", "linear"); }),
              "(error :type invalid-message :tag kind :expected-value linear)");
    EXPECT_NO_THROW(s.Expect("KIND", "SIGMOID"));
    EXPECT_NO_THROW(s.Expect("kind", ""));
    EXPECT_EQ(ErrorText([] { TKQstructure::ToBoolean("1"); }),
              "(error :type type-error :expected boolean)");
    EXPECT_EQ(ErrorText([] { TKQstructure::ToIntegerChecked("x1"); }),
              "(error :type invalid-message :integer-expected x1)");
    EXPECT_EQ(ErrorText([] { TKQstructure::ToRealChecked("abc"); }),
              "(error :type invalid-message :number-expected abc)");
}

TEST(TKQstructureTest, ConvertersReadLeadingNumber) {
    EXPECT_TRUE(TKQstructure::ToBoolean("True"));
    EXPECT_FALSE(TKQstructure::ToBoolean("FALSE"));
    EXPECT_EQ(TKQstructure::ToIntegerChecked("0x1A"), 0);
    EXPECT_EQ(TKQstructure::ToInteger("  12abc"), 12);
    EXPECT_EQ(TKQstructure::ToInteger("-7"), -7);
    EXPECT_DOUBLE_EQ(TKQstructure::ToRealChecked("0.25x"), 0.25);
    EXPECT_DOUBLE_EQ(TKQstructure::ToReal("1e-3"), 0.001);
}

TEST(TKQstructureTest, RealsReadExactlyAsTheCLibraryScansThem) {
    const char* const kTexts[] = {
        "0.500000", "0.1", "-2.5e-3", "1e308", "4.9e-324",           "0x1A", "  7.25", "inf",
        "-nan",     "1e",  "3.5abc",  "+.5",   "0.30000000000000004"};
    for (const char* text : kTexts) {
        SCOPED_TRACE(text);
        double expected = 0.0;
        ASSERT_EQ(std::sscanf(text, "%lf", &expected), 1);
        const double actual = TKQstructure::ToRealChecked(text);
        if (expected != expected) {
            EXPECT_NE(actual, actual);
        } else {
            EXPECT_EQ(std::memcmp(&actual, &expected, sizeof actual), 0);
        }
    }
}

TEST(TKQstructureTest, ErrorCopiesOwnTheirStructures) {
    TKQstructure::Error first(TKQstructure::MakeError("e"));
    TKQstructure::Error second(first);
    TKQstructure::Error third(TKQstructure::MakeError("other"));
    third = first;
    EXPECT_NE(first.structure, second.structure);
    EXPECT_EQ(Text(*second.structure), "(error :type e)");
    EXPECT_EQ(Text(*third.structure), "(error :type e)");
}

TEST(TKQstructureTest, JoinArgumentsAppendsOneBlankEach) {
    const char* argv[] = {"prog", "a", "bc"};
    std::unique_ptr<char[]> joined(TKQstructure::JoinArguments(3, argv));
    EXPECT_STREQ(joined.get(), "a bc ");
    std::unique_ptr<char[]> empty(TKQstructure::JoinArguments(1, argv));
    EXPECT_STREQ(empty.get(), "");
}

TEST(TExceptionTest, ConstructorsCopyTheirTexts) {
    std::string message = "Invalid weight number";
    TException twoArgs(message.c_str(), nullptr);
    message[0] = 'X';
    EXPECT_STREQ(twoArgs.message, "Invalid weight number");
    EXPECT_EQ(twoArgs.kind, nullptr);
    EXPECT_EQ(twoArgs.location, nullptr);
    EXPECT_EQ(twoArgs.structure, nullptr);

    TException empty;
    EXPECT_EQ(empty.message, nullptr);

    TException full("Invalid Data Row", "Bad Parameter", "Data::GetInputDatum",
                    TKQstructure::MakeError("detail"));
    TException copy(full);
    TException assigned;
    assigned = full;
    EXPECT_NE(copy.message, full.message);
    EXPECT_STREQ(copy.kind, "Bad Parameter");
    EXPECT_STREQ(assigned.location, "Data::GetInputDatum");
    EXPECT_EQ(Text(*assigned.structure), "(error :type detail)");
    EXPECT_NE(assigned.structure, full.structure);
}

TEST(TExceptionTest, ThrownByValueAndCaughtWithItsTexts) {
    try {
        throw TException("Data Block Fault", "Bad Parameter", "Data::GetBlock", nullptr);
    } catch (const TException& e) {
        EXPECT_STREQ(e.message, "Data Block Fault");
        EXPECT_STREQ(e.location, "Data::GetBlock");
    }
}

using TKQstructureDeathTest = testing::Test;

TEST_F(TKQstructureDeathTest, MalformedTextFailsConsistencyChecks) {
    EXPECT_DEATH(ParseText("(a :b)"), "special character unexpected");
    EXPECT_DEATH(ParseText("(a b)"), "\\*s == '\\)'");
    EXPECT_DEATH(ParseText("(a :b c"), "\\*s == '\\)'");
    EXPECT_DEATH(ParseText(""), "special character unexpected");
    EXPECT_DEATH(
        {
            const char* cursor = "(a :b c) d";
            delete TKQstructure::ParseComplete(&cursor);
        },
        "\\*s == '\\\\0'");
}

TEST_F(TKQstructureDeathTest, UncheckedAccessorsFailConsistencyChecks) {
    TKQstructure s("p");
    EXPECT_DEATH(s.Get("absent"), "value != NULL");
    EXPECT_DEATH(s.Set("k", nullptr), "newval != NULL");
    EXPECT_DEATH(TKQstructure::ToInteger("abc"), "err == 1");
    EXPECT_DEATH(TKQstructure::ToReal("abc"), "err == 1");
}

}  // namespace
}  // namespace ruvo
