#pragma once
// The dialogs' way to the scanners. Every SANE call runs in a helper process
// (vistoramo-scanner, beside the library) that the client starts on first use and watches:
// a driver that crashes or hangs costs the operation in progress, never the program. The
// dialogs send requests and get their answers on the GUI thread, delivered only while the
// asking object still exists.
//
// Supervision: a cancelled scan that has not ended 3 s later ends the helper, and so does a
// driver that takes longer than that to end a scan after its outcome; a scan without
// data for 20 s is reported but goes on; a request whose asker has gone and that keeps
// another waiting for 3 s ends the helper, and the waiting requests go to a fresh one. A
// fresh helper opens the device again with the settings made so far. The helper ends when
// the program does.

#include "scanlib/wire/Protocol.h"
#include "scanlib/wire/ScanTypes.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <deque>
#include <functional>
#include <memory>

class QProcess;

namespace scanlib {

class StagedFile;

// A strip of a scan's picture, every sample-th row and column, for showing it as it arrives.
struct Band {
    int firstRow = 0; // in sampled rows
    int width = 0; // sampled columns
    int rows = 0;
    int fullHeight = -1; // the scan's lines, -1 while unknown
    QByteArray rgb; // rows * width * 3 bytes
};
struct ScanView {
    int sample = 0; // 0: no bands
    std::function<void(const Band &)> band;
};

class Client : public QObject {
    Q_OBJECT
public:
    static Client &instance();

    // The device the user chose, empty when none was chosen yet.
    QString chosenDevice() const { return chosen_; }
    void choose(const QString &name) { chosen_ = name; }

    // Maker and model of a device as the last listing in this process gave them; only the
    // name when it was not listed.
    DeviceInfo describe(const QString &name) const;

    // Lists the devices; error is set when the search failed.
    void findDevices(QObject *target, std::function<void(std::vector<DeviceInfo>, QString error)> answer);

    // Opens the chosen device (the first one when none was chosen) unless it is open, and
    // reads its options. On failure error is set and the list is empty; lost says that the
    // helper crashed or hung on it (and was replaced), not that the device refused.
    void openDevice(QObject *target, std::function<void(QString device, OptionList, QString error, bool lost)> answer);

    // Sets an option (an invalid value presses a button) and answers with the options as
    // they are afterwards; lost as for openDevice, the device then to be opened again.
    void setOption(QObject *target, int index, const QVariant &value,
                   std::function<void(OptionList, QString error, bool lost)> answer);

    // Scans into a BMP at path. Progress is a fraction, or negative while the size is
    // unknown; notice is a remark to show while the scan runs ("" takes it back).
    void scan(QObject *target, const QString &path, std::function<void(double)> progress, std::function<void(QString)> notice,
              std::function<void(ScanResult, QString)> done);
    // As above, plus the bands of view (none when view.sample == 0).
    void scan(QObject *target, const QString &path, ScanView view, std::function<void(double)> progress,
              std::function<void(QString)> notice, std::function<void(ScanResult, QString)> done);
    // A preview: scans with the given overrides (restored afterwards by the helper), its
    // picture coming as bands of every row, which shown (if set) sees as they arrive; no
    // file is written. done gets the picture (RGB888) on ScanResult::Done. Supervised like a
    // scan: cancelScan() cancels it, a hang, crash or silence is told alike.
    void preview(QObject *target, std::vector<wire::OptionValue> overrides, std::function<void(const Band &)> shown,
                 std::function<void(double)> progress, std::function<void(QString)> notice,
                 std::function<void(ScanResult, QString, QImage)> done);
    // Asks the running scan to stop; it answers through done within about 3 s.
    void cancelScan();

    // How long a request may wait for its answer before the helper is replaced: setting an
    // option, and opening a device or listing them. VISTORAMO_SCANNER_TIMEOUT_SCALE (a factor
    // up to 1) shortens them, for the tests; the notice that the program waits comes after
    // stallNoticeMs, shortened alike.
    static constexpr int optionLimitMs = 10000;
    static constexpr int openLimitMs = 30000;
    static constexpr int stallNoticeMs = 2000;
    static constexpr int cancelGraceMs = 3000;
    static constexpr int silenceNoticeMs = 20000;
    static constexpr int abandonedGraceMs = 3000;

signals:
    // A request of target's has waited stallNoticeMs for the scanner: notice is the remark to
    // show meanwhile.
    void stalled(QObject *target, const QString &notice);

private:
    std::vector<DeviceInfo> listed_; // the last listing

    struct Request {
        wire::Kind kind{};
        QByteArray message;
        QPointer<QObject> target;
        // Decodes the answer and hands it on if deliver; false when the answer is malformed.
        std::function<bool(wire::Reader &, bool deliver)> answer;
        // Hands on a failure; outcome tells a scan that was stopped from one that failed.
        std::function<void(ScanResult outcome, const QString &why)> fail;
        const char *doing = ""; // for the crash message: "bei der Gerätesuche"
        std::shared_ptr<StagedFile> staged; // a scan's file, sent with it and removed on failure
        QElapsedTimer waiting; // since it was sent, or since it became first in line
        QElapsedTimer abandoned;
        std::function<void(double)> progress;
        std::function<void(QString)> notice;
        std::function<void(const Band &)> band;
        bool answered = false; // a scan whose outcome is out, until the driver has ended it
        bool cancelling = false;
        QElapsedTimer cancelledAt;
        bool silenceShown = false;
        bool stallShown = false;
        int replayed = -1; // for the client's own replay: how many settings came before it
    };

    Client();
    static void shutdown();
    static Request request(wire::Writer &&message, wire::Kind kind, QObject *target, const char *doing);
    void send(Request request);
    void startHelper();
    void replaySettings();
    void readAnswers();
    bool handle(const QByteArray &message);
    void watch();
    // A scan's Progress or Band arrived: the silence watch starts again.
    static void heardData(Request &scan);
    // Sends a Scan request, with a staged file made beside path when it asks for a file. Once
    // the outcome is in, ended decides what becomes of the file (null without one: put in
    // place; removed afterwards in any case) and hands the outcome on if deliver; fail gets
    // what ends the scan otherwise.
    void sendScan(QObject *target, const QString &path, const wire::ScanRequest &asked, ScanView view,
                  std::function<void(double)> progress, std::function<void(QString)> notice,
                  std::function<void(ScanResult, QString)> fail,
                  std::function<void(wire::ScanOutcome, StagedFile *, bool deliver)> ended);
    // The helper ended or talked nonsense (how): every request fails.
    void helperDied(const QString &how);
    // Ends the helper and fails every request with outcome, each for the reason why gives.
    void abandonHelper(ScanResult outcome, const std::function<QString(const Request &)> &why);
    // Kills the helper, drops the first request and sends the others to a fresh one; the
    // dropped one fails for the reason why gives, if there is one.
    void restartHelper(const QString &why = {});
    // A replayed setting that cost the helper is not replayed again, nor those after it.
    void forgetReplay(const Request &failed);
    // Ends the helper: gently gives it 300 ms to close the device, else it is killed.
    void endHelper(bool gently = false);
    // Runs job on the GUI thread soon, if target still exists.
    static void later(const QPointer<QObject> &target, std::function<void()> job);

    QString chosen_;
    // The settings made on the open device, in order, so that a fresh helper after a crash
    // or a kill has the device as the dialog shows it.
    QString settingsDevice_;
    std::vector<QByteArray> settings_;
    QProcess *process_ = nullptr;
    int files_ = -1; // the socket the scans' files go to the helper over
    bool greeted_ = false;
    wire::Framer framer_;
    std::deque<Request> inFlight_;
    QTimer watchdog_;
};

} // namespace scanlib
