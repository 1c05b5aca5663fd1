#include "decode/worker.h"

#include <utility>

namespace decode {

TDecodeWorker::TDecodeWorker(std::string program, std::chrono::milliseconds limit, TReady ready)
    : host_(std::move(program), limit), ready_(std::move(ready)) {
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

std::optional<TDecodeResult> TDecodeWorker::TakeDecoded() {
    std::lock_guard lock(mutex_);
    return std::exchange(decoded_, std::nullopt);
}

std::optional<TListResult> TDecodeWorker::TakeList() {
    std::lock_guard lock(mutex_);
    return std::exchange(listed_, std::nullopt);
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
            {
                std::lock_guard lock(mutex_);
                listed_ = std::move(result);
            }
            ready_();
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
        {
            std::lock_guard lock(mutex_);
            if (decoded_)
                result.Skipped += decoded_->Skipped + 1;
            decoded_ = std::move(result);
        }
        ready_();
    }
}

} // namespace decode
