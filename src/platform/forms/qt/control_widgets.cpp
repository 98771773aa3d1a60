// The widgets of the Qt window.
#include "platform/forms/qt/control_widgets.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace forms::qtui {

namespace {

struct FontStandIn {
    const char* designed;
    const char* installed;
};

// Metric-compatible families for the designed Windows fonts.
constexpr FontStandIn kStandIns[] = {
    {"Calibri Light", "Carlito"},         {"Calibri", "Carlito"},
    {"Arial", "Liberation Sans"},         {"Verdana", "DejaVu Sans"},
    {"MS Sans Serif", "Liberation Sans"},
};

QString InstalledFamily(const std::string& designed) {
    for (const auto& s : kStandIns) {
        if (designed == s.designed) return QString::fromLatin1(s.installed);
    }
    return QString::fromStdString(designed);
}

}  // namespace

int ToPixels(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixel)); }

QColor ToQColor(Color c) {
    const Color rgb = ResolveColor(c);
    return QColor(rgb & 0xFF, (rgb >> 8) & 0xFF, (rgb >> 16) & 0xFF);
}

QFont ToQFont(const Font& f) {
    QFont font(InstalledFamily(f.Name));
    font.setPointSizeF(f.Size > 0 ? f.Size : 8.25);
    const bool light = f.Name.find("Light") != std::string::npos || f.Weight <= 300;
    if (light) {
        font.setWeight(QFont::Light);
    } else if (f.Weight >= 700) {
        font.setWeight(QFont::Bold);
    } else {
        font.setWeight(QFont::Normal);
    }
    font.setUnderline(f.Underline);
    return font;
}

QPixmap ArtPixmap(const std::string& name) {
    static QHash<QString, QPixmap> cache;
    const QString key = QString::fromStdString(name);
    if (key.isEmpty()) return {};
    if (auto it = cache.constFind(key); it != cache.constEnd()) return *it;
    QPixmap pixmap;
    for (const char* ext : {".bmp", ".png"}) {
        if (pixmap.load(QStringLiteral(":/art/") + key + QLatin1String(ext))) break;
    }
    cache.insert(key, pixmap);
    return pixmap;
}

template <class Base>
void ClickableWidget<Base>::mousePressEvent(QMouseEvent* e) {
    // Accepted, so that the release comes back to this widget.
    e->accept();
}

template <class Base>
void ClickableWidget<Base>::mouseReleaseEvent(QMouseEvent* e) {
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    const QPoint local = e->position().toPoint();
    if (!this->rect().contains(local)) return;  // released elsewhere: no click
    Form* form = control_.ParentForm();
    if (!form) return;
    QWidget* top = this->window();
    sink_.ClickReleased(*form, top == this ? local : this->mapTo(top, local));
}

template class ClickableWidget<QWidget>;
template class ClickableWidget<QLabel>;

FormWidget::FormWidget(Form& form, InputSink& sink)
    : ClickableWidget<QWidget>(form, sink, nullptr), form_(form), sink_(sink) {}

void FormWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(form_.BackColor));
}

void FormWidget::closeEvent(QCloseEvent* e) {
    // The model decides: its unload step runs, then the program ends.
    e->ignore();
    sink_.CloseRequested(form_);
}

PictureBoxWidget::PictureBoxWidget(PictureBox& box, InputSink& sink, QWidget* parent)
    : ClickableWidget<QWidget>(box, sink, parent), box_(box) {
    SetPicture(box.Picture);
}

void PictureBoxWidget::SetPicture(const std::string& name) {
    if (name == pictureName_) return;
    pictureName_ = name;
    picture_ = ArtPixmap(name);
    update();
}

void PictureBoxWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ToQColor(box_.BackColor));
    if (!picture_.isNull()) p.drawPixmap(0, 0, picture_);
    if (box_.BorderStyle == 1) {
        p.setPen(QColor(122, 122, 122));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

LabelWidget::LabelWidget(Label& label, InputSink& sink, QWidget* parent)
    : ClickableWidget<QLabel>(label, sink, parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    setAutoFillBackground(false);
}

LineWidget::LineWidget(Line& line, QWidget* parent) : QWidget(parent), line_(line) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineWidget::UpdateGeometry() {
    const QPoint a(ToPixels(line_.X1), ToPixels(line_.Y1));
    const QPoint b(ToPixels(line_.X2), ToPixels(line_.Y2));
    const int pen = std::max(1, line_.BorderWidth.get());
    const int left = std::min(a.x(), b.x()) - pen, top = std::min(a.y(), b.y()) - pen;
    const int right = std::max(a.x(), b.x()) + pen, bottom = std::max(a.y(), b.y()) + pen;
    setGeometry(left, top, right - left + 1, bottom - top + 1);
    from_ = a - QPoint(left, top);
    to_ = b - QPoint(left, top);
    update();
}

void LineWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QPen(ToQColor(line_.BorderColor), std::max(1, line_.BorderWidth.get())));
    p.drawLine(from_, to_);
}

}  // namespace forms::qtui
