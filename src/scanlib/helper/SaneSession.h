#pragma once
// The SANE session of the helper process: SANE is initialised once, the chosen device stays
// open with its options for the life of the helper, and a scan goes straight into a BMP
// file. Every call blocks for as long as the driver takes; the library watches the helper
// from outside and ends it when a driver hangs.

#include "scanlib/wire/ScanTypes.h"

#include <sane/sane.h>

#include <QString>
#include <functional>
#include <vector>

namespace scanlib {

class BmpAssembler;

// German words for a SANE status.
QString statusText(SANE_Status status);

class SaneSession {
public:
    SaneSession() = default;
    ~SaneSession();
    SaneSession(const SaneSession &) = delete;
    SaneSession &operator=(const SaneSession &) = delete;

    // Lists the devices; error is set when SANE cannot start.
    std::vector<DeviceInfo> devices(QString &error);

    // Opens the device (the first one for an empty name) unless it is open, and reads its
    // options. Returns the error, empty on success.
    QString open(const QString &wanted);
    const QString &openName() const { return openName_; }
    const OptionList &options() const { return options_; }

    // Sets an option: a button is pressed, a string takes text, a switch takes number != 0,
    // numbers are brought into the option's constraint. Returns the error, empty on success.
    enum class Value { Press, Bool, Number, Text };
    QString setOption(int index, Value kind, double number, const QByteArray &text);

    // Opens device as open() does and scans into the file open at fd, which it closes; the
    // library that made the file puts it in place or removes it. cancelled is asked between
    // reads; progress gets a fraction, or -1 while the size is unknown.
    ScanResult scan(const QString &device, int fd, const std::function<bool()> &cancelled,
                    const std::function<void(double)> &progress, QString &error);

    // Ends the scan in the driver (sane_cancel), once its outcome has been reported.
    void endScan();

private:
    QString initialise();
    void closeHandle();
    OptionList readOptions();
    void readValue(OptionInfo &option);
    // The resolution set, 0 when the device has none.
    int resolution() const;
    // Reads one frame into image; last is set when the image is complete.
    ScanResult readFrame(BmpAssembler &image, const std::function<bool()> &cancelled, const std::function<void(double)> &progress,
                         bool &last, QString &error);

    bool initialised_ = false;
    SANE_Handle handle_ = nullptr;
    QString openName_;
    OptionList options_;
    std::vector<unsigned char> buffer_; // for reading a frame
};

} // namespace scanlib
