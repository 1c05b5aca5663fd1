#pragma once
// The recorder's start/stop states: what a click on the switch asks for, and how a start that runs
// in steps learns that a stop overtook it. No widgets: the window asks and does the work.

namespace acquisition {

enum class TRecorderState {
    Stopped,
    // From the click on: the sweep prepared, the port opened, the device told to start. The window
    // handles pending messages on the way, so a stop can come in between.
    Starting,
    // The device confirmed the start; its data is decoded.
    Recording,
};

class TRecordingState {
public:
    // What a click on the switch asks of the window.
    enum class TClick { Start, Stop, Ignore };

    TRecorderState State() const { return State_; }

    // A stopped recorder starts (Starting from now on), a recording one is to stop; a click while
    // a start is under way is ignored.
    TClick Click();
    // The device confirmed the start. A start that a stop overtook stays stopped.
    void Started();
    // Every way a recording ends, also one that never got past its start: stopped. True when it
    // was recording, so that the samples of the unfinished sweep go onto the trace.
    bool Stop();

private:
    TRecorderState State_ = TRecorderState::Stopped;
};

} // namespace acquisition
