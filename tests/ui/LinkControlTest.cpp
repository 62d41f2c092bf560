#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QTest>
#include <QUrl>
#include <QWidget>
#include <vector>

#include "ui/qt/LinkControl.h"
#include "ui/qt/LinkControlClass.h"
#include "ui/qt/QtDialogFont.h"

// Stands in for the desktop's opener of https addresses.
class UrlRecorder final : public QObject {
    Q_OBJECT

  public:
    std::vector<QUrl> opened;
    Q_INVOKABLE void Open(const QUrl& url) { opened.push_back(url); }
};

namespace {

class RecordingTarget final : public MessageTarget {
  public:
    int Deliver(const DialogMessage& message) override {
        received.push_back(message);
        return 0;
    }
    std::vector<DialogMessage> received;
};

class LinkControlWidget : public testing::Test {
  protected:
    LinkControlWidget() {
        QDesktopServices::setUrlHandler("https", &opener, "Open");
        parent.resize(300, 100);
        linkClass.CreateLinkFont(&dialogFont);
        link = new LinkControl(linkClass, &parent);
        link->setGeometry(10, 10, 150, 40);
        parent.show();
    }
    ~LinkControlWidget() override { QDesktopServices::unsetUrlHandler("https"); }

    void ReleaseOver() { QTest::mouseRelease(link, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5)); }

    // How many pixels of the link's painted picture are pure blue, and the leftmost column holding one.
    std::pair<int, int> BluePixels() {
        const QImage picture = link->grab().toImage();
        int count = 0;
        int leftmost = picture.width();
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (picture.pixelColor(x, y) == QColor(0, 0, 255)) {
                    ++count;
                    leftmost = std::min(leftmost, x);
                }
            }
        }
        return {count, leftmost};
    }

    UrlRecorder opener;
    DialogFont dialogFont{QFont("IPAPGothic", 9)};
    LinkControlClass linkClass;
    QWidget parent;
    LinkControl* link = nullptr;
};

TEST_F(LinkControlWidget, PaintsItsDisplayTextBlueUnderlinedAndTakesItsHeight) {
    link->SetWindowText(QString::fromUtf8("Version 0.2\thttps://example.invalid/"));
    ASSERT_NE(linkClass.LinkFont(), nullptr);
    EXPECT_TRUE(linkClass.LinkFont()->underline());
    const auto [leftCount, leftColumn] = BluePixels();
    EXPECT_GT(leftCount, 0);
    QApplication::processEvents();
    EXPECT_EQ(link->height(), QFontMetrics(*linkClass.LinkFont()).height());
    EXPECT_EQ(link->width(), 150);

    link->Receive(link_message::AlignRight{});
    const auto [rightCount, rightColumn] = BluePixels();
    EXPECT_GT(rightColumn, leftColumn + 40);  // the same text, moved flush right

    link->setEnabled(false);
    EXPECT_EQ(BluePixels().first, rightCount);  // disabled looks the same
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(LinkControlWidget, AButtonUpNotifiesTheRegisteredWindowAndOpensNothing) {
    link->SetWindowText(QString::fromUtf8("Site\thttps://example.invalid/"));
    RecordingTarget notified;
    link->Receive(link_message::SetNotify{&notified, 1023});
    ReleaseOver();
    ASSERT_EQ(notified.received.size(), 1u);
    const auto* click = std::get_if<dialog_message::LinkClicked>(&notified.received[0]);
    ASSERT_NE(click, nullptr);
    EXPECT_EQ(click->notifyId, 1023);
    EXPECT_TRUE(opener.opened.empty());

    link->setEnabled(false);
    ReleaseOver();
    EXPECT_EQ(notified.received.size(), 1u);
}

TEST_F(LinkControlWidget, WithoutANotifyWindowTheTargetIsOpenedAndAnEmptyOneIsNot) {
    link->SetWindowText(QString::fromUtf8("Site\thttps://example.invalid/page"));
    ReleaseOver();
    ASSERT_EQ(opener.opened.size(), 1u);
    EXPECT_EQ(opener.opened[0], QUrl("https://example.invalid/page"));

    link->SetWindowText(QString::fromUtf8("No target"));
    ReleaseOver();
    EXPECT_EQ(opener.opened.size(), 1u);
}

}  // namespace

#include "LinkControlTest.moc"
