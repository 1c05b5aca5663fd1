#include "acquisition/recording_state.h"

#include <utility>

namespace acquisition {

TRecordingState::TClick TRecordingState::Click() {
    switch (State_) {
    case TRecorderState::Stopped:
        State_ = TRecorderState::Starting;
        return TClick::Start;
    case TRecorderState::Recording:
        return TClick::Stop;
    case TRecorderState::Starting:
        break;
    }
    return TClick::Ignore;
}

void TRecordingState::Started() {
    if (State_ == TRecorderState::Starting)
        State_ = TRecorderState::Recording;
}

bool TRecordingState::Stop() {
    return std::exchange(State_, TRecorderState::Stopped) == TRecorderState::Recording;
}

} // namespace acquisition
