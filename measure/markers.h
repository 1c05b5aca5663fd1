#pragma once
// The two time markers without widgets: the readout of their times, distance and frequency, and
// what the keys 1, 2 and Esc do to them.

#include <QString>

namespace measure {

// "t1=… мс   t2=… мс   dt=… мс   f=… Гц" for markers at t1 and t2 ms: six significant digits with
// the user's decimal separator; f is 1/dt in Hz, "?" while both markers stand at one time.
QString MarkerReadout(double t1, double t2);

// Where a key press meets the markers.
struct TMarkerKeyContext {
    bool MarkersShown = false;
    // The focus is in a field, whose typing the keys are.
    bool TypingInField = false;
    bool ChartFocused = false;
    bool PointerOverPlot = false;
};

enum class TMarkerKeyAction {
    // Not a marker key here: the window handles it as any other key.
    PassOn,
    // A marker key with nothing to do: no time under the pointer to put a marker at.
    Nothing,
    // The marker goes to the time under the pointer.
    PlaceMarker1,
    PlaceMarker2,
    // The marker button that is down comes up.
    Release,
};

// The keys (Qt::Key) 1 and 2 place a marker and Esc releases the marker button while the markers
// are shown, no field is being typed in, and the chart has the focus or the pointer is over the
// plot; 1 and 2 need the pointer over the plot even then.
TMarkerKeyAction MarkerKeyAction(int key, const TMarkerKeyContext& context);

} // namespace measure
