#include "ui/Root.h"

#include "base/Errors.h"
#include "base/Rounding.h"
#include "image/BmpReader.h"
#include "image/IcoReader.h"
#include "runtime/ProgramFiles.h"
#include "runtime/System.h"
#include "runtime/Units.h"
#include "scanlib-loader/Scanner.h"
#include "ui/PictureViewer.h"
#include "ui/ScratchDirectory.h"

#include <QFile>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <optional>

using rt::skip;
using rt::to32;

namespace {
constexpr QRgb White = 0xFFFFFF;

QFont windowFont()
{
    // Verdana where the machine has it, else the closest font it offers.
    QFont font;
    font.setFamilies({QStringLiteral("Verdana")});
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

// The program's own pictures are read here, not through the toolkit's image plugins, whose
// first use would delay the window's mapping by milliseconds; the toolkit reads them where
// these readers decline.
QIcon windowIcon()
{
    const QString path = QStringLiteral(":/vistoramo/Vistoramo.ico");
    QFile file(path);
    const std::vector<QImage> images = img::readIcoImages(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    if (images.empty())
        return QIcon(path);
    QIcon icon;
    for (const QImage &image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

QImage grip()
{
    const QString path = QStringLiteral(":/vistoramo/Groesse.bmp");
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        if (std::optional<QImage> image = img::readPlainBmp(file, path, qint64{1} << 20))
            return *image;
    return QImage(path);
}

// Marks a scanner command as running for as long as it lives; false where one runs already
// (a key typed while the first one lets pending events run).
class ScannerCommand {
public:
    explicit ScannerCommand(bool &running) : running_(running), first_(!running) { running_ = true; }
    ~ScannerCommand() { running_ = running_ && !first_; }
    ScannerCommand(const ScannerCommand &) = delete;
    ScannerCommand &operator=(const ScannerCommand &) = delete;
    explicit operator bool() const { return first_; }

private:
    bool &running_;
    bool first_;
};

bool isLibraryError(const rt::RuntimeError &e)
{
    return e.code() == rt::ErrorCode::CantLoadLibrary;
}
} // namespace

Root::Root()
{
    setCaption(QStringLiteral(" Vistoramo"));
    clientWidget()->setWindowIcon(windowIcon());
    clientWidget()->setFont(windowFont());

    // The window's design size; start-up replaces it at once.
    setWidth(9450 + 120);
    setHeight(6855 + 390);

    BGerät.place(45, 45, 1095, 375);
    BScannen.place(1170, 45, 1095, 375);
    BAblage.place(2295, 45, 1095, 375);
    Picture1.place(45, 450, 9060, 6090);
    VScroll1.place(9180, 450, 240, 6090);
    HScroll1.place(45, 6570, 9105, 240);
    Picture2.place(0, 0, 7530, 4650);
    PResize.place(9225, 6660, 195, 180);

    Picture2.setBackColor(White);
    Picture1.setAutoSize(true);
    PResize.setAutoSize(true);
    PResize.setPicture(rt::Picture(grip()));

    // What a screen reader says of each control; the buttons are named by their captions.
    Picture1.setAccessible(QStringLiteral("Bildansicht"), QAccessible::Graphic);
    Picture2.setAccessible(QStringLiteral("Bild"), QAccessible::Graphic);
    Picture2.describePictureIn({&Picture1, &Picture2});
    VScroll1.setAccessible(QStringLiteral("Bildlauf senkrecht"));
    HScroll1.setAccessible(QStringLiteral("Bildlauf waagerecht"));
    PResize.setAccessible(QStringLiteral("Größe ändern"), QAccessible::Graphic);

    QWidget::setTabOrder(BGerät.widget(), BScannen.widget());
    QWidget::setTabOrder(BScannen.widget(), BAblage.widget());
    QWidget::setTabOrder(BAblage.widget(), Picture1.widget());
    QWidget::setTabOrder(Picture1.widget(), VScroll1.widget());
    QWidget::setTabOrder(VScroll1.widget(), HScroll1.widget());
    QWidget::setTabOrder(HScroll1.widget(), Picture2.widget());
    QWidget::setTabOrder(Picture2.widget(), PResize.widget());

    onLoad([this] { Form_Load(); });
    onResize([this] {
        Form_Resize();
        if (viewer_)
            viewer_->windowResized();
    });
    HScroll1.onChange([this] { HScroll1_Change(); });
    HScroll1.onScroll([this] { HScroll1_Change(); });
    VScroll1.onChange([this] { VScroll1_Change(); });
    VScroll1.onScroll([this] { VScroll1_Change(); });
    BGerät.onClick([this] { BGerät_Click(); });
    BScannen.onClick([this] { BScannen_Click(); });
    BAblage.onClick([this] { BAblage_Click(); });
    // The viewer's zoom changes the picture's size: the ranges and the layout follow it.
    const auto relayout = [this] {
        skip([&] { Scroll_Reading(); });
        Form_Resize();
    };
    viewer_ = std::make_unique<PictureViewer>(
        ViewHost{*this, Picture1, Picture2, HScroll1, VScroll1, relayout, [this] { BAblage_Click(); }});
}

Root::~Root() = default;

// ---- Start-up --------------------------------------------------------------------------

void Root::Form_Load()
{
    // One step a line, as the routine is designed.
    // clang-format off
    QString dir;
    QString name;
    skip([&] { dir = Programmpfad(); });
    skip([&] { if (DateiVorhanden(dir + "Rastelo.jpg")) name = "Rastelo.jpg"; });
    skip([&] { if (name.isEmpty() && DateiVorhanden(dir + "Rastelo.gif")) name = "Rastelo.gif"; });
    skip([&] { if (name.isEmpty() && DateiVorhanden(dir + "Rastelo.bmp")) name = "Rastelo.bmp"; });
    skip([&] { Picture1.setBackColor(White); });
    skip([&] { Picture2.setBackColor(White); });
    skip([&] { Picture2.setPicture(rt::loadPicture(dir + name)); });
    skip([&] { Picture2.setAutoSize(true); });
    skip([&] { Picture2.refresh(); });
    skip([&] { if (Picture2.height() < rt::screenHeight()) setHeight(Picture2.height() + 930); });
    skip([&] { if (Picture2.width() < rt::screenWidth()) setWidth(Picture2.width() + 240); });
    skip([&] { setHeight(6500); });
    skip([&] { setWidth(8500); });
    // clang-format on
}

// ---- Layout ----------------------------------------------------------------------------

void Root::Form_Resize()
{
    // One step a line, as the routine is designed.
    // clang-format off
    if (windowState() == Minimized)
        return;
    skip([&] { Picture1.setHeight(HScroll1.isVisible() ? height() - 1250 : height() - 1020); });
    skip([&] { Picture1.setWidth(VScroll1.isVisible() ? width() - 500 : width() - 240); });
    skip([&] { Scroll_Reading(); });
    skip([&] { VScroll1.setVisible(Picture2.height() > Picture1.height()); });
    skip([&] { HScroll1.setVisible(Picture2.width() > Picture1.width()); });
    const float firstPassWidth = Picture1.width();
    const float firstPassHeight = Picture1.height();
    skip([&] { Picture1.setHeight(HScroll1.isVisible() ? height() - 1250 : height() - 1020); });
    skip([&] { Picture1.setWidth(VScroll1.isVisible() ? width() - 500 : width() - 240); });
    // A bar that appeared or went away changed the viewport: the ranges follow it, so the
    // picture's far edges can be scrolled into view at once.
    skip([&] { if (Picture1.width() != firstPassWidth || Picture1.height() != firstPassHeight) Scroll_Reading(); });
    skip([&] { VScroll1.setLeft(width() - 410); });
    skip([&] { VScroll1.setHeight(Picture1.height()); });
    skip([&] { HScroll1.setTop(height() - 800); });
    skip([&] { HScroll1.setWidth(Picture1.width()); });
    skip([&] { PResize.setLeft(width() - 345); });
    skip([&] { PResize.setTop(height() - 600); });
    // clang-format on
}

// ---- Scrolling -------------------------------------------------------------------------

void Root::Scroll_Reading()
{
    VScroll1.setMax(to32(Picture2.container().height() - Picture2.height()));
    VScroll1.setMin(0);
    VScroll1.setLargeChange(to32(Picture1.container().height()));
    VScroll1.setSmallChange(to32(VScroll1.largeChange() / 10.0));
    HScroll1.setMax(to32(Picture2.container().width() - Picture2.width()));
    HScroll1.setMin(0);
    HScroll1.setLargeChange(to32(Picture1.container().width()));
    HScroll1.setSmallChange(to32(HScroll1.largeChange() / 10.0));
}

void Root::HScroll1_Change()
{
    Picture2.setLeft(static_cast<float>(HScroll1.value()));
    Picture1.setFocus();
}

void Root::VScroll1_Change()
{
    Picture2.setTop(static_cast<float>(VScroll1.value()));
    Picture1.setFocus();
}

// ---- Commands --------------------------------------------------------------------------

void Root::BGerät_Click()
{
    // One scanner command at a time: the running one's dialog stays in front.
    const ScannerCommand command(scannerCommandRunning_);
    if (!command)
        return;
    const auto choose = [&] { Scanner::ChooseSource(hWnd()); };
    std::optional<rt::RuntimeError> failure;
    if (!rt::attempt("BGerät_Click", choose, &failure) && failure && isLibraryError(*failure))
        skip([&] { rt::showInformation(clientWidget(), failure->text(), caption()); });
}

void Root::BScannen_Click()
{
    // A click or key that arrives while a scanner command runs (the pending events of this
    // command's own step included) starts no second one.
    const ScannerCommand command(scannerCommandRunning_);
    if (!command)
        return;

    bool acquired = false;
    QString kept; // where a scan that was written but could not be shown is kept
    const auto acquire = [&] {
        // The program directory where it is the user's own and no other copy of the program
        // scans into it; a private directory of the user's otherwise, gone when the command ends.
        const QString name = QStringLiteral("Temp.bmp");
        ScratchDirectory scratch(Programmpfad(), name, &kept);
        const QString &dir = scratch.path();
        const rt::HourglassPointer hourglass; // until the steps end, however they end
        Picture2.clearPicture();
        Scroll_Reading();
        Form_Resize();
        rt::doEvents();
        const std::int16_t r = Scanner::AcquireToFile(hWnd(), dir + name);
        if (r != 0)
            return;
        scratch.written();
        Picture2.setPicture(rt::loadPicture(dir + name));
        if (DateiVorhanden(dir + name))
            rt::deleteFile(dir + name);
        Scroll_Reading();
        Form_Resize();
        acquired = true;
    };
    std::optional<rt::RuntimeError> failure;
    rt::attempt("BScannen_Click", acquire, &failure);
    if (acquired)
        return;
    // Every other outcome: one message. A scanner library that cannot be loaded is named
    // with the reason, rather than telling the user that they cancelled.
    const QString message = failure && isLibraryError(*failure)
        ? failure->text()
        : QStringLiteral("Der Vorgang wurde von dem Benutzer abgebrochen.  ");
    skip([&] { rt::showInformation(clientWidget(), message, caption()); });
    // A sound scan that could not be shown is not lost: the user learns where it is.
    if (!kept.isEmpty())
        skip([&] {
            rt::showInformation(clientWidget(),
                                QStringLiteral("Der Scan wurde nicht angezeigt, aber als Datei aufbewahrt:\n%1  ").arg(kept),
                                caption());
        });
}

void Root::BAblage_Click()
{
    // With no picture shown the clipboard keeps what it holds, and the copy has failed.
    const bool havePicture = !Picture2.picture().isEmpty();
    // Putting the picture there replaces whatever the clipboard held.
    if (havePicture)
        rt::setClipboardPicture(Picture2.picture());
    const bool ok = havePicture && rt::clipboardHasBitmap();
    rt::showInformation(clientWidget(),
                        ok ? QStringLiteral("Bild-Datei wurde erfolgreich in die Zwischenablage kopiert.  ")
                           : QStringLiteral("Fehler beim Kopiervorgang in die Zwischenablage.  "),
                        QStringLiteral(" Zwischenablage"));
}
