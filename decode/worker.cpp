#include "decode/worker.h"

#include <utility>

namespace decode {

TDecodeWorker::TDecodeWorker(std::string program, std::chrono::milliseconds limit,
                             TDecoded decoded, TListed listed)
    : host_(std::move(program), limit), decoded_(std::move(decoded)), listed_(std::move(listed)) {
    host_.SetCancel(&stop_);
    thread_ = std::thread([this] { Run(); });
}

TDecodeWorker::~TDecodeWorker() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void TDecodeWorker::Post(TDecodeRequest request) {
    {
        std::lock_guard lock(mutex_);
        if (waiting_)
            ++skipped_;
        waiting_ = std::move(request);
    }
    wake_.notify_one();
}

void TDecodeWorker::RequestList() {
    {
        std::lock_guard lock(mutex_);
        listWanted_ = true;
    }
    wake_.notify_one();
}

void TDecodeWorker::Run() {
    for (;;) {
        std::optional<TDecodeRequest> request;
        bool list = false;
        std::uint64_t skipped = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || waiting_ || listWanted_; });
            if (stop_)
                return;
            list = std::exchange(listWanted_, false);
            if (!list) {
                request = std::exchange(waiting_, std::nullopt);
                skipped = std::exchange(skipped_, 0);
            }
        }
        if (list) {
            TListResult result;
            try {
                result.Decoders = host_.ListDecoders();
            } catch (const TDecodeError& e) {
                result.Error = e.what();
            }
            if (stop_)
                return;
            listed_(std::move(result));
            continue;
        }
        TDecodeResult result{request->Tag, {}, {}, skipped};
        try {
            result.Annotations =
                host_.Decode(request->Stack, request->RateHz, request->Packed, request->Samples);
        } catch (const TDecodeError& e) {
            result.Error = e.what();
        }
        if (stop_)
            return;
        decoded_(std::move(result));
    }
}

} // namespace decode
