// The update progress window and alerts on Qt's offscreen platform: Escape, × and the window manager's close ask
// the updater to cancel, and the window stays when it refuses; alert buttons answer by their index.
#include "OffscreenApp.h"
#include "ui/QtUpdatePresenter.h"
#include "ui/UpdateProgressWindow.h"
#include "update/UpdateTexts.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace vokari;

TEST(UpdateViews, ProgressWindowCancelsOnEscapeCloseAndItsButtonOnlyWhenTheUpdaterAgrees) {
    uitest::offscreenApp();
    QtUpdatePresenter presenter;
    int asked = 0;
    bool agree = false;
    presenter.showProgress("2.0.0", [&] {
        ++asked;
        return agree;
    });
    QPointer<UpdateProgressWindow> window = presenter.progressWindow();
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->size(), QSize(320, 150));
    EXPECT_EQ(window->titleLabel()->text(), "Updating to 2.0.0");
    EXPECT_EQ(window->statusLabel()->text(), "Downloading update...");
    presenter.updateStatus("Installing...");
    EXPECT_EQ(window->statusLabel()->text(), "Installing...");

    // Refused (an installation under way): the window stays, whichever way the user asked.
    QTest::keyClick(window, Qt::Key_Escape);
    window->close();
    window->cancelButton()->click();
    EXPECT_EQ(asked, 3);
    EXPECT_TRUE(window->isVisible());

    agree = true;
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(asked, 4);
    uitest::processEvents(20);
    EXPECT_FALSE(window); // closed and deleted

    // Closed by the updater itself: no cancel is asked.
    presenter.showProgress("2.0.0", [&] { return ++asked > 0; });
    window = presenter.progressWindow();
    presenter.closeProgress();
    uitest::processEvents(20);
    EXPECT_FALSE(window);
    EXPECT_EQ(asked, 4);
}

TEST(UpdateViews, AlertButtonsAreNamedByTheirTitlesAndEscapePicksTheLast) {
    uitest::offscreenApp();
    std::vector<std::size_t> chosen;
    QPointer<QMessageBox> box = QtUpdatePresenter::makeAlertBox(texts::updateAvailable("2.0.0", "1.0.0"),
                                                                [&](std::size_t i) { chosen.push_back(i); });
    box->show();
    EXPECT_EQ(box->windowTitle(), "Update Available");
    QStringList names;
    for (QAbstractButton* button : box->buttons()) {
        names << button->accessibleName();
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"Later", "Update Now"}));
    EXPECT_EQ(box->defaultButton()->text(), "Update Now");
    QTest::keyClick(box, Qt::Key_Escape); // "Later"
    uitest::processEvents(20);
    EXPECT_EQ(chosen, std::vector<std::size_t>{1});
    EXPECT_FALSE(box);
}
