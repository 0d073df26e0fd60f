#pragma once
// The SANE session of the helper process: SANE is initialised once, the chosen device stays
// open with its options for the life of the helper, and a scan goes straight into a BMP
// file. Every call blocks for as long as the driver takes; the library watches the helper
// from outside and ends it when a driver hangs.

#include "scanlib/wire/Protocol.h"
#include "scanlib/wire/ScanTypes.h"

#include <sane/sane.h>

#include <QString>
#include <functional>
#include <optional>
#include <sched.h>
#include <vector>

namespace scanlib {

class BmpAssembler;
class RowObserver;

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
    QString setOption(const wire::OptionValue &v);

    // Opens device as open() does, sets the overrides in order (each option's value kept
    // first) and scans into the file open at fd, which it closes; the library that made the
    // file puts it in place or removes it. cancelled is asked between reads; progress gets a
    // fraction, or -1 while the size is unknown; rows (if any) sees each finished row. With
    // fd == noFile the picture is seen by rows alone.
    static constexpr int noFile = -2;
    ScanResult scan(const QString &device, const std::vector<wire::OptionValue> &overrides, int fd,
                    const std::function<bool()> &cancelled, const std::function<void(double)> &progress, RowObserver *rows,
                    QString &error);

    // Ends the scan in the driver (sane_cancel), once its outcome has been reported, then
    // gives the overridden options their values back, in the order they were overridden.
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

    // During a scan this thread, and the threads the driver starts for it, run on the
    // processor this thread is on; afterwards they may run anywhere again.
    void keepToOneProcessor();
    void releaseProcessor();

    // Sets the overrides after keeping what the options held.
    void override(const std::vector<wire::OptionValue> &overrides);
    void restore();

    // An option's value as the driver keeps it, to be set back after a scan.
    struct Kept {
        int index;
        std::vector<char> raw;
    };
    std::vector<Kept> kept_;
    bool initialised_ = false;
    SANE_Handle handle_ = nullptr;
    QString openName_;
    OptionList options_;
    std::vector<unsigned char> buffer_; // for reading a frame
    std::optional<cpu_set_t> processors_; // where this thread may run outside a scan
};

} // namespace scanlib
