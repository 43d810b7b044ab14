// Loads a numeric data-set file of at least 50 MB and reports the reading speed and the peak
// memory of the process against the 8 bytes each stored value needs.
//
// Usage: ReadDataSetBench [file [megabytes]]
// The file (default: ruvo_bench_dataset.dat in the temporary directory) is generated first, with
// rows of 16 inputs and 4 expected outputs written as the data-set writer writes numbers (15
// significant digits), and removed afterwards. Targets: at least 100 MB/s, and a peak resident
// size within 1.5 times the bytes of the stored values.

#include <sys/resource.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"

namespace {

constexpr int kInputs = 16;
constexpr int kOutputs = 4;

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // KiB on Linux
}

// Writes a data-set file of about megabytes MB and returns its row count. The values come from
// a fixed linear congruential sequence, so every run reads the same file.
long Generate(const std::string& path, long megabytes) {
    const long long target = megabytes * 1000000LL;
    // Each row is about 20 numbers of up to 18 characters; estimate the count, then write it.
    const long rows = static_cast<long>(target / (20 * 18)) + 1;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = " << rows << "]\n[Inputs = " << kInputs
        << "]\n[ExpectedOutputs = " << kOutputs
        << "]\n[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n";
    unsigned long long state = 42;
    std::string line;
    char text[40];
    for (long r = 0; r < rows; ++r) {
        line.clear();
        for (int c = 0; c < kInputs + kOutputs; ++c) {
            state = state * 6364136223846793005ULL + 1442695040888963407ULL;
            const double value = static_cast<double>(state >> 11) * 0x1.0p-53;
            const std::to_chars_result result =
                std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
            line.append(text, result.ptr);
            line += c == kInputs - 1 ? "   " : " ";
        }
        line += '\n';
        out << line;
    }
    out << "[~Data]\n\n[~DataSet]\n";
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        argc > 1 ? argv[1] : std::string(tmp != nullptr ? tmp : "/tmp") + "/ruvo_bench_dataset.dat";
    const long megabytes = argc > 2 ? std::atol(argv[2]) : 60;

    const long rows = Generate(path, megabytes);
    std::ifstream sized(path, std::ios::binary | std::ios::ate);
    const double bytes = static_cast<double>(sized.tellg());
    sized.close();
    const long baseKiB = PeakResidentKiB();

    ruvo::FileTools tools;
    ruvo::Data* loaded = nullptr;
    const auto start = std::chrono::steady_clock::now();
    int result = 0;
    try {
        result = ruvo::ReadTrainingData(tools, path.c_str(), &loaded);
    } catch (const ruvo::FileTools::Error& e) {
        std::fprintf(stderr, "%s (line %ld)\n", e.message.c_str(), e.line);
        std::remove(path.c_str());
        return 1;
    }
    const auto stop = std::chrono::steady_clock::now();
    std::unique_ptr<ruvo::Data> set(loaded);
    const long peakKiB = PeakResidentKiB();
    std::remove(path.c_str());
    if (result != ruvo::kFilerOk || set == nullptr || set->MbrNdxDataRows != rows) {
        std::fprintf(stderr, "load failed: result %d\n", result);
        return 1;
    }

    const double seconds = std::chrono::duration<double>(stop - start).count();
    const double megabytesRead = bytes / 1e6;
    const double valueBytes = 8.0 * static_cast<double>(rows) * (kInputs + kOutputs);
    const double peakBytes = 1024.0 * static_cast<double>(peakKiB);
    std::printf("file:        %.1f MB, %ld rows of %d values\n", megabytesRead, rows,
                kInputs + kOutputs);
    std::printf("time:        %.3f s\n", seconds);
    std::printf("speed:       %.1f MB/s (target >= 100)\n", megabytesRead / seconds);
    std::printf("values:      %.1f MB at 8 bytes each\n", valueBytes / 1e6);
    std::printf(
        "peak memory: %.1f MB (%.1f MB before loading), %.2f x the values (target <= "
        "1.5)\n",
        peakBytes / 1e6, 1024.0 * static_cast<double>(baseKiB) / 1e6, peakBytes / valueBytes);
    return 0;
}
