// The Qt backend: builds one widget per control, applies model changes when events are
// processed, and hands the user's clicks and closes to the model outside Qt's own event
// handling, so that the end of the program can unwind the running handlers safely.
#include "platform/forms/qt/qt_backend.h"

#include <QApplication>
#include <QCursor>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/forms/input_queue.h"
#include "platform/forms/qt/control_widgets.h"

namespace forms {

namespace {

using namespace qtui;

constexpr int kLoopIntervalMs = 10;
// A copy shorter than this shows no progress window.
constexpr std::int64_t kCopyWindowDelayMs = 300;

class NestingGuard {
  public:
    explicit NestingGuard(int& n) : n_(n) { ++n_; }
    ~NestingGuard() { --n_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

  private:
    int& n_;
};

// The hotspot of the first image of a cursor file (its directory entry holds it).
QPoint CursorHotspot(const QByteArray& data) {
    if (data.size() < 6 + 16) return {0, 0};
    auto u16 = [&](int at) {
        return static_cast<int>(static_cast<unsigned char>(data[at]) |
                                (static_cast<unsigned char>(data[at + 1]) << 8));
    };
    if (u16(0) != 0 || u16(2) != 2 || u16(4) < 1) return {0, 0};
    return {u16(6 + 4), u16(6 + 6)};
}

QCursor LoadHandCursor() {
    QFile file(QStringLiteral(":/art/hand.cur"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray data = file.readAll();
        QPixmap pixmap;
        if (pixmap.loadFromData(data, "CUR") || pixmap.loadFromData(data, "ICO") ||
            pixmap.loadFromData(data)) {
            const QPoint hot = CursorHotspot(data);
            return QCursor(pixmap, hot.x(), hot.y());
        }
    }
    return QCursor(Qt::PointingHandCursor);
}

std::int64_t CoarseNowMs() {
#ifdef CLOCK_MONOTONIC_COARSE
    // The yield reads the clock on every transfer chunk: the coarse clock costs a few
    // nanoseconds, with a resolution of a few milliseconds.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
#else
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
#endif
}

Qt::Alignment ToQtAlignment(Alignment a) {
    switch (a) {
        case Alignment::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case Alignment::Center:
            return Qt::AlignHCenter | Qt::AlignTop;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

}  // namespace

struct QtBackend::Impl : InputSink {
    struct View {
        QWidget* widget = nullptr;
        Form* form = nullptr;
        bool dirty = false;
        std::string drawn;  // Look() of the control when last applied
    };
    std::unique_ptr<QApplication> ownedApp;
    std::unique_ptr<QObject> context = std::make_unique<QObject>();
    Application* app = nullptr;
    std::map<Form*, std::unique_ptr<QWidget>> windows;
    std::unordered_map<const Control*, View> views;
    std::vector<Control*> dirty;
    InputQueue input;
    bool inExec = false;
    // Depth of the Qt event loops running inside a handler (a yield, a message box): input
    // that arrives there waits until that loop has returned.
    int nested = 0;
    bool pumpScheduled = false;
    bool overrideCursor = false;
    std::optional<QCursor> hand;
    int answerAfterMs = 0;
    // Owned by the form's widget too, which may go first.
    QPointer<QProgressDialog> copyWindow;
    std::int64_t copyStartMs = -1;
    std::int64_t copyPaintMs = -1;

    const QCursor& Hand() {
        if (!hand) hand = LoadHandCursor();
        return *hand;
    }

    void ClickReleased(Form& form, QPoint p) override {
        input.Click(form, p.x(), p.y());
        SchedulePump();
    }
    void CloseRequested(Form& form) override {
        input.Close(form);
        SchedulePump();
    }

    void SchedulePump() {
        if (nested > 0 || pumpScheduled) return;
        pumpScheduled = true;
        QTimer::singleShot(0, context.get(), [this] {
            pumpScheduled = false;
            Pump(false);
        });
    }

    // Work done from the outermost event loop: input, then (in the program's loop) timers.
    void Pump(bool timers) {
        if (nested > 0 || !app) return;
        DeliverInput();
        if (timers) app->RunDueTimers();
        SyncDirty();
    }

    bool Alive(Form* form) const { return app && HasForm(*app, form); }

    void DeliverInput() {
        if (app) input.Deliver(*app);
    }

    // Drops the widgets of forms that no longer exist.
    void PruneDeadForms() {
        for (auto it = windows.begin(); it != windows.end();) {
            if (Alive(it->first)) {
                ++it;
                continue;
            }
            Form* dead = it->first;
            for (auto v = views.begin(); v != views.end();) {
                v = v->second.form == dead ? views.erase(v) : std::next(v);
            }
            it = windows.erase(it);
        }
    }

    // What the widget shows of a control, in pixels: equal looks draw the same.
    static std::string Look(Control& c) {
        std::string look =
            std::to_string(ToPixels(c.Left)) + ',' + std::to_string(ToPixels(c.Top)) + ',' +
            std::to_string(ToPixels(c.Width)) + ',' + std::to_string(ToPixels(c.Height)) + ',' +
            (c.Visible ? 'v' : 'h') + (c.Enabled ? 'e' : 'd') +
            std::to_string(int(c.Pointer.get())) + (c.TabStop ? 't' : 'n');
        if (c.kind == Kind::PictureBox) {
            auto& box = static_cast<PictureBox&>(c);
            look += ',' + std::to_string(box.BackColor) + ',' + std::to_string(box.BorderStyle) +
                    ',' + box.Picture.get();
        } else if (c.kind == Kind::Label) {
            auto& label = static_cast<Label&>(c);
            const Font& font = label.FontProp;
            look += ',' + std::to_string(label.ForeColor) + ',' + font.Name + ',' +
                    std::to_string(font.Size) + ',' + std::to_string(font.Weight) +
                    (font.Underline ? 'u' : '-') + std::to_string(int(label.Align.get())) + ',' +
                    label.Caption.get();
        } else if (c.kind == Kind::TextBox) {
            look += ',' + static_cast<TextBox&>(c).Text.get();
        } else {
            look += '*';  // the form and the line: always applied
        }
        return look;
    }

    // Applies the controls changed since the last call; returns whether any looks different.
    bool SyncDirty() {
        if (dirty.empty()) return false;
        PruneDeadForms();
        std::vector<Control*> batch;
        batch.swap(dirty);
        bool changed = false;
        for (Control* c : batch) {
            auto it = views.find(c);
            if (it == views.end() || !it->second.dirty) continue;
            it->second.dirty = false;
            std::string look = Look(*c);
            if (look == it->second.drawn && look.back() != '*') continue;
            it->second.drawn = std::move(look);
            Apply(*c, it->second.widget);
            changed = true;
        }
        return changed;
    }

    void ApplyCursor(Control& c, QWidget* w) {
        switch (c.Pointer.get()) {
            case MousePointer::Custom:
                w->setCursor(Hand());
                break;
            case MousePointer::Hourglass:
                w->setCursor(Qt::WaitCursor);
                break;
            case MousePointer::Default:
                w->unsetCursor();
                break;
        }
    }

    static void ApplyGeometry(Control& c, QWidget* w) {
        w->setGeometry(ToPixels(c.Left), ToPixels(c.Top), std::max(0, ToPixels(c.Width)),
                       std::max(0, ToPixels(c.Height)));
    }

    void Apply(Control& c, QWidget* w) {
        switch (c.kind) {
            case Kind::Form:
                ApplyForm(static_cast<Form&>(c), w);
                return;
            case Kind::PictureBox: {
                auto& box = static_cast<PictureBox&>(c);
                auto* widget = static_cast<PictureBoxWidget*>(w);
                ApplyGeometry(c, w);
                widget->SetPicture(box.Picture);
                widget->setFocusPolicy(c.TabStop ? Qt::StrongFocus : Qt::NoFocus);
                ApplyCursor(c, w);
                w->update();
                break;
            }
            case Kind::Label: {
                auto& label = static_cast<Label&>(c);
                auto* widget = static_cast<LabelWidget*>(w);
                ApplyGeometry(c, w);
                widget->setText(QString::fromStdString(label.Caption));
                widget->setFont(ToQFont(label.FontProp));
                widget->setAlignment(ToQtAlignment(label.Align));
                QPalette palette = widget->palette();
                const QColor color = ToQColor(label.ForeColor);
                palette.setColor(QPalette::Active, QPalette::WindowText, color);
                palette.setColor(QPalette::Inactive, QPalette::WindowText, color);
                widget->setPalette(palette);
                widget->setEnabled(c.Enabled);
                ApplyCursor(c, w);
                break;
            }
            case Kind::TextBox: {
                auto& box = static_cast<TextBox&>(c);
                auto* edit = static_cast<QLineEdit*>(w);
                ApplyGeometry(c, w);
                const QString text = QString::fromStdString(box.Text);
                if (edit->text() != text) edit->setText(text);
                edit->setFont(ToQFont(box.FontProp));
                edit->setEnabled(c.Enabled);
                edit->setFocusPolicy(c.TabStop ? Qt::StrongFocus : Qt::NoFocus);
                break;
            }
            case Kind::Line:
                static_cast<LineWidget*>(w)->UpdateGeometry();
                break;
            case Kind::Timer:
                return;
        }
        w->setVisible(c.Visible);
    }

    void ApplyForm(Form& form, QWidget* w) {
        w->setWindowTitle(QString::fromStdString(form.Caption));
        if (!form.Icon.get().empty()) {
            w->setWindowIcon(QIcon(QStringLiteral(":/art/") + QString::fromStdString(form.Icon) +
                                   QStringLiteral(".ico")));
        }
        Qt::WindowFlags flags = Qt::Window | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                                Qt::MSWindowsFixedSizeDialogHint;
        if (form.ControlBox) flags |= Qt::WindowCloseButtonHint;
        if (form.MinButton) flags |= Qt::WindowMinimizeButtonHint;
        if (form.MaxButton) flags |= Qt::WindowMaximizeButtonHint;
        if (w->windowFlags() != flags) w->setWindowFlags(flags);
        w->setFixedSize(std::max(1, ToPixels(form.ScaleWidth)),
                        std::max(1, ToPixels(form.ScaleHeight)));
        w->move(ToPixels(form.Left), ToPixels(form.Top));
        ApplyCursor(form, w);
        w->update();
    }

    // Windowed controls in front of the graphical ones, each group in the model's order.
    static void Restack(Control& container, const std::unordered_map<const Control*, View>& views) {
        const auto& children = container.Children();
        for (int pass = 0; pass < 2; ++pass) {
            const bool windowed = pass == 1;  // raised last: in front
            for (auto it = children.rbegin(); it != children.rend(); ++it) {
                const bool isWindowed =
                    (*it)->kind == Kind::PictureBox || (*it)->kind == Kind::TextBox;
                if (isWindowed != windowed) continue;
                if (auto v = views.find(*it); v != views.end()) v->second.widget->raise();
            }
        }
    }

    void Build(Control& c, QWidget* parent, Form& form) {
        QWidget* w = nullptr;
        switch (c.kind) {
            case Kind::PictureBox:
                w = new PictureBoxWidget(static_cast<PictureBox&>(c), *this, parent);
                break;
            case Kind::Label:
                w = new LabelWidget(static_cast<Label&>(c), *this, parent);
                break;
            case Kind::TextBox: {
                auto* edit = new QLineEdit(parent);
                auto& box = static_cast<TextBox&>(c);
                QObject::connect(edit, &QLineEdit::textEdited, edit,
                                 [&box](const QString& text) { box.Text = text.toStdString(); });
                w = edit;
                break;
            }
            case Kind::Line:
                w = new LineWidget(static_cast<Line&>(c), parent);
                break;
            case Kind::Timer:
            case Kind::Form:
                break;
        }
        if (w) {
            w->setObjectName(QString::fromStdString(c.DisplayName()));
            views[&c] = {w, &form, false, Look(c)};
            Apply(c, w);
        }
        QWidget* inner = w ? w : parent;
        for (Control* child : c.Children()) Build(*child, inner, form);
        Restack(c, views);
    }

    void CloseCopyWindow() {
        delete copyWindow.data();
        copyWindow = nullptr;
        copyStartMs = -1;
        copyPaintMs = -1;
    }
};

QtBackend::QtBackend(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
    if (!QApplication::instance()) impl_->ownedApp = std::make_unique<QApplication>(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
}

QtBackend::~QtBackend() {
    if (impl_->overrideCursor) QGuiApplication::restoreOverrideCursor();
    impl_->CloseCopyWindow();
    impl_->views.clear();
    impl_->windows.clear();
    impl_->context.reset();
}

void QtBackend::Show(Application& app, Form& form) {
    impl_->app = &app;
    impl_->PruneDeadForms();
    if (auto it = impl_->windows.find(&form); it != impl_->windows.end()) {
        for (auto v = impl_->views.begin(); v != impl_->views.end();) {
            v = v->second.form == &form ? impl_->views.erase(v) : std::next(v);
        }
        impl_->windows.erase(it);
    }
    auto top = std::make_unique<FormWidget>(form, *impl_);
    top->setObjectName(QString::fromStdString(form.DisplayName()));
    impl_->views[&form] = {top.get(), &form, false, {}};
    impl_->Apply(form, top.get());
    for (Control* child : form.Children()) impl_->Build(*child, top.get(), form);
    Impl::Restack(form, impl_->views);
    QWidget* shown = top.get();
    impl_->windows[&form] = std::move(top);
    if (form.Visible) shown->show();
    // Showing may have moved the frame; the model keeps its own position.
    shown->move(qtui::ToPixels(form.Left), qtui::ToPixels(form.Top));
}

int QtBackend::Exec(Application& app) {
    impl_->app = &app;
    if (app.Ended()) return app.ExitCode();
    impl_->inExec = true;
    impl_->SyncDirty();
    QTimer loop;
    QObject::connect(&loop, &QTimer::timeout, impl_->context.get(), [this] { impl_->Pump(true); });
    loop.start(kLoopIntervalMs);
    impl_->Pump(true);
    const int rc = QApplication::exec();
    impl_->inExec = false;
    return app.Ended() ? app.ExitCode() : rc;
}

void QtBackend::Sync() { impl_->SyncDirty(); }

bool QtBackend::ApplyChanges() { return impl_->SyncDirty(); }

void QtBackend::AnswerMessageBoxesAfter(int ms) { impl_->answerAfterMs = ms; }

void* QtBackend::WidgetOf(Form& form) {
    auto it = impl_->windows.find(&form);
    return it == impl_->windows.end() ? nullptr : it->second.get();
}

void* QtBackend::WidgetOf(Control& control) {
    auto it = impl_->views.find(&control);
    return it == impl_->views.end() ? nullptr : it->second.widget;
}

std::int64_t QtBackend::NowMs() { return CoarseNowMs(); }

void QtBackend::ProcessEvents() {
    impl_->SyncDirty();
    {
        NestingGuard guard(impl_->nested);
        QCoreApplication::processEvents();
    }
    // Input that arrived while Qt was busy reaches the model here, outside Qt's frames.
    impl_->DeliverInput();
    impl_->SyncDirty();
}

void QtBackend::MessageBox(const std::string& prompt, const std::string& title) {
    impl_->SyncDirty();
    QWidget* parent = impl_->windows.empty() ? nullptr : impl_->windows.begin()->second.get();
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(prompt), QMessageBox::Ok, parent);
    // The box is the system's: it shows the ordinary pointer even while the program is busy.
    const bool busy = impl_->overrideCursor;
    if (busy) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    // On a screen that nobody sees (tests, screenshots) the box answers itself.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        QTimer::singleShot(0, &box, &QMessageBox::accept);
    } else if (impl_->answerAfterMs > 0) {
        QTimer::singleShot(impl_->answerAfterMs, &box, &QMessageBox::accept);
    }
    {
        NestingGuard guard(impl_->nested);
        box.exec();
    }
    if (busy) QGuiApplication::restoreOverrideCursor();
}

double QtBackend::ScreenWidth() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->geometry().width() : 1920) * TwipsPerPixel;
}

double QtBackend::ScreenHeight() {
    QScreen* screen = QGuiApplication::primaryScreen();
    return (screen ? screen->geometry().height() : 1080) * TwipsPerPixel;
}

double QtBackend::FrameExtraWidth() {
    for (auto& [form, widget] : impl_->windows) {
        if (widget->isVisible())
            return (widget->frameGeometry().width() - widget->width()) * double(TwipsPerPixel);
    }
    return 2 * 8 * TwipsPerPixel;  // a typical frame until a window shows the real one
}

double QtBackend::FrameExtraHeight() {
    for (auto& [form, widget] : impl_->windows) {
        if (widget->isVisible()) {
            return (widget->frameGeometry().height() - widget->height()) * double(TwipsPerPixel);
        }
    }
    return (2 * 8 + 23) * TwipsPerPixel;
}

void QtBackend::Terminate(int exitCode) {
    if (!impl_->inExec) return;  // a test drives the backend: the model records the end
    // The program ends at once, as the process's end would release every handle.
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(exitCode);
}

void QtBackend::Invalidate(Control& control) {
    auto it = impl_->views.find(&control);
    if (it == impl_->views.end() || it->second.dirty) return;
    it->second.dirty = true;
    impl_->dirty.push_back(&control);
}

void QtBackend::PointerChanged(MousePointer pointer) {
    if (impl_->overrideCursor) {
        QGuiApplication::restoreOverrideCursor();
        impl_->overrideCursor = false;
    }
    if (pointer == MousePointer::Default) return;
    QGuiApplication::setOverrideCursor(pointer == MousePointer::Hourglass ? QCursor(Qt::WaitCursor)
                                                                          : impl_->Hand());
    impl_->overrideCursor = true;
}

void QtBackend::FocusChanged(Control* control) {
    if (!control) return;
    impl_->SyncDirty();
    if (auto it = impl_->views.find(control); it != impl_->views.end()) {
        it->second.widget->setFocus(Qt::OtherFocusReason);
    }
}

void QtBackend::CopyProgress(std::uint64_t done, std::uint64_t total, bool finished,
                             const std::string& item) {
    if (finished) {
        impl_->CloseCopyWindow();
        return;
    }
    const std::int64_t now = NowMs();
    if (impl_->copyStartMs < 0) impl_->copyStartMs = now;
    if (!impl_->copyWindow) {
        if (now - impl_->copyStartMs < kCopyWindowDelayMs) return;
        // The window belongs to the form that started the copy, as the shell's copy dialog
        // belongs to the window that called it: in front of it and centred on it.
        QWidget* owner = nullptr;
        for (const auto& [form, widget] : impl_->windows) {
            if (widget->isVisible()) owner = widget.get();
        }
        auto* window = new QProgressDialog(owner);
        window->setWindowTitle(QStringLiteral("Copiando..."));
        window->setCancelButton(nullptr);
        window->setRange(0, 1000);
        window->setMinimumDuration(0);
        window->setAutoClose(false);
        window->setAutoReset(false);
        window->setMinimumWidth(360);
        window->show();
        if (owner) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(owner->frameGeometry().center());
            window->move(frame.topLeft());
        }
        impl_->copyWindow = window;
    }
    // The file's own name, as the shell shows it, without the folders above it.
    const auto slash = item.find_last_of("/\\");
    const QString name =
        QString::fromStdString(slash == std::string::npos ? item : item.substr(slash + 1));
    if (impl_->copyWindow->labelText() != name) impl_->copyWindow->setLabelText(name);
    const int value =
        total ? static_cast<int>(std::min<std::uint64_t>(1000, done * 1000 / total)) : 0;
    impl_->copyWindow->setValue(value);
    // The copy runs on this thread: let the window paint now and then.
    if (now - impl_->copyPaintMs >= 50) {
        impl_->copyPaintMs = now;
        NestingGuard guard(impl_->nested);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

}  // namespace forms
