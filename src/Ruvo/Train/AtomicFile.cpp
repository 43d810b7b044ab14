#include "Ruvo/Train/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ruvo {

namespace {

std::string Describe(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

// The permissions a newly created file would get: 0666 less the process's umask.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

}  // namespace

bool WriteFileAtomically(const std::string& path, const std::string& contents, std::string* error) {
    std::vector<char> temp(path.begin(), path.end());
    const char suffix[] = ".tmpXXXXXX";
    temp.insert(temp.end(), suffix, suffix + sizeof suffix);  // keeps the terminating zero
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        *error = Describe("Cannot create", path, errno);
        return false;
    }
    const std::string tempName(temp.data());
    auto fail = [&](const char* what, int err) {
        close(fd);
        unlink(tempName.c_str());
        *error = Describe(what, path, err);
        return false;
    };

    const char* data = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return fail("Cannot write", errno);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (fchmod(fd, NewFileMode()) != 0) {
        return fail("Cannot set permissions of", errno);
    }
    if (fsync(fd) != 0) {
        return fail("Cannot write", errno);
    }
    if (close(fd) != 0) {
        const int err = errno;
        unlink(tempName.c_str());
        *error = Describe("Cannot write", path, err);
        return false;
    }
    if (std::rename(tempName.c_str(), path.c_str()) != 0) {
        const int err = errno;
        unlink(tempName.c_str());
        *error = Describe("Cannot replace", path, err);
        return false;
    }
    return true;
}

}  // namespace ruvo
