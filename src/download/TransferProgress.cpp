// The progress handler of the window's FTP client: draws the bar of the current phase (the start
// panel's while it is visible, the download step's otherwise) from the byte counts alone.
#include <cmath>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>

#include "window/WindowTexts.h"
#include "window/frmInstall.h"

namespace {

// Each step of the handler is skipped on its own when it fails, and nothing is reported: a bar
// that cannot be drawn must never stop the transfer.
template <class Step>
void SkipOnFailure(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
    }
}

// The bar's width as a whole number, rounded half to even; none when it does not fit 32 bits.
std::optional<std::int32_t> WholeWidth(double width) {
    const double rounded = std::nearbyint(width);
    if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
          rounded <= std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

// Truncating 32-bit division; none where it would fail (a zero divisor, or an overflow).
std::optional<std::int32_t> Divide(std::int32_t dividend, std::int32_t divisor) {
    if (divisor == 0) return std::nullopt;
    if (dividend == std::numeric_limits<std::int32_t>::min() && divisor == -1) return std::nullopt;
    return dividend / divisor;
}

// Bytes per unit of bar width; 0 (the fresh value) when it cannot be worked out.
std::int32_t FillUnit(std::int32_t totalBytes, double barWidth) {
    const auto width = WholeWidth(barWidth);
    if (!width) return 0;
    return Divide(totalBytes, *width).value_or(0);
}

void DrawFill(forms::PictureBox& fill, std::int32_t currentBytes, std::int32_t totalBytes,
              std::int32_t unit) {
    if (totalBytes < currentBytes) return;
    if (const auto width = Divide(currentBytes, unit)) fill.Width = *width;
}

}  // namespace

void frmInstall::mFTP_FileTransferProgress(std::int32_t& lCurrentBytes, std::int32_t& lTotalBytes) {
    const std::int32_t current = lCurrentBytes;
    const std::int32_t total = lTotalBytes;
    std::int32_t unit = 0;

    bool startPhase = false;
    SkipOnFailure([&] { startPhase = pnInicio.Visible; });

    if (startPhase) {
        SkipOnFailure([&] { lblMensagem[3].ForeColor = ui::kGrey; });
        SkipOnFailure([&] { lblMensagem[3].Caption = ui::kDownloading; });
        SkipOnFailure([&] { unit = FillUnit(total, pbBarI.Width); });
        SkipOnFailure([&] { pbBarI.Visible = true; });
        SkipOnFailure([&] { pbValI.Width = 0; });
        SkipOnFailure([&] { DrawFill(pbValI, current, total, unit); });
    } else {
        SkipOnFailure([&] { lblMensagem[1].Visible = true; });
        SkipOnFailure([&] { lblMensagem[1].Caption = ui::kDownloading; });
        SkipOnFailure([&] { pbBar.Visible = true; });
        SkipOnFailure([&] { lblTente.Visible = false; });
        SkipOnFailure([&] { unit = FillUnit(total, pbBar.Width); });
        SkipOnFailure([&] { pbVal.Width = 0; });
        SkipOnFailure([&] { DrawFill(pbVal, current, total, unit); });
    }

    SkipOnFailure([&] { App().DoEvents(); });
}
