// Draws a form's controls with GDI: picture boxes with their artwork, labels (transparent, as
// the designer leaves them), text boxes and lines, in the stacking order the model gives.
#pragma once

#include <map>
#include <string>
#include <tuple>

#include "platform/forms/forms.h"
#include "platform/kernel/windows/windows_api.h"

namespace forms::win32 {

int ToPixels(double twips);
// The program's resource named after an artwork: "logo" is "LOGO".
std::wstring ResourceName(const std::string& artwork);

class GdiPainter {
  public:
    GdiPainter() = default;
    ~GdiPainter();
    GdiPainter(const GdiPainter&) = delete;
    GdiPainter& operator=(const GdiPainter&) = delete;

    // The whole client area of the form, into `dc`.
    void Paint(HDC dc, Form& form);

    // A bitmap resource of the program named after the artwork ("logo": "LOGO"), or nullptr.
    HBITMAP Art(const std::string& name);

  private:
    void PaintChildren(HDC dc, Control& container, POINT origin);
    void PaintControl(HDC dc, Control& control, POINT origin);
    HFONT FontFor(HDC dc, const Font& font);

    std::map<std::tuple<std::string, double, int, bool>, HFONT> fonts_;
    std::map<std::string, HBITMAP> art_;
};

}  // namespace forms::win32
