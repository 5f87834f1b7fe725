// The send side of the line protocol on a clock the test moves by hand.
#include "serial/SendState.h"

#include <gtest/gtest.h>

#include <string>

namespace vela {
namespace {

class SendStateTest : public ::testing::Test {
  protected:
    SendStateTest() : machine_(Timings()) {}

    static SendTimings Timings() {
        SendTimings timings;
        timings.resendOkWaitMs = 500;
        timings.pokeAfterMs = 30000;
        timings.shortestPokeAfterMs = 30000;
        return timings;
    }

    // The reply as the reply queue hands it out, with its line end.
    bool Reply(const std::string& text) {
        const std::string line = text + "\n";
        return machine_.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                                static_cast<uint32_t>(line.size()), now_);
    }

    // The send step takes a line for the action and writes it; returns its number.
    int32_t Send(SendAction expected, bool beginsWithN0 = false) {
        EXPECT_EQ(machine_.NextAction(now_), expected);
        return machine_.OnLineSent(expected, beginsWithN0, now_);
    }

    // Lines 1 to count go out and are acknowledged except the last, which is out.
    void SendLines(int count) {
        for (int line = 1; line <= count; ++line) {
            ASSERT_EQ(Send(SendAction::Advance), line);
            if (line < count) {
                Reply("ok");
            }
        }
        ASSERT_EQ(machine_.State(), SendState::AwaitReply);
        ASSERT_EQ(machine_.LineNumber(), count);
    }

    SendStateMachine machine_;
    uint64_t now_ = 1000;
};

TEST_F(SendStateTest, FirstLineGoesOutAsNumberOne) {
    EXPECT_EQ(machine_.State(), SendState::SendNext);
    EXPECT_EQ(machine_.LineNumber(), 1);
    EXPECT_EQ(Send(SendAction::Advance), 1);
    EXPECT_EQ(machine_.State(), SendState::AwaitReply);
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
}

TEST_F(SendStateTest, OkAcknowledgesTheLineInFlight) {
    SendLines(1);
    Reply("ok");
    EXPECT_EQ(machine_.State(), SendState::SendNext);
    EXPECT_EQ(machine_.LineNumber(), 2);
    EXPECT_EQ(Send(SendAction::Advance), 2);
}

TEST_F(SendStateTest, SecondOkBeforeTheNextLineIsOutCountsNothing) {
    SendLines(3);
    Reply("ok");
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 4);
    EXPECT_EQ(Send(SendAction::Advance), 4);
}

TEST_F(SendStateTest, OkWithNothingOutIsIgnored) {
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 1);
    EXPECT_EQ(Send(SendAction::Advance), 1);
}

TEST_F(SendStateTest, ResendOfTheCurrentLineWaitsForTheOkThatFollowsTheRequest) {
    SendLines(12);
    EXPECT_TRUE(Reply("Error:checksum mismatch, Last Line: 11"));
    Reply("Resend: 12");
    EXPECT_EQ(machine_.State(), SendState::ResendCurrent);
    // Nothing goes out until the request's own "ok" has come.
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    now_ += 20;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 12);
    EXPECT_EQ(Send(SendAction::CopyCurrent), 12);
    EXPECT_EQ(machine_.State(), SendState::AwaitReply);
    // Only the resent line's own "ok" moves on.
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 13);
    EXPECT_EQ(Send(SendAction::Advance), 13);
}

TEST_F(SendStateTest, ResendGoesOut500MsAfterTheRequestWhenNoOkFollows) {
    SendLines(4);
    Reply("Resend: 4");
    now_ += 100;
    EXPECT_EQ(machine_.WaitTime(now_), 400u);
    now_ += 399;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    now_ += 1;
    EXPECT_EQ(machine_.WaitTime(now_), 0u);
    EXPECT_EQ(Send(SendAction::CopyCurrent), 4);
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 5);
}

TEST_F(SendStateTest, RequestForTheNextNumberMovesOnWithoutCountingItsOk) {
    SendLines(11);
    Reply("Resend:12");
    EXPECT_EQ(machine_.State(), SendState::SendNext);
    EXPECT_EQ(machine_.LineNumber(), 12);
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 12);
    EXPECT_EQ(Send(SendAction::Advance), 12);
}

TEST_F(SendStateTest, RequestForThePreviousLineSendsItThenTheCurrentOneUnderTheirNumbers) {
    SendLines(11);
    Reply("Error:Line Number is not Last Line Number+1, Last Line: 9");
    Reply("Resend: 10");
    Reply("ok");
    EXPECT_EQ(machine_.State(), SendState::ResendPrevious);
    EXPECT_EQ(Send(SendAction::CopyPrevious), 10);
    Reply("ok");
    EXPECT_EQ(machine_.State(), SendState::ResendCurrent);
    EXPECT_EQ(Send(SendAction::CopyCurrent), 11);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 12);
}

TEST_F(SendStateTest, RequestForAnotherNumberResendsTheCurrentLine) {
    SendLines(11);
    Reply("Resend: 5");
    Reply("ok");
    EXPECT_EQ(Send(SendAction::CopyCurrent), 11);
}

TEST_F(SendStateTest, TwentyDigitRequestUsesItsFirstFifteen) {
    SendLines(3);
    Reply("Resend:00000000000000312345");
    // 000000000000003 is line 3, the current one.
    EXPECT_EQ(machine_.State(), SendState::ResendCurrent);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::CopyCurrent), 3);
}

TEST_F(SendStateTest, RequestWithoutDigitsChangesNothing) {
    SendLines(3);
    Reply("Resend: none");
    EXPECT_EQ(machine_.State(), SendState::AwaitReply);
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 4);
}

TEST_F(SendStateTest, OkWhileAResendWaitsForTheWriteChannelIsIgnored) {
    SendLines(6);
    Reply("Resend: 6");
    now_ += 500;
    // The hold is over, but the write channel is busy: the line has not gone out.
    EXPECT_EQ(machine_.NextAction(now_), SendAction::CopyCurrent);
    Reply("ok");
    EXPECT_EQ(machine_.State(), SendState::ResendCurrent);
    EXPECT_EQ(machine_.LineNumber(), 6);
    EXPECT_EQ(Send(SendAction::CopyCurrent), 6);
}

TEST_F(SendStateTest, RequestForTheAcknowledgedLineBeforeTheNextIsOutResendsIt) {
    SendLines(5);
    Reply("ok");
    ASSERT_EQ(machine_.State(), SendState::SendNext);
    Reply("Resend: 5");
    Reply("ok");
    EXPECT_EQ(Send(SendAction::CopyCurrent), 5);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 6);
}

TEST_F(SendStateTest, RequestForTheNextLineBeforeItIsOutJustGoesOn) {
    SendLines(5);
    Reply("ok");
    Reply("Resend: 6");
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 6);
}

TEST_F(SendStateTest, AcknowledgedLineShiftedOutByAnEmptyQueueIsStillFound) {
    SendLines(5);
    Reply("ok");
    // The queue was empty: Advance shifted line 5 into the previous slot.
    ASSERT_EQ(machine_.NextAction(now_), SendAction::Advance);
    EXPECT_FALSE(machine_.OnNoLine(SendAction::Advance));
    EXPECT_EQ(machine_.State(), SendState::SendNext);
    Reply("Resend: 5");
    Reply("ok");
    EXPECT_EQ(Send(SendAction::CopyPrevious), 5);
    Reply("ok");
    // No current line to follow it: on with the next new line.
    EXPECT_EQ(Send(SendAction::Advance), 6);
}

TEST_F(SendStateTest, RequestBeyondTheNewestLineSkipsNoNumber) {
    // Line 3 is acknowledged and shifted out by an empty queue, then asked for
    // again; a request for 5, which never went out, must not make the next new
    // line 5: the firmware would never see a line 4. Found by the send-state fuzzer.
    for (const bool previousWentOut : {false, true}) {
        SCOPED_TRACE(previousWentOut ? "line 3 out again" : "line 3 waiting");
        SendStateMachine fresh(Timings());
        machine_ = fresh;
        SendLines(3);
        Reply("ok");
        ASSERT_EQ(machine_.NextAction(now_), SendAction::Advance);
        machine_.OnNoLine(SendAction::Advance);
        Reply("Resend:3");
        Reply("ok");
        if (previousWentOut) {
            ASSERT_EQ(Send(SendAction::CopyPrevious), 3);
        }
        Reply("Resend: 5");
        now_ += 500;
        ASSERT_EQ(machine_.NextAction(now_), SendAction::Advance);
        EXPECT_EQ(Send(SendAction::Advance), 4);
    }
}

TEST_F(SendStateTest, ResendWithNothingKeptFallsBack) {
    SendLines(2);
    Reply("Resend: 1");
    Reply("ok");
    ASSERT_EQ(machine_.NextAction(now_), SendAction::CopyPrevious);
    EXPECT_TRUE(machine_.OnNoLine(SendAction::CopyPrevious));
    ASSERT_EQ(machine_.NextAction(now_), SendAction::CopyCurrent);
    EXPECT_TRUE(machine_.OnNoLine(SendAction::CopyCurrent));
    EXPECT_EQ(machine_.State(), SendState::SendNext);
}

TEST_F(SendStateTest, EchoTemperatureAndErrorLinesGoToTheDebugger) {
    EXPECT_TRUE(Reply("echo:busy: processing"));
    EXPECT_TRUE(Reply("T:21.0 /0.0"));
    EXPECT_TRUE(Reply("Error:checksum mismatch"));
    EXPECT_FALSE(Reply("wait"));
    EXPECT_FALSE(Reply("start"));
    EXPECT_FALSE(Reply("ok"));
    EXPECT_FALSE(Reply("Resend: 1"));
}

TEST_F(SendStateTest, N0LineRestartsNumberingAtOne) {
    SendLines(7);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance, true), 1);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 2);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 3);
}

TEST_F(SendStateTest, EmptyQueueKeepsSendNext) {
    EXPECT_EQ(machine_.NextAction(now_), SendAction::Advance);
    EXPECT_FALSE(machine_.OnNoLine(SendAction::Advance));
    EXPECT_EQ(machine_.State(), SendState::SendNext);
    EXPECT_EQ(machine_.LineNumber(), 1);
}

TEST_F(SendStateTest, SkippedLineLeavesItsNumberToTheNext) {
    SendLines(2);
    Reply("ok");
    ASSERT_EQ(machine_.NextAction(now_), SendAction::Advance);
    machine_.OnLineSkipped();
    EXPECT_EQ(Send(SendAction::Advance), 3);
}

TEST_F(SendStateTest, SilentFirmwareDrawsOnePokeAfterThirtySeconds) {
    SendLines(7);
    now_ += 29999;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.WaitTime(now_), 1u);
    now_ += 1;
    Send(SendAction::Poke);
    EXPECT_EQ(machine_.State(), SendState::AwaitReply);
    EXPECT_EQ(machine_.LineNumber(), 7);
    // Never the waiting line itself, and no second poke.
    now_ += 120000;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.WaitTime(now_), 1000u);
}

TEST_F(SendStateTest, BusyNoticeOrResendRequestRestartsTheWaitButTemperaturesDoNot) {
    SendLines(2);
    now_ += 20000;
    machine_.OnBytesReceived(now_);
    Reply("T:200.1 /210.0 B:60.0 /60.0 @:0 B@:0");
    now_ += 10000;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::Poke);

    Reply("ok T:21.0");
    Send(SendAction::Advance);
    now_ += 20000;
    Reply("echo:busy: processing");
    now_ += 29999;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    now_ += 1;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::Poke);
}

TEST_F(SendStateTest, PokeAnswerAcknowledgesALostOk) {
    SendLines(7);
    now_ += 30000;
    Send(SendAction::Poke);
    Reply("ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0");
    EXPECT_EQ(machine_.LineNumber(), 8);
    EXPECT_EQ(Send(SendAction::Advance), 8);
}

TEST_F(SendStateTest, PokeAnswerAfterALateOkAcknowledgesNothing) {
    SendLines(7);
    now_ += 30000;
    Send(SendAction::Poke);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 8);
    Reply("ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0");
    EXPECT_EQ(machine_.State(), SendState::AwaitReply);
    EXPECT_EQ(machine_.LineNumber(), 8);
    Reply("ok");
    EXPECT_EQ(machine_.LineNumber(), 9);
}

TEST_F(SendStateTest, TemperatureOkWithoutAPokeIsAnOrdinaryOk) {
    SendLines(3);
    Reply("ok T:21.0 /0.0 B:21.0 /0.0 @:0 B@:0");
    EXPECT_EQ(machine_.LineNumber(), 4);
}

TEST_F(SendStateTest, NoPokeWhileNothingIsOut) {
    now_ += 60000;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::Advance);
    EXPECT_FALSE(machine_.OnNoLine(SendAction::Advance));
    EXPECT_EQ(machine_.WaitTime(now_), 1000u);
}

TEST_F(SendStateTest, NextLineMayDrawAPokeOfItsOwn) {
    SendLines(1);
    now_ += 30000;
    Send(SendAction::Poke);
    Reply("ok T:21.0");
    Send(SendAction::Advance);
    now_ += 30000;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::Poke);
}

} // namespace
} // namespace vela
