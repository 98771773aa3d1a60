// The GDI drawing of a form into a bitmap: colours, stacking and text, read back by pixel.
#include "platform/forms/win32/gdi_painter.h"

#include <gtest/gtest.h>

#include "platform/forms/headless.h"

namespace {

using forms::RGB;

TEST(GdiPainter, DrawsBoxesInFrontOfLabelsAndLinesAndText) {
    forms::HeadlessBackend backend;
    forms::Application app(backend);
    forms::Form form(app, "frmInstall");
    form.ScaleWidth = 200 * 15;
    form.ScaleHeight = 100 * 15;
    form.BackColor = RGB(255, 255, 255);
    forms::Label behind(&form, "lblBehind");  // in front of the box in the model's order
    behind.Move(0, 0, 60 * 15, 60 * 15);
    behind.Caption = "\u2588\u2588\u2588\u2588\u2588\u2588\u2588\u2588";
    behind.FontProp = forms::Font{"Arial", 30, 700, false};
    forms::PictureBox box(&form, "pnBox");
    box.Move(10 * 15, 10 * 15, 40 * 15, 30 * 15);
    box.BackColor = RGB(0, 0, 255);
    box.BorderStyle = 0;
    forms::Label text(&form, "lblTexto");
    text.Move(100 * 15, 5 * 15, 95 * 15, 30 * 15);
    text.Caption = "Instalação";
    text.FontProp = forms::Font{"Arial", 14, 700, false};
    forms::Line line(&form, "linha");
    line.X1 = 100 * 15;
    line.Y1 = 80 * 15;
    line.X2 = 190 * 15;
    line.Y2 = 80 * 15;
    line.BorderColor = RGB(255, 0, 0);

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 200;
    info.bmiHeader.biHeight = -100;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    forms::win32::GdiPainter painter;
    painter.Paint(dc, form);

    EXPECT_EQ(GetPixel(dc, 30, 25), RGB(0, 0, 255));       // windowed: in front of the label
    EXPECT_EQ(GetPixel(dc, 150, 80), RGB(255, 0, 0));      // the line
    EXPECT_EQ(GetPixel(dc, 150, 95), RGB(255, 255, 255));  // the form's background
    int inked = 0;
    for (int y = 5; y < 35; ++y) {
        for (int x = 100; x < 195; ++x) inked += GetPixel(dc, x, y) != RGB(255, 255, 255);
    }
    EXPECT_GT(inked, 50);  // the caption was drawn

    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

}  // namespace
