// Access to the real receiver logs kept beside the project in ../shared/data.
// Tests that need them skip with a clear message when the folder is absent.
#ifndef QUORVANE_TESTS_TESTDATA_H
#define QUORVANE_TESTS_TESTDATA_H

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace testdata {

inline std::string dir()
{
    return QUORVANE_DATA_DIR;
}

inline bool available()
{
    struct stat st;
    return stat(QUORVANE_DATA_DIR, &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string path(const std::string &relative)
{
    return dir() + "/" + relative;
}

inline std::vector<uint8_t> read(const std::string &relative)
{
    std::ifstream in(path(relative), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testdata

// Skips the current test when the shared receiver logs are not beside the project.
#define REQUIRE_TESTDATA()                                                                          \
    do {                                                                                            \
        if (!testdata::available())                                                                 \
            GTEST_SKIP() << "receiver logs not found at " << testdata::dir()                        \
                         << " (they are in ../shared/data beside the project); skipping";           \
    } while (0)

#endif
