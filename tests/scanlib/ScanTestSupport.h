#pragma once
// Helpers for the tests that drive the scanner library against SANE's virtual test
// scanner, with scanimage as the reference.

#include <QDialog>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "scanlib/api/VistoramoScan.h"

class QTreeWidget;

// Which backends the private SANE configuration offers.
enum class Backends { TestOnly, Machine, None };

// Makes a private SANE configuration with scripts/sane-config.sh and points
// SANE_CONFIG_DIR at it, and XDG_CONFIG_HOME at an empty directory for the remembered
// settings; must run before the library's first SANE call in the process.
void useSaneConfig(Backends backends);

// Option settings as scanimage takes them: name and value ("yes"/"no" for switches).
using Settings = std::vector<std::pair<std::string, std::string>>;

// Waits, handling events, until done() holds; false after timeoutMs.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 30000);

// The window that owns the dialogs.
class OwnerWindow {
public:
    OwnerWindow();
    std::uintptr_t id() const;
    QWidget &widget() { return window_; }

private:
    QWidget window_;
};

// Runs script on the modal dialog that call() opens, then returns call()'s result. A
// dialog the script leaves open is closed, so a failing script cannot hang the test.
std::int16_t withDialog(const std::function<std::int16_t()> &call, const std::function<void(QDialog &)> &script);
// Opens the source dialog over owner and runs script on it.
void withSourceDialog(const OwnerWindow &owner, const std::function<void(QDialog &)> &script);
// Opens the source dialog over owner, waits until it lists at least count devices and runs
// step with the dialog and its list.
void withSourceList(const OwnerWindow &owner, int count, const std::function<void(QDialog &, QTreeWidget &)> &step);

// A test of the acquisition dialog over a window of its own, with its files in a directory of
// its own and without remembered settings, so that the dialog opens at its default size.
class FreshDialogTest : public testing::Test {
protected:
    FreshDialogTest();
    // AcquireToFile(file) over the window, with script run on its dialog.
    std::int16_t acquire(const QString &file, const std::function<void(QDialog &)> &script);
    QString path(const char *name) const;

    QTemporaryDir home_, dir_;
    OwnerWindow owner_;
};

// Acquisition dialog helpers.
bool waitForOptions(QDialog &dialog); // the device is open, its options shown
// Sets them through the widgets; with lenient, options that are missing or inactive are
// passed over instead of failing the test.
bool applySettings(QDialog &dialog, const Settings &settings, bool lenient = false);
// What the tests' scanner does unless a test says otherwise; the library keeps options
// for the whole process, so tests that share one start from here.
const Settings &baseline();
QString pressScan(QDialog &dialog); // "" when the dialog closed with an image
QString shownMessage(const QDialog &dialog);
void pressButton(QDialog &dialog, const char *name);

// Scans with scanimage into a PNM file; false (with a test failure) when it fails.
bool scanimage(const Settings &settings, const QString &pnmPath, const QString &device = QStringLiteral("test:0"));

// Compares a BMP written by the library with scanimage's PNM; "" when every pixel matches
// (16-bit samples by their high byte), else where they first differ.
std::string compareWithPnm(const QString &bmpPath, const QString &pnmPath);
// The same for a picture in memory.
std::string compareWithPnm(const QImage &image, const QString &pnmPath);

// The scanner library's helper process, a child of this one; 0 when none runs.
int helperProcess();

// Files in dir other than the given ones (left-overs of a failed scan).
QStringList strayFiles(const QString &dir, const QStringList &expected = {});
