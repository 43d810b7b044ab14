// CreateRuvo: writes a new fuzzy network file, ready to be trained by TrainRuvo.
//
// The network is built from a layout (inputs with their membership-function counts, rules,
// outputs with theirs), its rule weights are drawn from a range with the program's fixed random
// generator (so the same command always writes the same file), the membership-function centres
// are spaced evenly over [0, 1], and the file is written atomically.

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "FileHandler/NetworkFile.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "Ruvo/TRuvo.h"
#include "Ruvo/Train/AtomicFile.h"

namespace ruvo {
namespace {

const char kUsage[] =
    "Usage: CreateRuvo --inputs N --input-mfs LIST --rules N [--outputs N] --output-mfs LIST\n"
    "                  [--min X] [--max Y] --output FILE\n"
    "\n"
    "Writes a new fuzzy network with N inputs and outputs, the given numbers of membership\n"
    "functions, and a rule layer of the given size. The condition-to-rule and rule-to-action\n"
    "weights are drawn from [X, Y) (default -0.5 and 0.5; X = Y sets them all to X); the\n"
    "membership-function centres are spaced evenly over [0, 1].\n"
    "\n"
    "  --inputs N        number of inputs (at least 1)\n"
    "  --input-mfs LIST  membership functions per input: one number for every input, or a\n"
    "                    comma-separated list with one number per input (each at least 2)\n"
    "  --rules N         number of rules (at least 1)\n"
    "  --outputs N       number of outputs (at least 1, default 1)\n"
    "  --output-mfs LIST membership functions per output, as for --input-mfs\n"
    "  --min X, --max Y  range of the initial rule weights\n"
    "  --output FILE     network file to write\n"
    "  --help            this text\n"
    "\n"
    "Example: CreateRuvo --inputs 4 --input-mfs 3 --rules 16 --output-mfs 5 --output start.wgt\n";

// Largest layer this tool builds; far beyond any practical fuzzy system, and small enough that
// the weight matrices always fit in memory.
constexpr long kMaxNeurons = 10000;
constexpr long kMaxWeights = 10000000;

struct Layout {
    long inputs = -1;
    std::string inputMfs;
    long rules = -1;
    long outputs = 1;
    std::string outputMfs;
    double min = -0.5;
    double max = 0.5;
    std::string output;
};

bool ParseLong(const std::string& text, long* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) {
        return false;
    }
    *value = parsed;
    return true;
}

bool ParseDouble(const std::string& text, double* value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

// Expands "3" or "3,2,4" to one count per item; every count must be at least 2.
bool ParseCounts(const std::string& text,
                 long items,
                 const char* flag,
                 std::vector<int>* counts,
                 std::string* error) {
    std::vector<long> listed;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        long value = 0;
        if (!ParseLong(part, &value)) {
            *error = std::string(flag) + ": '" + part + "' is not a whole number";
            return false;
        }
        listed.push_back(value);
    }
    if (listed.empty()) {
        *error = std::string(flag) + " needs a number or a comma-separated list";
        return false;
    }
    if (listed.size() != 1 && static_cast<long>(listed.size()) != items) {
        *error = std::string(flag) + " lists " + std::to_string(listed.size()) + " counts for " +
                 std::to_string(items) + " items";
        return false;
    }
    long total = 0;
    counts->clear();
    for (long i = 0; i < items; ++i) {
        const long value = listed.size() == 1 ? listed[0] : listed[static_cast<std::size_t>(i)];
        if (value < 2) {
            *error = std::string(flag) + ": every count must be at least 2 (got " +
                     std::to_string(value) + ")";
            return false;
        }
        total += value;
        if (value > kMaxNeurons || total > kMaxNeurons) {
            *error = std::string(flag) + ": more than " + std::to_string(kMaxNeurons) +
                     " membership functions in all";
            return false;
        }
        counts->push_back(static_cast<int>(value));
    }
    return true;
}

bool ParseArguments(int argc, const char* const* argv, Layout* layout, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (i + 1 >= argc) {
            *error =
                flag.rfind("--", 0) == 0 ? flag + " needs a value" : "unexpected argument " + flag;
            return false;
        }
        const std::string value = argv[++i];
        bool ok = true;
        if (flag == "--inputs") {
            ok = ParseLong(value, &layout->inputs);
        } else if (flag == "--input-mfs") {
            layout->inputMfs = value;
        } else if (flag == "--rules") {
            ok = ParseLong(value, &layout->rules);
        } else if (flag == "--outputs") {
            ok = ParseLong(value, &layout->outputs);
        } else if (flag == "--output-mfs") {
            layout->outputMfs = value;
        } else if (flag == "--min") {
            ok = ParseDouble(value, &layout->min);
        } else if (flag == "--max") {
            ok = ParseDouble(value, &layout->max);
        } else if (flag == "--output" || flag == "-o") {
            layout->output = value;
        } else {
            *error = "unknown option " + flag;
            return false;
        }
        if (!ok) {
            *error = flag + ": '" + value + "' is not a valid number";
            return false;
        }
    }
    const struct {
        bool missing;
        const char* flag;
    } kRequired[] = {{layout->inputs < 0, "--inputs"},
                     {layout->inputMfs.empty(), "--input-mfs"},
                     {layout->rules < 0, "--rules"},
                     {layout->outputMfs.empty(), "--output-mfs"},
                     {layout->output.empty(), "--output"}};
    for (const auto& required : kRequired) {
        if (required.missing) {
            *error = std::string(required.flag) + " is required";
            return false;
        }
    }
    const struct {
        long value;
        const char* flag;
    } kSizes[] = {
        {layout->inputs, "--inputs"}, {layout->rules, "--rules"}, {layout->outputs, "--outputs"}};
    for (const auto& size : kSizes) {
        if (size.value < 1 || size.value > kMaxNeurons) {
            *error =
                std::string(size.flag) + " must be between 1 and " + std::to_string(kMaxNeurons);
            return false;
        }
    }
    if (layout->min > layout->max) {
        *error = "--min must not be greater than --max";
        return false;
    }
    return true;
}

int Run(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    Layout layout;
    std::string error;
    std::vector<int> inputMfs;
    std::vector<int> outputMfs;
    if (argc < 2 || !ParseArguments(argc, argv, &layout, &error) ||
        !ParseCounts(layout.inputMfs, layout.inputs, "--input-mfs", &inputMfs, &error) ||
        !ParseCounts(layout.outputMfs, layout.outputs, "--output-mfs", &outputMfs, &error)) {
        if (!error.empty()) {
            std::fprintf(stderr, "CreateRuvo: %s\n", error.c_str());
        }
        std::fputs(kUsage, stderr);
        return 1;
    }

    long conditions = 0;
    long actions = 0;
    for (int count : inputMfs) {
        conditions += count;
    }
    for (int count : outputMfs) {
        actions += count;
    }
    if (conditions * layout.rules > kMaxWeights || layout.rules * actions > kMaxWeights) {
        std::fprintf(stderr, "CreateRuvo: more than %ld weights between two layers\n", kMaxWeights);
        return 1;
    }

    TRuvo network(static_cast<int>(layout.inputs), inputMfs.data(), static_cast<int>(layout.rules),
                  outputMfs.data(), static_cast<int>(layout.outputs));
    network.InitWeights(layout.min, layout.max);

    std::ostringstream text;
    FileTools tools;
    WriteNetwork(tools, text, &network);
    if (!WriteFileAtomically(layout.output, text.str(), &error)) {
        std::fprintf(stderr, "CreateRuvo: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace ruvo

int main(int argc, char** argv) {
    try {
        return ruvo::Run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "CreateRuvo: out of memory\n");
        return 1;
    }
}
