// A decoding's annotations as rows under the trace and lines of the table: which row each goes
// to, in what order, at what time, in which colour.
#include "recorder/decoded_rows.h"

#include <gtest/gtest.h>

namespace recorder {
namespace {

using decode::TAnnotation;

const std::vector<decode::TDecoderInfo> kDecoders{
    {"uart", "rx", {"logic"}, {"uart"}, "UART", "", {},
     {{"rx-data", "RX data"}, {"rx-start", "RX start"}, {"rx-warning", "RX warning"}},
     {{"rx-data", "RX data", {"rx-data", "rx-start"}}, {"rx-warnings", "RX warnings", {"rx-warning"}}}},
    {"midi", "", {"uart"}, {"midi"}, "MIDI", "", {}, {{"text", "Human-readable text"}}, {}},
};

std::vector<std::string> Names(const TDecodedView& view) {
    std::vector<std::string> names;
    for (const chart::TStripRow& row : view.Rows)
        names.push_back(row.Name.toStdString());
    return names;
}

TEST(DecodedRows, RowsFollowTheStackAndTheDecodersOrderAndOnlyThoseWithAnnotations) {
    const TDecoded decoded{{
                               {40, 50, "midi", "", "text", {"Note on", "On"}},
                               {10, 20, "uart", "rx-data", "rx-data", {"H"}},
                               {0, 1, "uart", "rx-data", "rx-start", {"Start bit", "S"}},
                               {60, 61, "spi", "", "mosi", {"?"}},
                           },
                           2.0,
                           0.5};
    const TDecodedView view = ViewOf(decoded, kDecoders, {{"uart", {}}, {"midi", {}}});
    EXPECT_EQ(Names(view),
              (std::vector<std::string>{"uart: RX data", "midi: Human-readable text", "spi: mosi"}));
    // In a row by time, whatever order the decoder sent them in.
    ASSERT_EQ(view.Rows[0].Items.size(), 2u);
    EXPECT_EQ(view.Rows[0].Items[0].Texts, QStringList({"Start bit", "S"}));
    EXPECT_DOUBLE_EQ(view.Rows[0].Items[0].Start, 2.0);
    EXPECT_DOUBLE_EQ(view.Rows[0].Items[0].End, 2.5);
    EXPECT_DOUBLE_EQ(view.Rows[0].Items[1].Start, 7.0);
    EXPECT_DOUBLE_EQ(view.Rows[0].Items[1].End, 12.0);
    // Colours: the class's place in its decoder, the second decoder's apart from the first's.
    EXPECT_EQ(view.Rows[0].Items[0].Color, 1);
    EXPECT_EQ(view.Rows[0].Items[1].Color, 0);
    EXPECT_NE(view.Rows[1].Items[0].Color, view.Rows[0].Items[1].Color);
    // The table: every annotation, by time, with its row's label and full text.
    ASSERT_EQ(view.Lines.size(), 4u);
    EXPECT_EQ(view.Lines[0].Text, "Start bit");
    EXPECT_EQ(view.Lines[1].Text, "H");
    EXPECT_EQ(view.Lines[2].Row, "midi: Human-readable text");
    EXPECT_DOUBLE_EQ(view.Lines[3].StartMs, 32.0);
}

TEST(DecodedRows, NoAnnotationsMakeNoRows) {
    const TDecodedView view = ViewOf({{}, 0, 1}, kDecoders, {{"uart", {}}});
    EXPECT_TRUE(view.Rows.empty());
    EXPECT_TRUE(view.Lines.empty());
}

} // namespace
} // namespace recorder
