// The live window of a played sign: what it adds to the LED panel is taking each new message in
// place of the last, from a fresh first step, on the model it was opened with.
#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

#include "gui/preview/CLedPanel.h"
#include "gui/preview/CSignWindow.h"
#include "preview/FrameSequence.h"
#include "preview/SignModel.h"
#include "render/FramePainter.h"
#include "support/CellLines.h"

namespace {

constexpr int32_t kRed1x10 = 0;
constexpr int32_t kTricolor2x20 = 10;
constexpr int32_t kTricolor2x40 = 11;

DecodedMessage Message(std::vector<CellLine> lines, int32_t effect) {
    DecodedMessage message;
    message.lines = std::move(lines);
    message.settings.effect = effect;
    return message;
}

// The pictures a freshly opened preview shows of the message on the model, one a step.
struct Reference {
    QImage Next(ViewPosition view = {}) {
        MessageSettings settings = message.settings;
        settings.signModel = model;
        return PaintFrame(sequence.Step(message.lines, settings, model, view), GetAreaSize(model));
    }

    DecodedMessage message;
    int32_t model;
    FrameSequence sequence = {};
};

class SignWindowTest : public testing::Test {
protected:
    // A window whose timer is stopped, so that only the test steps the panel.
    CSignWindow& Open(int32_t model) {
        window = std::make_unique<CSignWindow>(model);
        panel = window->findChild<CLedPanel*>();
        timer = window->findChild<QTimer*>("signTimer");
        EXPECT_NE(panel, nullptr);
        EXPECT_NE(timer, nullptr);
        timer->stop();
        return *window;
    }

    // One paint of the panel: the frame of its last step.
    QImage Picture() { return panel->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    QImage StepPicture() {
        panel->Step();
        return Picture();
    }

    std::unique_ptr<CSignWindow> window;
    CLedPanel* panel = nullptr;
    QTimer* timer = nullptr;
};

// Each message replaces the last one, lines and settings both, and is shown from the first step
// of a fresh preview: blink phase and scroll both start again, in the middle of the last one's
// animation. A network string changes only the title.
TEST_F(SignWindowTest, EachMessageReplacesTheLastFromItsFirstStep) {
    const DecodedMessage messages[] = {
        Message({Join(Cells("Hi ", 1, kGreen, true), Cells("there", 2, kYellow)), Cells("SALE")},
                kEffectDefault),
        Message({Cells("SCROLLING ALONG", 1, kYellow, true)}, kEffectScrollRepeatedly),
        Message({Cells("WHOLE", 2, kGreen)}, kEffectBlinkWholeMessage),
    };
    CSignWindow& sign = Open(kTricolor2x20);
    EXPECT_EQ(sign.windowTitle(), "Lumivex sign: Tricolor 2 Line 20 Char");
    sign.ShowListening("tcp 127.0.0.1:49999");
    EXPECT_EQ(sign.windowTitle(),
              "Lumivex sign: Tricolor 2 Line 20 Char, listening on tcp 127.0.0.1:49999");
    EXPECT_EQ(Picture(), PaintFrame({}, GetAreaSize(kTricolor2x20))) << "black until a message";

    int64_t number = 0;
    for (const DecodedMessage& message : messages) {
        SCOPED_TRACE(number);
        sign.ShowMessage(++number, "tcp 127.0.0.1:40512", message);
        EXPECT_EQ(sign.windowTitle(), QString("Lumivex sign: Tricolor 2 Line 20 Char, message %1 "
                                              "from tcp 127.0.0.1:40512")
                                          .arg(number));
        ASSERT_NE(panel->SourceLines(), nullptr);
        EXPECT_EQ(*panel->SourceLines(), message.lines);
        Reference expected{message, kTricolor2x20};
        EXPECT_EQ(Picture(), expected.Next()) << "the first step, at once";
        for (int step = 1; step < 3; ++step) {
            EXPECT_EQ(StepPicture(), expected.Next()) << "step " << step;
        }
    }
    // The panel goes on with the last message.
    Reference expected{messages[2], kTricolor2x20};
    sign.ShowMessage(++number, "serial /tmp/ttySign", messages[2]);
    EXPECT_EQ(Picture(), expected.Next());
    sign.ShowNetworkString(++number, "serial /tmp/ttySign");
    EXPECT_EQ(sign.windowTitle(),
              "Lumivex sign: Tricolor 2 Line 20 Char, network string 5 from serial /tmp/ttySign");
    EXPECT_EQ(StepPicture(), expected.Next());
    EXPECT_EQ(StepPicture(), expected.Next());
}

// The panel is the model's; a sign wider than the panel is seen through the bar, as in the
// preview, and a message keeps the part in view.
TEST_F(SignWindowTest, TheModelSetsThePanelAndTheBar) {
    const struct {
        int32_t model;
        QSize area;
        int barMaximum;  // 0: no bar
    } cases[] = {{kRed1x10, {240, 32}, 0}, {kTricolor2x40, {480, 64}, 21}};
    const DecodedMessage message =
        Message({Cells("0123456789abcdefghijklmnopqrstuvwxyz+-*/", 1, kGreen)}, kEffectDefault);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        CSignWindow& sign = Open(c.model);
        EXPECT_EQ(panel->Model(), c.model);
        EXPECT_EQ(panel->size(), c.area);
        QScrollBar& bar = *sign.findChild<QScrollBar*>("horizontalBar");
        EXPECT_EQ(bar.isHidden(), c.barMaximum == 0);
        EXPECT_EQ(timer->interval(), 540);
        if (c.barMaximum == 0) {
            continue;
        }
        EXPECT_EQ(bar.maximum(), c.barMaximum);
        bar.setValue(c.barMaximum);
        sign.ShowMessage(1, "tcp 127.0.0.1:40512", message);
        Reference expected{message, c.model};
        EXPECT_EQ(Picture(), expected.Next(ViewPosition{c.barMaximum, 1}));
    }
}

}  // namespace
