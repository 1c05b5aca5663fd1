#pragma once

#include "chart/chart.h"

#include <QTest>

#include <memory>

// A chart like the recorder's: white, flat, 0..100 on the bottom axis, -1..2 on the left, one
// red fast line through 0/1 levels, shown on the offscreen platform and painted once.
inline std::unique_ptr<chart::TChart> MakeShownChart(bool axesVisible, int points = 101) {
    auto c = std::make_unique<chart::TChart>();
    c->resize(400, 250);
    c->SetColor(Qt::white);
    c->SetView3D(false);
    c->SetAxisVisible(axesVisible);
    c->BottomAxis().SetAutomatic(false);
    c->BottomAxis().SetMaximum(100);
    c->BottomAxis().SetIncrement(1);
    c->LeftAxis().SetAutomatic(false);
    c->LeftAxis().SetMinimum(-1);
    c->LeftAxis().SetMaximum(2);
    c->TopAxis().SetAutomatic(false);
    c->RightAxis().SetAutomatic(false);
    auto* s = new chart::TFastLineSeries(c.get());
    s->SetSeriesColor(Qt::red);
    for (int i = 0; i < points; ++i)
        s->AddPoint(i, i % 2);
    c->show();
    if (!QTest::qWaitForWindowExposed(c.get()))
        return nullptr;
    c->RedrawNow();
    return c;
}
