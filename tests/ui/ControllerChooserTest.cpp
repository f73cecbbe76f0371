// Several controllers: the chooser's pick, made with the keyboard, is kept in the settings and
// moves the document's link to that controller at the next watch.
#include "UiTestSupport.h"

#include "app/ControllerChooser.h"
#include "document/DocumentTestSupport.h"
#include "document/Settings.h"

#include <QApplication>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

TEST(ControllerChooser, ChoiceIsKeptAndTheWatchMovesToIt) {
    TestApp();
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    ScriptedDocument d;
    const std::vector<PortInfo> present{{"Adafruit Sim", "", "scripted", "A1"},
                                        {"Adafruit Sim", "", "other", "B2"}};
    d.doc->m_controller.SetPortEnumerator([&] { return present; });
    d.doc->ConnectionWatch(); // nothing chosen yet: the first one
    ASSERT_TRUE(d.doc->m_bDeviceConnected);
    EXPECT_EQ(d.line->PortName(), "scripted");

    QTimer::singleShot(0, [] {
        auto* chooser = qobject_cast<CControllerChooser*>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        QTest::keyClick(chooser->List(), Qt::Key_Down);
        QTest::keyClick(chooser->List(), Qt::Key_Return);
    });
    EXPECT_TRUE(ChooseController(*d.doc, present, false, nullptr));
    EXPECT_EQ(Settings::ChosenController(), "B2");

    d.doc->ConnectionWatch();
    EXPECT_TRUE(d.doc->m_bDeviceConnected);
    EXPECT_EQ(d.line->PortName(), "other");
}

} // namespace
