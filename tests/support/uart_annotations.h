#pragma once
// Test support: the data bytes of a uart decoder in annotations written as CSV
// ("start_ms,end_ms,decoder,row,text", the bytes in hex, as the decoder gives them by default).

#include <sstream>
#include <string>
#include <vector>

namespace test_support {

struct TUartByte {
    double StartMs;
    double EndMs;
    char Value;
};

// The texts of two hex digits in the uart's row rx-data (the row's others are its start and stop
// bits), in the CSV's order; empty where the header is not the annotations'.
inline std::vector<TUartByte> UartBytes(const std::string& csv) {
    std::istringstream lines(csv);
    std::string line;
    std::vector<TUartByte> bytes;
    if (!std::getline(lines, line) || line != "start_ms,end_ms,decoder,row,text")
        return bytes;
    while (std::getline(lines, line)) {
        std::vector<std::string> f;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, ',');)
            f.push_back(field);
        if (f.size() == 5 && f[2] == "uart" && f[3] == "rx-data" && f[4].size() == 2 &&
            f[4].find_first_not_of("0123456789ABCDEF") == std::string::npos)
            bytes.push_back({std::stod(f[0]), std::stod(f[1]),
                             static_cast<char>(std::stoi(f[4], nullptr, 16))});
    }
    return bytes;
}

} // namespace test_support
