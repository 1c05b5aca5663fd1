// A data file the recorder writes is read by numpy.loadtxt to the very values our own reader
// gives back: the file is plain text that other tools take as it is.

#include "files/file_io.h"
#include "trace/data_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

TEST(NumpyInterchange, LoadtxtReadsTheSameValues) {
    char pattern[] = "/tmp/talvir-numpy-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path folder = pattern;
    const std::string data = (folder / "Data.txt").string(), hex = (folder / "hex.txt").string();
    std::mt19937 rng(3);
    std::vector<double> times, levels;
    for (int i = 0; i < 20000; ++i) {
        times.push_back(i * 0.0097656 + (i > 10000 ? 1e6 : 0));
        levels.push_back(rng() & 1);
    }
    files::ReplaceFileContent(data, trace::FormatDataFile(times, levels, '.'));
    const std::string script = "import numpy\n"
                               "a = numpy.loadtxt('" +
                               data +
                               "')\n"
                               "open('" +
                               hex +
                               "', 'w').write('\\n'.join(float(v).hex() for v in a.ravel()))\n";
    ASSERT_EQ(std::system(("/usr/bin/python3 -c \"" + script + "\"").c_str()), 0)
        << "python3-numpy must be installed (tools/install-deps.sh)";

    const trace::TDataFileContents ours = trace::ParseDataFile(files::TFileContent(data).View());
    std::ifstream in(hex);
    std::string word;
    std::size_t i = 0;
    for (; in >> word; ++i) {
        ASSERT_LT(i / 2, ours.Times.size());
        const double theirs = std::strtod(word.c_str(), nullptr);
        ASSERT_EQ(theirs, i % 2 ? ours.Levels[i / 2] : ours.Times[i / 2]) << "value " << i;
    }
    EXPECT_EQ(i, 2 * times.size());
    std::filesystem::remove_all(folder);
}
