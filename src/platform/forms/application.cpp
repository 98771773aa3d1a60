// The application: event dispatch, timers, the yield, message boxes and the end of the program.
#include "platform/forms/forms.h"

#include <algorithm>
#include <exception>

namespace forms {

namespace {

// Counts a nesting level for as long as it lives.
class DepthGuard {
  public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    int& depth_;
};

}  // namespace

Application::Application(Backend& backend) : backend_(backend) {}

Application::~Application() = default;

void Application::SetMousePointer(MousePointer p) {
    if (pointer_ == p) return;
    pointer_ = p;
    backend_.PointerChanged(p);
}

void Application::DoEvents() {
    if (ended_) return;
    if (backend_.ThrottleEvents()) {
        // Transfers yield on every chunk; within one tick of the clock there is nothing new
        // to handle, unless the model changed since the last yield: that must be drawn.
        const std::int64_t now = backend_.NowMs();
        if (now == lastEventsMs_) {
            if (!modelChanged_) return;
            modelChanged_ = false;
            // A progress fill set to the width it already shows draws nothing new.
            if (!backend_.ApplyChanges()) return;
        }
        lastEventsMs_ = now;
    }
    modelChanged_ = false;
    backend_.ProcessEvents();
    RunDueTimers();
}

void Application::MsgBox(const std::string& prompt) {
    for (std::size_t i = 0; i < messageObservers_.size(); ++i) messageObservers_[i](prompt);
    DepthGuard modal(modalDepth_);
    backend_.MessageBox(prompt, Title);
}

void Application::End(int exitCode) { throw ProgramEnd{exitCode}; }

void Application::Dispatch(const std::function<void()>& handler) {
    if (ended_ || !handler) return;
    bool outermost = false;
    try {
        DepthGuard depth(dispatchDepth_);
        outermost = dispatchDepth_ == 1;
        handler();
    } catch (const ProgramEnd& end) {
        if (!ended_) exitCode_ = end.exitCode;
        ended_ = true;
        // Every handler still running unwinds up to the event loop's own dispatch.
        if (!outermost) throw;
    } catch (const std::exception& e) {
        SetMousePointer(MousePointer::Default);
        MsgBox(e.what());
    }
    // A handler that caught the end of the program on its way out does not keep it running.
    if (ended_ && outermost) backend_.Terminate(exitCode_);
}

void Application::ClickAt(Form& form, double x, double y) {
    if (ended_) return;
    Control* target = form.HitTest(x, y);
    if (!target || !target->Click) return;
    // A copy: the handler may replace the control's click operation while it runs.
    const std::function<void()> click = target->Click;
    Dispatch(click);
}

void Application::RunDueTimers() {
    if (ended_ || modalDepth_ > 0 || timers_.empty()) return;
    const std::int64_t now = backend_.NowMs();
    std::vector<Timer*> due;
    for (Timer* t : timers_) {
        if (t->dueAt >= 0 && t->dueAt <= now) due.push_back(t);
    }
    if (due.empty()) return;
    std::stable_sort(due.begin(), due.end(),
                     [](const Timer* a, const Timer* b) { return a->dueAt < b->dueAt; });
    for (Timer* t : due) {
        if (ended_) return;
        // An earlier tick may have disarmed, re-armed or destroyed this timer.
        if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
        if (t->dueAt < 0 || t->dueAt > now) continue;
        // Re-armed before the tick: a handler that sets Interval 0 first gets exactly one.
        t->dueAt = now + t->Interval;
        const std::function<void()> tick = t->OnTimer;
        Dispatch(tick);
    }
}

std::int64_t Application::MsUntilNextTimer() {
    std::int64_t next = -1;
    for (const Timer* t : timers_) {
        if (t->dueAt >= 0 && (next < 0 || t->dueAt < next)) next = t->dueAt;
    }
    if (next < 0) return -1;
    return std::max<std::int64_t>(0, next - backend_.NowMs());
}

void Application::CloseForm(Form& form) {
    if (ended_) return;
    const std::function<void()> unload = form.OnUnload;
    Dispatch(unload);
    Dispatch([this] { End(0); });
}

void Application::AddChangeObserver(ChangeObserver observer) {
    changeObservers_.push_back(std::move(observer));
}

void Application::AddMessageObserver(MessageObserver observer) {
    messageObservers_.push_back(std::move(observer));
}

void Application::OnPropertyChanged(Control& c, const char* property) {
    modelChanged_ = true;
    // By index: an observer may add another observer.
    for (std::size_t i = 0; i < changeObservers_.size(); ++i) changeObservers_[i](c, property);
    backend_.Invalidate(c);
}

void Application::OnTimerChanged(Timer& t) {
    if (t.Enabled && t.Interval > 0) {
        t.dueAt = backend_.NowMs() + t.Interval;
    } else {
        t.dueAt = -1;
    }
}

void Application::OnFocus(Control* c) { backend_.FocusChanged(c); }

void Application::RegisterForm(Form* f) {
    if (std::find(forms_.begin(), forms_.end(), f) == forms_.end()) forms_.push_back(f);
}

void Application::UnregisterForm(Form* f) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), f), forms_.end());
}

}  // namespace forms
