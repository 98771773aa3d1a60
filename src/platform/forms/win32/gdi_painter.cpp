#include "platform/forms/win32/gdi_painter.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/kernel/windows/utf16.h"

namespace forms::win32 {
namespace {

COLORREF ToColorRef(Color c) { return static_cast<COLORREF>(ResolveColor(c) & 0xFFFFFF); }

bool IsWindowed(const Control& c) { return c.kind == Kind::PictureBox || c.kind == Kind::TextBox; }

RECT Bounds(const Control& c, POINT origin) {
    const int left = origin.x + ToPixels(c.Left);
    const int top = origin.y + ToPixels(c.Top);
    return {left, top, left + std::max(0, ToPixels(c.Width)),
            top + std::max(0, ToPixels(c.Height))};
}

void Fill(HDC dc, const RECT& r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &r, brush);
    DeleteObject(brush);
}

void Frame(HDC dc, const RECT& r, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
}

void Text(HDC dc, HFONT font, const std::string& text, RECT r, COLORREF color, UINT format) {
    const std::wstring wide = kernel::Widen(text);
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, color);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &r, format | DT_NOPREFIX);
    SelectObject(dc, old);
}

}  // namespace

int ToPixels(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixel)); }

std::wstring ResourceName(const std::string& artwork) {
    std::string name = artwork;
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return kernel::Widen(name);
}

GdiPainter::~GdiPainter() {
    for (auto& [key, font] : fonts_) DeleteObject(font);
    for (auto& [name, bitmap] : art_) {
        if (bitmap != nullptr) DeleteObject(bitmap);
    }
}

HBITMAP GdiPainter::Art(const std::string& name) {
    if (name.empty()) return nullptr;
    if (auto it = art_.find(name); it != art_.end()) return it->second;
    auto bitmap =
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), ResourceName(name).c_str(),
                                        IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    art_[name] = bitmap;
    return bitmap;
}

HFONT GdiPainter::FontFor(HDC dc, const Font& f) {
    const auto key = std::make_tuple(f.Name, f.Size, f.Weight, f.Underline);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    const double points = f.Size > 0 ? f.Size : 8.25;
    const int height = -static_cast<int>(std::lround(points * GetDeviceCaps(dc, LOGPIXELSY) / 72));
    const bool light = f.Name.find("Light") != std::string::npos || f.Weight <= 300;
    const int weight = light ? FW_LIGHT : (f.Weight >= 700 ? FW_BOLD : FW_NORMAL);
    HFONT font = CreateFontW(height, 0, 0, 0, weight, FALSE, f.Underline, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                             DEFAULT_PITCH, kernel::Widen(f.Name).c_str());
    fonts_[key] = font;
    return font;
}

void GdiPainter::Paint(HDC dc, Form& form) {
    RECT client{0, 0, ToPixels(form.ScaleWidth), ToPixels(form.ScaleHeight)};
    Fill(dc, client, ToColorRef(form.BackColor));
    PaintChildren(dc, form, {0, 0});
}

// What is drawn on the container's surface (labels, lines) lies behind its windowed children;
// within each group the model's order holds, the front one drawn last.
void GdiPainter::PaintChildren(HDC dc, Control& container, POINT origin) {
    const auto& children = container.Children();
    for (const bool windowed : {false, true}) {
        for (auto it = children.rbegin(); it != children.rend(); ++it) {
            if (IsWindowed(**it) == windowed && (*it)->Visible) PaintControl(dc, **it, origin);
        }
    }
}

void GdiPainter::PaintControl(HDC dc, Control& c, POINT origin) {
    const RECT r = Bounds(c, origin);
    switch (c.kind) {
        case Kind::PictureBox: {
            auto& box = static_cast<PictureBox&>(c);
            const int saved = SaveDC(dc);
            IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            Fill(dc, r, ToColorRef(box.BackColor));
            if (HBITMAP art = Art(box.Picture)) {
                HDC source = CreateCompatibleDC(dc);
                HGDIOBJ old = SelectObject(source, art);
                BITMAP info{};
                GetObjectW(art, sizeof info, &info);
                BitBlt(dc, r.left, r.top, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
                SelectObject(source, old);
                DeleteDC(source);
            }
            PaintChildren(dc, box, {r.left, r.top});
            if (box.BorderStyle == 1) Frame(dc, r, RGB(122, 122, 122));
            RestoreDC(dc, saved);
            return;
        }
        case Kind::Label: {
            auto& label = static_cast<Label&>(c);
            UINT format = DT_WORDBREAK;
            if (label.Align.get() == Alignment::Center) format |= DT_CENTER;
            if (label.Align.get() == Alignment::Right) format |= DT_RIGHT;
            // Only a label that is disabled itself is greyed: a disabled container (a picture
            // button done with) leaves its caption in its own colour.
            const COLORREF color =
                label.Enabled ? ToColorRef(label.ForeColor) : GetSysColor(COLOR_GRAYTEXT);
            Text(dc, FontFor(dc, label.FontProp), label.Caption, r, color, format);
            return;
        }
        case Kind::TextBox: {
            auto& box = static_cast<TextBox&>(c);
            Fill(dc, r, RGB(255, 255, 255));
            Frame(dc, r, RGB(122, 122, 122));
            RECT inner{r.left + 3, r.top + 2, r.right - 3, r.bottom - 2};
            Text(dc, FontFor(dc, box.FontProp), box.Text, inner, RGB(0, 0, 0),
                 DT_SINGLELINE | DT_VCENTER);
            return;
        }
        case Kind::Line: {
            auto& line = static_cast<Line&>(c);
            HPEN pen = CreatePen(PS_SOLID, std::max(1, line.BorderWidth.get()),
                                 ToColorRef(line.BorderColor));
            HGDIOBJ old = SelectObject(dc, pen);
            MoveToEx(dc, origin.x + ToPixels(line.X1), origin.y + ToPixels(line.Y1), nullptr);
            LineTo(dc, origin.x + ToPixels(line.X2), origin.y + ToPixels(line.Y2));
            SelectObject(dc, old);
            DeleteObject(pen);
            return;
        }
        case Kind::Form:
        case Kind::Timer:
            return;
    }
}

}  // namespace forms::win32
