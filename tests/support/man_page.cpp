#include "support/man_page.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

namespace test_support {

void ExpectManPageNamesTheHelpsOptions(const std::string& manPagePath, const std::string& help) {
    std::ifstream file(manPagePath);
    ASSERT_TRUE(file) << manPagePath;
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    const std::size_t section = source.find(".SH OPTIONS");
    ASSERT_NE(section, std::string::npos) << manPagePath;
    const std::string page =
        std::regex_replace(source.substr(section, source.find(".SH", section + 1) - section),
                           std::regex(R"(\\-)"), "-");
    const std::regex option("--[a-z]+");
    for (const auto& [from, to] : {std::pair{&help, &page}, {&page, &help}})
        for (std::sregex_iterator it(from->begin(), from->end(), option), end; it != end; ++it)
            EXPECT_NE(to->find(it->str()), std::string::npos) << it->str();
}

} // namespace test_support
