// The headless backend: virtual time, clicks by hit testing, recorded message boxes.
#include "platform/forms/headless.h"

#include <algorithm>
#include <stdexcept>

namespace forms {

namespace {

struct Rect {
    double left, top, right, bottom;
    bool Empty() const { return right <= left || bottom <= top; }
};

Rect Intersect(const Rect& a, const Rect& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// The part of the control that its containers let show, in form client twips.
Rect VisibleRect(Control& c) {
    Rect r;
    if (c.kind == Kind::Line) {
        const auto& line = static_cast<Line&>(c);
        r = {std::min<double>(line.X1, line.X2), std::min<double>(line.Y1, line.Y2),
             std::max<double>(line.X1, line.X2), std::max<double>(line.Y1, line.Y2)};
    } else {
        r = {c.Left, c.Top, c.Left + c.Width, c.Top + c.Height};
    }
    for (Control* container = c.Container(); container && container->kind != Kind::Form;
         container = container->Container()) {
        const double dx = container->Left, dy = container->Top;
        r = {r.left + dx, r.top + dy, r.right + dx, r.bottom + dy};
        r = Intersect(r, {dx, dy, dx + container->Width, dy + container->Height});
    }
    return r;
}

}  // namespace

HeadlessBackend::HeadlessBackend() = default;

void HeadlessBackend::Advance(std::int64_t ms) {
    const std::int64_t target = now_ + std::max<std::int64_t>(0, ms);
    while (app_ && !app_->Ended()) {
        const std::int64_t wait = app_->MsUntilNextTimer();
        if (wait < 0 || now_ + wait > target) break;
        now_ += wait;
        app_->RunDueTimers();
        // A tick re-arms its timer at least a millisecond later, so time moves on; a timer
        // that is due now but cannot tick (a message box is up) would otherwise spin here.
        if (wait == 0 && app_->MsUntilNextTimer() == 0) break;
    }
    now_ = std::max(now_, target);
}

std::string HeadlessBackend::Click(Form& form, const std::string& controlName) {
    Control* c = form.FindControl(controlName);
    if (!c) throw std::invalid_argument("no control named " + controlName);
    const Rect r = VisibleRect(*c);
    if (r.Empty()) return "";
    return ClickAt(form, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

std::string HeadlessBackend::ClickAt(Form& form, double x, double y) {
    if (!app_) throw std::logic_error("HeadlessBackend used before Attach");
    if (app_->Ended()) return "";
    Control* hit = form.HitTest(x, y);
    std::string name = hit ? hit->DisplayName() : "";
    app_->ClickAt(form, x, y);
    return name;
}

void HeadlessBackend::QueueClick(Form& form, const std::string& controlName) {
    if (!form.FindControl(controlName)) {
        throw std::invalid_argument("no control named " + controlName);
    }
    pending_.push_back({&form, controlName});
}

void HeadlessBackend::QueueClose(Form& form) { pending_.push_back({&form, ""}); }

void HeadlessBackend::ProcessEvents() {
    ++processEventsCalls;
    if (pending_.empty() || !app_) return;
    // Events queued by the handlers that run now wait for the next yield.
    std::deque<Pending> batch;
    batch.swap(pending_);
    for (const Pending& p : batch) {
        if (app_->Ended()) return;
        if (p.control.empty()) {
            app_->CloseForm(*p.form);
        } else {
            Click(*p.form, p.control);
        }
    }
}

void HeadlessBackend::MessageBox(const std::string& prompt, const std::string& title) {
    messages.push_back(prompt);
    titles.push_back(title);
}

}  // namespace forms
