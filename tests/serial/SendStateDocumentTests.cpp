// The send machine over a whole document: the handshake, the counter lines, and
// the reasons it gives up.
#include "serial/SendState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vela {
namespace {

class SendDocument : public ::testing::Test {
  protected:
    bool Reply(const std::string& text) {
        const std::string line = text + "\n";
        machine_.OnBytesReceived(now_);
        return machine_.OnReply(reinterpret_cast<const uint8_t*>(line.data()),
                                static_cast<uint32_t>(line.size()), now_);
    }
    int32_t Send(SendAction expected, int64_t counterAfter = -1) {
        EXPECT_EQ(machine_.NextAction(now_), expected);
        return machine_.OnLineSent(expected, false, now_, counterAfter);
    }
    void Handshake() {
        machine_.StartHandshake(now_);
        Send(SendAction::Handshake);
        Reply(kGreetingAnswer);
        Reply("ok");
        ASSERT_FALSE(machine_.Handshaking());
    }
    // The greeting's temperature query is answered first.
    static constexpr char kGreetingAnswer[] = "ok T:21.0 /0.0 B:20.0 /0.0";
    // Lines go out and are acknowledged; the last one stays out.
    void SendLines(int count) {
        for (int line = 0; line < count; ++line) {
            Send(SendAction::Advance);
            if (line + 1 < count) {
                Reply("ok");
            }
        }
    }

    SendStateMachine machine_;
    uint64_t now_ = 5000;
};

TEST_F(SendDocument, HandshakeGoesAgainWhenTheBoardBootsOrEveryTwoSecondsUntilAnswered) {
    machine_.StartHandshake(now_);
    Send(SendAction::Handshake);
    // Nothing at all: it goes again after 2 s.
    now_ += 1999;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.WaitTime(now_), 1u);
    now_ += 1;
    Send(SendAction::Handshake);
    // A board that resets on open loses it, then boots and says so: it goes at once.
    EXPECT_TRUE(Reply("start"));
    EXPECT_TRUE(Reply("echo: External Reset"));
    Send(SendAction::Handshake);
    // Busy with an earlier command: it is answered after that, and not sent again.
    now_ += 1500;
    Reply("echo:busy: processing");
    now_ += 1500;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    now_ += 500;
    Send(SendAction::Handshake);
    // A damaged handshake: its "ok" belongs to the resend request, and it goes at once.
    Reply(kGreetingAnswer);
    Reply("Error:checksum mismatch, Last Line: 3006");
    Reply("Resend: 3007");
    Reply("ok");
    EXPECT_TRUE(machine_.Handshaking());
    Send(SendAction::Handshake);
    Reply(kGreetingAnswer);
    Reply("ok");
    EXPECT_FALSE(machine_.Handshaking());
    EXPECT_EQ(Send(SendAction::Advance), 1);
    EXPECT_EQ(machine_.Failure(), SendFailure::None);
}

TEST_F(SendDocument, OnlyTheGreetingsOwnAnswerEndsTheHandshake) {
    // Answers left over from before the greeting (an earlier document's last line,
    // a poke, boot chatter) come first, since the firmware answers in order.
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        bool answered;
    };
    const Case cases[] = {
        {"a plain ok alone is left over", {"ok"}, false},
        {"the answer pair", {kGreetingAnswer, "ok"}, true},
        {"a left-over ok before the pair", {"ok", "ok", kGreetingAnswer, "ok"}, true},
        {"a left-over poke answer before the pair", {kGreetingAnswer, kGreetingAnswer, "ok"}, true},
        {"an ok naming another line is left over", {kGreetingAnswer, "ok N17 P15 B3"}, false},
        {"an ok naming line 0", {kGreetingAnswer, "ok N0 P15 B3"}, true},
        {"a temperature report of its own is no answer", {"T:21.0 /0.0 B:20.0 /0.0", "ok"}, false},
        {"chatter between the halves", {kGreetingAnswer, "echo:SD card ok", "ok"}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        machine_ = SendStateMachine();
        machine_.StartHandshake(now_);
        Send(SendAction::Handshake);
        for (const std::string& reply : test.replies) {
            Reply(reply);
        }
        EXPECT_EQ(!machine_.Handshaking(), test.answered);
        EXPECT_EQ(machine_.NextAction(now_),
                  test.answered ? SendAction::Advance : SendAction::None);
    }
}

TEST_F(SendDocument, HandshakeResendWithoutItsOkWaitsInsteadOfSpinning) {
    machine_.StartHandshake(now_);
    Send(SendAction::Handshake);
    Reply("Resend: 1");
    // Due again, but held back until the request's "ok" or 500 ms: the thread
    // must sleep meanwhile, not poll the clock with no wait at all.
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.WaitTime(now_), 500u);
    now_ += 500;
    Send(SendAction::Handshake);
}

TEST_F(SendDocument, UnansweredHandshakeGivesUpAfterTwentySeconds) {
    machine_.StartHandshake(now_);
    for (uint64_t start = now_; now_ < start + 20000; now_ += 2000) {
        Send(SendAction::Handshake);
    }
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.Failure(), SendFailure::NotReady);
}

TEST_F(SendDocument, CounterLineSetsTheNextNumber) {
    Handshake();
    SendLines(3);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance, 100), 4);
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 101);
}

TEST_F(SendDocument, FirmwareThatRestartsHaltsOrKeepsRefusingEndsTheDocument) {
    struct Case {
        std::vector<std::string> replies;
        SendFailure failure;
        int64_t line;
    } cases[] = {
        {{"start"}, SendFailure::Restarted, 3},
        {{"Error:Printer halted. kill() called!"}, SendFailure::Halted, 3},
        {{"echo:Home XY first, kill() called"}, SendFailure::Halted, 3},
    };
    for (const Case& item : cases) {
        machine_ = SendStateMachine();
        Handshake();
        SendLines(3);
        for (const std::string& reply : item.replies) {
            Reply(reply);
        }
        EXPECT_EQ(machine_.Failure(), item.failure) << item.replies[0];
        EXPECT_EQ(machine_.FailureLine(), item.line);
        EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    }
}

TEST_F(SendDocument, TenRequestsForOneLineWithoutProgressEndTheDocument) {
    Handshake();
    SendLines(3);
    // Nine requests for line 3, then its "ok": progress starts the count again.
    for (int request = 0; request < 9; ++request) {
        Reply("Resend: 3");
        Reply("ok");
        Send(SendAction::CopyCurrent);
    }
    Reply("ok");
    EXPECT_EQ(Send(SendAction::Advance), 4);
    for (int request = 1; request <= 10; ++request) {
        ASSERT_EQ(machine_.Failure(), SendFailure::None) << request;
        Reply("Error:checksum mismatch, Last Line: 3");
        Reply("Resend: 4");
        Reply("ok");
        if (request < 10) {
            Send(SendAction::CopyCurrent);
        }
    }
    EXPECT_EQ(machine_.Failure(), SendFailure::Rejected);
    EXPECT_EQ(machine_.FailureLine(), 4);
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
}

TEST_F(SendDocument, SilenceAfterThePokeEndsTheDocumentButTemperaturesKeepItAlive) {
    Handshake();
    SendLines(2);
    now_ += 5000;
    Send(SendAction::Poke);
    // Heating: temperature reports, no "ok", for minutes.
    for (int report = 0; report < 100; ++report) {
        now_ += 2000;
        Reply("T:150.0 /210.0 B:60.0 /60.0 @:127 B@:0");
        ASSERT_EQ(machine_.NextAction(now_), SendAction::None);
    }
    EXPECT_EQ(machine_.Failure(), SendFailure::None);
    now_ += 59999;
    EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
    EXPECT_EQ(machine_.Failure(), SendFailure::None);
    now_ += 1;
    machine_.NextAction(now_);
    EXPECT_EQ(machine_.Failure(), SendFailure::StoppedAnswering);
    EXPECT_EQ(machine_.FailureLine(), 2);
}

TEST_F(SendDocument, AbandonedLineLeavesItsNumberBehind) {
    Handshake();
    SendLines(4);
    machine_.Abandon();
    EXPECT_FALSE(machine_.LineInFlight());
    EXPECT_EQ(Send(SendAction::Advance), 5);
}

TEST_F(SendDocument, AnOkThatMayStillComeIsSettledByAPokesAnswerBeforeTheLastLineIsJudged) {
    enum class Owed { None, LateResendOk, NoResendOk, GreetingAgain };
    struct Case {
        const char* name;
        Owed owed;
        // The replies once the settling poke is out, and whether the answers are
        // still outstanding after them.
        std::vector<std::string> replies;
        bool outstanding;
    };
    const Case cases[] = {
        {"nothing owed", Owed::None, {}, false},
        {"the resend request's ok came late", Owed::LateResendOk, {"ok", "ok T:20.0 /0.0"}, false},
        {"the owed ok, but no answer to the poke yet", Owed::LateResendOk, {"ok"}, true},
        {"firmware that sends no ok after a resend request",
         Owed::NoResendOk,
         {"ok T:20.0 /0.0"},
         false},
        {"a greeting sent again", Owed::GreetingAgain, {"ok T:20.0 /0.0"}, false},
        {"a poke answered without temperatures", Owed::LateResendOk, {"ok", "ok"}, false},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        machine_ = SendStateMachine();
        machine_.StartHandshake(now_);
        Send(SendAction::Handshake);
        if (row.owed == Owed::GreetingAgain) {
            now_ += kHandshakeRetryMs;
            Send(SendAction::Handshake);
        }
        Reply(kGreetingAnswer);
        Reply("ok");
        SendLines(3);
        if (row.owed == Owed::LateResendOk || row.owed == Owed::NoResendOk) {
            Reply("Resend: 3");
            now_ += kResendOkWaitMs;
            Send(SendAction::CopyCurrent);
        }
        // The late "ok" of the resend request, or line 3's own.
        Reply("ok");
        EXPECT_EQ(machine_.State(), SendState::SendNext);
        const bool owed = row.owed != Owed::None;
        EXPECT_EQ(machine_.LastAcknowledgementInDoubt(), owed);
        EXPECT_EQ(machine_.AnswersOutstanding(), owed);
        machine_.SettleAnswers();
        if (!owed) {
            EXPECT_EQ(machine_.NextAction(now_), SendAction::Advance);
            continue;
        }
        Send(SendAction::Poke);
        for (const std::string& reply : row.replies) {
            Reply(reply);
        }
        EXPECT_EQ(machine_.AnswersOutstanding(), row.outstanding);
        EXPECT_EQ(machine_.NextAction(now_),
                  row.outstanding ? SendAction::None : SendAction::Advance);
        if (row.outstanding) {
            // A poke nobody answers ends the document as a silent printer does.
            now_ += kSilenceLimitMs;
            EXPECT_EQ(machine_.NextAction(now_), SendAction::None);
            EXPECT_EQ(machine_.Failure(), SendFailure::StoppedAnswering);
        }
    }
}

} // namespace
} // namespace vela
