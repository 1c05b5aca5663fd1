#include "measure/markers.h"

#include "numbers/number_format.h"

#include <Qt>

#include <cmath>

namespace measure {

namespace {

// "%.6g" with the user's decimal separator.
QString Readout(double value) {
    return numbers::FormatGeneral(value, 6);
}

} // namespace

QString MarkerReadout(double t1, double t2) {
    const double distance = std::fabs(t1 - t2);
    const QString frequency = t1 == t2 ? QStringLiteral("?") : Readout(1000.0 / distance);
    return QStringLiteral("t1=") + Readout(t1) + QStringLiteral(" мс") + QStringLiteral("   t2=") +
           Readout(t2) + QStringLiteral(" мс") + QStringLiteral("   dt=") + Readout(distance) +
           QStringLiteral(" мс") + QStringLiteral("   f=") + frequency + QStringLiteral(" Гц");
}

TMarkerKeyAction MarkerKeyAction(int key, const TMarkerKeyContext& context) {
    const bool apply = context.MarkersShown && !context.TypingInField &&
                       (context.ChartFocused || context.PointerOverPlot);
    if (!apply)
        return TMarkerKeyAction::PassOn;
    switch (key) {
    case Qt::Key_1:
    case Qt::Key_2:
        if (!context.PointerOverPlot)
            return TMarkerKeyAction::Nothing;
        return key == Qt::Key_1 ? TMarkerKeyAction::PlaceMarker1 : TMarkerKeyAction::PlaceMarker2;
    case Qt::Key_Escape:
        return TMarkerKeyAction::Release;
    default:
        return TMarkerKeyAction::PassOn;
    }
}

} // namespace measure
