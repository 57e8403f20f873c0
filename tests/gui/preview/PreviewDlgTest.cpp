#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "gui/preview/CLedPanel.h"
#include "gui/preview/CPreviewDlg.h"
#include "gui/preview/PreviewOwner.h"
#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
#include "render/FramePainter.h"
#include "support/CellLines.h"

namespace {

constexpr int32_t kRed1x10 = 0;
constexpr int32_t kRed2x40 = 4;
constexpr int32_t kRed4x40 = 6;
constexpr int32_t kTricolor4x20 = 12;
constexpr int32_t kTricolor4x40 = 13;
constexpr int kBoundMs = 5000;

class FakeOwner : public IPreviewOwner {
public:
    int32_t PreviewSignModel() const override { return model; }
    const std::vector<CellLine>* PreviewSourceLines() const override { return lines; }
    void OnPreviewClosed() override { ++closedNotices; }

    int32_t model = kTricolor4x40;
    const std::vector<CellLine>* lines = nullptr;
    int closedNotices = 0;
};

// Three colours, four sizes, blinking and steady characters, and a line longer than the sign.
std::vector<CellLine> MixedMessage() {
    return {Join(Join(Cells("Hi", 2, kGreen), Cells("there", 1, kYellow, true)), Cells("!", 3)),
            Join(Cells("SALE", 1, kRed, true), Cells("0123456789abcdefghijklmnopqrstuvwxyz+-*/")),
            Cells("Z", 4, kGreen)};
}

// What the panel must show, step by step: the frames of a preview opened at the same moment.
struct Reference {
    QImage Next(ViewPosition view = {}) {
        return PaintFrame(sequence.Step(lines, settings, model, view), GetAreaSize(model));
    }

    std::vector<CellLine> lines;
    MessageSettings settings;
    int32_t model = kTricolor4x40;
    FrameSequence sequence = {};
};

// One paint of the panel, as a picture: the frame of its last step.
QImage Picture(CLedPanel& panel) {
    return panel.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage StepPicture(CLedPanel& panel) {
    panel.Step();
    return Picture(panel);
}

QRect ThumbRect(const QScrollBar& bar) {
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.subControls = QStyle::SC_All;
    option.orientation = bar.orientation();
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    if (bar.orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider,
                                       &bar);
}

class PreviewDlgTest : public testing::Test {
protected:
    PreviewDlgTest() {
        settings.position = kPositionDefault;
        owner.lines = &lines;
    }

    ~PreviewDlgTest() override {
        delete preview;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Opens the window, which shows the first step at once; its timer is stopped so that only
    // the test steps the panel.
    CPreviewDlg& Open(bool shown = false, QWidget* parent = nullptr) {
        preview = new CPreviewDlg(owner, settings, parent);
        timer = preview->findChild<QTimer*>("previewTimer");
        panel = preview->findChild<CLedPanel*>();
        EXPECT_NE(timer, nullptr);
        EXPECT_NE(panel, nullptr);
        timer->stop();
        if (shown) {
            preview->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(preview));
            Settle();
        }
        return *preview;
    }

    Reference Expected() const { return Reference{lines, settings, owner.model}; }

    // Lets every pending paint happen.
    static void Settle() {
        for (int pass = 0; pass < 3; ++pass) {
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    // Runs `action` and waits for the paint it asks for; returns the number of steps it made.
    int64_t StepsOf(const std::function<void()>& action) {
        const int64_t before = panel->ScrollStep();
        const bool blinkBefore = panel->BlinkOn();
        action();
        // A step that never comes shows as 0 steps.
        static_cast<void>(
            QTest::qWaitFor([&] { return panel->BlinkOn() != blinkBefore; }, kBoundMs));
        Settle();
        return panel->ScrollStep() - before;
    }

    QScrollBar& Bar(const char* name) { return *preview->findChild<QScrollBar*>(name); }

    std::vector<CellLine> lines = MixedMessage();
    MessageSettings settings;
    FakeOwner owner;
    QPointer<CPreviewDlg> preview;
    CLedPanel* panel = nullptr;
    QTimer* timer = nullptr;
};

TEST_F(PreviewDlgTest, ThePanelTakesItsModelsPlaceAndTheBarsTheirRanges) {
    struct Case {
        int32_t model;
        QSize area;
        int horizontalMaximum;  // 0: the bar is hidden
    };
    const Case cases[] = {{kRed1x10, {240, 32}, 0},
                          {kRed2x40, {480, 64}, 21},
                          {kTricolor4x20, {480, 128}, 0},
                          {kRed4x40, {480, 128}, 21}};
    owner.model = kTricolor4x20;
    CPreviewDlg& dialog = Open();
    const QRect box = dialog.findChild<QGroupBox*>("areaBox")->geometry();
    const QPoint slot(box.left() - (480 - box.width()) / 2, box.top());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        owner.model = c.model;
        dialog.Relayout();
        EXPECT_EQ(panel->geometry(), QRect(slot, c.area));
        EXPECT_EQ(panel->Model(), c.model);
        QScrollBar& across = Bar("horizontalBar");
        EXPECT_EQ(across.isHidden(), c.horizontalMaximum == 0);
        EXPECT_EQ(across.value(), 1);
        if (c.horizontalMaximum != 0) {
            EXPECT_EQ(across.minimum(), 1);
            EXPECT_EQ(across.maximum(), c.horizontalMaximum);
            EXPECT_EQ(across.geometry().topLeft(), panel->geometry().bottomLeft() + QPoint(0, 1));
            EXPECT_EQ(across.width(), c.area.width());
        }
        EXPECT_TRUE(Bar("verticalBar").isHidden());
    }
    // The largest panel and both bars fit in the window.
    const int bar = Bar("verticalBar").width();
    EXPECT_TRUE(dialog.rect().contains(QRect(slot, QSize(480 + bar, 128 + bar))));
    EXPECT_FALSE(dialog.isModal());
    EXPECT_EQ(dialog.windowTitle(), "Message Preview");
    EXPECT_EQ(dialog.accessibleName(), "Message Preview");
    EXPECT_EQ(Bar("horizontalBar").accessibleName(), "Horizontal position");
    EXPECT_EQ(Bar("verticalBar").accessibleName(), "Vertical position");
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(panel);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Graphic);
    EXPECT_EQ(accessible->text(QAccessible::Name), "LED panel");
}

// Each picture is the frame dots of the same step, from the first picture of a fresh window on;
// without a message, or with an empty one, the panel stays black.
TEST_F(PreviewDlgTest, EachPictureIsTheFrameOfItsStep) {
    const std::vector<CellLine> empty;
    struct Case {
        int32_t effect;
        const std::vector<CellLine>* source;
    };
    const Case cases[] = {{kEffectDefault, &lines},
                          {kEffectBlinkWholeMessage, &lines},
                          {kEffectScrollRepeatedly, &lines},
                          {kEffectScrollRepeatedly, nullptr},
                          {kEffectDefault, &empty}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.effect);
        settings.effect = c.effect;
        owner.lines = c.source;
        Open();
        Reference expected{c.source != nullptr ? *c.source : empty, settings, owner.model};
        EXPECT_EQ(Picture(*panel), expected.Next()) << "the first step, at once";
        for (int step = 1; step < 3; ++step) {
            EXPECT_EQ(StepPicture(*panel), expected.Next()) << "step " << step;
        }
        delete preview;
    }
    // "Blink whole message": the first picture is empty, the second shows the message.
    const QImage black = PaintFrame({}, GetAreaSize(kTricolor4x40));
    settings.effect = kEffectBlinkWholeMessage;
    owner.lines = &lines;
    Open();
    EXPECT_EQ(Picture(*panel), black);
    EXPECT_NE(StepPicture(*panel), black);
}

// On a screen of pixel ratio 2 the panel keeps its size and each pixel becomes a sharp 2 x 2
// block.
TEST_F(PreviewDlgTest, AtPixelRatioTwoThePictureIsTheFrameDoubledNotSmoothed) {
    Open();
    QImage picture(960, 256, QImage::Format_RGB32);
    picture.setDevicePixelRatio(2);
    panel->render(&picture);
    picture.setDevicePixelRatio(1);
    EXPECT_EQ(panel->size(), QSize(480, 128));
    EXPECT_EQ(picture,
              Expected().Next().scaled(960, 256, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// A click on a bar is exactly one step: the blink phase turns, the scroll moves on, and the
// view has moved by the click. Even a click that cannot move the thumb further is a step.
TEST_F(PreviewDlgTest, ABarClickMovesTheViewOneUnitAndStepsOnce) {
    settings.effect = kEffectScrollRepeatedly;
    Open(true);
    QScrollBar& bar = Bar("horizontalBar");
    const QPoint leftArrow(2, bar.height() / 2);
    const QPoint rightArrow(bar.width() - 3, bar.height() / 2);
    struct Click {
        QPoint at;
        int position;
    };
    const Click clicks[] = {
        {rightArrow, 2}, {rightArrow, 3}, {leftArrow, 2}, {leftArrow, 1}, {leftArrow, 1}};
    for (const Click& click : clicks) {
        SCOPED_TRACE(click.position);
        EXPECT_EQ(StepsOf([&] { QTest::mouseClick(&bar, Qt::LeftButton, {}, click.at); }), 1);
        EXPECT_EQ(bar.value(), click.position);
    }
    // The picture after a click shows character units 2 to 21 of the sign at position 2.
    Reference expected = Expected();
    expected.sequence = FrameSequence(panel->ScrollStep(), panel->BlinkOn());
    QTest::mouseClick(&bar, Qt::LeftButton, {}, rightArrow);
    Settle();
    EXPECT_EQ(Picture(*panel), expected.Next(ViewPosition{2, 1}));
}

TEST_F(PreviewDlgTest, DraggingTheThumbMovesTheViewAndReleasingChangesNothing) {
    settings.effect = kEffectScrollRepeatedly;
    Open(true);
    QScrollBar& bar = Bar("horizontalBar");
    const QPoint grip = ThumbRect(bar).center();
    QTest::mousePress(&bar, Qt::LeftButton, {}, grip);
    Settle();
    const int64_t pressed = panel->ScrollStep();
    const QPoint dragged = grip + QPoint(bar.width() / 2, 0);
    EXPECT_EQ(StepsOf([&] { QTest::mouseMove(&bar, dragged); }), 1);
    const int position = bar.value();
    EXPECT_GT(position, 1);
    EXPECT_EQ(panel->View().horizontal, position);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, dragged);
    Settle();
    EXPECT_EQ(bar.value(), position);
    EXPECT_EQ(panel->ScrollStep(), pressed + 1);
}

// Only the panel's own steps move the animation: not a neighbour redrawn, not the window turning
// inactive and active, not the window hidden and exposed again; the picture stays the frame of
// the last step.
TEST_F(PreviewDlgTest, RepaintsAndExposesDoNotStepThePanel) {
    settings.effect = kEffectScrollRepeatedly;
    Open(true);
    const int64_t before = panel->ScrollStep();
    const bool blinkBefore = panel->BlinkOn();
    const QImage shown = Picture(*panel);
    Bar("horizontalBar").repaint();
    QEvent inactive(QEvent::WindowDeactivate);
    QApplication::sendEvent(preview, &inactive);
    QEvent active(QEvent::WindowActivate);
    QApplication::sendEvent(preview, &active);
    for (int expose = 0; expose < 2; ++expose) {
        preview->hide();
        Settle();
        preview->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(preview));
        panel->repaint();
        Settle();
    }
    EXPECT_EQ(panel->ScrollStep(), before);
    EXPECT_EQ(panel->BlinkOn(), blinkBefore);
    EXPECT_EQ(Picture(*panel), shown);
}

TEST_F(PreviewDlgTest, TheTimerStepsThePanelEvery540Milliseconds) {
    settings.effect = kEffectScrollRepeatedly;
    Open(true);
    EXPECT_EQ(timer->interval(), 540);
    EXPECT_EQ(StepsOf([&] { QMetaObject::invokeMethod(timer, "timeout"); }), 1);
}

// Relayout takes the owner's model and message again and restarts the scroll from home with both
// bars at 1; restarting the scroll alone keeps model and view. Neither resets the blink phase.
TEST_F(PreviewDlgTest, RelayoutAndAnEffectChangeRestartTheScroll) {
    const std::vector<CellLine> other = {Cells("ANOTHER MESSAGE", 2, kYellow)};
    settings.effect = kEffectScrollRepeatedly;
    for (bool relayout : {true, false}) {
        SCOPED_TRACE(relayout);
        owner.model = kTricolor4x40;
        owner.lines = &lines;
        Open();
        Bar("horizontalBar").setValue(4);
        for (int step = 0; step < 3; ++step) {
            panel->Step();
        }
        owner.model = kRed2x40;
        owner.lines = &other;
        Reference expected{relayout ? other : lines, settings, relayout ? kRed2x40 : kTricolor4x40,
                           FrameSequence(0, panel->BlinkOn())};
        const ViewPosition view{relayout ? 1 : 4, 1};
        if (relayout) {
            preview->Relayout();
        } else {
            preview->RestartScroll();
            panel->Step();
        }
        EXPECT_EQ(Bar("horizontalBar").value(), view.horizontal);
        EXPECT_EQ(Picture(*panel), expected.Next(view));
        EXPECT_EQ(StepPicture(*panel), expected.Next(view));
        delete preview;
    }
}

// Close box, Escape, or the main window ending: the owner is told as the close is accepted and
// again as the window is gone, and the next window starts from the first step.
TEST_F(PreviewDlgTest, ClosingTellsTheOwnerTwiceAndTheNextWindowStartsAfresh) {
    settings.effect = kEffectScrollRepeatedly;
    QWidget mainWindow;
    mainWindow.show();
    const std::function<void()> closings[] = {
        [&] { preview->close(); },
        [&] { QTest::keyClick(preview, Qt::Key_Escape); },
        [&] { QApplication::closeAllWindows(); },
    };
    for (const auto& closeIt : closings) {
        owner.closedNotices = 0;
        Open(true, &mainWindow);
        EXPECT_TRUE(preview->isWindow());
        panel->Step();
        panel->Step();
        closeIt();
        EXPECT_EQ(owner.closedNotices, 1);
        EXPECT_FALSE(preview->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(preview.isNull());
        EXPECT_EQ(owner.closedNotices, 2);
    }
    Open();
    EXPECT_EQ(Picture(*panel), Expected().Next());
}

}  // namespace
