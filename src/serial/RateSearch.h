// The speed a serial printer talks at: a port set to a speed tries it alone; a
// port on automatic tries the speed found last, then the common firmware speeds,
// one short greeting round each. Only a clean answer proves a speed: at a wrong
// one the firmware's bytes arrive as noise. Pure logic, without I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vela {

// The order in which automatic tries the speeds: the common ones first.
constexpr uint32_t kDetectionOrder[] = {250000,  115200, 57600, 230400, 500000,
                                        1000000, 38400,  19200, 9600};
constexpr size_t kMaxRatesTried = sizeof(kDetectionOrder) / sizeof(kDetectionOrder[0]);
// One speed's greeting round; a board heard booting at it gets its round again
// from each of its clean lines, up to the greeting's whole limit.
constexpr uint32_t kRateRoundMs = 3000;

// The speeds one greeting tries, in order.
struct RatesTried {
    uint32_t rates[kMaxRatesTried] = {};
    size_t count = 0;
};

// "250000, 115200, 57600": the speeds, in order.
std::string RatesText(const RatesTried& tried);

class RateSearch {
  public:
    // fixedRate 0: automatic, starting with rememberedRate when it is one of
    // the speeds tried (0: none). limitMs bounds a fixed speed's greeting and any
    // one round.
    void Begin(uint32_t fixedRate, uint32_t rememberedRate, uint32_t roundMs, uint32_t limitMs,
               uint64_t now);
    uint32_t Rate() const { return order_.rates[current_]; }
    bool Automatic() const { return order_.count > 1; }
    // A clean line that shows the board alive at this speed (it boots, or says
    // what it does): its round goes on.
    void OnCleanLine(uint64_t now);
    // The round at this speed is over and another speed is left.
    bool SwitchDue(uint64_t now) const;
    // Moves to the next speed; its round starts now.
    void Next(uint64_t now);
    // Every speed had its round: the printer does not answer.
    bool Exhausted(uint64_t now) const;
    // Until the round ends.
    uint32_t WaitTime(uint64_t now) const;
    // The speeds tried so far, the current one included.
    RatesTried Tried() const;
    // The longest the whole search can take: a round for each speed but the
    // last, and the whole limit for that one.
    uint64_t LimitMs() const;

  private:
    uint64_t RoundEnd() const;

    RatesTried order_;
    size_t current_ = 0;
    uint32_t roundMs_ = kRateRoundMs;
    uint32_t limitMs_ = 0;
    uint64_t roundStartedAt_ = 0;
    uint64_t searchEnd_ = 0;
    uint64_t lastHeardAt_ = 0;
    bool heard_ = false;
};

} // namespace vela
