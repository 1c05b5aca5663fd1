#include "chart/picture_format.h"
#include "chart/print_layout.h"

#include <gtest/gtest.h>

using chart::PictureFormatForName;
using chart::PrintRectangle;
using chart::ProportionalMargins;
using chart::TPictureFormat;
using chart::TPrintMargins;

// A4 at 600 dpi: 4961 x 7016 printer pixels.
TEST(PrintLayout, ProportionalMarginsKeepTheChartsShape) {
    // Wider than tall: left and right stay 15; round(85.86) = 86, div 2 = 43.
    EXPECT_EQ(ProportionalMargins(QSize(900, 300), QSize(4961, 7016), 1.0),
              (TPrintMargins{15, 43, 15, 43}));
    // Taller than wide, on a landscape page: top and bottom stay 15.
    EXPECT_EQ(ProportionalMargins(QSize(300, 600), QSize(7016, 4961), 1.0),
              (TPrintMargins{39, 15, 39, 15}));
    // Square counts as tall: round(15.15) = 15, div 2 = 7.
    EXPECT_EQ(ProportionalMargins(QSize(400, 400), QSize(4961, 7016), 1.0),
              (TPrintMargins{7, 15, 7, 15}));
    // Three times the dots across: wider than the page, round(-154.57) = -155, and the division
    // truncates towards zero: -77, not -78.
    EXPECT_EQ(ProportionalMargins(QSize(400, 400), QSize(4961, 7016), 3.0).Left, -77);
}

TEST(PrintLayout, RectangleInsideTheMargins) {
    EXPECT_EQ(PrintRectangle(QSize(4961, 7016), TPrintMargins{15, 43, 15, 43}),
              QRect(QPoint(744, 3017), QPoint(4961 - 744 - 1, 7016 - 3017 - 1)));
}

TEST(PictureFormat, ExtensionInAnyCase) {
    EXPECT_EQ(PictureFormatForName("/tmp/a.BMP"), TPictureFormat::Bitmap);
    EXPECT_EQ(PictureFormatForName("a.b.Emf"), TPictureFormat::EnhancedMetafile);
    EXPECT_EQ(PictureFormatForName("a.wmf"), TPictureFormat::Metafile);
    EXPECT_EQ(PictureFormatForName("a.pdf"), TPictureFormat::Pdf);
    EXPECT_EQ(PictureFormatForName("a.xyz"), std::nullopt);
    EXPECT_EQ(PictureFormatForName("/tmp/bmp"), std::nullopt);
}
