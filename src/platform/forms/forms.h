// The windowing toolkit: a retained model of VB-like controls (form, picture box, label, text
// box, line, timer), control arrays, the application-wide mouse pointer, keyboard focus, the
// yield (DoEvents), message boxes and ending the program. A backend (headless for tests, Qt for
// the real window) draws the model and feeds it clicks and time.
//
// Positions and sizes are twips relative to the container; 15 twips are one pixel at 96 dpi.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace forms {

// Colours are OLE colours: 0x00BBGGRR, or a system colour with the high bit set.
using Color = std::uint32_t;
constexpr Color RGB(int r, int g, int b) {
    return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr Color vbWindowBackground = 0x80000005;
constexpr Color vbButtonFace = 0x8000000F;
constexpr Color vbBlack = 0x000000;
constexpr Color vbWhite = 0xFFFFFF;
// The RGB value of a system colour (the host's window background, button face, ...).
Color ResolveColor(Color c);

constexpr int TwipsPerPixel = 15;

enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };  // Custom: the hand pointer
enum class Alignment { Left = 0, Right = 1, Center = 2 };

struct Font {
    std::string Name = "MS Sans Serif";  // as designed: "Calibri", "Calibri Light", "Arial", ...
    double Size = 8.25;                  // points
    int Weight = 400;                    // 300 light, 400 regular, 700 bold
    bool Underline = false;
    bool operator==(const Font&) const = default;
};

class Control;
class Form;
class Application;

// A property that reads and assigns like a field; every assignment of a new value tells the
// application, so a backend can redraw and observers (the unattended mode) can follow.
template <class T>
class Property {
  public:
    Property(Control* owner, const char* name, T initial)
        : owner_(owner), name_(name), value_(std::move(initial)) {}
    Property(const Property&) = delete;
    Property& operator=(const Property&) = delete;

    operator const T&() const { return value_; }
    const T& get() const { return value_; }
    Property& operator=(const T& v);
    const char* name() const { return name_; }

  private:
    Control* owner_;
    const char* name_;
    T value_;
};

enum class Kind { Form, PictureBox, Label, TextBox, Line, Timer };

class Control {
  public:
    // Registers the control as the last (rearmost) child of its container; nullptr for a form.
    Control(Kind kind, Control* container, std::string name, int index = -1);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const Kind kind;
    const std::string Name;
    const int Index;  // index in its control array, -1 for a single control

    Property<double> Left{this, "Left", 0};
    Property<double> Top{this, "Top", 0};
    Property<double> Width{this, "Width", 0};
    Property<double> Height{this, "Height", 0};
    Property<bool> Visible{this, "Visible", true};
    Property<bool> Enabled{this, "Enabled", true};
    Property<MousePointer> Pointer{this, "MousePointer", MousePointer::Default};
    Property<bool> TabStop{this, "TabStop", true};

    // The click operation; empty when the control has none.
    std::function<void()> Click;

    Control* Container() const { return container_; }
    const std::vector<Control*>& Children() const { return children_; }
    // Puts the children in this stacking order, the front one first.
    void SetChildrenOrder(std::vector<Control*> frontToBack);
    Form* ParentForm();
    // Full name as the designer shows it: "lblMensagem(3)" or "pnInicio".
    std::string DisplayName() const;

    void SetFocus();
    // Whether the control and every container above it are visible.
    bool EffectivelyVisible() const;
    // Whether the control and every container above it are enabled.
    bool EffectivelyEnabled() const;

    void Move(double left, double top, double width, double height);

    // Called by Property on every change of value.
    void PropertyChanged(const char* property);

  private:
    Control* container_;
    std::vector<Control*> children_;
};

class PictureBox : public Control {
  public:
    PictureBox(Control* container, std::string name, int index = -1)
        : Control(Kind::PictureBox, container, std::move(name), index) {}
    Property<Color> BackColor{this, "BackColor", vbButtonFace};
    Property<int> BorderStyle{this, "BorderStyle", 1};   // 0 none, 1 fixed single
    Property<std::string> Picture{this, "Picture", ""};  // artwork name: "logo", "ring", "check"
};

class Label : public Control {
  public:
    Label(Control* container, std::string name, int index = -1)
        : Control(Kind::Label, container, std::move(name), index) {}
    Property<std::string> Caption{this, "Caption", ""};
    Property<Color> ForeColor{this, "ForeColor", vbBlack};
    Property<Font> FontProp{this, "Font", Font{}};
    Property<Alignment> Align{this, "Alignment", Alignment::Left};
    Property<bool> Transparent{this, "BackStyle", true};  // BackStyle 0: transparent
};

class TextBox : public Control {
  public:
    TextBox(Control* container, std::string name, int index = -1)
        : Control(Kind::TextBox, container, std::move(name), index) {}
    Property<std::string> Text{this, "Text", ""};
    Property<Font> FontProp{this, "Font", Font{}};
};

class Line : public Control {
  public:
    Line(Control* container, std::string name, int index = -1)
        : Control(Kind::Line, container, std::move(name), index) {}
    Property<double> X1{this, "X1", 0};
    Property<double> Y1{this, "Y1", 0};
    Property<double> X2{this, "X2", 0};
    Property<double> Y2{this, "Y2", 0};
    Property<Color> BorderColor{this, "BorderColor", vbBlack};
    Property<int> BorderWidth{this, "BorderWidth", 1};
};

// A VB timer: a non-zero Interval arms a repeating timer (while Enabled), 0 disarms it. The
// tick runs OnTimer through the application's dispatch.
class Timer : public Control {
  public:
    Timer(Control* container, std::string name, int index = -1);
    ~Timer() override;
    Property<std::int32_t> Interval{this, "Interval", 0};
    std::function<void()> OnTimer;

    // Millisecond time of the next tick, or -1 when disarmed (kept by the application).
    std::int64_t dueAt = -1;
};

// A control array: controls that share one name and are addressed by index.
template <class T>
class ControlArray {
  public:
    explicit ControlArray(std::string name) : name_(std::move(name)) {}
    T& Add(int index, Control* container) {
        auto& slot = items_[index];
        slot = std::make_unique<T>(container, name_, index);
        return *slot;
    }
    T& operator[](int index) { return *items_.at(index); }
    const T& operator[](int index) const { return *items_.at(index); }
    const std::string& Name() const { return name_; }

  private:
    std::string name_;
    std::map<int, std::unique_ptr<T>> items_;
};

class Form : public Control {
  public:
    Form(Application& app, std::string name);
    ~Form() override;

    Application& App() { return app_; }

    Property<std::string> Caption{this, "Caption", ""};
    Property<Color> BackColor{this, "BackColor", vbButtonFace};
    Property<std::string> Icon{this, "Icon", ""};  // artwork name
    Property<bool> ControlBox{this, "ControlBox", true};
    Property<bool> MinButton{this, "MinButton", false};
    Property<bool> MaxButton{this, "MaxButton", false};
    // Client area in twips; Width and Height (of Control) are the outer size, frame included,
    // as the backend reports it.
    Property<double> ScaleWidth{this, "ScaleWidth", 0};
    Property<double> ScaleHeight{this, "ScaleHeight", 0};

    // Runs when the window is closed from its title bar or by the system.
    std::function<void()> OnUnload;
    // Runs when the form is created and about to be shown.
    std::function<void()> OnLoad;

    // The control that has the keyboard focus (nullptr: none).
    Control* ActiveControl() const { return activeControl_; }
    void SetActiveControl(Control* c) { activeControl_ = c; }

    // All controls of the form, the form first, in creation order.
    const std::vector<Control*>& AllControls() const { return all_; }
    Control* FindControl(const std::string& displayName) const;

    // Hit testing in client twips: the control that a click at (x, y) reaches, or nullptr.
    // Only visible controls inside visible containers are hit; in each container windowed
    // controls (picture boxes, text boxes) lie in front of the graphical ones (labels, lines)
    // drawn on its surface, each group in its stacking order; a label without a click operation
    // lets the click through. A control inside a disabled picture box, or itself disabled,
    // receives nothing: the click is swallowed.
    Control* HitTest(double x, double y);

  private:
    friend class Control;
    Application& app_;
    Control* activeControl_ = nullptr;
    std::vector<Control*> all_;
};

// Raised by End(): unwinds every running handler; the application stops at the outermost
// dispatch. Not a std::exception, so that handlers catching failures never swallow it.
struct ProgramEnd {
    int exitCode = 0;
};

// What a backend provides: time, the pending system events, message boxes and the real end.
class Backend {
  public:
    virtual ~Backend() = default;
    // Milliseconds on the backend's clock (virtual for headless, steady for Qt).
    virtual std::int64_t NowMs() = 0;
    // Handles pending system events once (repaint, input); must cost next to nothing when
    // nothing is pending.
    virtual void ProcessEvents() = 0;
    // Shows a modal message box with an OK button, no icon; returns once confirmed.
    virtual void MessageBox(const std::string& prompt, const std::string& title) = 0;
    // The screen size in twips.
    virtual double ScreenWidth() = 0;
    virtual double ScreenHeight() = 0;
    // Outer size of the form's frame beyond its client area, in twips (width and height).
    virtual double FrameExtraWidth() = 0;
    virtual double FrameExtraHeight() = 0;
    // Called when the program ends (after the outermost dispatch unwound).
    virtual void Terminate(int exitCode) = 0;
    // A property of a control changed (the backend may mark it for redraw).
    virtual void Invalidate(Control& /*control*/) {}
    // Applies the model's changes to the screen now; returns whether anything drawn changed.
    // A yield within the same tick as the last one handles events only when it did.
    virtual bool ApplyChanges() { return true; }
    // The application-wide pointer changed.
    virtual void PointerChanged(MousePointer /*pointer*/) {}
    // Keyboard focus moved to the control.
    virtual void FocusChanged(Control* /*control*/) {}
    // Progress of a long copy (the shell's copy window over the form, naming the file being
    // copied); finished closes it.
    virtual void CopyProgress(std::uint64_t /*done*/, std::uint64_t /*total*/, bool /*finished*/,
                              const std::string& /*item*/) {}
    // Whether the yield may skip the calls that come within the same tick of NowMs as the last
    // one handled (a real clock), when the model has not changed since. A virtual clock, which
    // stands still between a test's steps, wants every call handled.
    virtual bool ThrottleEvents() const { return true; }
};

class Application {
  public:
    explicit Application(Backend& backend);
    ~Application();

    Backend& backend() { return backend_; }

    // The application-wide mouse pointer (Screen.MousePointer).
    MousePointer GetMousePointer() const { return pointer_; }
    void SetMousePointer(MousePointer p);

    double ScreenWidth() { return backend_.ScreenWidth(); }
    double ScreenHeight() { return backend_.ScreenHeight(); }

    // The yield: lets pending events run once (due timer ticks, queued clicks, repaint) and
    // returns. Costs next to nothing when nothing is pending.
    void DoEvents();

    // MsgBox with OK only, no icon, title "Instalador". Timers do not tick meanwhile.
    void MsgBox(const std::string& prompt);
    static constexpr const char* Title = "Instalador";

    // Ends the program at once: raises ProgramEnd.
    [[noreturn]] void End(int exitCode = 0);
    bool Ended() const { return ended_; }
    int ExitCode() const { return exitCode_; }

    // Runs one event handler the way the event loop does: a ProgramEnd stops the program
    // (Terminate on the backend when this is the outermost dispatch, re-raised otherwise); any
    // other failure is shown in a message box with its description, the default pointer comes
    // back and the window stays usable. Does nothing once the program has ended.
    void Dispatch(const std::function<void()>& handler);

    // A click that the backend delivers: hit testing at client twips (x, y) of the form, then
    // the reached control's click operation through Dispatch.
    void ClickAt(Form& form, double x, double y);
    // Ticks the timers whose time has come (through Dispatch), one tick each at most.
    void RunDueTimers();
    // Milliseconds until the next armed timer is due (-1: none armed).
    std::int64_t MsUntilNextTimer();

    // The form's title bar close: OnUnload, then the end of the program.
    void CloseForm(Form& form);

    // Observers of property changes (used by the unattended mode and by backends).
    using ChangeObserver = std::function<void(Control&, const char* property)>;
    void AddChangeObserver(ChangeObserver observer);
    // Observers of message boxes: called with the text before the box is shown.
    using MessageObserver = std::function<void(const std::string& prompt)>;
    void AddMessageObserver(MessageObserver observer);

    // Forms register here (the backend walks them).
    const std::vector<Form*>& Forms() const { return forms_; }

    // Internal: called by controls.
    void OnPropertyChanged(Control& c, const char* property);
    void OnTimerChanged(Timer& t);
    void OnFocus(Control* c);
    void RegisterForm(Form* f);
    void UnregisterForm(Form* f);

  private:
    Backend& backend_;
    MousePointer pointer_ = MousePointer::Default;
    std::vector<Form*> forms_;
    std::vector<Timer*> timers_;
    std::vector<ChangeObserver> changeObservers_;
    std::vector<MessageObserver> messageObservers_;
    int dispatchDepth_ = 0;
    int modalDepth_ = 0;
    bool ended_ = false;
    int exitCode_ = 0;
    std::int64_t lastEventsMs_ = -1;
    bool modelChanged_ = false;  // since the last yield that handled events
    friend class Timer;
};

template <class T>
Property<T>& Property<T>::operator=(const T& v) {
    if (!(value_ == v)) {
        value_ = v;
        owner_->PropertyChanged(name_);
    }
    return *this;
}

}  // namespace forms
