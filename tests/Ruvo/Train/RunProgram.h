#ifndef RUVO_TESTS_RUNPROGRAM_H
#define RUVO_TESTS_RUNPROGRAM_H

// Runs a built program in a folder of the test's own and captures what it writes, for the tests
// of the programs' command lines and runs.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ruvo {
namespace testing_support {

struct ProgramResult {
    int status;  // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteWholeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline bool FileExists(const std::string& path) {
    return std::ifstream(path).good();
}

inline std::string ShellQuote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// Runs program with args in folder dir (which must exist).
inline ProgramResult RunProgram(const std::string& program,
                                const std::vector<std::string>& args,
                                const std::string& dir) {
    const std::string out = dir + "/.stdout";
    const std::string err = dir + "/.stderr";
    std::string command = "cd " + ShellQuote(dir) + " && " + ShellQuote(program);
    for (const std::string& arg : args) {
        command += " " + ShellQuote(arg);
    }
    command += " >" + ShellQuote(out) + " 2>" + ShellQuote(err) + " </dev/null";
    const int raw = std::system(command.c_str());
    ProgramResult result;
    if (WIFEXITED(raw)) {
        result.status = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        result.status = 128 + WTERMSIG(raw);
    } else {
        result.status = -1;
    }
    result.out = ReadWholeFile(out);
    result.err = ReadWholeFile(err);
    std::remove(out.c_str());
    std::remove(err.c_str());
    return result;
}

// A fresh empty folder under the test temporary directory. The process id keeps tests that ctest
// runs in parallel, each in its own process, out of each other's folders.
inline std::string MakeTempFolder(const std::string& name) {
    const std::string dir =
        ::testing::TempDir() + "ruvo_" + std::to_string(static_cast<long>(getpid())) + "_" + name;
    std::system(("rm -rf " + ShellQuote(dir) + " && mkdir -p " + ShellQuote(dir)).c_str());
    return dir;
}

}  // namespace testing_support
}  // namespace ruvo

#endif
