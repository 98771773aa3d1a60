// Controls and forms: the control tree, names, focus, visibility and hit testing.
#include "platform/forms/forms.h"

#include <algorithm>
#include <string_view>

namespace forms {

namespace {

bool IsWindowed(const Control& c) { return c.kind == Kind::PictureBox || c.kind == Kind::TextBox; }

bool Contains(const Control& c, double x, double y) {
    const double left = c.Left, top = c.Top;
    return x >= left && x < left + c.Width && y >= top && y < top + c.Height;
}

// The result of a hit inside one container: a control, nothing there (the container itself is
// hit), or a swallowed click.
struct Hit {
    Control* control = nullptr;
    bool swallowed = false;
};

// Finds what a click at (x, y), relative to the container's client area, reaches among the
// container's children.
Hit HitChildren(const Control& container, double x, double y) {
    const auto& children = container.Children();
    // Windowed controls lie in front of everything drawn on the container's own surface.
    for (int pass = 0; pass < 2; ++pass) {
        const bool windowed = pass == 0;
        for (Control* child : children) {
            if (IsWindowed(*child) != windowed || !child->Visible) continue;
            if (child->kind == Kind::Timer || child->kind == Kind::Line) continue;
            if (!Contains(*child, x, y)) continue;
            if (!child->Enabled) return {nullptr, true};
            if (child->kind == Kind::PictureBox) {
                Hit inner = HitChildren(*child, x - child->Left, y - child->Top);
                if (inner.control || inner.swallowed) return inner;
                return {child, false};
            }
            if (child->kind == Kind::Label && !child->Click) continue;  // lets the click through
            return {child, false};
        }
    }
    return {};
}

}  // namespace

Color ResolveColor(Color c) {
    if ((c & 0x80000000u) == 0) return c & 0xFFFFFFu;
    switch (c & 0xFFu) {
        case 0x05:
            return vbWhite;  // window background
        case 0x0F:
            return RGB(240, 240, 240);  // button face
        case 0x08:
            return vbBlack;  // window text
        case 0x12:
            return vbBlack;  // button text
        case 0x10:
            return RGB(160, 160, 160);  // button shadow
        case 0x14:
            return vbWhite;  // 3D highlight
        case 0x0D:
            return RGB(0, 120, 215);  // selection
        case 0x0E:
            return vbWhite;  // selected text
        case 0x11:
            return RGB(109, 109, 109);  // grey text
        case 0x04:
            return RGB(240, 240, 240);  // menu bar
        case 0x06:
            return RGB(100, 100, 100);  // window frame
        default:
            return vbBlack;
    }
}

Control::Control(Kind kind, Control* container, std::string name, int index)
    : kind(kind), Name(std::move(name)), Index(index), container_(container) {
    if (!container_) return;
    container_->children_.push_back(this);
    if (Form* form = ParentForm()) form->all_.push_back(this);
}

Control::~Control() {
    for (Control* child : children_) child->container_ = nullptr;
    if (!container_) return;
    Form* form = ParentForm();
    auto& siblings = container_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
    if (!form) return;
    auto& all = form->all_;
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    if (form->activeControl_ == this) form->activeControl_ = nullptr;
}

void Control::SetChildrenOrder(std::vector<Control*> frontToBack) {
    std::vector<Control*> order;
    for (Control* c : frontToBack) {
        const bool mine = std::find(children_.begin(), children_.end(), c) != children_.end();
        if (mine && std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
    }
    // Children left out keep their relative order, behind the ones named.
    for (Control* c : children_) {
        if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
    }
    children_ = std::move(order);
}

Form* Control::ParentForm() {
    Control* c = this;
    while (c->container_) c = c->container_;
    return c->kind == Kind::Form ? static_cast<Form*>(c) : nullptr;
}

std::string Control::DisplayName() const {
    if (Index < 0) return Name;
    return Name + "(" + std::to_string(Index) + ")";
}

bool Control::EffectivelyVisible() const {
    for (const Control* c = this; c; c = c->container_) {
        if (!c->Visible) return false;
    }
    return true;
}

bool Control::EffectivelyEnabled() const {
    for (const Control* c = this; c; c = c->container_) {
        if (!c->Enabled) return false;
    }
    return true;
}

void Control::SetFocus() {
    // Only windowed controls take the keyboard focus, and only where the user could reach them.
    if (kind != Kind::PictureBox && kind != Kind::TextBox) return;
    if (!TabStop || !EffectivelyVisible() || !EffectivelyEnabled()) return;
    Form* form = ParentForm();
    if (!form) return;
    form->SetActiveControl(this);
    form->App().OnFocus(this);
}

void Control::Move(double left, double top, double width, double height) {
    Left = left;
    Top = top;
    Width = width;
    Height = height;
}

void Control::PropertyChanged(const char* property) {
    Form* form = ParentForm();
    if (!form) return;
    Application& app = form->App();
    const std::string_view name = property;
    if (kind == Kind::Form && (name == "ScaleWidth" || name == "ScaleHeight")) {
        // The outer size follows the client area plus the frame that the backend draws.
        auto* self = static_cast<Form*>(this);
        if (name == "ScaleWidth") {
            self->Width = self->ScaleWidth + app.backend().FrameExtraWidth();
        } else {
            self->Height = self->ScaleHeight + app.backend().FrameExtraHeight();
        }
    }
    if (kind == Kind::Timer && (name == "Interval" || name == "Enabled")) {
        app.OnTimerChanged(*static_cast<Timer*>(this));
    }
    app.OnPropertyChanged(*this, property);
}

Timer::Timer(Control* container, std::string name, int index)
    : Control(Kind::Timer, container, std::move(name), index) {
    if (Form* form = ParentForm()) form->App().timers_.push_back(this);
}

Timer::~Timer() {
    Form* form = ParentForm();
    if (!form) return;
    auto& timers = form->App().timers_;
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

Form::Form(Application& app, std::string name)
    : Control(Kind::Form, nullptr, std::move(name)), app_(app) {
    all_.push_back(this);
    app_.RegisterForm(this);
}

Form::~Form() { app_.UnregisterForm(this); }

Control* Form::FindControl(const std::string& displayName) const {
    for (Control* c : all_) {
        if (c->DisplayName() == displayName) return c;
    }
    return nullptr;
}

Control* Form::HitTest(double x, double y) {
    if (!Visible || !Enabled) return nullptr;
    // Without a client size (a form built only in a test), the whole plane is the client area.
    if (ScaleWidth > 0 && (x < 0 || x >= ScaleWidth)) return nullptr;
    if (ScaleHeight > 0 && (y < 0 || y >= ScaleHeight)) return nullptr;
    const Hit hit = HitChildren(*this, x, y);
    if (hit.swallowed) return nullptr;
    return hit.control ? hit.control : this;
}

}  // namespace forms
