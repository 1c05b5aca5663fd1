#include "recorder/port_settings.h"

#include <gtest/gtest.h>

namespace {

using serial::TParity;

struct SummaryCase {
    int comNumber;
    int dataBits;
    TParity parity;
    int stopBits;
    int baud;
    const char* summary;
};

class PortSummaryTest : public testing::TestWithParam<SummaryCase> {};

TEST_P(PortSummaryTest, NamesPortFrameAndRate) {
    serial::TSerialPort port;
    port.SetComNumber(GetParam().comNumber);
    port.SetDataBits(GetParam().dataBits);
    port.SetParity(GetParam().parity);
    port.SetStopBits(GetParam().stopBits);
    port.SetBaud(GetParam().baud);
    EXPECT_EQ(QString::fromUtf8(GetParam().summary), recorder::PortSummary(port));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PortSummaryTest,
    testing::Values(SummaryCase{1, 8, serial::pNone, 1, 115200, "COM1 8N1 115200"},
                    SummaryCase{3, 7, serial::pOdd, 2, 9600, "COM3 7O2 9600"},
                    SummaryCase{12, 8, serial::pEven, 1, 57600, "COM12 8E1 57600"},
                    SummaryCase{2, 5, serial::pMark, 1, 300, "COM2 5M1 300"},
                    SummaryCase{50, 6, serial::pSpace, 2, 1200, "COM50 6S2 1200"},
                    // A parity the summary does not know shows as a blank.
                    SummaryCase{1, 8, static_cast<TParity>(5), 1, 115200, "COM1 8 1 115200"}));

} // namespace
