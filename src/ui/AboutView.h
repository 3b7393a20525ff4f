#pragma once
// The About tab: icon, name, version, tagline, web site and support links, the update check button and the
// footer, centred. Main thread; owned by the main view.
#include <QUrl>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace vokari {

class AboutView : public QWidget {
public:
    struct Actions {
        std::function<void(const QUrl&)> openUrl; // the desktop's default handler
        std::function<void()> checkForUpdates;    // a visible, user-initiated check
    };

    AboutView(Actions actions, QWidget* parent = nullptr);

    // "Version " + the build's version, or "?" when the build carries none.
    static QString versionText(const QString& version);
    static QUrl websiteUrl();
    static QUrl supportMailUrl();

    void openWebsite();
    void openEmail();

private:
    Actions actions;
};

} // namespace vokari
