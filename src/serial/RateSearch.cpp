#include "serial/RateSearch.h"

namespace vela {

std::string RatesText(const RatesTried& tried) {
    std::string text;
    for (size_t i = 0; i < tried.count; ++i) {
        if (i != 0) {
            text += ", ";
        }
        text += std::to_string(tried.rates[i]);
    }
    return text;
}

void RateSearch::Begin(uint32_t fixedRate, uint32_t rememberedRate, uint32_t roundMs,
                       uint32_t limitMs, uint64_t now) {
    *this = RateSearch{};
    roundMs_ = roundMs < limitMs ? roundMs : limitMs;
    limitMs_ = limitMs;
    roundStartedAt_ = now;
    if (fixedRate != 0) {
        order_.rates[order_.count++] = fixedRate;
    } else {
        for (uint32_t rate : kDetectionOrder) {
            if (rate == rememberedRate) {
                order_.rates[order_.count++] = rate;
            }
        }
        for (uint32_t rate : kDetectionOrder) {
            if (rate != rememberedRate) {
                order_.rates[order_.count++] = rate;
            }
        }
    }
    searchEnd_ = now + LimitMs();
}

void RateSearch::OnCleanLine(uint64_t now) {
    heard_ = true;
    lastHeardAt_ = now;
}

uint64_t RateSearch::RoundEnd() const {
    // A fixed speed has the whole limit; a round at a speed heard from runs on
    // from its last clean line, never past the limit nor the search's end.
    uint64_t limitEnd = roundStartedAt_ + limitMs_;
    limitEnd = limitEnd < searchEnd_ ? limitEnd : searchEnd_;
    if (!Automatic()) {
        return limitEnd;
    }
    uint64_t end = roundStartedAt_ + roundMs_;
    if (heard_ && lastHeardAt_ + roundMs_ > end) {
        end = lastHeardAt_ + roundMs_;
    }
    return end < limitEnd ? end : limitEnd;
}

bool RateSearch::SwitchDue(uint64_t now) const {
    return current_ + 1 < order_.count && now >= RoundEnd();
}

void RateSearch::Next(uint64_t now) {
    if (current_ + 1 < order_.count) {
        ++current_;
    }
    roundStartedAt_ = now;
    heard_ = false;
}

bool RateSearch::Exhausted(uint64_t now) const {
    return current_ + 1 >= order_.count && now >= RoundEnd();
}

uint32_t RateSearch::WaitTime(uint64_t now) const {
    const uint64_t end = RoundEnd();
    return end <= now ? 0 : static_cast<uint32_t>(end - now);
}

RatesTried RateSearch::Tried() const {
    RatesTried tried;
    for (size_t i = 0; i <= current_ && i < order_.count; ++i) {
        tried.rates[tried.count++] = order_.rates[i];
    }
    return tried;
}

uint64_t RateSearch::LimitMs() const {
    return static_cast<uint64_t>(order_.count - 1) * roundMs_ + limitMs_;
}

} // namespace vela
