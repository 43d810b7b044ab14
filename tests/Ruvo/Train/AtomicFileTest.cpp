#include <dirent.h>
#include <gtest/gtest.h>

#include <string>

#include "Ruvo/Train/AtomicFile.h"
#include "Ruvo/Train/RunProgram.h"

namespace ruvo {
namespace {

using testing_support::MakeTempFolder;
using testing_support::ReadWholeFile;
using testing_support::WriteWholeFile;

int CountEntries(const std::string& dir) {
    int count = 0;
    DIR* d = opendir(dir.c_str());
    while (dirent* entry = readdir(d)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(d);
    return count;
}

TEST(AtomicFileTest, CreatesAndReplacesWholeFiles) {
    const std::string dir = MakeTempFolder("atomic_ok");
    const std::string path = dir + "/net.wgt";
    std::string error;
    ASSERT_TRUE(WriteFileAtomically(path, "first version\n", &error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "first version\n");
    ASSERT_TRUE(WriteFileAtomically(path, "second\n", &error)) << error;
    EXPECT_EQ(ReadWholeFile(path), "second\n");
    EXPECT_EQ(CountEntries(dir), 1);  // no temporary file left behind
}

TEST(AtomicFileTest, FailuresLeaveTheOldFileAndNoTemporary) {
    const std::string dir = MakeTempFolder("atomic_fail");
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(dir + "/missing/net.wgt", "x", &error));
    EXPECT_NE(error.find("Cannot create " + dir + "/missing/net.wgt"), std::string::npos) << error;

    // A folder in the destination's place cannot be replaced by a file.
    const std::string folder = MakeTempFolder("atomic_fail/target");
    WriteWholeFile(folder + "/keep", "kept");
    EXPECT_FALSE(WriteFileAtomically(folder, "x", &error));
    EXPECT_NE(error.find("Cannot replace"), std::string::npos) << error;
    EXPECT_EQ(ReadWholeFile(folder + "/keep"), "kept");
    EXPECT_EQ(CountEntries(dir), 1);
}

}  // namespace
}  // namespace ruvo
