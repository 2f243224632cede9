#include <gtest/gtest.h>

#include <QGuiApplication>

#include "render/Form1.h"

namespace {

class MouseNavigation : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (QGuiApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "render_tests";
            static char* argv[] = {name, nullptr};
            new QGuiApplication(argc, argv);
        }
    }
    void SetUp() override {
        form.zoom = 11.0f;
    }
    Form1 form;
};

constexpr int16_t kLeft = 1, kRight = 2, kMiddle = 4;

TEST_F(MouseNavigation, LeftDragTurnsByTenTwipsPerDegreeRoundingTiesToEven) {
    form.Form_MouseMove(0, 0, 1000, 1000);
    form.Form_MouseMove(kLeft, 0, 1015, 1000);
    EXPECT_EQ(form.yaw, -2);  // -1.5 rounds to -2
    form.Form_MouseMove(kLeft, 0, 1030, 1000);
    EXPECT_EQ(form.yaw, -4);  // -3.5 rounds to -4
    form.Form_MouseMove(kLeft, 0, 1015, 1000);
    EXPECT_EQ(form.yaw, -2);  // -2.5 rounds to -2
    form.Form_MouseMove(kLeft, 0, 1015, 1015);
    EXPECT_EQ(form.pitch, 2);  // dragging down raises pitch
    EXPECT_EQ(form.zoom, 11.0f);
}

TEST_F(MouseNavigation, SmallMovesTurnNothingButStillMoveTheLastPosition) {
    form.Form_MouseMove(kLeft, 0, 4, 0);
    EXPECT_EQ(form.yaw, 0);  // 0.4 degrees rounds away
    EXPECT_EQ(form.lastX, 4);
    form.Form_MouseMove(kLeft, 0, 9, 0);
    EXPECT_EQ(form.yaw, 0);  // exactly half a degree: ties to the even 0
    form.yaw = 1;
    form.Form_MouseMove(kLeft, 0, 14, 0);
    EXPECT_EQ(form.yaw, 0);  // 0.5 ties to 0
}

TEST_F(MouseNavigation, FirstDragMeasuresFromTheOrigin) {
    form.Form_MouseMove(kLeft, 0, 100, 0);
    EXPECT_EQ(form.yaw, -10);
}

TEST_F(MouseNavigation, RightDragZoomsWithinTwoAndFortyFour) {
    form.Form_MouseMove(kRight, 0, 0, 300);
    EXPECT_FLOAT_EQ(form.zoom, 12.0f);
    form.Form_MouseMove(kRight, 0, 0, 30000);
    EXPECT_EQ(form.zoom, 44.0f);
    form.Form_MouseMove(kRight, 0, 0, -60000);
    EXPECT_EQ(form.zoom, 2.0f);
    EXPECT_EQ(form.yaw, 0);
    EXPECT_EQ(form.pitch, 0);
}

TEST_F(MouseNavigation, OtherButtonStatesOnlyTrackThePointer) {
    for (int16_t buttons : {int16_t{0}, kMiddle, int16_t(kLeft | kRight), int16_t(kLeft | kMiddle)}) {
        form.Form_MouseMove(buttons, 0, 500.4f, 700.5f);
        EXPECT_EQ(form.yaw, 0);
        EXPECT_EQ(form.pitch, 0);
        EXPECT_EQ(form.zoom, 11.0f);
        EXPECT_EQ(form.lastX, 500);
        EXPECT_EQ(form.lastY, 700);  // 700.5 ties to even
        form.Form_MouseMove(0, 0, 0, 0);
    }
}

}  // namespace
