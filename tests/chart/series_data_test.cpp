#include "chart/series.h"
#include "chart/value_list.h"

#include <gtest/gtest.h>

#include <vector>

using chart::EListError;
using chart::TFastLineSeries;

namespace {

std::vector<double> Values(const chart::TChartValueList& list) {
    std::vector<double> out;
    for (int i = 0; i < list.ValueCount(); ++i)
        out.push_back(list.ReadValue(i));
    return out;
}

TEST(AddPoint, IncreasingXIsAppendedInOrder) {
    TFastLineSeries s;
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(s.AddPoint(i * 0.5, i % 2), i);
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{0, 0.5, 1, 1.5, 2}));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{0, 1, 0, 1, 0}));
}

TEST(AddPoint, SmallerXIsInsertedAfterEqualValuesWithItsY) {
    TFastLineSeries s;
    s.AddPoint(1, 10);
    s.AddPoint(2, 20);
    s.AddPoint(3, 30);
    EXPECT_EQ(s.AddPoint(2, 21), 2) << "after the existing 2";
    EXPECT_EQ(s.AddPoint(2, 22), 3);
    EXPECT_EQ(s.AddPoint(0, 5), 0);
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{0, 1, 2, 2, 2, 3}));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{5, 10, 20, 21, 22, 30}));
}

TEST(AddPoint, UnorderedXListAppends) {
    TFastLineSeries s;
    s.XValues().SetOrder(chart::loNone);
    s.AddPoint(3, 0);
    s.AddPoint(1, 1);
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{3, 1}));
}

TEST(AddPoint, DescendingOrderMirrors) {
    TFastLineSeries s;
    s.XValues().SetOrder(chart::loDescending);
    s.AddPoint(3, 0);
    s.AddPoint(1, 1);
    s.AddPoint(2, 2);
    s.AddPoint(2, 3);
    EXPECT_EQ(Values(s.XValues()), (std::vector<double>{3, 2, 2, 1}));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{0, 2, 3, 1}));
}

TEST(AddPoint, RefusedByOnBeforeAddChangesNothing) {
    TFastLineSeries s;
    int after = 0;
    s.OnBeforeAdd = [](chart::TChartSeries*, double x, double) { return x >= 0; };
    s.OnAfterAdd = [&](chart::TChartSeries*, int) { ++after; };
    EXPECT_EQ(s.AddPoint(-1, 0), -1);
    EXPECT_EQ(s.Count(), 0);
    EXPECT_EQ(s.AddPoint(1, 0), 0);
    EXPECT_EQ(after, 1);
}

// Many points at once end as the same points one by one would, whether they can be appended
// (in order after the last) or must be inserted (out of order, or a hook wants each point).
TEST(AddPoints, SameAsAddingOneByOne) {
    const std::vector<std::vector<double>> cases{{0, 1, 2, 3}, {5, 6, 6, 9}, {7, 2, 2, 8}, {}};
    for (bool hook : {false, true}) {
        for (const auto& xs : cases) {
            TFastLineSeries bulk, single;
            for (TFastLineSeries* s : {&bulk, &single}) {
                s->AddPoint(4, 40, QStringLiteral("four"), 0x123456);
                if (hook)
                    s->OnAfterAdd = [](chart::TChartSeries*, int) {};
            }
            std::vector<double> ys;
            for (double x : xs)
                ys.push_back(x * 10 + 1);
            bulk.AddPoints(xs, ys);
            for (std::size_t i = 0; i < xs.size(); ++i)
                single.AddPoint(xs[i], ys[i]);
            EXPECT_EQ(Values(bulk.XValues()), Values(single.XValues()));
            EXPECT_EQ(Values(bulk.YValues()), Values(single.YValues()));
            for (int i = 0; i < single.Count(); ++i) {
                EXPECT_EQ(bulk.PointLabel(i), single.PointLabel(i));
                EXPECT_EQ(bulk.PointColor(i), single.PointColor(i));
            }
        }
    }
    TFastLineSeries plain;
    plain.AddPoints(std::vector<double>{1, 2}, std::vector<double>{0, 1});
    EXPECT_EQ(plain.PointLabel(1), QString());
    EXPECT_EQ(plain.PointColor(1), chart::ClDefault);
    EXPECT_THROW(plain.PointLabel(2), std::out_of_range);
}

TEST(ClearPoints, EmptiesBothListsAndReservesTheCapacity) {
    TFastLineSeries s;
    int cleared = 0;
    s.OnClearValues = [&](QObject*) { ++cleared; };
    s.AddPoint(1, 1);
    chart::SetValueListCapacity(5000);
    s.ClearPoints();
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(s.XValues().ValueCount(), 0);
    EXPECT_EQ(s.YValues().ValueCount(), 0);
    EXPECT_GE(s.XValues().Raw().capacity(), 5000u);
    EXPECT_GE(s.YValues().Raw().capacity(), 5000u);
    chart::SetValueListCapacity(0);
}

TEST(ValueList, WriteAndReadWithMultiplier) {
    TFastLineSeries s;
    s.AddPoint(0, 0);
    s.AddPoint(1, 0);
    s.YValues().WriteValue(1, 1.0);
    EXPECT_EQ(s.YValues().ReadValue(1), 1.0);
    EXPECT_EQ(s.YValues().MaxValue(), 1.0) << "statistics follow a write";
    s.YValues().SetMultiplier(2);
    EXPECT_EQ(s.YValues().ReadValue(1), 2.0);
}

// A list's worth filled aside takes the list's place whole; another count leaves both alone.
TEST(ValueList, ExchangeSwapsOnlyListsOfTheSameCount) {
    TFastLineSeries s;
    s.AddPoint(0, 0);
    s.AddPoint(1, 0);
    EXPECT_EQ(s.YValues().MaxValue(), 0.0);
    std::vector<double> aside{1, 3};
    ASSERT_TRUE(s.YValues().Exchange(aside));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{1, 3}));
    EXPECT_EQ(aside, (std::vector<double>{0, 0}));
    EXPECT_EQ(s.YValues().MaxValue(), 3.0) << "statistics follow an exchange";
    std::vector<double> longer{5, 5, 5};
    EXPECT_FALSE(s.YValues().Exchange(longer));
    EXPECT_EQ(Values(s.YValues()), (std::vector<double>{1, 3}));
    EXPECT_EQ(longer, (std::vector<double>{5, 5, 5}));
}

TEST(ValueList, IndexOutsideTheListRaisesTheListError) {
    TFastLineSeries s;
    s.AddPoint(0, 0);
    for (int bad : {-1, 1, 100}) {
        try {
            s.YValues().WriteValue(bad, 1);
            FAIL() << "no exception for " << bad;
        } catch (const EListError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "List index out of bounds (" + std::to_string(bad) + ")");
        }
        EXPECT_THROW(s.XValues().ReadValue(bad), EListError);
    }
    EXPECT_EQ(s.YValues().ReadValue(0), 0);
}

TEST(ValueList, StatisticsOfTheStoredValues) {
    chart::TChartValueList list(QStringLiteral("Y"));
    for (double v : {3.0, -2.0, 5.0})
        list.Insert(list.InsertPosition(v), v);
    EXPECT_EQ(list.MinValue(), -2);
    EXPECT_EQ(list.MaxValue(), 5);
    EXPECT_EQ(list.Total(), 6);
    EXPECT_EQ(list.TotalABS(), 10);
}

TEST(SeriesColour, ColourAndLinePenFollowEachOther) {
    TFastLineSeries s;
    s.SetSeriesColor(Qt::blue);
    EXPECT_EQ(s.LinePen().Color(), QColor(Qt::blue));
    chart::TChartPen pen(Qt::green);
    s.SetLinePen(pen);
    EXPECT_EQ(s.SeriesColor(), QColor(Qt::green));
}

} // namespace
