// The remove-model message box, shown through the spooler in the user's session.
#include "sim/FakeSpooler.h"
#include "sim/MonitorHarness.h"
#include "core/Memory.h"
#include "monitor/RemoveModelPrompt.h"

#include <gtest/gtest.h>

#include <string>

namespace vela::test {
namespace {

class RemoveModelPromptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        harness.platform.spooler = &spooler;
        ASSERT_TRUE(harness.Attach());
        ASSERT_NE(harness.Initialize(), nullptr);
    }
    BOOL Prompt() {
        return PromptRemoveModel(harness.State(), spooler.printerName.c_str(), 42,
                                 kRemoveModelTitle, kRemoveModelMessage);
    }
    FakeSpooler spooler;
    MonitorHarness harness;
};

TEST_F(RemoveModelPromptTest, ShowsTheBoxAndWaitsForTheUser) {
    EXPECT_TRUE(Prompt());
    // The spooler's library from the system folder, wherever Windows is.
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(spooler.lastLibrary, std::wstring(system, length) + L"\\spoolss.dll");
    ASSERT_EQ(spooler.prompts.size(), 1u);
    const FakeSpooler::Prompt& shown = spooler.prompts[0];
    EXPECT_EQ(shown.jobId, 42u);
    EXPECT_EQ(shown.uiType, kMessageBox);
    EXPECT_EQ(shown.cbSize, 40u);
    EXPECT_EQ(shown.title, L"3D Printer V24.1: Remove Model");
    EXPECT_EQ(shown.message, L"Press OK after removing your model from the 3D printer to start "
                             L"the next print.");
    EXPECT_EQ(shown.style, static_cast<DWORD>(MB_ICONEXCLAMATION | MB_OK));
    EXPECT_EQ(shown.timeout, 0u);
    EXPECT_TRUE(shown.wait);
    // The printer it opened for the box is closed, and the library released.
    EXPECT_EQ(spooler.openPrinters, 0);
    EXPECT_EQ(spooler.loadedLibraries, 0);
}

TEST_F(RemoveModelPromptTest, MissingLibraryShowsNothing) {
    spooler.failLoadLibrary = true;
    EXPECT_FALSE(Prompt());
    EXPECT_TRUE(spooler.prompts.empty());
}

TEST_F(RemoveModelPromptTest, PrinterThatCannotBeOpenedShowsNothing) {
    spooler.failOpenPrinter = true;
    EXPECT_FALSE(Prompt());
    EXPECT_TRUE(spooler.prompts.empty());
    EXPECT_EQ(spooler.loadedLibraries, 0);
}

TEST_F(RemoveModelPromptTest, SystemWithoutThePromptNeverOpensThePrinter) {
    // A library without the prompt may have an OpenPrinterW that ends the process.
    spooler.hidePromptFunction = true;
    EXPECT_FALSE(Prompt());
    EXPECT_EQ(spooler.openPrinterCalls, 0);
    EXPECT_EQ(spooler.loadedLibraries, 0);
}

TEST_F(RemoveModelPromptTest, DocumentWithoutPrinterNameShowsNothing) {
    EXPECT_FALSE(
        PromptRemoveModel(harness.State(), nullptr, 42, kRemoveModelTitle, kRemoveModelMessage));
    EXPECT_EQ(spooler.openPrinterCalls, 0);
    EXPECT_EQ(spooler.loadedLibraries, 0);
}

} // namespace
} // namespace vela::test
