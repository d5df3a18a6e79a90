#include "support/TestMain.h"

#include "ui/AppIcons.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using ui::AppIcons;

// The toolbar and menu pictures: the desktop theme first, else the bundled scalable ones,
// which must be drawn sharp at any density.
class TestAppIcons : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void everyIconHasAScalableFallback_data();
    void everyIconHasAScalableFallback();
    void theThemeWinsWhereItHasTheIcon();

private:
    QTemporaryDir m_themes;
};

namespace {

const QList<AppIcons::Id> AllIds = {
    AppIcons::Id::Application, AppIcons::Id::Open,          AppIcons::Id::AppendFrom, AppIcons::Id::Execute,
    AppIcons::Id::Requery,     AppIcons::Id::Export,        AppIcons::Id::CloseDatabase, AppIcons::Id::Quit,
    AppIcons::Id::Images,      AppIcons::Id::Scripts,       AppIcons::Id::SqlCommand,
};

int OpaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

} // namespace

void TestAppIcons::initTestCase()
{
    // A theme of our own that has only "document-open", drawn as a plain red square.
    QVERIFY(QDir(m_themes.path()).mkpath(u"probe/scalable/actions"_s));
    QFile index(m_themes.filePath(u"probe/index.theme"_s));
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=probe\nDirectories=scalable/actions\n\n"
                "[scalable/actions]\nSize=16\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    QFile icon(m_themes.filePath(u"probe/scalable/actions/document-open.svg"_s));
    QVERIFY(icon.open(QIODevice::WriteOnly));
    icon.write(R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16"><rect width="16" height="16" fill="#ff0000"/></svg>)");
    icon.close();
    QIcon::setThemeSearchPaths({m_themes.path()});
    QIcon::setThemeName(u"probe"_s);
}

void TestAppIcons::everyIconHasAScalableFallback_data()
{
    QTest::addColumn<AppIcons::Id>("id");
    for (AppIcons::Id id : AllIds)
        QTest::newRow(qPrintable(AppIcons::ThemeName(id))) << id;
}

void TestAppIcons::everyIconHasAScalableFallback()
{
    QFETCH(AppIcons::Id, id);
    const QIcon fallback(AppIcons::FallbackPath(id));
    QVERIFY2(QFile::exists(AppIcons::FallbackPath(id)), qPrintable(AppIcons::FallbackPath(id)));
    // At 200% a 16-pixel button takes 32 device pixels; a vector picture fills them.
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap pixmap = fallback.pixmap(QSize(16, 16), ratio);
        QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
        QVERIFY2(OpaquePixels(pixmap.toImage()) > 16 * ratio * ratio, "the picture is (nearly) empty");
    }
    if (id != AppIcons::Id::Open) {
        // Where the theme lacks the icon, the fallback is what the program shows.
        QCOMPARE(AppIcons::Get(id).pixmap(QSize(32, 32)).toImage(), fallback.pixmap(QSize(32, 32)).toImage());
    }
}

void TestAppIcons::theThemeWinsWhereItHasTheIcon()
{
    const QImage shown = AppIcons::Get(AppIcons::Id::Open).pixmap(QSize(16, 16)).toImage();
    QCOMPARE(QColor(shown.pixel(8, 8)), QColor(Qt::red));
    const QImage bundled = QIcon(AppIcons::FallbackPath(AppIcons::Id::Open)).pixmap(QSize(16, 16)).toImage();
    QVERIFY(shown != bundled);
}

DABRIX_TEST_MAIN(TestAppIcons)
#include "tst_appicons.moc"
