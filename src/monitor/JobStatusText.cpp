#include "monitor/JobStatusText.h"

#include <cmath>

namespace vela {
namespace {

// An estimate past this says nothing: a rate measured at the start of a print
// (heating, say) can be that far off.
constexpr double kLongestEstimateMinutes = 1000.0 * 60;

// Appends to a fixed buffer and cuts what does not fit: wide printf formats differ
// between runtimes, and a status is never worth a heap block.
class TextBuilder {
  public:
    explicit TextBuilder(wchar_t (&text)[kJobStatusChars]) : text_(text) { text_[0] = L'\0'; }

    TextBuilder& Add(const wchar_t* part) {
        for (; *part != L'\0'; ++part) {
            Put(*part);
        }
        return *this;
    }
    // The printer's names are ASCII.
    TextBuilder& AddAscii(const char* part) {
        for (; *part != '\0'; ++part) {
            Put(static_cast<wchar_t>(static_cast<unsigned char>(*part)));
        }
        return *this;
    }
    TextBuilder& AddNumber(int64_t number) {
        wchar_t digits[24];
        int count = 0;
        // Negated digit by digit, so that the smallest value needs no special case.
        int64_t rest = number;
        do {
            const int64_t digit = rest % 10;
            digits[count++] = static_cast<wchar_t>(L'0' + (digit < 0 ? -digit : digit));
            rest /= 10;
        } while (rest != 0);
        if (number < 0) {
            Put(L'-');
        }
        while (count > 0) {
            Put(digits[--count]);
        }
        return *this;
    }

  private:
    void Put(wchar_t character) {
        if (length_ + 1 < kJobStatusChars) {
            text_[length_++] = character;
            text_[length_] = L'\0';
        }
    }

    wchar_t (&text_)[kJobStatusChars];
    size_t length_ = 0;
};

// The phases whose words carry no number.
struct PhaseWords {
    JobPhase phase;
    const wchar_t* words;
};
constexpr PhaseWords kFixedWords[] = {
    {JobPhase::WaitingForPrinter, L"Waiting for the printer"},
    {JobPhase::NotResponding, L"Printer not responding"},
    {JobPhase::RemoveModel, L"Remove the model from the printer"},
    {JobPhase::Cancelling, L"Cancelling"},
    {JobPhase::CancelledOnPrinter, L"Cancelled on the printer"},
    {JobPhase::PausedOnPrinter, L"Paused on the printer"},
    {JobPhase::Finishing, L"Finishing moves"},
    {JobPhase::StoppedAnswering, L"The printer stopped answering"},
    {JobPhase::PrinterRestarted, L"The printer restarted"},
    {JobPhase::Halted, L"The printer halted"},
    {JobPhase::Disconnected, L"The printer was disconnected"},
    {JobPhase::PortClosed, L"The port closed before the document ended"},
    {JobPhase::Restarted, L"A new document began before this one ended"},
    {JobPhase::MonitorStopped, L"The print monitor stopped before the document ended"},
    {JobPhase::LinesSkipped, L"Lines too long to send were left out"},
    {JobPhase::NotTakingData, L"The printer does not take data"},
    {JobPhase::LinkFailed, L"The link to the printer failed: the job did not reach it"},
    {JobPhase::JobRefused, L"The printer refused the job"},
    {JobPhase::JobIncomplete, L"The job did not reach the printer whole"},
    {JobPhase::StartRefused, L"The printer would not start the print"},
};

// Tenths of a degree to whole degrees, halves away from zero.
int64_t WholeDegrees(int32_t tenths) {
    return (tenths >= 0 ? tenths + 5 : tenths - 5) / 10;
}

void AddPrinterStatus(TextBuilder& text, PrinterStatus status) {
    text.Add(L"Printing");
    if (status == PrinterStatus::Printing) {
        return;
    }
    const char* name = PrinterStatusName(status);
    text.Add(L" - ");
    if (name != nullptr) {
        text.AddAscii(name);
    } else {
        text.Add(L"status ").AddNumber(static_cast<int32_t>(status));
    }
}

void AddTemperatures(TextBuilder& text, const TemperatureReading& reading) {
    if (reading.hotEndKnown) {
        text.Add(L", hot end ").AddNumber(WholeDegrees(reading.hotEndTenths)).Add(L" \u00B0C");
    }
    if (reading.bedKnown) {
        text.Add(L", bed ").AddNumber(WholeDegrees(reading.bedTenths)).Add(L" \u00B0C");
    }
}

// The whole percent of part, rounded down; part <= whole, whole > 0.
int64_t PercentOf(uint64_t part, uint64_t whole) {
    return static_cast<int64_t>(whole <= UINT64_MAX / 100 ? part * 100 / whole
                                                          : part / (whole / 100));
}

void AddTimeLeft(TextBuilder& text, const JobStatusFacts& facts) {
    if (facts.printingMs < kJobEstimateAfterMs || facts.bytesDone == 0) {
        return;
    }
    // The rest goes at the rate so far.
    const double minutes = static_cast<double>(facts.printingMs) / 60000.0 *
                           static_cast<double>(facts.documentBytes - facts.bytesDone) /
                           static_cast<double>(facts.bytesDone);
    if (minutes > kLongestEstimateMinutes) {
        return;
    }
    // Whole minutes, rounded up: under a minute is still "1 min".
    const auto whole = static_cast<int64_t>(std::ceil(minutes));
    const int64_t left = whole < 1 ? 1 : whole;
    text.Add(L", about ");
    if (left >= 60) {
        text.AddNumber(left / 60).Add(L" h");
        if (left % 60 == 0) {
            text.Add(L" left");
            return;
        }
        text.Add(L" ");
    }
    text.AddNumber(left % 60).Add(L" min left");
}

void AddPrintingLine(TextBuilder& text, const JobStatusFacts& facts) {
    // A size smaller than what is done is no size of this document.
    if (facts.documentBytes == 0 || facts.bytesDone > facts.documentBytes) {
        text.Add(L"Printing: line ").AddNumber(facts.count);
        AddTemperatures(text, facts.temperatures);
        return;
    }
    // The last lines' moves are still to come: 100 % is never shown.
    const int64_t percent = PercentOf(facts.bytesDone, facts.documentBytes);
    text.Add(L"Printing: ").AddNumber(percent < 99 ? percent : 99).Add(L" % (line ");
    text.AddNumber(facts.count).Add(L")");
    AddTemperatures(text, facts.temperatures);
    AddTimeLeft(text, facts);
}

void AddSending(TextBuilder& text, const JobStatusFacts& facts) {
    text.Add(L"Sending to printer: ");
    const bool share = facts.total > 0 && facts.count >= 0;
    if (share) {
        const int64_t sent = facts.count < facts.total ? facts.count : facts.total;
        text.AddNumber(PercentOf(static_cast<uint64_t>(sent), static_cast<uint64_t>(facts.total)))
            .Add(L" % (");
    }
    text.AddNumber(facts.count).Add(L" of ").AddNumber(facts.total).Add(L" records");
    if (share) {
        text.Add(L")");
    }
}

JobPhase SerialFailurePhase(const DocumentProgress& progress) {
    if (progress.writeStuck) {
        return JobPhase::NotTakingData;
    }
    if (progress.deviceLost) {
        return JobPhase::Disconnected;
    }
    switch (progress.failure) {
    case SendFailure::Rejected:
        return JobPhase::Rejected;
    case SendFailure::Restarted:
        return JobPhase::PrinterRestarted;
    case SendFailure::Halted:
        return JobPhase::Halted;
    case SendFailure::NotReady:
    case SendFailure::StoppedAnswering:
    case SendFailure::None:
        break;
    }
    return JobPhase::StoppedAnswering;
}

} // namespace

void FormatJobStatus(const JobStatusFacts& facts, wchar_t (&text)[kJobStatusChars]) {
    TextBuilder builder(text);
    for (const PhaseWords& fixed : kFixedWords) {
        if (fixed.phase == facts.phase) {
            builder.Add(fixed.words);
            return;
        }
    }
    switch (facts.phase) {
    case JobPhase::Sending:
        AddSending(builder, facts);
        break;
    case JobPhase::Printing:
        AddPrinterStatus(builder, facts.printerStatus);
        break;
    case JobPhase::PrintingLine:
        AddPrintingLine(builder, facts);
        break;
    case JobPhase::Rejected:
        builder.Add(L"The printer rejects line ").AddNumber(facts.count);
        break;
    case JobPhase::PausedAtLine:
        builder.Add(L"Paused at line ").AddNumber(facts.count);
        break;
    case JobPhase::NoAnswer:
        builder.Add(L"The printer does not answer at ");
        for (size_t i = 0; i < facts.rates.count; ++i) {
            builder.Add(i == 0 ? L"" : L", ").AddNumber(facts.rates.rates[i]);
        }
        builder.Add(L" baud");
        break;
    default:
        break;
    }
}

JobStatusFacts SerialDocumentFacts(const DocumentProgress& progress) {
    JobStatusFacts facts;
    switch (progress.outcome) {
    case DocumentOutcome::Failed:
        facts.phase = SerialFailurePhase(progress);
        facts.count = progress.failureLine;
        break;
    case DocumentOutcome::Cancelled:
        facts.phase =
            progress.cancelledOnPrinter ? JobPhase::CancelledOnPrinter : JobPhase::Cancelling;
        break;
    case DocumentOutcome::Running:
        if (progress.cancelledOnPrinter) {
            facts.phase = JobPhase::CancelledOnPrinter;
        } else if (progress.paused == DocumentPause::Queue) {
            facts.phase = JobPhase::PausedAtLine;
            facts.count = progress.pausedAtLine;
        } else if (progress.paused == DocumentPause::Printer) {
            facts.phase = JobPhase::PausedOnPrinter;
        } else {
            facts.phase = progress.finishing ? JobPhase::Finishing : JobPhase::PrintingLine;
            facts.count = progress.lineNumber;
            facts.temperatures = progress.temperatures;
            facts.bytesDone = progress.bytesDone;
        }
        break;
    case DocumentOutcome::None:
    case DocumentOutcome::Completed:
    case DocumentOutcome::Stopped:
        break;
    }
    return facts;
}

} // namespace vela
