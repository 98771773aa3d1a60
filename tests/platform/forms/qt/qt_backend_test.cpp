// The Qt window drawn from a small model form, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

#include "platform/forms/forms.h"
#include "platform/forms/qt/control_widgets.h"
#include "platform/forms/qt/qt_backend.h"

namespace {

using forms::Application;
using forms::QtBackend;

struct SampleForm : forms::Form {
    explicit SampleForm(Application& app) : Form(app, "frmSample") {
        Caption = "Instalador de teste";
        Icon = "icon";
        BackColor = forms::RGB(224, 224, 224);
        ScaleWidth = 16560;
        ScaleHeight = 7590;
        // The label is declared in front, but the windowed cover still lies over it.
        title.Move(0, 380, 16650, 675);
        title.Caption = "Olá! seja bem-vindo.";
        title.ForeColor = forms::RGB(128, 128, 128);
        title.FontProp = forms::Font{"Calibri Light", 27.75, 300, false};
        title.Align = forms::Alignment::Center;
        cover.Move(240, 1560, 16095, 3135);
        cover.BackColor = forms::vbWhite;
        cover.BorderStyle = 0;
        button.Move(6720, 1680, 2900, 615);
        button.BackColor = forms::RGB(46, 117, 182);
        button.Pointer = forms::MousePointer::Custom;
        caption.Move(0, 165, 2900, 270);
        caption.Caption = "Baixar arquivos";
        caption.ForeColor = forms::vbWhite;
        caption.FontProp = forms::Font{"Calibri", 11.25, 400, true};
        caption.Align = forms::Alignment::Center;
        caption.Pointer = forms::MousePointer::Custom;
        caption.Click = [this] { clicks.push_back("caption"); };
        logo.Move(360, 240, 2655, 855);
        logo.Picture = "logo";
        line.X1 = 3000;
        line.Y1 = 555;
        line.X2 = 13500;
        line.Y2 = 555;
    }
    forms::Label title{this, "title"};
    forms::PictureBox cover{this, "cover"};
    forms::PictureBox panel{this, "panel"};
    forms::PictureBox logo{this, "logo"};
    forms::PictureBox button{&panel, "button"};
    forms::Label caption{&button, "caption"};
    forms::Line line{&panel, "line"};
    std::vector<std::string> clicks;
};

class QtBackendTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "test_forms_qt";
        static char* argv[] = {name, nullptr};
        backend_ = new QtBackend(argc, argv);
    }
    static void TearDownTestSuite() {
        delete backend_;
        backend_ = nullptr;
    }

    QtBackendTest() {
        form.panel.Move(0, 1440, 16575, 3495);
        form.panel.BackColor = forms::vbWhite;
        backend().Show(app, form);
    }

    static QtBackend& backend() { return *backend_; }
    QWidget* widget(forms::Control& c) { return static_cast<QWidget*>(backend().WidgetOf(c)); }
    QWidget* top() { return static_cast<QWidget*>(backend().WidgetOf(form)); }

    // A left click as the mouse delivers it, at a point of the widget.
    static void LeftClick(QWidget* w, QPoint at) {
        const QPointF local(at), global(w->mapToGlobal(at));
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QApplication::sendEvent(w, &release);
    }

    static QtBackend* backend_;
    Application app{backend()};
    SampleForm form{app};
};

QtBackend* QtBackendTest::backend_ = nullptr;

TEST_F(QtBackendTest, WidgetsArePlacedInPixelsOfFifteenTwips) {
    ASSERT_NE(top(), nullptr);
    EXPECT_EQ(top()->size(), QSize(1104, 506));
    EXPECT_EQ(top()->windowTitle(), QString::fromUtf8("Instalador de teste"));
    EXPECT_EQ(top()->objectName(), "frmSample");
    EXPECT_EQ(widget(form.button)->geometry(), QRect(448, 112, 193, 41));
    EXPECT_EQ(widget(form.caption)->geometry(), QRect(0, 11, 193, 18));
    EXPECT_EQ(widget(form.caption)->parentWidget(), widget(form.button));
    EXPECT_EQ(widget(form.logo)->geometry(), QRect(24, 16, 177, 57));
    EXPECT_EQ(widget(form.caption)->objectName(), "caption");
    EXPECT_EQ(top()->windowFlags() & Qt::WindowMinMaxButtonsHint, Qt::WindowFlags());
    EXPECT_TRUE(top()->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(QtBackendTest, LabelsCarryCaptionColourFontAndAlignment) {
    auto* title = qobject_cast<QLabel*>(widget(form.title));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QString::fromUtf8("Olá! seja bem-vindo."));
    EXPECT_EQ(title->palette().color(QPalette::Active, QPalette::WindowText),
              QColor(128, 128, 128));
    EXPECT_EQ(title->font().family(), "Carlito");
    EXPECT_DOUBLE_EQ(title->font().pointSizeF(), 27.75);
    EXPECT_EQ(title->font().weight(), QFont::Light);
    EXPECT_EQ(title->alignment(), Qt::AlignHCenter | Qt::AlignTop);
    EXPECT_TRUE(title->wordWrap());
    EXPECT_FALSE(title->autoFillBackground());
    auto* caption = qobject_cast<QLabel*>(widget(form.caption));
    ASSERT_NE(caption, nullptr);
    EXPECT_TRUE(caption->font().underline());
    EXPECT_EQ(caption->font().weight(), QFont::Normal);
    EXPECT_EQ(caption->palette().color(QPalette::Active, QPalette::WindowText), QColor(Qt::white));
}

TEST_F(QtBackendTest, ModelChangesReachWidgetsWhenEventsAreProcessed) {
    form.cover.Visible = false;
    form.caption.Caption = "Aguarde...";
    form.button.Width = 1500;
    EXPECT_FALSE(widget(form.cover)->isHidden());
    backend().ProcessEvents();
    EXPECT_TRUE(widget(form.cover)->isHidden());
    EXPECT_EQ(qobject_cast<QLabel*>(widget(form.caption))->text(), "Aguarde...");
    EXPECT_EQ(widget(form.button)->width(), 100);
    form.cover.Visible = true;
    backend().Sync();
    EXPECT_FALSE(widget(form.cover)->isHidden());
}

TEST_F(QtBackendTest, WindowedControlsLieInFrontOfLabels) {
    // The title's rectangle reaches into the cover's: there the cover is on top.
    const QPoint inBoth(400, 110);
    EXPECT_EQ(top()->childAt(inBoth), widget(form.cover));
    form.cover.Visible = false;
    backend().Sync();
    EXPECT_EQ(top()->childAt(inBoth), widget(form.panel));
    EXPECT_EQ(top()->childAt(QPoint(400, 40)), widget(form.title));
}

TEST_F(QtBackendTest, ClickOnALabelWidgetReachesTheModelWhenEventsAreProcessed) {
    form.cover.Visible = false;
    backend().Sync();
    LeftClick(widget(form.caption), QPoint(96, 9));
    EXPECT_TRUE(form.clicks.empty());  // waits for the event loop
    backend().ProcessEvents();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"caption"});
    // A disabled picture box swallows clicks on its caption.
    form.button.Enabled = false;
    backend().Sync();
    LeftClick(widget(form.caption), QPoint(96, 9));
    backend().ProcessEvents();
    EXPECT_EQ(form.clicks.size(), 1u);
}

TEST_F(QtBackendTest, ClickOnACoveredControlGoesToTheCover) {
    form.cover.Click = [this] { form.clicks.push_back("cover"); };
    // The caption's widget is still there under the cover; the model decides who is hit.
    LeftClick(widget(form.caption), QPoint(96, 9));
    backend().ProcessEvents();
    EXPECT_EQ(form.clicks, std::vector<std::string>{"cover"});
}

TEST_F(QtBackendTest, ClickDuringAYieldEndsTheProgramFromInsideTheHandler) {
    form.cover.Visible = false;
    backend().Sync();
    form.caption.Click = [this] { app.End(3); };
    std::vector<std::string> steps;
    app.Dispatch([&] {
        steps.push_back("working");
        LeftClick(widget(form.caption), QPoint(96, 9));
        app.DoEvents();
        steps.push_back("after the yield");
    });
    EXPECT_EQ(steps, std::vector<std::string>{"working"});
    EXPECT_TRUE(app.Ended());
    EXPECT_EQ(app.ExitCode(), 3);
}

// The copy window belongs to the form: owned by it, centred on it, naming the file.
TEST_F(QtBackendTest, LongCopyShowsAProgressWindowOverTheFormUntilItFinishes) {
    auto copyWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle() == "Copiando...")
                return qobject_cast<QProgressDialog*>(w);
        }
        return static_cast<QProgressDialog*>(nullptr);
    };
    backend().CopyProgress(0, 1000, false, "dados/base.mdb");
    EXPECT_EQ(copyWindow(), nullptr);  // a short copy shows nothing
    const std::int64_t start = backend().NowMs();
    while (backend().NowMs() - start < 320) QThread::msleep(10);
    backend().CopyProgress(500, 1000, false, "dados/base.mdb");
    QProgressDialog* window = copyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->parentWidget(), top());
    EXPECT_EQ(window->labelText(), "base.mdb");
    EXPECT_LE(
        (window->frameGeometry().center() - top()->frameGeometry().center()).manhattanLength(), 2);
    backend().CopyProgress(1000, 1000, true, "dados/base.mdb");
    EXPECT_EQ(copyWindow(), nullptr);
}

TEST_F(QtBackendTest, TitleBarCloseRunsTheUnloadStepAndEnds) {
    bool unloaded = false;
    form.OnUnload = [&] { unloaded = true; };
    QCloseEvent close;
    QApplication::sendEvent(top(), &close);
    EXPECT_FALSE(close.isAccepted());
    backend().ProcessEvents();
    EXPECT_TRUE(unloaded);
    EXPECT_TRUE(app.Ended());
}

TEST_F(QtBackendTest, BusyPointerCoversTheApplication) {
    app.SetMousePointer(forms::MousePointer::Hourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    app.SetMousePointer(forms::MousePointer::Default);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(QtBackendTest, HandPointerIsTheArtworkCursorWithItsHotspotOnTheFingertip) {
    const QCursor cursor = widget(form.button)->cursor();
    ASSERT_EQ(cursor.shape(), Qt::BitmapCursor);
    const QImage image = cursor.pixmap().toImage();
    ASSERT_EQ(image.size(), QSize(32, 32));
    const QPoint hot = cursor.hotSpot();
    EXPECT_GT(qAlpha(image.pixel(hot)), 0);
    // Nothing of the hand lies above the hotspot.
    for (int y = 0; y < hot.y(); ++y) {
        for (int x = 0; x < 32; ++x) EXPECT_EQ(qAlpha(image.pixel(x, y)), 0) << x << "," << y;
    }
    EXPECT_EQ(widget(form.caption)->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(QtBackendTest, MessageBoxOnAnUnseenScreenAnswersItself) {
    std::vector<std::string> shown;
    app.AddMessageObserver([&](const std::string& text) { shown.push_back(text); });
    app.MsgBox("Erro ao registrar");
    EXPECT_EQ(shown, std::vector<std::string>{"Erro ao registrar"});
    for (QWidget* w : QApplication::topLevelWidgets()) {
        EXPECT_FALSE(w->isVisible() && w->inherits("QMessageBox"));
    }
}

TEST(Artwork, EveryPictureLoadsWithItsDesignedSize) {
    static int argc = 1;
    static char name[] = "test_forms_qt";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QApplication> owned;
    if (!QApplication::instance()) owned = std::make_unique<QApplication>(argc, argv);
    EXPECT_EQ(forms::qtui::ArtPixmap("logo").size(), QSize(182, 66));
    EXPECT_EQ(forms::qtui::ArtPixmap("ring").size(), QSize(40, 40));
    EXPECT_EQ(forms::qtui::ArtPixmap("check").size(), QSize(48, 36));
    EXPECT_TRUE(forms::qtui::ArtPixmap("missing").isNull());
    const QImage logo = forms::qtui::ArtPixmap("logo").toImage();
    EXPECT_EQ(QColor(logo.pixel(0, 0)), QColor(224, 224, 224));
    const QImage icon(":/art/icon.ico");
    EXPECT_EQ(icon.size(), QSize(46, 45));
    EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0);      // a rounded corner
    EXPECT_EQ(qAlpha(icon.pixel(23, 40)), 255);  // the tile
}

}  // namespace
