#include "acquisition/recording_state.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace acquisition {

void PrintTo(TRecorderState state, std::ostream* out) {
    constexpr const char* names[] = {"Stopped", "Starting", "Recording"};
    *out << names[static_cast<int>(state)];
}

} // namespace acquisition

namespace {

using acquisition::TRecorderState;
using acquisition::TRecordingState;
using TClick = TRecordingState::TClick;

enum class TEvent { Click, Started, Stop };

// One transition: the state before, the event, what the event answers, the state after. A click
// answers Start, Stop or Ignore, a stop whether it ended a recording, Started nothing.
struct TTransition {
    const char* name;
    TRecorderState from;
    TEvent event;
    std::string answer;
    TRecorderState to;
};

void PrintTo(const TTransition& t, std::ostream* out) {
    *out << t.name;
}

// A recorder brought to `state` the way the window gets there.
TRecordingState InState(TRecorderState state) {
    TRecordingState recorder;
    if (state != TRecorderState::Stopped)
        recorder.Click();
    if (state == TRecorderState::Recording)
        recorder.Started();
    return recorder;
}

std::string Answer(TRecordingState& recorder, TEvent event) {
    switch (event) {
    case TEvent::Click:
        switch (recorder.Click()) {
        case TClick::Start:
            return "start";
        case TClick::Stop:
            return "stop";
        case TClick::Ignore:
            return "ignore";
        }
        return "?";
    case TEvent::Started:
        recorder.Started();
        return "";
    case TEvent::Stop:
        return recorder.Stop() ? "recorded" : "not recorded";
    }
    return "?";
}

class RecordingStateTest : public testing::TestWithParam<TTransition> {};

TEST_P(RecordingStateTest, AnswersAndMovesOn) {
    const TTransition& t = GetParam();
    TRecordingState recorder = InState(t.from);
    ASSERT_EQ(recorder.State(), t.from);
    EXPECT_EQ(Answer(recorder, t.event), t.answer);
    EXPECT_EQ(recorder.State(), t.to);
}

constexpr auto Stopped = TRecorderState::Stopped;
constexpr auto Starting = TRecorderState::Starting;
constexpr auto Recording = TRecorderState::Recording;

INSTANTIATE_TEST_SUITE_P(
    Transitions, RecordingStateTest,
    testing::Values(
        TTransition{"click_starts_a_stopped_recorder", Stopped, TEvent::Click, "start", Starting},
        // The start's pass over pending messages handles a click of its own, or the second
        // press of a double click.
        TTransition{"click_during_a_start_is_ignored", Starting, TEvent::Click, "ignore", Starting},
        // The switch's stop: the window stops the device, which then stops the state.
        TTransition{"click_asks_a_recording_to_stop", Recording, TEvent::Click, "stop", Recording},
        TTransition{"confirmed_start_records", Starting, TEvent::Started, "", Recording},
        TTransition{"a_start_a_stop_overtook_stays_stopped", Stopped, TEvent::Started, "", Stopped},
        TTransition{"started_twice_records_on", Recording, TEvent::Started, "", Recording},
        // Its unfinished sweep goes onto the trace.
        TTransition{"stop_ends_a_recording", Recording, TEvent::Stop, "recorded", Stopped},
        // A failed handshake, a failed open, a stop during the start's pass: no sweep to keep.
        TTransition{"stop_ends_a_start", Starting, TEvent::Stop, "not recorded", Stopped},
        TTransition{"stop_when_stopped", Stopped, TEvent::Stop, "not recorded", Stopped}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
