// The state icons must read at a glance on light and dark themes alike: each is drawn at the
// tree's size on a light and on a dark background, and enough of it must stand out from both.
// With QM_ICON_SHEET=FILE.png the test also saves those drawings, enlarged, for a human eye.
#include <QPainter>
#include <QtTest>
#include <cmath>

#include "ui/GameTree.h"
#include "ui/Icons.h"

namespace qm::test {

namespace {

const QColor kLight(0xFF, 0xFF, 0xFF);
const QColor kDark(0x2B, 0x2B, 0x2B);

double Luminance(const QColor& c) {
    auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QImage OnBackground(const QIcon& icon, int size, const QColor& background) {
    QImage image(size, size, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    icon.paint(&painter, QRect(0, 0, size, size));
    return image;
}

// Share of the drawn pixels (those that differ from the background) that stand out from it by
// a contrast ratio of 3:1 or more.
double StandingOut(const QImage& image, const QColor& background) {
    int drawn = 0;
    int standing = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c == background) {
                continue;
            }
            ++drawn;
            standing += Contrast(c, background) >= 3.0;
        }
    }
    return drawn == 0 ? 0 : static_cast<double>(standing) / drawn;
}

}  // namespace

class IconsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void stateIconsStandOutOnLightAndDark() {
        for (int i = 0; i < kStateIconCount; ++i) {
            const QIcon icon = IconForState(i);
            QVERIFY2(!icon.isNull(), qPrintable(QString("state %1").arg(i)));
            for (const QColor& background : {kLight, kDark}) {
                const double share = StandingOut(OnBackground(icon, 16, background), background);
                QVERIFY2(
                    share >= 0.35,
                    qPrintable(
                        QString("state %1 on %2: %3 of the icon stands out").arg(i).arg(background.name()).arg(share)));
            }
        }
        QVERIFY(IconForState(kStateIconCount).isNull());
        QVERIFY(!ApplicationIcon().isNull());
    }

    void everyStateLooksDifferent() {
        std::vector<QImage> images;
        for (int i = 0; i < kStateIconCount; ++i) {
            images.push_back(OnBackground(IconForState(i), 16, kLight));
        }
        for (std::size_t a = 0; a < images.size(); ++a) {
            for (std::size_t b = a + 1; b < images.size(); ++b) {
                int differing = 0;
                for (int y = 0; y < 16; ++y) {
                    for (int x = 0; x < 16; ++x) {
                        differing += images[a].pixel(x, y) != images[b].pixel(x, y);
                    }
                }
                QVERIFY2(differing >= 20,
                         qPrintable(QString("states %1 and %2 differ in %3 pixels").arg(a).arg(b).arg(differing)));
            }
        }
    }

    void sheetForTheEye() {
        const QByteArray file = qgetenv("QM_ICON_SHEET");
        if (file.isEmpty()) {
            QSKIP("QM_ICON_SHEET not set");
        }
        const int scale = 6;
        QImage sheet(scale * (16 + 4) * (kStateIconCount + 1), scale * (16 + 4) * 2, QImage::Format_RGB32);
        QPainter painter(&sheet);
        int row = 0;
        for (const QColor& background : {kLight, kDark}) {
            painter.fillRect(0, row * scale * 20, sheet.width(), scale * 20, background);
            for (int i = 0; i <= kStateIconCount; ++i) {
                const QIcon icon = i < kStateIconCount ? IconForState(i) : ApplicationIcon();
                const QImage small = OnBackground(icon, 16, background);
                painter.drawImage(
                    QRect(i * scale * 20 + 2 * scale, row * scale * 20 + 2 * scale, 16 * scale, 16 * scale), small);
            }
            ++row;
        }
        painter.end();
        QVERIFY(sheet.save(QString::fromLocal8Bit(file)));
    }
};

}  // namespace qm::test

QTEST_MAIN(qm::test::IconsTest)
#include "tst_icons.moc"
