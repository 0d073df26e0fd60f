// Looking at the scan: the wheel and the keys move the bars' values and with them the
// picture to every edge, at 1:1 and fitted; the zoom keeps the ranges right for a 600 dpi
// page; the context menu; saving through the dialog; dragging out.

#include "TestSupport.h"
#include "base/Rounding.h"
#include "runtime/Units.h"
#include "ui/DragData.h"
#include "ui/PictureViewer.h"
#include "ui/Root.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDrag>
#include <QFileDialog>
#include <QImageReader>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

void showActive(Root &root)
{
    root.show();
    root.clientWidget()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(root.clientWidget()));
}

void turnWheel(QWidget *over, QPoint angle, Qt::KeyboardModifiers mods = Qt::NoModifier, QPoint at = {10, 10})
{
    QWheelEvent e(at, over->mapToGlobal(at), QPoint(), angle, Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(over, &e);
}

// The picture stands where its bars say, and fills the viewport up to the given edges.
void expectPictureAtBars(const Root &root)
{
    EXPECT_FLOAT_EQ(root.Picture2.left(), static_cast<float>(root.HScroll1.value()));
    EXPECT_FLOAT_EQ(root.Picture2.top(), static_cast<float>(root.VScroll1.value()));
}

void expectLowerRightEdgesInView(const Root &root)
{
    EXPECT_NEAR(root.Picture2.top() + root.Picture2.height(), root.Picture1.height(), 0.5f);
    EXPECT_NEAR(root.Picture2.left() + root.Picture2.width(), root.Picture1.width(), 0.5f);
}

QImage decoded(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return QImageReader(&buffer).read().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(View, WheelAndKeysMoveValueAndPictureToEveryEdgeAtOneToOneAndFitted)
{
    ProgramDir dir;
    dir.writeImage("Rastelo.bmp", patternImage(2000, 3000), "BMP");
    Root root;
    showActive(root);
    QWidget *picture = root.Picture2.widget();
    QWidget *viewport = root.Picture1.widget();
    const std::int32_t small = root.VScroll1.smallChange();
    ASSERT_TRUE(root.VScroll1.isVisible() && root.HScroll1.isVisible());

    turnWheel(picture, {0, -120}); // one notch down
    EXPECT_EQ(root.VScroll1.value(), -small);
    expectPictureAtBars(root);
    EXPECT_TRUE(viewport->hasFocus());
    turnWheel(viewport, {0, -12}); // a touchpad's tenth of a notch
    EXPECT_EQ(root.VScroll1.value(), -small - rt::to32(small / 10.0));
    turnWheel(picture, {0, 240}); // back up, stopping at the top
    EXPECT_EQ(root.VScroll1.value(), 0);
    turnWheel(picture, {0, -120}, Qt::ShiftModifier);
    EXPECT_EQ(root.HScroll1.value(), -root.HScroll1.smallChange());
    turnWheel(viewport, {-120, 0});
    EXPECT_EQ(root.HScroll1.value(), -2 * root.HScroll1.smallChange());
    expectPictureAtBars(root);
    for (int i = 0; i < 200; ++i)
        turnWheel(picture, {0, -120});
    EXPECT_EQ(root.VScroll1.value(), root.VScroll1.max());

    QTest::keyClick(viewport, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(root.VScroll1.value(), 0);
    EXPECT_EQ(root.HScroll1.value(), 0);
    QTest::keyClick(viewport, Qt::Key_Down);
    EXPECT_EQ(root.VScroll1.value(), -small);
    QTest::keyClick(viewport, Qt::Key_Up);
    EXPECT_EQ(root.VScroll1.value(), 0);
    QTest::keyClick(viewport, Qt::Key_Right);
    EXPECT_EQ(root.HScroll1.value(), -root.HScroll1.smallChange());
    QTest::keyClick(viewport, Qt::Key_Left);
    EXPECT_EQ(root.HScroll1.value(), 0);
    QTest::keyClick(viewport, Qt::Key_PageDown);
    EXPECT_EQ(root.VScroll1.value(), -root.VScroll1.largeChange());
    QTest::keyClick(viewport, Qt::Key_PageUp);
    EXPECT_EQ(root.VScroll1.value(), 0);
    QTest::keyClick(viewport, Qt::Key_End);
    EXPECT_EQ(root.VScroll1.value(), root.VScroll1.max());
    EXPECT_EQ(root.HScroll1.value(), 0);
    QTest::keyClick(viewport, Qt::Key_End, Qt::ControlModifier);
    expectPictureAtBars(root);
    expectLowerRightEdgesInView(root);
    QTest::keyClick(viewport, Qt::Key_Home);
    EXPECT_EQ(root.VScroll1.value(), 0);
    EXPECT_EQ(root.HScroll1.value(), root.HScroll1.max());

    // Fitted, the whole page is in view: nothing moves it.
    QTest::keyClick(viewport, Qt::Key_0, Qt::ControlModifier);
    EXPECT_TRUE(root.Picture2.zoomsToFit());
    EXPECT_FALSE(root.VScroll1.isVisible());
    EXPECT_FALSE(root.HScroll1.isVisible());
    EXPECT_LE(root.Picture2.width(), root.Picture1.width());
    EXPECT_LE(root.Picture2.height(), root.Picture1.height());
    for (const auto k : {Qt::Key_End, Qt::Key_PageDown, Qt::Key_Down, Qt::Key_Right})
        QTest::keyClick(viewport, k, Qt::ControlModifier);
    turnWheel(picture, {0, -120});
    EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
    EXPECT_FLOAT_EQ(root.Picture2.top(), 0);

    // Back to 1:1, exactly as the page came.
    QTest::keyClick(viewport, Qt::Key_1, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(root.Picture2.width(), rt::toTwips(2000));
    EXPECT_FLOAT_EQ(root.Picture2.height(), rt::toTwips(3000));
    EXPECT_TRUE(root.VScroll1.isVisible());
}

TEST(View, ZoomKeepsTheRangesRightSoEveryEdgeOfA600DpiPageIsReachable)
{
    ProgramDir dir;
    Root root;
    showActive(root);
    const QImage page = patternImage(4960, 7016).convertToFormat(QImage::Format_Grayscale8);
    root.Picture2.setPicture(rt::Picture(page, {23622, 23622}));
    root.Scroll_Reading();
    root.Form_Resize();
    QWidget *viewport = root.Picture1.widget();
    PictureViewer &viewer = root.viewer();

    for (const double zoom : {0.25, 0.5, 2.0}) {
        SCOPED_TRACE(zoom);
        viewer.zoomTo(zoom);
        EXPECT_FLOAT_EQ(root.Picture2.width(), static_cast<float>(rt::toTwips(4960) * zoom));
        EXPECT_FLOAT_EQ(root.Picture2.height(), static_cast<float>(rt::toTwips(7016) * zoom));
        EXPECT_EQ(root.VScroll1.max(), rt::to32(root.Picture1.height() - root.Picture2.height()));
        EXPECT_EQ(root.HScroll1.max(), rt::to32(root.Picture1.width() - root.Picture2.width()));
        QTest::keyClick(viewport, Qt::Key_End, Qt::ControlModifier);
        expectPictureAtBars(root);
        expectLowerRightEdgesInView(root);
        QTest::keyClick(viewport, Qt::Key_Home, Qt::ControlModifier);
        EXPECT_FLOAT_EQ(root.Picture2.left(), 0);
        EXPECT_FLOAT_EQ(root.Picture2.top(), 0);
    }
    EXPECT_EQ(root.Picture2.picture().image().cacheKey(), page.cacheKey()); // never altered

    // Ctrl+wheel zooms around the pointer: the point under it stays there.
    viewer.zoomTo(1.0);
    QTest::keyClick(viewport, Qt::Key_PageDown);
    QTest::keyClick(viewport, Qt::Key_Right);
    const QPoint at(200, 150);
    const double tpp = rt::twipsPerPixel();
    const auto pointUnder = [&] {
        return QPointF((at.x() * tpp - root.Picture2.left()) / root.Picture2.zoom(),
                       (at.y() * tpp - root.Picture2.top()) / root.Picture2.zoom());
    };
    const QPointF before = pointUnder();
    turnWheel(viewport, {0, 120}, Qt::ControlModifier, at);
    EXPECT_DOUBLE_EQ(root.Picture2.zoom(), 1.5);
    EXPECT_NEAR(pointUnder().x(), before.x(), 1.0);
    EXPECT_NEAR(pointUnder().y(), before.y(), 1.0);

    // The steps, and the level kept for the next picture; "fit" stays fit.
    viewer.zoomIn();
    EXPECT_DOUBLE_EQ(root.Picture2.zoom(), 2.0);
    viewer.zoomOut();
    viewer.zoomOut();
    viewer.zoomOut();
    EXPECT_DOUBLE_EQ(root.Picture2.zoom(), 2.0 / 3);
    root.Picture2.setPicture(rt::Picture(patternImage(300, 200)));
    EXPECT_FLOAT_EQ(root.Picture2.width(), static_cast<float>(rt::toTwips(300) * (2.0 / 3)));
    viewer.fitPage();
    const QSizeF box(root.width() - 500.0, root.height() - 1250.0);
    root.Picture2.setPicture(rt::Picture(patternImage(100, 1000)));
    EXPECT_NEAR(root.Picture2.height(), box.height(), 0.5);
    EXPECT_LE(root.Picture2.width(), box.width());
}

TEST(View, TheContextMenuSpeaksGermanShowsItsKeysAndWaitsForAPicture)
{
    ProgramDir dir;
    Root root;
    showActive(root);
    const auto openMenu = [&root] {
        std::vector<std::tuple<QString, QString, bool>> seen;
        QTimer::singleShot(50, [&seen] {
            if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
                for (QAction *a : menu->actions())
                    if (!a->isSeparator())
                        seen.emplace_back(a->text(), a->shortcut().toString(), a->isEnabled());
                menu->close();
            }
        });
        QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(5, 5), root.Picture1.widget()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(root.Picture1.widget(), &e);
        return seen;
    };
    using Entry = std::tuple<QString, QString, bool>;
    EXPECT_EQ(openMenu(),
              (std::vector<Entry>{{"Kopieren", "Ctrl+C", false},
                                  {"Text kopieren", "Ctrl+Shift+C", false},
                                  {"Speichern unter …", "Ctrl+S", false},
                                  {"Nach links drehen", "Ctrl+Shift+R", false},
                                  {"Nach rechts drehen", "Ctrl+R", false},
                                  {"Umdrehen", "", false},
                                  {"Gerade richten", "Ctrl+Shift+G", false},
                                  {"Vorlage freistellen", "Ctrl+Shift+F", false},
                                  {"Zuschneiden", "Ctrl+Shift+X", false},
                                  {"Rückgängig", "Ctrl+Z", false},
                                  {"Wiederherstellen", "Ctrl+Y", false},
                                  {"Ganze Seite", "Ctrl+0", false},
                                  {"Originalgröße", "Ctrl+1", false},
                                  {"Vergrößern", "Ctrl++", false},
                                  {"Verkleinern", "Ctrl+-", false}}));
    {
        MessageBoxWatcher watcher;
        QTest::keyClick(root.clientWidget(), Qt::Key_C, Qt::ControlModifier); // no picture: nothing happens
        QTest::qWait(30);
        EXPECT_TRUE(watcher.shown().empty());
    }

    root.Picture2.setPicture(rt::Picture(patternImage(50, 40)));
    // With a picture all is there but cropping (no frame yet), undo and redo (no edit yet).
    for (const Entry &e : openMenu()) {
        const bool waits
            = std::get<0>(e) == "Zuschneiden" || std::get<0>(e) == "Rückgängig" || std::get<0>(e) == "Wiederherstellen";
        EXPECT_EQ(std::get<2>(e), !waits) << std::get<0>(e).toStdString();
    }
    MessageBoxWatcher watcher;
    QTest::keyClick(root.clientWidget(), Qt::Key_C, Qt::ControlModifier);

    ASSERT_EQ(watcher.shown().size(), 1u);
    EXPECT_EQ(watcher.shown()[0].text, QStringLiteral("Bild-Datei wurde erfolgreich in die Zwischenablage kopiert.  "));
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasFormat("image/png"));
}

TEST(View, SavingAsAsksForANameRemembersTheFolderAndTellsOfAFailure)
{
    ProgramDir dir;
    Root root;
    showActive(root);
    const QImage page = patternImage(64, 48);
    root.Picture2.setPicture(rt::Picture(page, {11811, 11811}));

    QString suggested, startFolder;
    const auto answer = [&](const QString &name) {
        QTimer::singleShot(50, [&, name] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            suggested = edit ? edit->text() : QString();
            startFolder = dialog->directory().absolutePath();
            if (edit)
                edit->setText(name);
            static_cast<QDialog *>(dialog)->accept();
        });
    };
    answer(dir.file("erste.png"));
    QTest::keyClick(root.clientWidget(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Scan-\\d{4}-\\d\\d-\\d\\d-\\d{6}\\.png$")).match(suggested).hasMatch())
        << suggested.toStdString();
    QFile saved(dir.file("erste.png"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(decoded(saved.readAll()), page);

    answer(QStringLiteral("zweite.tif"));
    root.viewer().saveAs();
    EXPECT_EQ(startFolder, QDir(dir.path()).absolutePath());
    EXPECT_TRUE(QFile::exists(dir.file("zweite.tif")));

    MessageBoxWatcher watcher;
    EXPECT_FALSE(root.viewer().saveTo(dir.file("fehlt/dritte.png")));

    ASSERT_EQ(watcher.shown().size(), 1u);
    EXPECT_EQ(watcher.shown()[0].title, QStringLiteral(" Speichern"));
    EXPECT_TRUE(watcher.shown()[0].text.startsWith(QStringLiteral("Das Bild wurde nicht gespeichert.")));
}

TEST(View, ADragCarriesThePngAndAFileOfIt)
{
    ProgramDir dir;
    const QImage page = patternImage(80, 60);
    DragData data(rt::Picture(page, {11811, 11811}), dir.file("Scan.png"));
    EXPECT_EQ(data.formats(), (QStringList{"image/png", "text/uri-list"}));
    EXPECT_EQ(decoded(data.data("image/png")), page);
    ASSERT_EQ(data.urls().size(), 1);
    QFile file(data.urls()[0].toLocalFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decoded(file.readAll()), page);
}

// "Text kopieren": the words of the picture on the clipboard as UTF-8 text, told like the
// copy's; a picture without text leaves the clipboard alone.
TEST(View, TextKopierenPutsTheRecognisedWordsOnTheClipboard)
{
    ProgramDir dir;
    Root root;
    showActive(root);
    const auto recognise = [&root](const QImage &image) {
        root.Picture2.setPicture(rt::Picture(image, {11811, 11811}));
        MessageBoxWatcher watcher;
        QApplication::setActiveWindow(root.clientWidget()->window()); // back from the last message
        QTest::keyClick(root.clientWidget(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        for (int i = 0; i < 600 && watcher.shown().empty(); ++i)
            QTest::qWait(50);
        return watcher.shown().empty() ? QString() : watcher.shown()[0].text;
    };
    QImage page(1200, 300, QImage::Format_RGB32);
    page.setDotsPerMeterX(11811);
    page.setDotsPerMeterY(11811);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(14);
        painter.setFont(font);
        painter.drawText(QPointF(60, 150), QStringLiteral("Größere Straßen über Köln"));
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("vorher"));
    EXPECT_EQ(recognise(page), QStringLiteral("Der Text wurde in die Zwischenablage kopiert (4 Wörter).  "));
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    EXPECT_EQ(QString::fromUtf8(data->data("text/plain;charset=utf-8")).trimmed(), QStringLiteral("Größere Straßen über Köln"));

    QImage blank(600, 400, QImage::Format_RGB32);
    blank.fill(Qt::white);
    QGuiApplication::clipboard()->setText(QStringLiteral("vorher"));
    EXPECT_EQ(recognise(blank), QStringLiteral("Auf dem Bild wurde kein Text erkannt.  "));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("vorher"));
}

// Ctrl held while dragging with the left button drags the picture out; without Ctrl the same
// drag draws a frame, and Ctrl with a click that does not move starts nothing.
TEST(View, CtrlAndADragOfTheLeftButtonDragThePictureOut)
{
    ProgramDir dir;
    dir.writeImage("Rastelo.bmp", patternImage(400, 300), "BMP");
    Root root;
    showActive(root);
    QWidget *picture = root.Picture2.widget();
    // A drag made on the picture is a child of it, whether or not the platform runs it.
    struct DragWatch : QObject {
        bool started = false;
        bool eventFilter(QObject *, QEvent *event) override
        {
            // (The drag is not yet a QDrag while it is being made.)
            if (event->type() == QEvent::ChildAdded && !started) {
                started = true;
                QTimer::singleShot(0, [] { QDrag::cancel(); }); // in the drag's own event loop
            }
            return false;
        }
    };
    const auto drags = [picture](Qt::KeyboardModifiers mods, QPoint by) {
        DragWatch watch;
        picture->installEventFilter(&watch);
        const QPoint from(50, 50), to = from + by;
        QTest::mousePress(picture, Qt::LeftButton, mods, from);
        QMouseEvent move(QEvent::MouseMove, to, picture->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, mods);
        QApplication::sendEvent(picture, &move);
        QTest::mouseRelease(picture, Qt::LeftButton, mods, to);
        QApplication::processEvents();
        picture->removeEventFilter(&watch);
        return watch.started;
    };
    EXPECT_TRUE(drags(Qt::ControlModifier, QPoint(40, 30)));
    EXPECT_FALSE(root.viewer().selection().isActive());
    EXPECT_FALSE(drags(Qt::NoModifier, QPoint(40, 30)));
    EXPECT_TRUE(root.viewer().selection().isActive());
    EXPECT_FALSE(drags(Qt::ControlModifier, QPoint(0, 0)));
}
