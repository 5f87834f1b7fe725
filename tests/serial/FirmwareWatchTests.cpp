// The firmware's signs of life and trouble that both senders share, on a clock the
// test moves by hand.
#include "serial/FirmwareWatch.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

FirmwareNotice Reply(FirmwareWatch& watch, const std::string& text, bool begun, uint64_t now = 0) {
    const std::string line = text + "\n";
    return watch.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                         static_cast<uint32_t>(line.size()), begun, 7, now);
}

TEST(FirmwareWatch, HaltsFailAlwaysRestartsOnceTheDocumentBegunAndTheFirstFailureStands) {
    using N = FirmwareNotice;
    using F = SendFailure;
    const struct {
        const char* reply;
        bool begun;
        N notice;
        F failure;
    } cases[] = {
        {"Error:Printer halted. kill() called!", false, N::Failed, F::Halted},
        {"echo:busy: processing, kill() called", true, N::Failed, F::Halted},
        {"start", false, N::Restart, F::None},
        {"start", true, N::Failed, F::Restarted},
        {"echo:busy: processing", true, N::Busy, F::None},
        {"ok T:20.0 /0.0", true, N::None, F::None},
    };
    for (const auto& item : cases) {
        FirmwareWatch watch(100, 1000);
        EXPECT_EQ(Reply(watch, item.reply, item.begun), item.notice) << item.reply;
        EXPECT_EQ(watch.Failure(), item.failure) << item.reply;
        watch.Fail(F::Rejected, 9);
        EXPECT_EQ(watch.FailureLine(), watch.Failure() == F::Rejected ? 9 : 7) << item.reply;
        EXPECT_EQ(Reply(watch, "ok", true), N::Failed);
    }
}

TEST(FirmwareWatch, ThePokeWaitsForQuietBusyNoticesPutItOffAndSilenceCountsOnlyWhenOwed) {
    FirmwareWatch watch(100, 1000);
    watch.Start(1000);
    Reply(watch, "echo:busy: processing", true, 1050);
    watch.PutOffPoke(1020); // never back
    EXPECT_EQ(watch.PokeDueIn(1100), 50u);
    watch.OnPokeSent(1150);
    watch.QuietFrom(1200); // poked: the next goes as long after this one
    EXPECT_EQ(watch.PokeDueIn(1200), 50u);
    watch.ForgetPoke();
    EXPECT_EQ(watch.PokeDueIn(1200), 100u);

    watch.OnBytesReceived(1500);
    watch.OnBytesReceived(1400);
    watch.CheckSilence(false, 3, 2500);
    watch.CheckSilence(true, 3, 2499);
    EXPECT_FALSE(watch.Failed());
    watch.CheckSilence(true, 3, 2500);
    EXPECT_EQ(watch.Failure(), SendFailure::StoppedAnswering);
    watch.Start(3000);
    EXPECT_FALSE(watch.Failed());
}

} // namespace
} // namespace vela
