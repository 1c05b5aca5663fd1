#pragma once
// A program's man page against its --help: the same options in both.

#include <string>

namespace test_support {

// Every option ("--name") that the OPTIONS section of the man page at `manPagePath` names, the
// help names too, and the other way round; the page's examples don't count, since they may name
// another program's options. Reported as test failures; a page that can't be read or has no
// such section is a fatal one.
void ExpectManPageNamesTheHelpsOptions(const std::string& manPagePath, const std::string& help);

} // namespace test_support
