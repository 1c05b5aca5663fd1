#include "chart/picture_format.h"
#include "chart/print_layout.h"

#include <gtest/gtest.h>

using chart::PictureFormatForName;
using chart::PlacePrint;
using chart::PrintRectangle;
using chart::ProportionalMargins;
using chart::TPictureFormat;
using chart::TPrinterPage;
using chart::TPrintMargins;
using chart::TPrintPlacement;
using chart::TPrintSetup;

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
}

// Margins as set when not proportional; the layout, smaller by the print-resolution percentage,
// covers the print rectangle.
TEST(PrintLayout, PlacementOfTheLayout) {
    const TPrinterPage a4{QSize(4961, 7016), 600, 600};
    const TPrintPlacement p =
        PlacePrint(QSize(900, 300), a4, TPrintSetup{{10, 20, 30, 40}, false, 75});
    EXPECT_EQ(p.Margins, (TPrintMargins{10, 20, 30, 40}));
    EXPECT_EQ(p.Target, PrintRectangle(a4.Page, p.Margins));
    EXPECT_EQ(p.Logical.size(), QSize(225, 75));
    const QRectF mapped(p.Logical.x() * p.ScaleX, p.Logical.y() * p.ScaleY,
                        p.Logical.width() * p.ScaleX, p.Logical.height() * p.ScaleY);
    EXPECT_NEAR(mapped.left(), p.Target.left(), p.ScaleX / 2);
    EXPECT_NEAR(mapped.top(), p.Target.top(), p.ScaleY / 2);
    EXPECT_DOUBLE_EQ(mapped.width(), p.Target.width());
    EXPECT_DOUBLE_EQ(mapped.height(), p.Target.height());

    // Margins that meet leave nothing to draw on.
    EXPECT_TRUE(PlacePrint(QSize(900, 300), TPrinterPage{QSize(4960, 7016), 600, 600},
                           TPrintSetup{{50, 15, 50, 15}, false, 0})
                    .Target.isEmpty());
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
