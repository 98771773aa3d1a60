// The progress handler on its own: fill widths from byte counts, and which bar it draws.
#include <gtest/gtest.h>

#include <cstdint>

#include "support/window_harness.h"

namespace {

using windowtest::Window;

class TransferProgress : public ::testing::Test {
  protected:
    // One event as the client raises it.
    void Event(std::int32_t current, std::int32_t total) {
        form().mFTP_FileTransferProgress(current, total);
    }
    frmInstall& form() { return *window.form; }

    windowtest::Window window;
};

TEST_F(TransferProgress, TotalBelowBarWidthLeavesFillEmptyWithoutComplaint) {
    form().pnInicio.Visible = true;
    ASSERT_EQ(form().pbBarI.Width, 2895);
    form().pbValI.Width = 135;
    for (std::int32_t current : {255, 510, 1000}) {
        Event(current, 1000);
        EXPECT_EQ(form().pbValI.Width, 0) << current;
    }
    EXPECT_TRUE(window.backend.messages.empty());
}

TEST_F(TransferProgress, UnitOfOneMakesWidthTheByteCountUnclamped) {
    form().pnInicio.Visible = true;
    Event(255, 5000);
    EXPECT_EQ(form().pbValI.Width, 255);
    Event(2895, 5000);
    EXPECT_EQ(form().pbValI.Width, 2895);
    Event(5000, 5000);
    EXPECT_EQ(form().pbValI.Width, 5000);
}

TEST_F(TransferProgress, TenMillionBytesFillInWholeUnitsOf3454) {
    form().pnInicio.Visible = false;
    ASSERT_EQ(form().pbBar.Width, 2895);
    Event(3453, 10'000'000);
    EXPECT_EQ(form().pbVal.Width, 0);
    Event(3454, 10'000'000);
    EXPECT_EQ(form().pbVal.Width, 1);
    Event(5'000'000, 10'000'000);
    EXPECT_EQ(form().pbVal.Width, 1447);
    Event(10'000'000, 10'000'000);
    EXPECT_EQ(form().pbVal.Width, 2895);
}

TEST_F(TransferProgress, CountPastTotalEmptiesFillUntilNextEvent) {
    form().pnInicio.Visible = false;
    Event(2000, 5000);
    ASSERT_EQ(form().pbVal.Width, 2000);
    Event(6000, 5000);
    EXPECT_EQ(form().pbVal.Width, 0);
    Event(5000, 5000);
    EXPECT_EQ(form().pbVal.Width, 5000);
}

TEST_F(TransferProgress, BarWidthIsRoundedHalfToEven) {
    form().pnInicio.Visible = false;
    form().pbBar.Width = 2.5;  // 2: unit 10 / 2 = 5
    Event(10, 10);
    EXPECT_EQ(form().pbVal.Width, 2);
    form().pbBar.Width = 3.5;  // 4: unit 10 / 4 = 2
    Event(10, 10);
    EXPECT_EQ(form().pbVal.Width, 5);
}

TEST_F(TransferProgress, StartPhaseDrawsOnlyTheStartPanelBar) {
    form().pnInicio.Visible = true;
    form().pbBarI.Visible = false;
    form().lblMensagem[3].Visible = false;
    form().lblMensagem[3].ForeColor = windowtest::kRed;
    form().lblMensagem[1].Caption = "untouched";
    form().lblTente.Visible = true;
    form().pbBar.Visible = false;
    form().pbVal.Width = 135;

    Event(2500, 5000);

    EXPECT_TRUE(form().pbBarI.Visible);
    EXPECT_EQ(form().pbValI.Width, 2500);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "Fazendo download de arquivos...");
    EXPECT_EQ(form().lblMensagem[3].ForeColor, windowtest::kGrey);
    EXPECT_FALSE(form().lblMensagem[3].Visible);  // shown by the package download itself
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "untouched");
    EXPECT_TRUE(form().lblTente.Visible);
    EXPECT_FALSE(form().pbBar.Visible);
    EXPECT_EQ(form().pbVal.Width, 135);
}

TEST_F(TransferProgress, DownloadStepShowsItsBarHidesRetryAndKeepsLineColour) {
    form().pnInicio.Visible = false;
    form().lblMensagem[1].Visible = false;
    form().lblMensagem[1].ForeColor = windowtest::kRed;
    form().lblTente.Visible = true;
    form().pbValI.Width = 135;
    form().lblMensagem[3].Caption = "untouched";

    Event(255, 5000);

    EXPECT_TRUE(form().lblMensagem[1].Visible);
    EXPECT_EQ(form().lblMensagem[1].Caption.get(), "Fazendo download de arquivos...");
    EXPECT_EQ(form().lblMensagem[1].ForeColor, windowtest::kRed);
    EXPECT_TRUE(form().pbBar.Visible);
    EXPECT_FALSE(form().lblTente.Visible);
    EXPECT_EQ(form().pbVal.Width, 255);
    EXPECT_EQ(form().pbValI.Width, 135);
    EXPECT_EQ(form().lblMensagem[3].Caption.get(), "untouched");
}

TEST_F(TransferProgress, EveryEventYieldsOnce) {
    form().pnInicio.Visible = false;
    const auto before = window.backend.processEventsCalls;
    Event(255, 1000);
    Event(510, 1000);
    EXPECT_EQ(window.backend.processEventsCalls - before, 2);
}

}  // namespace
