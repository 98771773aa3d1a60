// The GDI drawing of a form into a bitmap: colours, stacking and text, read back by pixel.
#include "platform/forms/win32/gdi_painter.h"

#include <gtest/gtest.h>

#include "platform/forms/headless.h"

namespace {

using forms::RGB;

// A 200x100 pixel bitmap the form is painted into.
struct Canvas {
    explicit Canvas(forms::Form& form) : dc(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 200;
        info.bmiHeader.biHeight = -100;  // top-down
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old = SelectObject(dc, bitmap);
        painter.Paint(dc, form);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // The pixels of rows [top, bottom) in exactly `color`.
    int Count(int top, int bottom, COLORREF color) const {
        int n = 0;
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < 200; ++x) n += GetPixel(dc, x, y) == color;
        }
        return n;
    }

    HDC dc;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    forms::win32::GdiPainter painter;
};

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

    Canvas canvas(form);
    HDC dc = canvas.dc;

    EXPECT_EQ(GetPixel(dc, 30, 25), RGB(0, 0, 255));       // windowed: in front of the label
    EXPECT_EQ(GetPixel(dc, 150, 80), RGB(255, 0, 0));      // the line
    EXPECT_EQ(GetPixel(dc, 150, 95), RGB(255, 255, 255));  // the form's background
    int inked = 0;
    for (int y = 5; y < 35; ++y) {
        for (int x = 100; x < 195; ++x) inked += GetPixel(dc, x, y) != RGB(255, 255, 255);
    }
    EXPECT_GT(inked, 50);  // the caption was drawn
}

TEST(GdiPainter, GreysOnlyLabelsThatAreDisabledThemselves) {
    forms::HeadlessBackend backend;
    forms::Application app(backend);
    forms::Form form(app, "frmInstall");
    form.ScaleWidth = 200 * 15;
    form.ScaleHeight = 100 * 15;
    form.BackColor = RGB(255, 255, 255);
    forms::PictureBox button(&form, "cmdBotao");
    button.Move(0, 0, 200 * 15, 50 * 15);
    button.BackColor = RGB(255, 255, 255);
    button.Enabled = false;
    forms::Label inside(&button, "lblDentro");
    forms::Label disabled(&form, "lblDesativado");
    for (forms::Label* label : {&inside, &disabled}) {
        label->Caption = "\u2588\u2588\u2588\u2588\u2588\u2588";
        label->FontProp = forms::Font{"Arial", 20, 700, false};
        label->ForeColor = RGB(255, 0, 0);
    }
    inside.Move(0, 0, 200 * 15, 50 * 15);
    disabled.Move(0, 50 * 15, 200 * 15, 50 * 15);
    disabled.Enabled = false;

    Canvas canvas(form);
    EXPECT_GT(canvas.Count(0, 50, RGB(255, 0, 0)), 50);  // the box's label: its own colour
    EXPECT_EQ(canvas.Count(50, 100, RGB(255, 0, 0)), 0);
    EXPECT_GT(canvas.Count(50, 100, GetSysColor(COLOR_GRAYTEXT)), 50);
}

}  // namespace
