// The widgets that draw the model's controls, and the helpers that turn model values (twips,
// OLE colours, fonts, artwork names) into Qt ones.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QWidget>

#include "platform/forms/forms.h"

namespace forms::qtui {

// Where the widgets send what the user does; the backend decides when it reaches the model.
class InputSink {
  public:
    virtual ~InputSink() = default;
    // A click released at pixel p of the form's client area.
    virtual void ClickReleased(Form& form, QPoint p) = 0;
    virtual void CloseRequested(Form& form) = 0;
};

int ToPixels(double twips);
QColor ToQColor(Color c);
// The installed stand-in for a designed font ("Calibri" is drawn with a metric-compatible
// family), at the designed point size.
QFont ToQFont(const Font& f);
// Artwork by name from the resources (":/art/<name>.bmp" or ".png"); null when missing.
QPixmap ArtPixmap(const std::string& name);

// Common behaviour: a left-button press and release inside the widget is a click, reported
// with its position in the form's client area.
template <class Base>
class ClickableWidget : public Base {
  public:
    ClickableWidget(Control& control, InputSink& sink, QWidget* parent)
        : Base(parent), control_(control), sink_(sink) {}
    Control& control() const { return control_; }

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

  private:
    Control& control_;
    InputSink& sink_;
};

// The form's client area: its background colour, and the title bar close routed to the model.
class FormWidget : public ClickableWidget<QWidget> {
  public:
    FormWidget(Form& form, InputSink& sink);

  protected:
    void paintEvent(QPaintEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

  private:
    Form& form_;
    InputSink& sink_;
};

// A picture box: its colour, its picture from the top-left corner (clipped), its border.
class PictureBoxWidget : public ClickableWidget<QWidget> {
  public:
    PictureBoxWidget(PictureBox& box, InputSink& sink, QWidget* parent);
    // Reloads the picture when its name changed.
    void SetPicture(const std::string& name);

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    PictureBox& box_;
    std::string pictureName_;
    QPixmap picture_;
};

// A label drawn on its container's surface: no background of its own, wrapped text.
class LabelWidget : public ClickableWidget<QLabel> {
  public:
    LabelWidget(Label& label, InputSink& sink, QWidget* parent);
};

// A line between two points of its container; clicks go through it.
class LineWidget : public QWidget {
  public:
    LineWidget(Line& line, QWidget* parent);
    // Places the widget around the line's end points.
    void UpdateGeometry();

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    Line& line_;
    QPoint from_, to_;
};

}  // namespace forms::qtui
